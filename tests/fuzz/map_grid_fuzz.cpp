// The scenario map reader on any bytes, with a tile key list taken from the
// front of the input: byte 0 is the number of keys, then a u16 per key, the
// rest is the map file. A map is refused with a reason or held whole, and
// every cell names the picture that a plain search of the key list finds
// (or the mirror after it).
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz_input.h"
#include "mapview/map_grid.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    quarnel::fuzzing::FuzzInput input({data, size});
    const std::size_t key_count = input.byte();
    std::vector<std::int32_t> keys;
    for (std::size_t k = 0; k < key_count; ++k) keys.push_back(input.u16());
    const auto map_file = input.rest();

    const quarnel::MapLoad load = quarnel::parse_map(map_file, keys);
    if (!load.grid) {
        if (load.error.empty()) __builtin_trap();  // a refusal always says why
        return 0;
    }
    if (!load.error.empty()) __builtin_trap();
    const quarnel::MapGrid& grid = *load.grid;
    const std::uint64_t cells = std::uint64_t(grid.width()) * std::uint64_t(grid.height());
    if (quarnel::map_header_size + 6 * cells > map_file.size()) __builtin_trap();
    const auto last_picture = static_cast<std::int32_t>(keys.size());
    for (std::int32_t y = 0; y <= grid.height() + 1; ++y) {
        for (std::int32_t x = 0; x <= grid.width() + 1; ++x) {
            const quarnel::MapCell* cell = grid.cell(x, y);
            if ((cell != nullptr) != grid.contains(x, y)) __builtin_trap();
            if (!cell) {
                for (int plane = 0; plane < 3; ++plane)
                    if (grid.plane(plane, x, y) != 0) __builtin_trap();
                continue;
            }
            if (cell->ground_picture < 0 || cell->ground_picture > last_picture + 1) __builtin_trap();
            if (cell->overlay_picture < 0 || cell->overlay_picture > last_picture + 1) __builtin_trap();
            if (cell->has_overlay > 1) __builtin_trap();
            if (grid.plane(2, x, y) != quarnel::marker_colour(grid.plane(0, x, y), grid.plane(1, x, y)))
                __builtin_trap();
            // The cell's record, read again, and the search the grid must agree with.
            const std::size_t record = quarnel::map_header_size +
                                       4 * (std::size_t(y - 1) * std::size_t(grid.width()) + std::size_t(x - 1));
            const auto ground_key = static_cast<std::uint16_t>(map_file[record] | (map_file[record + 1] << 8));
            const auto overlay_key = static_cast<std::uint16_t>(map_file[record + 2] | (map_file[record + 3] << 8));
            const std::int32_t ground = quarnel::first_picture_with_key(keys, ground_key);
            if (cell->ground_picture != ground && cell->ground_picture != ground + 1) __builtin_trap();
            if (overlay_key == 0) {
                if (cell->has_overlay != 0 || cell->overlay_picture != 0) __builtin_trap();
            } else {
                const std::int32_t overlay = quarnel::first_picture_with_key(keys, overlay_key);
                if (cell->has_overlay != 1) __builtin_trap();
                if (cell->overlay_picture != overlay && cell->overlay_picture != overlay + 1) __builtin_trap();
            }
        }
    }
    if (grid.plane(3, 1, 1) != 0 || grid.plane(-1, 1, 1) != 0) __builtin_trap();
    return 0;
}
