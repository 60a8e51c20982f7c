#include "mapview/view_loop.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "mapview_bytes.h"
#include "runtime/screen/console.h"

namespace quarnel {
namespace {

using test::Bytes;

// Clock, held keys, pointer, palette, canvas and sleep under the test's
// control. The clock moves only when the loop sleeps, by 1/16 s a sleep (a
// binary fraction, so that sums are exact): ticks fall on every second pass.
class ScriptedDevices final : public ViewerDevices {
public:
    double time = 0.0;
    double seconds_per_sleep = 0.0625;
    std::vector<std::set<int>> held_keys;  // per pass
    int ended_from_pass = -1;              // passes from this one see the input ended
    int pointer_x = -1, pointer_y = -1;
    int pass = -1;
    int shows = 0;
    int slept_ms = 0;
    std::vector<std::string> titles;
    std::map<int, PaletteColour> palette;
    std::vector<int> palette_writes;
    ImagePtr page = new_image_buffer(640, 480, 1);

    double now() override { return time; }
    void begin_pass() override { ++pass; }
    bool key_held(int scan_code) override {
        return pass >= 0 && pass < static_cast<int>(held_keys.size()) &&
               held_keys[static_cast<std::size_t>(pass)].count(scan_code) > 0;
    }
    bool input_ended() override { return ended_from_pass >= 0 && pass >= ended_from_pass; }
    void pointer(int& x, int& y) override {
        x = pointer_x;
        y = pointer_y;
    }
    void set_title(std::string_view title) override { titles.emplace_back(title); }
    void set_palette_entry(int index, const PaletteColour& colour) override {
        palette[index] = colour;
        palette_writes.push_back(index);
    }
    Image* canvas() override { return page.get(); }
    void show() override { ++shows; }
    void sleep(int milliseconds) override {
        slept_ms += milliseconds;
        time += seconds_per_sleep;
    }
    int pixel(int x, int y) const {
        const auto layout = image_layout(*page);
        return image_row(*page, *layout, static_cast<std::uint32_t>(y))[x];
    }
};

// Tile j is filled with index 10 + j and has index 50 + j at its top-left
// pixel, so a mirrored tile shows 50 + j at its top-right. Tile 3 is an
// overlay: transparent except its left column, index 90.
Bytes tile_file() {
    std::vector<test::TileBytes> tiles;
    for (int j = 0; j < 4; ++j) {
        test::TileBytes t;
        t.tile_value = static_cast<std::uint32_t>(100 + j);
        for (auto& p : t.pixels) p = static_cast<std::uint8_t>(j == 3 ? 0 : 10 + j);
        if (j == 3)
            for (int y = 0; y < 32; ++y) t.pixels[static_cast<std::size_t>(32 * y)] = 90;
        else
            t.pixels[0] = static_cast<std::uint8_t>(50 + j);
        tiles.push_back(t);
    }
    Bytes palette(768);
    for (int i = 0; i < 256; ++i) {
        palette[static_cast<std::size_t>(3 * i)] = static_cast<std::uint8_t>(i % 64);
        palette[static_cast<std::size_t>(3 * i + 1)] = static_cast<std::uint8_t>(i / 4);
        palette[static_cast<std::size_t>(3 * i + 2)] = static_cast<std::uint8_t>(63 - i % 64);
    }
    return test::tile_set_bytes(tiles, palette);
}

// The unit: image 0 is 4 x 40 of index 7 (x offset 100); image 1 is 2 x 33
// of index 8. Animations "UMOVE12" frames 0-2, "UMOVE0" frames 3-4, "UFIRE12"
// frame 5, "UFIRE0" frame 6.
struct Scene {
    ViewerTileSet tiles = build_tile_pictures(tile_file());
    UnitSpriteSet unit = build_unit_sprite_set(
        test::sprite_set_bytes(1, {{4, 40, 100, 0, Bytes(160, 7)}, {2, 33, 0, 0, Bytes(66, 8)}}));
    UnitAnimationSet animations;
    MapGrid grid;
    ViewerScene view{grid, tiles, unit, animations};

