#include "mapview/map_grid.h"

#include "runtime/platform/files.h"
#include "runtime/utility/byte_reader.h"
#include "runtime/utility/text.h"

namespace quarnel {

MapGrid::MapGrid(std::int32_t width, std::int32_t height)
    : width_(width > 0 ? width : 0), height_(height > 0 ? height : 0) {
    const std::size_t count = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
    cells_.assign(count, MapCell{});
    for (auto& plane_bytes : planes_) plane_bytes.assign(count, 0);
}

bool MapGrid::contains(std::int32_t x, std::int32_t y) const {
    return x >= 1 && x <= width_ && y >= 1 && y <= height_;
}

std::size_t MapGrid::index(std::int32_t x, std::int32_t y) const {
    return static_cast<std::size_t>(y - 1) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x - 1);
}

const MapCell* MapGrid::cell(std::int32_t x, std::int32_t y) const {
    return contains(x, y) ? &cells_[index(x, y)] : nullptr;
}

MapCell* MapGrid::cell(std::int32_t x, std::int32_t y) { return contains(x, y) ? &cells_[index(x, y)] : nullptr; }

std::uint8_t MapGrid::plane(int plane_number, std::int32_t x, std::int32_t y) const {
    if (plane_number < 0 || plane_number > 2 || !contains(x, y)) return 0;
    return planes_[static_cast<std::size_t>(plane_number)][index(x, y)];
}

void MapGrid::set_plane(int plane_number, std::int32_t x, std::int32_t y, std::uint8_t value) {
    if (plane_number < 0 || plane_number > 2 || !contains(x, y)) return;
    planes_[static_cast<std::size_t>(plane_number)][index(x, y)] = value;
}

// Without an overlay the ground shows its mirrored twin for 0x20, 0x60-0x63,
// 0xA0-0xA2, 0xC1 and 0xE0-0xE3.
bool mirrors_ground_without_overlay(std::uint8_t v) {
    return (v >= 0x60 && v <= 0x63) || (v >= 0xA0 && v <= 0xA2) || (v >= 0xE0 && v <= 0xE3) || v == 0x20 ||
           v == 0xC1;
}

// With an overlay, ground and overlay are both mirrored for 0x40-0x43,
// 0x61-0x63 (not 0x60), 0xC1 and 0xE0-0xE3; 0xA1 mirrors the ground alone.
bool mirrors_both_with_overlay(std::uint8_t v) {
    return (v >= 0x61 && v <= 0x63) || (v >= 0xE0 && v <= 0xE3) || (v >= 0x40 && v <= 0x43) || v == 0xC1;
}

std::uint8_t marker_colour(std::uint8_t first_value, std::uint8_t second_value) {
    static constexpr std::uint8_t blocked_values[] = {0x02, 0x06, 0x0E, 0x12, 0x1E, 0x2A, 0x2E, 0x32,
                                                      0x36, 0x3A, 0x3E, 0x42, 0x46, 0x4E, 0x52, 0x5A};
    std::uint8_t colour = 0;
    for (std::uint8_t v : blocked_values)
        if (second_value == v) colour = 0x67;
    if (first_value < 0x80) colour = colour == 0x67 ? 0x48 : 0x79;
    if (second_value == 0x31 || second_value == 0x4D || second_value == 0x59) colour = 0xC8;
    return colour;
}

// A plain linear search, stopping at the first match: both pictures of a
// tile carry its key, so this is the stored (even) picture of the first tile.
std::int32_t first_picture_with_key(std::span<const std::int32_t> tile_keys, std::uint16_t key) {
    for (std::size_t t = 0; t < tile_keys.size(); ++t)
        if (tile_keys[t] == static_cast<std::int32_t>(key)) return static_cast<std::int32_t>(t);
    return 0;
}

MapLoad parse_map(std::span<const std::uint8_t> bytes, std::span<const std::int32_t> tile_keys) {
    MapLoad result;
    ByteReader in(bytes);
    const std::uint16_t width = in.u16le();
    in.skip(2);
    const std::uint16_t height = in.u16le();
    in.skip(2);
    if (in.ended()) {
        result.error = "Error: the map has no complete header | mapa nie ma pelnego naglowka";
        return result;
    }
    const std::uint64_t cell_count = std::uint64_t{width} * height;
    if (cell_count > map_cell_limit) {
        result.error = "Error: the map is too large | mapa jest za duza: " + decimal_text(std::uint32_t{width}) + "x" +
                       decimal_text(std::uint32_t{height});
        return result;
    }
    if (bytes.size() < map_header_size + 6 * cell_count) {
        result.error = "Error: the map is shorter than its header says | mapa jest krotsza niz podaje naglowek";
        return result;
    }
    // The picture of every key, found once: a search of the whole list for
    // each of a large map's cells would take hours with a large tile set.
    std::vector<std::int32_t> picture_of_key(std::size_t{0xFFFF} + 1, 0);
    for (std::size_t t = tile_keys.size(); t-- > 0;)
        if (tile_keys[t] >= 0 && tile_keys[t] <= 0xFFFF)
            picture_of_key[static_cast<std::size_t>(tile_keys[t])] = static_cast<std::int32_t>(t);
    MapGrid grid(width, height);
    const std::size_t values_start = map_header_size + 4 * static_cast<std::size_t>(cell_count);
    ByteReader records(bytes, map_header_size);
    ByteReader values(bytes, values_start);
    for (std::int32_t y = 1; y <= height; ++y) {
        for (std::int32_t x = 1; x <= width; ++x) {
            const std::uint16_t ground_key = records.u16le();
            const std::uint16_t overlay_key = records.u16le();
            const std::uint8_t first_value = values.u8();
            const std::uint8_t second_value = values.u8();
            grid.set_plane(0, x, y, first_value);
            grid.set_plane(1, x, y, second_value);
            MapCell& cell = *grid.cell(x, y);
            cell.ground_picture = picture_of_key[ground_key];
            if (overlay_key == 0) {
                if (mirrors_ground_without_overlay(first_value)) cell.ground_picture += 1;
            } else {
                cell.has_overlay = 1;
                cell.overlay_picture = picture_of_key[overlay_key];
                if (mirrors_both_with_overlay(first_value)) {
                    cell.overlay_picture += 1;
                    cell.ground_picture += 1;
                }
                if (first_value == 0xA1) cell.ground_picture += 1;
            }
            grid.set_plane(2, x, y, marker_colour(first_value, second_value));
        }
    }
    result.grid = std::move(grid);
    return result;
}

std::optional<MapGrid> load_map_grid(std::string_view path, std::span<const std::int32_t> tile_keys,
                                     const LineSink& say) {
    const auto bytes = read_whole_file(path);
    if (!bytes) {
        say_read_failure(bytes.error(), say);
        say("Error: cannot read the map | nie mozna wczytac mapy: " + std::string(path));
        return std::nullopt;
    }
    if (bytes->size() >= map_header_size) {
        ByteReader header(*bytes);
        const std::uint16_t width = header.u16le();
        header.skip(2);
        const std::uint16_t height = header.u16le();
        say("x: " + decimal_text(std::uint32_t{width}) + ", y: " + decimal_text(std::uint32_t{height}));
        say("mapa: " + decimal_text(std::uint32_t{width}) + "x" + decimal_text(std::uint32_t{height}));
    }
    MapLoad load = parse_map(*bytes, tile_keys);
    if (!load.grid) say(load.error);
    return std::move(load.grid);
}

}  // namespace quarnel
