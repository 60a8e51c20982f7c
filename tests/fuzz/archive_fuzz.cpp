// Every archive kind parsed and decoded in memory, as extraction reads it:
// the first byte chooses the kind, the rest is the file.
#include <cstddef>
#include <cstdint>
#include <span>

#include "archive/sprite_archive.h"

namespace {

using namespace quarnel;

void decode_all(std::span<const std::uint8_t> file, PixelStorage storage, const std::vector<ArchiveImage>& images) {
    for (const auto& image : images) {
        // start <= pixels <= end <= the file size: pixels are read from [pixels, end).
        if (image.end > file.size() || image.start > image.pixels || image.pixels > image.end) __builtin_trap();
        auto picture = decode_picture(file, storage, image);
        if (picture.indices.size() != std::size_t{picture.width} * picture.height) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::span<const std::uint8_t> file(data + 1, size - 1);
    switch (data[0] % 6) {
    case 0: {
        auto set = parse_sprite_set(file);
        decode_all(file, set.pixel_storage(), set.images);
        break;
    }
    case 1: {
        auto set = parse_tile_set(file);
        decode_all(file, PixelStorage::raw, set.tiles);
        break;
    }
    case 2: {
        auto set = parse_raw_image_set(file);
        decode_all(file, PixelStorage::raw, set.images);
        break;
    }
    case 3:
    case 4: {
        auto container = parse_item_container(file, data[0] % 6 == 3);
        for (const auto& item : container.items) {
            if (item.kind != ItemKind::data) decode_all(file, PixelStorage::raw, {item.place});
            if (item.place.end > file.size()) __builtin_trap();
        }
        break;
    }
    default: {
        // Raw data: count, width and height from the next bytes, as typed.
        if (file.size() < 3) return 0;
        auto set = parse_raw_data(file.subspan(3), file[0], file[1], file[2]);
        decode_all(file.subspan(3), PixelStorage::raw, set.images);
        break;
    }
    }
    return 0;
}
