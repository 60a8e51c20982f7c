// The builder's picture coding on any picture and palette, checked by
// decoding what it wrote: trimming, colour matching, raw and run-length
// coding (with and without the row split) and the sprite set around it must
// give back the picture's indices.
//
// Input: byte 0 flags (bit 0 run-length, bit 1 row split), bytes 1 and 2 the
// width and height (1 to 64), byte 3 the number k of palette colours given,
// k colours of 4 bytes (the other entries are opaque black), then one byte
// per pixel: below k that palette colour, 0xFF blank, 0xFE a colour of no
// entry, anything else opaque grey of that level.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "archive/run_length_encode.h"
#include "archive/sprite_archive.h"
#include "builder/archive_layout.h"
#include "builder/picture_coding.h"
#include "fuzz_input.h"

namespace {

using namespace quarnel;

constexpr std::uint32_t stray_colour = 0x12345678u;  // no entry is given this one

// A pixel of alpha 0 is blank whatever its colour bytes: matched as 0.
std::uint32_t as_matched(std::uint32_t colour) { return (colour >> 24) == 0 ? 0 : colour; }

bool palette_holds(const Palette& palette, std::uint32_t colour) {
    return std::find(palette.begin(), palette.end(), colour) != palette.end();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::FuzzInput input({data, size});
    const std::uint8_t flags = input.byte();
    const PixelStorage storage = (flags & 1) ? PixelStorage::run_length : PixelStorage::raw;
    const bool row_split = (flags & 2) != 0;
    const std::uint32_t width = 1 + input.byte() % 64;
    const std::uint32_t height = 1 + input.byte() % 64;
    const std::uint32_t given = input.byte();
    Palette palette;
    palette.fill(0xFF000000u);
    for (std::uint32_t i = 0; i < given; ++i) {
        const std::uint32_t low = input.u16();
        const std::uint32_t colour = low | (std::uint32_t{input.u16()} << 16);
        palette[i] = colour == stray_colour ? 0 : colour;
    }

    // The picture, 32-bit pixels stored little-endian, rows of width x 4 bytes plus 4 of padding.
    const std::size_t pitch = std::size_t{width} * 4 + 4;
    std::vector<std::uint8_t> pixels(pitch * height, 0xAB);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint8_t choice = input.byte();
            std::uint32_t colour = 0;
            if (choice < given)
                colour = palette[choice];
            else if (choice == 0xFE)
                colour = stray_colour;
            else if (choice != 0xFF)
                colour = 0xFF000000u | (std::uint32_t{choice} * 0x010101u);
            std::uint8_t* at = pixels.data() + y * pitch + x * 4;
            for (int b = 0; b < 4; ++b) at[b] = static_cast<std::uint8_t>(colour >> (8 * b));
        }
    }
    const PictureView view{pixels.data(), width, height, pitch};

    // Trimming: nothing but blank pixels left of the column and above the row.
    const TrimOrigin origin = find_trim_origin(view);
    bool any = false;
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x) {
            if (as_matched(view.pixel(x, y)) == 0) continue;
            any = true;
            if (x < origin.column || y < origin.row) __builtin_trap();
        }
    if (!any && (origin.column != width || origin.row != height)) __builtin_trap();

    const ColourMatcher matcher(palette, storage);
    std::vector<std::uint8_t> coded_bytes;
    const CodedPicture coded = code_picture(view, origin, matcher, storage, row_split, coded_bytes);
    if (!any) {
        if (coded.width != 0 || coded.height != 0 || !coded_bytes.empty()) __builtin_trap();
        return 0;
    }
    if (coded.x_offset != origin.column || coded.y_offset != origin.row) __builtin_trap();
    if (coded.width != width - origin.column || coded.height != height - origin.row) __builtin_trap();

    // What the archive should hold: the index a search of the palette gives
    // (lowest entry for raw storage, highest for run-length).
    std::vector<std::uint8_t> expected(std::size_t{coded.width} * coded.height, 0);
    std::uint64_t unmatched = 0;
    for (std::uint32_t y = 0; y < coded.height; ++y)
        for (std::uint32_t x = 0; x < coded.width; ++x) {
            const std::uint32_t colour = as_matched(view.pixel(x + origin.column, y + origin.row));
            int found = -1;
            for (int i = 0; i < 256; ++i)
                if (palette[static_cast<std::size_t>(i)] == colour) {
                    found = i;
                    if (storage == PixelStorage::raw) break;
                }
            if (found < 0 && colour != 0) ++unmatched;
            expected[std::size_t{y} * coded.width + x] = static_cast<std::uint8_t>(found < 0 ? 0 : found);
        }
    if (coded.off_palette.pixels != unmatched) __builtin_trap();
    if (palette_holds(palette, stray_colour)) __builtin_trap();

    // Decode the coded bytes as extraction would and compare.
    ArchiveImage image;
    image.width = coded.width;
    image.height = coded.height;
    image.pixels = 0;
    image.end = coded_bytes.size();
    std::vector<std::uint8_t> decoded(expected.size(), 0);
    std::vector<std::uint8_t> set(expected.size(), 0);
    std::uint64_t linear = 0;
    decode_image(
        coded_bytes, storage, image,
        [&](std::uint32_t x, std::uint32_t y, std::uint8_t index) {
            if (x >= coded.width || y >= coded.height) __builtin_trap();
            const std::size_t at = std::size_t{y} * coded.width + x;
            if (set[at]) __builtin_trap();
            set[at] = 1;
            decoded[at] = index;
        },
        [&](const RunLengthToken& token) {
            // With the row split no run crosses a row's end.
            if (row_split && linear / coded.width != (linear + token.length - 1) / coded.width) __builtin_trap();
            linear += token.length;
        });
    if (decoded != expected) __builtin_trap();
    for (std::size_t at = 0; at < set.size(); ++at) {
        const bool should_be_set = storage == PixelStorage::raw || expected[at] != 0;
        if (static_cast<bool>(set[at]) != should_be_set) __builtin_trap();
    }
    if (storage == PixelStorage::run_length) {
        if (linear != expected.size()) __builtin_trap();
        if (coded_bytes.size() > run_length_worst_case(expected.size())) __builtin_trap();
    } else if (coded_bytes.size() != expected.size()) {
        __builtin_trap();
    }

    // The same picture through a whole sprite set and back.
    SpriteSetWriter writer(1, storage, palette);
    writer.add(1, coded, coded_bytes);
    const std::vector<std::uint8_t> archive = writer.finish();
    const SpriteSet parsed = parse_sprite_set(archive);
    if (parsed.images.size() != 1 || parsed.pixel_storage() != storage || parsed.data_ended) __builtin_trap();
    const ArchiveImage& stored = parsed.images[0];
    if (stored.width != coded.width || stored.height != coded.height || stored.x_offset != coded.x_offset ||
        stored.y_offset != coded.y_offset || stored.end != archive.size())
        __builtin_trap();
    const IndexedPicture picture = decode_picture(archive, parsed.pixel_storage(), stored);
    if (picture.indices != expected) __builtin_trap();
    return 0;
}
