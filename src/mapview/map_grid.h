// The scenario map as the viewer holds it: a grid of cells, each naming a
// ground picture and an optional overlay picture of the tile set, plus three
// byte planes (first value, second value, marker colour).
//
// File layout (little-endian): u16 width W, 2 bytes unused, u16 height H,
// 2 bytes unused, then W x H cell records of 4 bytes (u16 ground key, u16
// overlay key, 0 = none) row by row from the top, then W x H value pairs of
// 2 bytes (first value, second value) in the same order.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/utility/job.h"

namespace quarnel {

struct MapCell {
    std::int32_t ground_picture = 0;   // picture number in the tile set's list
    std::int32_t overlay_picture = 0;
    std::uint8_t has_overlay = 0;      // 1 when an overlay is drawn over the ground
};

inline constexpr int map_header_size = 8;
// The largest map held (4096 x 4096 cells, about 250 MiB of grid): the two
// u16 sizes could ask for 65535 x 65535 cells, some 60 GiB.
inline constexpr std::uint64_t map_cell_limit = std::uint64_t{4096} * 4096;

class MapGrid {
public:
    MapGrid() = default;
    MapGrid(std::int32_t width, std::int32_t height);

    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }

    // Cells are addressed from 1: column 1..width, row 1..height. Cells
    // outside the map give null.
    const MapCell* cell(std::int32_t x, std::int32_t y) const;
    MapCell* cell(std::int32_t x, std::int32_t y);
    // Plane 0: first value, 1: second value, 2: marker colour. 0 outside the
    // map or for another plane number.
    std::uint8_t plane(int plane_number, std::int32_t x, std::int32_t y) const;
    void set_plane(int plane_number, std::int32_t x, std::int32_t y, std::uint8_t value);
    bool contains(std::int32_t x, std::int32_t y) const;

private:
    std::size_t index(std::int32_t x, std::int32_t y) const;

    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::vector<MapCell> cells_;
    std::array<std::vector<std::uint8_t>, 3> planes_;
};

// Whether a value code mirrors the ground tile of a cell without overlay.
bool mirrors_ground_without_overlay(std::uint8_t first_value);
// Whether a value code mirrors both ground and overlay of a cell with one.
bool mirrors_both_with_overlay(std::uint8_t first_value);
// The marker colour (plane 2) of a cell from its two values; 0 = no marker.
std::uint8_t marker_colour(std::uint8_t first_value, std::uint8_t second_value);

// The lowest picture number whose key equals key; 0 when none has it.
std::int32_t first_picture_with_key(std::span<const std::int32_t> tile_keys, std::uint16_t key);

struct MapLoad {
    std::optional<MapGrid> grid;  // nothing when the file was refused
    std::string error;            // the line that says why, when refused
};

// Builds the grid from the file's bytes and the tile set's key list. A map of
// more than map_cell_limit cells, and a file shorter than its header says,
// are refused.
MapLoad parse_map(std::span<const std::uint8_t> bytes, std::span<const std::int32_t> tile_keys);

// Reads the map file, says the "x: " and "mapa: " lines and builds the
// grid; on a refusal or a read failure says the reason.
std::optional<MapGrid> load_map_grid(std::string_view path, std::span<const std::int32_t> tile_keys,
                                     const LineSink& say);

}  // namespace quarnel
