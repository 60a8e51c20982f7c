#include "archive/picture_canvas.h"

#include "png/png_writer.h"
#include "runtime/image/bmp.h"

namespace quarnel {

bool PictureCanvas::create(std::uint32_t width, std::uint32_t height) { return make(width, height, 4); }

bool PictureCanvas::create_indexed(std::uint32_t width, std::uint32_t height) { return make(width, height, 1); }

bool PictureCanvas::make(std::uint32_t width, std::uint32_t height, std::uint32_t bytes_per_pixel) {
    destroy();
    if (width == 0 || height == 0) return false;
    // A zeroed buffer (every pixel transparent black) made in one piece; the
    // PNG and BMP writers take either header form.
    image_ = new_image_buffer(width, height, bytes_per_pixel);
    if (!image_) return false;
    const auto layout = image_layout(*image_);
    if (!layout || layout->bytes_per_pixel != bytes_per_pixel || layout->width != width || layout->height != height) {
        destroy_image(image_);
        return false;
    }
    rows_ = image_->bytes.data() + layout->data_offset;
    pitch_ = layout->pitch;
    return true;
}

namespace {

PictureCanvas::Saved write_picture(ExtractionFolder& folder, std::string_view path_without_extension, bool as_bmp,
                                   const std::optional<std::vector<std::uint8_t>>& file) {
    PictureCanvas::Saved saved;
    saved.path = std::string(path_without_extension) + (as_bmp ? ".bmp" : ".png");
    if (!file)
        saved.failure = "the picture cannot be coded";
    else if (const WriteResult written = folder.write(saved.path, std::span<const std::uint8_t>(*file)); !written)
        saved.failure = written.error().message;
    return saved;
}

}  // namespace

PictureCanvas::Saved PictureCanvas::save(ExtractionFolder& folder, std::string_view path_without_extension,
                                         bool as_bmp) const {
    std::optional<std::vector<std::uint8_t>> file;
    if (image_) file = as_bmp ? bmp_encode(*image_) : png_encode(*image_);
    return write_picture(folder, path_without_extension, as_bmp, file);
}

PictureCanvas::Saved PictureCanvas::save_indexed(ExtractionFolder& folder, std::string_view path_without_extension,
                                                 bool as_bmp, const Palette& colours, bool index_0_transparent) const {
    std::optional<std::vector<std::uint8_t>> file;
    if (image_)
        file = as_bmp ? bmp_encode_indexed(*image_, colours) : png_encode_indexed(*image_, colours, index_0_transparent);
    return write_picture(folder, path_without_extension, as_bmp, file);
}

}  // namespace quarnel
