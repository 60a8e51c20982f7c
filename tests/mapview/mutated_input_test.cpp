// Every byte of a small valid file of each kind flipped, zeroed and
// inverted, and the file cut at every length: loading and drawing a view
// from the result must neither crash nor reach outside its data (the
// sanitizer build checks the latter).
#include <gtest/gtest.h>

#include <functional>

#include "mapview/view_loop.h"
#include "mapview_bytes.h"

namespace quarnel {
namespace {

using test::Bytes;

// Positions first..last of the palette block, which is used as it stands,
// are passed over to keep the run short.
constexpr std::size_t palette_first = 8, palette_last = 775;

void for_each_mutation(const Bytes& valid, const std::function<void(const Bytes&)>& use, bool has_palette = false) {
    auto in_palette = [&](std::size_t i) { return has_palette && i > palette_first && i <= palette_last; };
    for (std::size_t n = 0; n < valid.size(); ++n)
        if (!in_palette(n)) use(Bytes(valid.begin(), valid.begin() + static_cast<std::ptrdiff_t>(n)));
    Bytes changed = valid;
    for (std::size_t i = 0; i < valid.size(); ++i) {
        if (in_palette(i)) continue;
        for (std::uint8_t value : {static_cast<std::uint8_t>(valid[i] ^ 0x80), std::uint8_t{0},
                                   static_cast<std::uint8_t>(~valid[i])}) {
            changed[i] = value;
            use(changed);
        }
        changed[i] = valid[i];
    }
}

struct Inputs {
    Bytes sprites = test::sprite_set_bytes(
        0x81, {{3, 2, 5, 0, {0xFE, 0x03, 11, 12, 13, 14}}, {2, 3, 200, 0, {0x05, 1, 2, 3, 4, 5, 6}}, {1, 1, 0, 0, {0xFF}}});
    Bytes raw_sprites = test::sprite_set_bytes(1, {{2, 2, 1, 0, {1, 2, 3, 4}}, {1, 3, 0, 0, {5, 6, 7}}});
    Bytes animations = test::animation_file_bytes(
        {{"UMOVE12", 0, 1}, {"UBLOOD", 2, 3}, {"UFIRE12", 4, 4}}, {{0, 0, 2}, {1, 100, 0x70, 1, 1}, {2, 0, 0, 2}, {2}},
        1, 1);
    Bytes tiles = [] {
        test::TileBytes tile;
        tile.tile_value = 7;
        for (std::size_t i = 0; i < tile.pixels.size(); ++i) tile.pixels[i] = static_cast<std::uint8_t>(i % 7);
        return test::tile_set_bytes({tile});
    }();
    Bytes map = test::map_bytes(3, 2, {{7, 7, 0x41, 0x31}, {7, 0, 0x20, 2}, {9, 9, 0xA1, 0}, {7, 0, 0, 0}});
};

void draw_once(const MapGrid& grid, const ViewerTileSet& tiles, const UnitSpriteSet& unit,
               UnitAnimationSet& animations) {
    static ImagePtr canvas = new_image_buffer(640, 480, 1);
    ViewerScene scene{grid, tiles, unit, animations};
    ViewState state;
    state.marker_view = 2;
    state.grid = 1;
    choose_animation(state, animations);
    draw_view(canvas.get(), state, scene);
    pointer_title(state, grid, 639, 479);
}

TEST(MutatedInput, UnitSpriteSets) {
    const Inputs in;
    const ViewerTileSet tiles = build_tile_pictures(in.tiles);
    const MapGrid grid = *parse_map(in.map, tiles.keys).grid;
    for (const Bytes* valid : {&in.sprites, &in.raw_sprites}) {
        for_each_mutation(*valid, [&](const Bytes& bytes) {
            const UnitSpriteSet unit = build_unit_sprite_set(bytes);
            ASSERT_LE(unit.slot_count(), 2 * UnitSpriteSet::max_images);
            UnitAnimationSet animations = build_unit_animation_set(in.animations, "U", unit);
            draw_once(grid, tiles, unit, animations);
        }, true);
    }
}

TEST(MutatedInput, AnimationDescriptions) {
    const Inputs in;
    const ViewerTileSet tiles = build_tile_pictures(in.tiles);
    const MapGrid grid = *parse_map(in.map, tiles.keys).grid;
    const UnitSpriteSet unit = build_unit_sprite_set(in.sprites);
    for_each_mutation(in.animations, [&](const Bytes& bytes) {
        UnitAnimationSet animations = build_unit_animation_set(bytes, "U", unit);
        ASSERT_LE(animations.animations.size(), static_cast<std::size_t>(UnitAnimationSet::max_animations));
        // A few ticks step the frames through whatever ranges were read.
        for (int i = 0; i < 3; ++i) {
            const UnitAnimation* current = animations.animation(animations.current_animation);
            animations.current_frame = current && animations.current_frame < current->last_frame
                                           ? animations.current_frame + 1
                                           : (current ? current->first_frame : 0);
            draw_once(grid, tiles, unit, animations);
        }
    });
}

TEST(MutatedInput, TileSets) {
    const Inputs in;
    const UnitSpriteSet unit = build_unit_sprite_set(in.sprites);
    UnitAnimationSet animations = build_unit_animation_set(in.animations, "U", unit);
    for_each_mutation(in.tiles, [&](const Bytes& bytes) {
        const ViewerTileSet tiles = build_tile_pictures(bytes);
        ASSERT_EQ(tiles.keys.size(), tiles.pictures.size());
        const MapLoad load = parse_map(in.map, tiles.keys);
        ASSERT_TRUE(load.grid);
        draw_once(*load.grid, tiles, unit, animations);
    }, true);
}

TEST(MutatedInput, Maps) {
    const Inputs in;
    const ViewerTileSet tiles = build_tile_pictures(in.tiles);
    const UnitSpriteSet unit = build_unit_sprite_set(in.sprites);
    UnitAnimationSet animations = build_unit_animation_set(in.animations, "U", unit);
    int refused = 0;
    for_each_mutation(in.map, [&](const Bytes& bytes) {
        const MapLoad load = parse_map(bytes, tiles.keys);
        if (!load.grid) {
            EXPECT_FALSE(load.error.empty());
            ++refused;
            return;
        }
        EXPECT_GE(bytes.size(), 8u + 6u * static_cast<std::size_t>(load.grid->width() * load.grid->height()));
        draw_once(*load.grid, tiles, unit, animations);
    });
    EXPECT_GT(refused, 0);
}

}  // namespace
}  // namespace quarnel