    explicit Scene(std::uint16_t width = 30, std::uint16_t height = 20, std::vector<test::MapCellBytes> cells = {}) {
        animations = build_unit_animation_set(
            test::animation_file_bytes({{"UMOVE12", 0, 2}, {"UMOVE0", 3, 4}, {"UFIRE12", 5, 5}, {"UFIRE0", 6, 6}},
                                       {{0}, {0}, {0}, {1}, {1}, {0, 0, 3}, {1, 120, 0, 1, 1}}),
            "U", unit);
        const std::size_t count = std::size_t{width} * height;
        cells.resize(count, test::MapCellBytes{100, 0, 0x80, 0});
        MapLoad load = parse_map(test::map_bytes(width, height, cells), tiles.keys);
        grid = *load.grid;
    }
};

ViewState running_state(double now) {
    ViewState state;
    state.last_tick = now;
    return state;
}

TEST(ViewLoop, TicksCycleEntries201To207AndNothingElse) {
    Scene scene;
    ScriptedDevices devices;
    ViewState state = running_state(devices.time);
    const auto& colours = scene.tiles.palette;
    // Less than 0.1 s: no tick.
    run_tick(state, scene.view, devices, 0.0625);
    EXPECT_TRUE(devices.palette_writes.empty());
    EXPECT_EQ(state.cycle_counter, 0);
    run_tick(state, scene.view, devices, 0.1);
    EXPECT_EQ(state.cycle_counter, 1);
    const int after_first[7] = {207, 201, 202, 203, 204, 205, 206};
    for (int k = 0; k < 7; ++k) EXPECT_EQ(devices.palette[201 + k], colours[static_cast<std::size_t>(after_first[k])]);
    for (int tick = 2; tick <= 7; ++tick) run_tick(state, scene.view, devices, 0.125 * tick);
    EXPECT_EQ(state.cycle_counter, 0);
    for (int k = 0; k < 7; ++k) EXPECT_EQ(devices.palette[201 + k], colours[static_cast<std::size_t>(201 + k)]);
    for (int index : devices.palette_writes) {
        EXPECT_GE(index, 201);
        EXPECT_LE(index, 207);
    }
    EXPECT_EQ(devices.palette_writes.size(), 49u);
}

TEST(ViewLoop, TicksComeAtMostOncePerTenthOfASecond) {
    Scene scene;
    ScriptedDevices devices;
    ViewState state = running_state(devices.time);
    choose_animation(state, scene.animations);  // UMOVE12, frames 0 to 2
    ASSERT_EQ(scene.animations.current_animation, 0);
    std::vector<int> frames;
    // A tick on every second pass.
    for (int pass = 0; pass < 8; ++pass) {
        run_view_pass(state, scene.view, devices);
        frames.push_back(scene.animations.current_frame);
    }
    EXPECT_EQ(frames, (std::vector<int>{0, 0, 1, 1, 2, 2, 0, 0}));
    EXPECT_EQ(devices.slept_ms, 8 * 50);
    EXPECT_EQ(devices.shows, 8);
}

TEST(ViewLoop, ScrollingStaysWithinTheMap) {
    Scene scene(25, 17);
    ScriptedDevices devices;
    ViewState state = running_state(devices.time);
    devices.held_keys.assign(10, {scan::right, scan::down});
    for (int i = 0; i < 10; ++i) {
        devices.begin_pass();
        apply_keys(state, scene.grid, devices);
    }
    EXPECT_EQ(state.scroll_column, 5);
    EXPECT_EQ(state.scroll_row, 2);
    devices.held_keys.assign(30, {scan::left, scan::up});
    devices.pass = -1;
    for (int i = 0; i < 10; ++i) {
        devices.begin_pass();
        apply_keys(state, scene.grid, devices);
    }
    EXPECT_EQ(state.scroll_column, 0);
    EXPECT_EQ(state.scroll_row, 0);
    // Exactly 20 wide and 15 high, or smaller: nothing to scroll.
    for (auto [w, h] : {std::pair{20, 15}, std::pair{6, 4}}) {
        Scene small(static_cast<std::uint16_t>(w), static_cast<std::uint16_t>(h));
        ViewState s = running_state(0);
        devices.held_keys.assign(30, {scan::right, scan::down});
        devices.pass = -1;
        for (int i = 0; i < 3; ++i) {
            devices.begin_pass();
            apply_keys(s, small.grid, devices);
        }
        EXPECT_EQ(s.scroll_column, 0);
        EXPECT_EQ(s.scroll_row, 0);
    }
}

TEST(ViewLoop, KeysActInTableOrder) {
    Scene scene;
    ScriptedDevices devices;
    ViewState state = running_state(0);
    devices.held_keys = {{scan::digit1, scan::digit9},
                         {scan::m, scan::f},
                         {scan::digit3, scan::digit2},
                         {scan::d},
                         {scan::digit7, scan::digit8, scan::m, scan::d},
                         {scan::digit4},
                         {scan::digit6}};
    std::vector<std::pair<std::string, std::string>> seen;
    for (std::size_t i = 0; i < devices.held_keys.size(); ++i) {
        devices.begin_pass();
        apply_keys(state, scene.grid, devices);
        seen.emplace_back(state.action, state.direction);
    }
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"MOVE", "10"}, {"FIRE", "10"}, {"FIRE", "14"}, {"DIEB", "14"}, {"DIEB", "8"}, {"DIEB", "4"}, {"DIEB", "12"}};
    EXPECT_EQ(seen, expected);
    EXPECT_TRUE(state.running);
}

