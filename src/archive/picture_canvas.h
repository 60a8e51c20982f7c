// A picture being drawn by extraction: 32-bit colours, or 8-bit palette
// indices kept as stored (option -i); the image buffer, its layout taken
// once, and direct pixel stores (the decoders keep every pixel inside the
// picture), plus saving it as PNG or BMP.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "archive/extraction_folder.h"
#include "archive/palette.h"
#include "runtime/image/image.h"

namespace quarnel {

// About the memory one picture takes while it is coded and written: its
// pixels, the file as it is being made (which grows up to about twice the
// rows) and zlib's state.
inline std::size_t picture_bytes_in_flight(std::uint64_t pixel_bytes) {
    const std::uint64_t bytes = 3 * pixel_bytes + (std::uint64_t{512} << 10);
    return bytes > SIZE_MAX ? SIZE_MAX : static_cast<std::size_t>(bytes);
}

class PictureCanvas {
public:
    // A new picture filled with 0 (transparent black). False when the size
    // is 0 in either direction or no buffer can be made. It needs no screen.
    bool create(std::uint32_t width, std::uint32_t height);
    // The same with 8-bit pixels, all index 0.
    bool create_indexed(std::uint32_t width, std::uint32_t height);

    // x < width and y < height are the caller's to keep.
    void put(std::uint32_t x, std::uint32_t y, std::uint32_t colour) {
        std::uint8_t* at = rows_ + std::size_t{y} * pitch_ + std::size_t{x} * 4;
        at[0] = static_cast<std::uint8_t>(colour);
        at[1] = static_cast<std::uint8_t>(colour >> 8);
        at[2] = static_cast<std::uint8_t>(colour >> 16);
        at[3] = static_cast<std::uint8_t>(colour >> 24);
    }

    void put_index(std::uint32_t x, std::uint32_t y, std::uint8_t index) { rows_[std::size_t{y} * pitch_ + x] = index; }

    const Image* image() const { return image_.get(); }
    struct Saved {
        std::string path;     // path + ".png" or ".bmp"
        std::string failure;  // why it was not written; empty when it was
        bool ok() const { return failure.empty(); }
    };
    // Writes the picture as path + ".png" or ".bmp" into the folder.
    Saved save(ExtractionFolder& folder, std::string_view path_without_extension, bool as_bmp) const;
    // An indexed picture as an indexed PNG or 8-bit BMP with these colours;
    // index_0_transparent marks index 0 transparent in the PNG.
    Saved save_indexed(ExtractionFolder& folder, std::string_view path_without_extension, bool as_bmp,
                       const Palette& colours, bool index_0_transparent) const;
    void destroy() {
        destroy_image(image_);
        rows_ = nullptr;
    }

private:
    bool make(std::uint32_t width, std::uint32_t height, std::uint32_t bytes_per_pixel);

    ImagePtr image_;
    std::uint8_t* rows_ = nullptr;
    std::size_t pitch_ = 0;
};

}  // namespace quarnel
