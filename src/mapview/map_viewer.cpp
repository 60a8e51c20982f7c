#include "mapview/map_viewer.h"

#include "mapview/map_grid.h"
#include "mapview/unit_animation_set.h"
#include "mapview/view_loop.h"
#include "mapview/viewer_pictures.h"
#include "runtime/platform/files.h"
#include "runtime/screen/console.h"
#include "runtime/screen/screen.h"
#include "runtime/utility/paths.h"

namespace quarnel {

namespace {

constexpr std::string_view default_unit_name = "REAP";

// The real screen, keys, pointer and clock.
class ScreenDevices final : public ViewerDevices {
public:
    explicit ScreenDevices(bool waits) : waits_(waits) {}
    double now() override { return timer_seconds(); }
    void begin_pass() override { begin_key_pass(); }
    bool key_held(int scan_code) override { return key_down(scan_code); }
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
    void wait_for_key() override {
        if (waits_) quarnel::wait_for_key();
    }
    void clear() override { clear_screen(); }
    // The loop reads held keys; every press during it was also queued. In
    // the window those presses (Escape among them) would end start-up's
    // closing key wait at once, so they are dropped here. From a script the
    // queue holds the script's next bytes, which are kept.
    void drop_seen_keys() override {
        if (screen_has_window())
            while (!poll_key().empty()) {
            }
    }

private:
    bool waits_;
};

}  // namespace

std::unique_ptr<ViewerDevices> screen_viewer_devices(bool wait_for_key) {
    return std::make_unique<ScreenDevices>(wait_for_key);
}

std::string game_file_path(std::string_view game_dir, std::string_view folder, std::string_view file_name) {
    std::string folder_path = find_ignoring_case(game_dir, folder);
    if (folder_path.empty()) folder_path = join_path(game_dir, folder);
    std::string file_path = find_ignoring_case(folder_path, file_name);
    if (file_path.empty()) file_path = join_path(folder_path, file_name);
    return file_path;
}

std::optional<ViewerTileSet> load_game_tile_set(std::string_view game_dir, std::string_view tile_set_name,
                                                const LineSink& say) {
    const std::string tiles_path = game_file_path(game_dir, "scenario", std::string(tile_set_name) + ".bts");
    std::optional<ViewerTileSet> tiles;
    if (file_exists(tiles_path)) tiles = load_tile_set(tiles_path, say);
    if (!tiles) {
        say("Error: no file with tiles | brak pliku .bts");
        say("nie ma pliku | missing file: " + tiles_path);
    }
    return tiles;
}

bool view_map(const ViewerRequest& request, ViewerDevices& devices, const LineSink& say) {
    std::string unit_name = request.unit_name.take();
    if (unit_name.empty()) unit_name = default_unit_name;

    const std::string sprites_path = game_file_path(request.game_dir, "sprites", unit_name + ".spr");
    std::optional<UnitSpriteSet> unit = load_unit_sprite_set(sprites_path, say);
    if (!unit) {
        say("Error: no unit sprite file | brak pliku .spr: " + sprites_path);
        return false;
    }

    const std::string animation_path = game_file_path(request.game_dir, "animate", unit_name + ".fin");
    std::optional<UnitAnimationSet> animations = load_unit_animation_set(animation_path, unit_name, *unit, say);
    if (!animations) {
        say("Error: no animation file | brak pliku .fin: " + animation_path);
        return false;
    }

    const std::optional<ViewerTileSet> tiles = load_game_tile_set(request.game_dir, request.tile_set_name.take(), say);
    if (!tiles) return false;

    const std::optional<MapGrid> grid = load_map_grid(request.map_path, tiles->keys, say);
    if (!grid) return false;

    say("wczytano mape - wcisnij dowolny klawisz");
    ViewState state;
    state.last_tick = devices.now();
    devices.wait_for_key();

    for (int i = 0; i < 256; ++i) devices.set_palette_entry(i, tiles->palette[static_cast<std::size_t>(i)]);
    devices.clear();

    ViewerScene scene{*grid, *tiles, *unit, *animations};
    run_view_loop(state, scene, devices);
    devices.drop_seen_keys();

    animations->clear();
    return true;
}

}  // namespace quarnel
