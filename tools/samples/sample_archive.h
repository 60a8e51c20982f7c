// Small archives made by the project itself: a sprite set of a few coloured
// sprites (raw or run-length coded, with offsets) and a tile set. The sample
// tool writes them for the README's first run; the tests and benchmarks
// build their inputs with the same writers.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace quarnel {

// An indexed picture to store: index 0 is transparent in run-length storage.
struct SamplePicture {
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint16_t x_offset = 0;
    std::uint16_t y_offset = 0;
    std::vector<std::uint8_t> indices;  // width x height, row by row
};

struct SampleTile {
    std::uint32_t tile_value = 0;
    std::array<std::uint8_t, 1024> indices{};
};

// A .spr file: storage byte 1 (raw) or 0x81 (run-length), the records and
// the images (run-length images each after a u32 length, coded by the one
// run-length encoder).
std::vector<std::uint8_t> write_sprite_set(const std::array<std::uint8_t, 768>& palette_block,
                                           const std::vector<SamplePicture>& pictures, bool run_length,
                                           bool row_split = false);
// A .bts file with that tile-set code.
std::vector<std::uint8_t> write_tile_set(std::uint16_t tile_set_code, const std::array<std::uint8_t, 768>& palette_block,
                                         const std::vector<SampleTile>& tiles);

// A 6-bit palette block: a grey ramp with a few bright colours at 1 to 6 and
// the cycling colours 201 to 207 as a ramp of reds.
std::array<std::uint8_t, 768> sample_palette_block();
// A few coloured sprites (a square, a ring, a diagonal band, a cross) with
// transparent surroundings and offsets.
std::vector<SamplePicture> sample_sprites();
// count tiles of stripes and checks, some using the cycling colours.
std::vector<SampleTile> sample_tiles(std::uint32_t count);

}  // namespace quarnel