TEST(ViewLoop, HeldQAndWSwitchOnEveryPass) {
    Scene scene;
    ScriptedDevices devices;
    ViewState state = running_state(0);
    devices.held_keys.assign(4, {scan::q, scan::w});
    std::vector<int> grid, markers;
    for (int i = 0; i < 4; ++i) {
        devices.begin_pass();
        apply_keys(state, scene.grid, devices);
        grid.push_back(state.grid);
        markers.push_back(state.marker_view);
    }
    EXPECT_EQ(grid, (std::vector<int>{1, 0, 1, 0}));
    EXPECT_EQ(markers, (std::vector<int>{1, 2, 0, 1}));
}

TEST(ViewLoop, EscapeEndsTheLoopAfterACompletePass) {
    Scene scene;
    ScriptedDevices devices;
    ViewState state = running_state(devices.time);
    devices.held_keys = {{}, {}, {scan::escape, scan::right}};
    run_view_loop(state, scene.view, devices);
    EXPECT_FALSE(state.running);
    EXPECT_EQ(devices.pass, 2);
    EXPECT_EQ(devices.titles.size(), 3u);
    EXPECT_EQ(devices.shows, 3);
    EXPECT_EQ(state.scroll_column, 1);  // the rest of the pass still happens
    EXPECT_EQ(devices.titles.back().substr(0, 4), "2x1,");
}

TEST(ViewLoop, EndOfInputEndsTheLoopAsEscapeDoes) {
    Scene scene;
    ScriptedDevices devices;
    ViewState state = running_state(devices.time);
    devices.ended_from_pass = 1;
    run_view_loop(state, scene.view, devices);
    EXPECT_EQ(devices.pass, 1);
    EXPECT_EQ(devices.titles.size(), 2u);
}

