// Layouts of the game's graphics archives, parsed from the whole file in
// memory: sprite sets (.spr, raw or run-length coded), tile sets (.bts), raw
// image sets (.trs), item containers (.trc named, .trw numbered) and headless
// raw data (option -r).
//
// Parsing never reads outside the data. Counts, sizes and token streams that
// run past the end are cut there: an image whose data the file ends inside is
// listed with `cut_short` set and keeps what exists; the list of images ends
// before the first image none of whose data is in the file.
//
// All integers are little-endian; offsets are from the start of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "archive/run_length.h"

namespace quarnel {

// Shared by .spr and .bts: 8 header bytes, then the 6-bit palette block.
inline constexpr std::size_t palette_block_offset = 8;
inline constexpr std::size_t palette_block_size = 768;
inline constexpr std::size_t archive_header_size = 776;

// .spr
inline constexpr std::size_t sprite_record_size = 8;
inline constexpr std::uint8_t raw_storage_byte = 1;         // any other value: run-length coded
inline constexpr std::uint8_t run_length_storage_byte = 0x81;  // what the builder writes
inline constexpr std::size_t run_length_prefix_size = 4;    // u32 length before each coded image

// .bts
inline constexpr std::uint32_t tile_side = 32;
inline constexpr std::size_t tile_value_size = 4;
inline constexpr std::size_t tile_pixel_bytes = 1024;
inline constexpr std::size_t tile_stride = tile_value_size + tile_pixel_bytes;

// .trs, .trc, .trw
inline constexpr std::size_t container_header_size = 32;
inline constexpr std::size_t container_count_offset = 8;
inline constexpr std::size_t trs_record_size = 16;
inline constexpr std::size_t trc_record_size = 32;
inline constexpr std::size_t trw_record_size = 16;
inline constexpr std::size_t trc_name_size = 16;

// Pictures inside item containers.
inline constexpr std::uint32_t screen_picture_width = 640;
inline constexpr std::uint32_t screen_picture_height = 480;
inline constexpr std::size_t item_sprite_head_size = 12;

enum class PixelStorage : std::uint8_t { raw, run_length };

// One image of an archive and where its bytes lie in the file.
struct ArchiveImage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t x_offset = 0;    // .spr: blank columns cut away on the left
    std::uint16_t y_offset = 0;    // .spr: blank rows cut away at the top
    std::uint32_t tile_value = 0;  // .bts: the u32 that heads the tile
    std::size_t start = 0;         // first byte of the image (its length prefix, tile value or head)
    std::size_t pixels = 0;        // first pixel index or token
    std::size_t end = 0;           // first byte after the image (never past the data)
    bool cut_short = false;        // the file ended before the image was complete
};

// Pixel count of an image's full area, in 64 bits.
inline std::uint64_t pixel_count(const ArchiveImage& image) {
    return std::uint64_t{image.width} * image.height;
}

struct SpriteSet {
    std::uint8_t storage = 0;        // byte 0: 1 raw, anything else run-length coded
    std::uint8_t second_byte = 0;    // byte 1
    std::uint16_t image_count = 0;   // as the header states
    std::uint32_t data_size = 0;     // bytes 4-7, as the header states
    bool run_length_coded = false;
    std::span<const std::uint8_t> palette_block;  // shorter than 768 bytes when the file is
    std::size_t data_start = 0;      // after the records (as stated, even past the end)
    std::vector<ArchiveImage> images;
    bool data_ended = false;         // the file ended before all images were complete

    PixelStorage pixel_storage() const { return run_length_coded ? PixelStorage::run_length : PixelStorage::raw; }
};

struct TileSet {
    std::uint16_t tile_set_code = 0;  // bytes 0-1
    std::uint16_t tile_count = 0;     // bytes 4-5, as stated
    std::span<const std::uint8_t> palette_block;
    std::vector<ArchiveImage> tiles;  // 32 x 32 raw, tile_value set
    bool data_ended = false;
};

