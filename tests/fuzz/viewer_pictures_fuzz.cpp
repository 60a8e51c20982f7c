// The viewer's unit sprite set and tile set loaders on any bytes (byte 0
// chooses which): every loaded picture has the size its record states, its
// mirror is the same picture turned left to right, and the whole set keeps
// within its pixel budget.
#include <cstddef>
#include <cstdint>
#include <span>

#include "mapview/viewer_pictures.h"
#include "runtime/image/image.h"

namespace {

using namespace quarnel;

// Both pictures of a pair: stated size, 8 bits, mirror images of each other.
void check_pair(const Image* stored, const Image* mirrored, std::int32_t width, std::int32_t height) {
    if (!stored || !mirrored) __builtin_trap();
    const auto a = image_layout(*stored);
    const auto b = image_layout(*mirrored);
    if (!a || !b) __builtin_trap();
    if (a->bytes_per_pixel != 1 || b->bytes_per_pixel != 1) __builtin_trap();
    if (static_cast<std::int32_t>(a->width) != width || static_cast<std::int32_t>(a->height) != height) __builtin_trap();
    if (b->width != a->width || b->height != a->height) __builtin_trap();
    // Large pictures are compared on three rows, so that each input stays quick.
    const bool every_row = std::uint64_t{a->width} * a->height <= 65536;
    for (std::uint32_t y = 0; y < a->height; ++y) {
        if (!every_row && y != 0 && y != a->height / 2 && y != a->height - 1) continue;
        const std::uint8_t* row = image_row(*stored, *a, y);
        const std::uint8_t* turned = image_row(*mirrored, *b, y);
        for (std::uint32_t x = 0; x < a->width; ++x)
            if (row[x] != turned[a->width - 1 - x]) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::span<const std::uint8_t> file(data + 1, size - 1);
    if (data[0] & 1) {
        const ViewerTileSet tiles = build_tile_pictures(file);
        if (tiles.keys.size() != tiles.pictures.size()) __builtin_trap();
        if (tiles.pictures.size() > 2 * static_cast<std::size_t>(tiles.tile_count)) __builtin_trap();
        for (std::size_t t = 0; t + 1 < tiles.pictures.size(); t += 2) {
            if (tiles.keys[t] != tiles.keys[t + 1] || tiles.keys[t] < 0 || tiles.keys[t] > 0xFFFF) __builtin_trap();
            check_pair(tiles.pictures[t].get(), tiles.pictures[t + 1].get(), 32, 32);
        }
        if (tiles.picture(-1) || tiles.picture(static_cast<std::int32_t>(tiles.pictures.size()))) __builtin_trap();
        return 0;
    }
    const UnitSpriteSet unit = build_unit_sprite_set(file);
    if (unit.slot_count() % 2 != 0 || unit.slot_count() > 2 * UnitSpriteSet::max_images) __builtin_trap();
    if (unit.slot_count() > 2 * unit.image_count) __builtin_trap();
    if (unit.widths.size() != unit.pictures.size() || unit.heights.size() != unit.pictures.size()) __builtin_trap();
    if (2 * unit.x_offsets.size() != unit.pictures.size()) __builtin_trap();
    std::uint64_t pixels = 0;
    for (std::int32_t slot = 0; slot + 1 < unit.slot_count(); slot += 2) {
        const Image* stored = unit.picture(slot);
        const Image* mirrored = unit.picture(slot + 1);
        if ((stored == nullptr) != (mirrored == nullptr)) __builtin_trap();
        if (!stored) continue;
        check_pair(stored, mirrored, unit.widths[slot], unit.heights[slot]);
        pixels += 2 * std::uint64_t(unit.widths[slot]) * std::uint64_t(unit.heights[slot]);
    }
    if (pixels > UnitSpriteSet::max_total_pixels) __builtin_trap();
    if (unit.picture(-1) || unit.picture(unit.slot_count()) || unit.height(-5) != 0) __builtin_trap();
    return 0;
}