TEST(ViewLoop, AnimationIsChosenByNameWithoutRestarting) {
    Scene scene;
    ViewState state = running_state(0);
    UnitAnimationSet& a = scene.animations;
    // Fewer than 19 animations: animation 18 until a name matches.
    EXPECT_EQ(a.current_animation, 18);
    choose_animation(state, a);
    EXPECT_EQ(a.current_animation, 0);
    EXPECT_EQ(a.current_frame, 0);
    a.current_frame = 2;
    choose_animation(state, a);  // the same animation again: no restart
    EXPECT_EQ(a.current_frame, 2);
    state.direction = "0";
    choose_animation(state, a);
    EXPECT_EQ(a.current_animation, 1);
    EXPECT_EQ(a.current_frame, 3);
    state.action = "DIEB";  // no such animation: the current one runs on
    a.current_frame = 4;
    choose_animation(state, a);
    EXPECT_EQ(a.current_animation, 1);
    EXPECT_EQ(a.current_frame, 4);
    state.action = "FIRE";
    choose_animation(state, a);
    EXPECT_EQ(a.current_animation, 3);
    EXPECT_EQ(a.current_frame, 6);
}

TEST(ViewLoop, TitleNamesTheCellUnderThePointer) {
    std::vector<test::MapCellBytes> cells(30 * 20, test::MapCellBytes{100, 0, 0x80, 0});
    cells[1] = {101, 103, 0x41, 0x31};  // cell (2, 1)
    cells[30 * 3 + 6] = {102, 0, 0x20, 7};  // cell (7, 4)
    Scene scene(30, 20, cells);
    ViewState state = running_state(0);
    EXPECT_EQ(pointer_title(state, scene.grid, 33, 0), "2x1, val: 65-49, podklad: 3-7");
    EXPECT_EQ(pointer_title(state, scene.grid, 31, 479), "1x15, val: 128-0, podklad: 0-0");
    state.scroll_column = 5;
    state.scroll_row = 3;
    EXPECT_EQ(pointer_title(state, scene.grid, 40, 10), "7x4, val: 32-7, podklad: 5-0");
    // A pointer outside the window (-1, -1) names the top-left visible cell.
    EXPECT_EQ(pointer_title(state, scene.grid, -1, -1).substr(0, 4), "6x4,");
    // Beyond a small map there is no cell to describe.
    Scene small(6, 4);
    EXPECT_EQ(pointer_title(running_state(0), small.grid, 639, 0), "20x1, poza mapa | off the map");
}

TEST(ViewLoop, DrawsMapOverlaysMarkersUnitAndGridInOrder) {
    std::vector<test::MapCellBytes> cells(30 * 20, test::MapCellBytes{100, 0, 0x80, 0});
    cells[0] = {101, 0, 0x20, 0};             // (1, 1): tile 1 mirrored
    cells[1] = {102, 103, 0x80, 0x02};        // (2, 1): tile 2 with the overlay, marker 103
    cells[30 + 0] = {100, 0, 0x00, 0x31};     // (1, 2): marker 200
    Scene scene(30, 20, cells);
    ScriptedDevices devices;
    ViewState state = running_state(0);
    choose_animation(state, scene.animations);  // UMOVE12: image 0, unturned
    draw_view(devices.page.get(), state, scene.view);
    EXPECT_EQ(devices.pixel(31, 0), 51);   // mirrored tile 1: its marked pixel at the right
    EXPECT_EQ(devices.pixel(0, 0), 11);
    EXPECT_EQ(devices.pixel(32, 0), 90);   // overlay's left column over tile 2
    EXPECT_EQ(devices.pixel(33, 0), 12);   // transparent overlay pixel keeps the ground
    EXPECT_EQ(devices.pixel(64, 0), 50);   // tile 0 as stored
    // Unit frame 0: image 0 (4 x 40, x offset 100) with its top-left at
    // (16 + 100, 192 - 40).
    EXPECT_EQ(devices.pixel(116, 152), 7);
    EXPECT_EQ(devices.pixel(119, 191), 7);
    EXPECT_EQ(devices.pixel(120, 191), 10);
    EXPECT_EQ(devices.pixel(116, 192), 10);

    state.marker_view = 2;
    state.grid = 1;
    draw_view(devices.page.get(), state, scene.view);
    EXPECT_EQ(devices.pixel(32, 0), 103);  // markers cover the overlay
    EXPECT_EQ(devices.pixel(64, 32), 103);  // 33 x 33: into the next cell
    EXPECT_EQ(devices.pixel(65, 33), 10);
    EXPECT_EQ(devices.pixel(0, 32), 200);
    EXPECT_EQ(devices.pixel(32, 64), 200);  // the lower neighbour's box was drawn later
    // Grid lines in colour 255 at 31, 63, ... that end at pixel 400.
    EXPECT_EQ(devices.pixel(31, 400), 255);
    EXPECT_EQ(devices.pixel(31, 401), 10);
    EXPECT_EQ(devices.pixel(400, 95), 255);
    EXPECT_EQ(devices.pixel(401, 95), 10);
    EXPECT_EQ(devices.pixel(479, 100), 255);  // the fifteenth line
    EXPECT_EQ(devices.pixel(479, 401), 10);
    EXPECT_EQ(devices.pixel(117, 159), 255);  // the grid is drawn over the unit
    EXPECT_EQ(devices.pixel(117, 160), 7);

    state.marker_view = 1;  // plane 1: second values as colours
    state.grid = 0;
    draw_view(devices.page.get(), state, scene.view);
    EXPECT_EQ(devices.pixel(40, 10), 2);
    EXPECT_EQ(devices.pixel(5, 40), 0x31);
}