struct RawImageSet {  // .trs, and raw data read with option -r
    std::uint32_t image_count = 0;   // as stated (or as asked)
    std::size_t data_start = 0;
    std::vector<ArchiveImage> images;
    bool data_ended = false;
};

enum class ItemKind : std::uint8_t {
    data,            // written out byte for byte
    screen_picture,  // ".scr": 640 x 480 raw indices
    sprite_picture,  // ".spr": 12-byte head (u16 width, u16 height, 8 bytes), then raw indices
};

struct ContainerItem {
    std::string name;       // .trc: the name from the record; .trw: the item's number
    std::uint32_t size = 0; // u24 from the record
    ItemKind kind = ItemKind::data;
    ArchiveImage place;     // where the item's bytes are; width and height for pictures
};

struct ItemContainer {
    std::uint16_t item_count = 0;  // as stated
    std::size_t data_start = 0;
    std::vector<ContainerItem> items;
    bool data_ended = false;
};

SpriteSet parse_sprite_set(std::span<const std::uint8_t> data);
TileSet parse_tile_set(std::span<const std::uint8_t> data);
RawImageSet parse_raw_image_set(std::span<const std::uint8_t> data);
// Raw data: count images of width x height back to back from offset 0.
// Images of no pixels read nothing and give an empty list.
RawImageSet parse_raw_data(std::span<const std::uint8_t> data, std::uint32_t count, std::uint32_t width,
                           std::uint32_t height);
// named: .trc (32-byte records with names); otherwise .trw (16-byte records).
ItemContainer parse_item_container(std::span<const std::uint8_t> data, bool named);

// The name of a .trc record: digits, the bytes 0x41 to 0x7A, blanks and dots
// are kept, all other bytes skipped; a zero byte after a dot ends it.
std::string item_name_from_record(std::span<const std::uint8_t> name_bytes);
// Picture or data, by the name's last four characters in lower case.
ItemKind item_kind(std::string_view name);
// The text before the first ".", or the whole name when it has none.
std::string name_before_dot(std::string_view name);

// Pixels of one image: put(x, y, index) for every pixel stored in the file,
// in row order. Raw images give every pixel that exists; run-length images
// give literal pixels only (skipped pixels are transparent). on_token sees
// every run-length token (see decode_run_length_tokens).
template <typename PutPixel, typename OnToken>
void decode_image(std::span<const std::uint8_t> data, PixelStorage storage, const ArchiveImage& image, PutPixel&& put,
                  OnToken&& on_token) {
    if (storage == PixelStorage::run_length) {
        decode_run_length_tokens(data, image.pixels, image.width, image.height, put, on_token);
        return;
    }
    if (image.width == 0 || image.height == 0 || image.pixels >= data.size()) return;
    const std::size_t available = data.size() - image.pixels;
    const std::uint8_t* source = data.data() + image.pixels;
    std::size_t at = 0;
    for (std::uint32_t y = 0; y < image.height; ++y) {
        for (std::uint32_t x = 0; x < image.width; ++x) {
            if (at >= available) return;
            put(x, y, source[at++]);
        }
    }
}

template <typename PutPixel>
void decode_image(std::span<const std::uint8_t> data, PixelStorage storage, const ArchiveImage& image, PutPixel&& put) {
    decode_image(data, storage, image, std::forward<PutPixel>(put), [](const RunLengthToken&) {});
}

// An image as 8-bit indices with a mask of the pixels the file sets.
struct IndexedPicture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> indices;  // row by row; 0 where nothing is set
    std::vector<std::uint8_t> opaque;   // 1 where the file sets the pixel
};

// The largest picture decoded into memory (4096 x 4096 pixels).
inline constexpr std::uint64_t picture_pixel_limit = std::uint64_t{4096} * 4096;

// Decodes an image into an indexed picture; an empty picture (0 x 0) when the
// image has no pixels or more than picture_pixel_limit.
IndexedPicture decode_picture(std::span<const std::uint8_t> data, PixelStorage storage, const ArchiveImage& image);

}  // namespace quarnel
