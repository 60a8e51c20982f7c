// One pass of the map viewer's loop on a 640 x 480 8-bit picture: the map
// with its overlays, the markers, the unit and the grid, drawn from the
// sample game. The loop allows itself 50 ms a pass (its sleep); drawing must
// take a small part of that.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "mapview/view_loop.h"
#include "runtime/screen/screen.h"
#include "samples/sample_game.h"

namespace quarnel {
namespace {

struct LoadedSample {
    SampleGame game = make_sample_game();
    ViewerTileSet tiles = build_tile_pictures(game.tile_set);
    UnitSpriteSet unit = build_unit_sprite_set(game.unit_sprites);
    UnitAnimationSet animations = build_unit_animation_set(game.unit_animations, sample_unit_name, unit);
    MapGrid grid = *parse_map(game.map, tiles.keys).grid;
};

// Draws on the screen's second page and shows it, as the viewer does, but
// without the sleep; the clock is fixed and no key is held.
class BenchDevices final : public ViewerDevices {
public:
    double now() override { return 0.0; }
    void begin_pass() override {}
    bool key_held(int) override { return false; }
    bool input_ended() override { return false; }
    void pointer(int& x, int& y) override { x = y = 100; }
    void set_title(std::string_view title) override { set_window_title(title); }
    void set_palette_entry(int index, const PaletteColour& c) override {
        quarnel::set_palette_entry(index, c.red, c.green, c.blue);
    }
    Image* canvas() override { return screen_back_page(); }
    void show() override { show_back_page(); }
    void sleep(int) override {}
};

void BM_DrawView(benchmark::State& bench) {
    LoadedSample sample;
    ViewerScene scene{sample.grid, sample.tiles, sample.unit, sample.animations};
    ImagePtr canvas = new_image_buffer(640, 480, 1);
    ViewState state;
    state.marker_view = 2;
    state.grid = 1;
    state.scroll_column = 7;
    state.scroll_row = 5;
    choose_animation(state, sample.animations);
    for (auto _ : bench) {
        draw_view(canvas.get(), state, scene);
        benchmark::DoNotOptimize(canvas->bytes.data());
    }
}
BENCHMARK(BM_DrawView)->Unit(benchmark::kMicrosecond);

void BM_ViewPassOnHeadlessScreen(benchmark::State& bench) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    set_screen(18, 8, 2);
    LoadedSample sample;
    ViewerScene scene{sample.grid, sample.tiles, sample.unit, sample.animations};
    BenchDevices devices;
    ViewState state;
    state.marker_view = 2;
    state.grid = 1;
    for (auto _ : bench) run_view_pass(state, scene, devices);
    close_screen();
}
BENCHMARK(BM_ViewPassOnHeadlessScreen)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quarnel
