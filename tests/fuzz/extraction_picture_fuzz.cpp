// Extraction's picture path in memory: an archive parsed as extraction
// parses it, each image drawn into a 32-bit picture of the archive's
// colours (placed by its offsets when centering, as the extraction job
// draws it), coded as PNG and read back by the PNG reader. Every pixel the
// decoder gives must fall inside the picture; the PNG must give back the
// picture exactly.
//
// Input: byte 0 chooses the archive kind (bits 0-1: sprite set, tile set,
// .trs, .trs) and centering (bit 2); the rest is the file.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "archive/palette.h"
#include "archive/sprite_archive.h"
#include "png/png_reader.h"
#include "png/png_writer.h"
#include "runtime/image/image.h"

namespace {

using namespace quarnel;

// The pictures coded to PNG and back are kept small so that each input runs quickly.
constexpr std::uint64_t round_trip_pixel_limit = 1u << 16;
constexpr std::size_t images_per_input = 24;

void draw_and_check(std::span<const std::uint8_t> file, PixelStorage storage, const ArchiveImage& image,
                    bool centering, const Palette& colours) {
    const std::uint32_t x_offset = centering ? (image.x_offset & 0xFFu) : 0;
    const std::uint32_t y_offset = centering ? (image.y_offset & 0xFFu) : 0;
    const std::uint64_t width = std::uint64_t{image.width} + x_offset;
    const std::uint64_t height = std::uint64_t{image.height} + y_offset;
    if (width == 0 || height == 0 || width * height > round_trip_pixel_limit) return;
    ImagePtr picture = new_image_buffer(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), 4);
    if (!picture) __builtin_trap();
    const auto layout = image_layout(*picture);
    if (!layout) __builtin_trap();
    decode_image(file, storage, image, [&](std::uint32_t x, std::uint32_t y, std::uint8_t index) {
        if (x >= image.width || y >= image.height) __builtin_trap();
        std::uint8_t* at = image_row(*picture, *layout, y + y_offset) + std::size_t{x + x_offset} * 4;
        const std::uint32_t colour = colours[index];
        std::memcpy(at, &colour, 4);
    });
    const auto png = png_encode(*picture);
    if (!png) __builtin_trap();
    const ImagePtr back = png_decode(*png);
    if (!back) __builtin_trap();
    const auto back_layout = image_layout(*back);
    if (!back_layout || back_layout->width != width || back_layout->height != height ||
        back_layout->bytes_per_pixel != 4)
        __builtin_trap();
    for (std::uint32_t y = 0; y < height; ++y)
        if (std::memcmp(image_row(*picture, *layout, y), image_row(*back, *back_layout, y), width * 4) != 0)
            __builtin_trap();
}

template <typename Images>
void draw_all(std::span<const std::uint8_t> file, PixelStorage storage, const Images& images, bool centering,
              const Palette& colours) {
    std::size_t drawn = 0;
    for (const ArchiveImage& image : images) {
        if (image.end > file.size() || image.start > image.pixels || image.pixels > image.end) __builtin_trap();
        if (++drawn > images_per_input) break;
        draw_and_check(file, storage, image, centering, colours);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::span<const std::uint8_t> file(data + 1, size - 1);
    const bool centering = (data[0] & 4) != 0;
    const Palette colours =
        palette_from_block_bytes(file.size() > palette_block_offset ? file.subspan(palette_block_offset)
                                                                    : std::span<const std::uint8_t>{});
    switch ((data[0] & 3) % 3) {
    case 0: {
        const SpriteSet set = parse_sprite_set(file);
        draw_all(file, set.pixel_storage(), set.images, centering, colours);
        break;
    }
    case 1:
        draw_all(file, PixelStorage::raw, parse_tile_set(file).tiles, false, colours);
        break;
    default:
        draw_all(file, PixelStorage::raw, parse_raw_image_set(file).images, false, colours);
        break;
    }
    return 0;
}
