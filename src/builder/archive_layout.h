// Writing the two archive layouts the builder produces: the sprite set
// (.spr) and the tile set (.bts). The archive is assembled in memory and
// handed back whole, to be written in one piece.
//
// Sprite set: byte 0 storage (1 raw, 0x81 run-length), byte 1 zero, u16
// picture count, u32 data size, the 768-byte palette block, one 8-byte
// record per picture (u16 width, height, x offset, y offset), then the
// pictures back to back, each run-length picture behind its u32 length.
// Tile set: u16 tile-set code, u16 zero, u16 tile count, u16 zero, the
// palette block, then per tile its u32 tile value and its pixels.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "builder/picture_coding.h"

namespace quarnel {

inline constexpr std::uint32_t most_pictures = 65535;  // the count is a u16
inline constexpr std::uint32_t largest_side = 65535;   // record fields are u16
// The largest archive the builder writes (the game's own are a few MiB); it
// keeps the u32 data size whole and the memory of a build bounded.
inline constexpr std::uint64_t largest_archive_bytes = std::uint64_t{256} << 20;

inline constexpr std::uint16_t desert_tile_set_code = 5100;
inline constexpr std::uint16_t jungle_tile_set_code = 5700;
inline constexpr std::uint16_t other_tile_set_code = 6000;

// The tile-set code by the name of the folder that holds the tiles
// (compared exactly, case included): "desert" 5100; "jungle", "htrain",
// "special2", "trainh" 5700; any other name 6000.
std::uint16_t tile_set_code(std::string_view folder_name);

class SpriteSetWriter {
public:
    SpriteSetWriter(std::uint32_t picture_count, PixelStorage storage, const Palette& palette);

    // Adds picture number (1-based) with its coded bytes.
    void add(std::uint32_t number, const CodedPicture& picture, std::span<const std::uint8_t> coded_bytes);
    // The finished archive, with its data size filled in.
    std::vector<std::uint8_t> finish();

private:
    std::vector<std::uint8_t> bytes_;
    std::uint32_t picture_count_;
    PixelStorage storage_;
};

class TileSetWriter {
public:
    TileSetWriter(std::uint32_t tile_count, std::uint16_t code, const Palette& palette);

    void add(std::uint32_t tile_value, std::span<const std::uint8_t> coded_bytes);
    std::vector<std::uint8_t> finish();

private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace quarnel