TEST(ViewLoop, TurnedFramesAndScrollingKeepTheUnitInPlace) {
    Scene scene;
    ScriptedDevices devices;
    ViewState state = running_state(0);
    state.direction = "0";
    state.action = "FIRE";
    state.scroll_column = 4;
    choose_animation(state, scene.animations);  // UFIRE0: frame 6, image 1 turned
    draw_view(devices.page.get(), state, scene.view);
    // Turned frame: left edge at horizontal reference - 82; the picture is
    // 33 high, so its top is at 160 - (33 - 32) = 159.
    EXPECT_EQ(devices.pixel(120 - 82, 159), 8);
    EXPECT_EQ(devices.pixel(120 - 82 + 1, 191), 8);
    EXPECT_EQ(devices.pixel(120 - 82 + 2, 191), 10);
    EXPECT_EQ(devices.pixel(120 - 82, 158), 10);
}

TEST(ViewLoop, CellsBeyondASmallMapAreEmpty) {
    std::vector<test::MapCellBytes> cells(6 * 4, test::MapCellBytes{101, 0, 0x00, 0x31});
    Scene scene(6, 4, cells);
    ScriptedDevices devices;
    // Fill the page with junk first: the view must overwrite all of it.
    draw_line(devices.page.get(), 0, 0, 639, 479, 99, LineKind::filled_box);
    ViewState state = running_state(0);
    state.marker_view = 2;
    scene.animations.current_frame = 700;  // beyond the frames: no unit is drawn
    draw_view(devices.page.get(), state, scene.view);
    EXPECT_EQ(devices.pixel(0, 0), 200);
    EXPECT_EQ(devices.pixel(6 * 32 - 1, 4 * 32 - 1), 200);
    EXPECT_EQ(devices.pixel(6 * 32 + 1, 10), 0);
    EXPECT_EQ(devices.pixel(639, 479), 0);
    EXPECT_EQ(devices.pixel(10, 4 * 32 + 1), 0);
    EXPECT_EQ(devices.pixel(117, 170), 0);  // where the unit would be
    EXPECT_EQ(devices.pixel(117, 100), 200);
}

TEST(ViewLoop, ATileSetWithoutTheMapsPicturesDrawsEmptyCells) {
    Scene scene;
    ViewerTileSet no_tiles;
    ViewerScene view{scene.grid, no_tiles, scene.unit, scene.animations};
    ScriptedDevices devices;
    draw_line(devices.page.get(), 0, 0, 639, 479, 99, LineKind::filled_box);
    draw_view(devices.page.get(), running_state(0), view);
    EXPECT_EQ(devices.pixel(300, 300), 0);
    EXPECT_EQ(devices.pixel(639, 479), 0);
}

}  // namespace
}  // namespace quarnel
