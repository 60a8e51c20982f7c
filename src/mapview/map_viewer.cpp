#include "mapview/map_viewer.h"

#include "entry/module_state.h"
#include "mapview/map_grid.h"
#include "mapview/unit_animation_set.h"
#include "mapview/view_loop.h"
#include "mapview/viewer_pictures.h"
#include "runtime/console.h"
#include "runtime/files.h"
#include "runtime/paths.h"
#include "runtime/screen.h"

namespace quarnel {

namespace {

constexpr std::string_view default_unit_name = "REAP";

// The real screen, keys, pointer and clock.
class ScreenDevices final : public ViewerDevices {
public:
    double now() override { return timer_seconds(); }
    void begin_pass() override { begin_key_pass(); }
    bool key_held(int scan_code) override { return key_down(scan_code) != 0; }
    bool input_ended() override { return input_has_ended(); }
    void pointer(int& x, int& y) override {
        int wheel = 0, buttons = 0;
        mouse_state(x, y, wheel, buttons);
    }
    void set_title(std::string_view title) override { set_window_title(title); }
    void set_palette_entry(int index, const PaletteColour& colour) override {
        quarnel::set_palette_entry(index, colour.red, colour.green, colour.blue);
    }
    // Each pass is drawn on the second page and shown whole, so that the
    // window never shows a half-drawn view.
    Image* canvas() override { return screen_back_page(); }
    void show() override { show_back_page(); }
    void sleep(int milliseconds) override { sleep_ms(milliseconds); }
};

void report_missing(std::string_view what, const std::string& path) {
    print_text(0, std::string(what) + path, true);
}

}  // namespace

std::string game_file_path(std::string_view game_dir, std::string_view folder, std::string_view file_name) {
    std::string folder_path = find_ignoring_case(game_dir, folder);
    if (folder_path.empty()) folder_path = join_path(game_dir, folder);
    std::string file_path = find_ignoring_case(folder_path, file_name);
    if (file_path.empty()) file_path = join_path(folder_path, file_name);
    return file_path;
}

std::optional<ViewerTileSet> load_game_tile_set(std::string_view game_dir, std::string_view tile_set_name) {
    const std::string tiles_path = game_file_path(game_dir, "scenario", std::string(tile_set_name) + ".bts");
    std::optional<ViewerTileSet> tiles;
    if (file_exists(tiles_path) != 0) tiles = load_tile_set(tiles_path);
    if (!tiles) {
        print_text(0, "Error: no file with tiles | brak pliku .bts", true);
        report_missing("nie ma pliku | missing file: ", tiles_path);
    }
    return tiles;
}

bool map_viewer_job() {
    const ModuleState& module = module_state();

    std::string unit_name = ask_answer("Podaj nazwe jednostki: (drukowanymi literami np. TRSC) ", false);
    if (unit_name.empty()) unit_name = default_unit_name;

    const std::string sprites_path = game_file_path(module.game_dir, "sprites", unit_name + ".spr");
    std::optional<UnitSpriteSet> unit = load_unit_sprite_set(sprites_path);
    if (!unit) {
        report_missing("Error: no unit sprite file | brak pliku .spr: ", sprites_path);
        return false;
    }

    const std::string animation_path = game_file_path(module.game_dir, "animate", unit_name + ".fin");
    std::optional<UnitAnimationSet> animations = load_unit_animation_set(animation_path, unit_name, *unit);
    if (!animations) {
        report_missing("Error: no animation file | brak pliku .fin: ", animation_path);
        return false;
    }

    const std::string tile_set_name = ask_answer("choose type of tile-set: (desert, jungle...) ", false);
    std::optional<ViewerTileSet> tiles = load_game_tile_set(module.game_dir, tile_set_name);
    if (!tiles) return false;

    std::optional<MapGrid> grid = load_map_grid(module.input_path, tiles->keys);
    if (!grid) return false;

    print_text(0, "wczytano mape - wcisnij dowolny klawisz", true);
    ScreenDevices devices;
    ViewState state;
    state.last_tick = devices.now();
    wait_for_key();

    for (int i = 0; i < 256; ++i) devices.set_palette_entry(i, tiles->palette[static_cast<std::size_t>(i)]);
    clear_screen();

    ViewerScene scene{*grid, *tiles, *unit, *animations};
    run_view_loop(state, scene, devices);

    // The loop reads held keys; every press during it was also queued. In
    // the window those presses (Escape among them) would end start-up's
    // closing key wait at once, so they are dropped here. From a script the
    // queue holds the script's next bytes, which are kept.
    if (screen_has_window())
        while (!poll_key().empty()) {
        }

    animations->clear();
    return true;
}

}  // namespace quarnel
