// The unit animation set on any description bytes, together with the
// pictures and map it is shown with, then a few passes of the view loop on
// scripted devices: every frame, picture slot and scroll position that the
// hostile files lead to is drawn on a 640 x 480 canvas.
//
// Input: byte 0 chooses the unit name (REAP, TRSC, BARR or another), then
// the unit's sprite set, the tile set and the map as parts of stated length,
// then one byte per pass of held keys and pointer, the rest is the
// description.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "mapview/map_grid.h"
#include "mapview/unit_animation_set.h"
#include "mapview/view_loop.h"
#include "mapview/viewer_pictures.h"
#include "runtime/image/image.h"
#include "runtime/screen/console.h"

namespace {

using namespace quarnel;

constexpr int passes = 4;

class ScriptedDevices : public ViewerDevices {
public:
    explicit ScriptedDevices(std::span<const std::uint8_t> script) : script_(script) {
        canvas_ = new_image_buffer(640, 480, 1);
    }
    double now() override { return clock_ += 0.05 * (1 + (current() & 3)); }
    void begin_pass() override { ++pass_; }
    bool key_held(int scan_code) override {
        // Each byte of the script holds the keys of one pass: bit i holds key i of the table.
        static constexpr int keys[] = {scan::left, scan::right, scan::up, scan::down,
                                       scan::q,    scan::w,     scan::digit3, scan::f};
        for (int i = 0; i < 8; ++i)
            if (keys[i] == scan_code) return (current() >> i) & 1;
        return scan_code == scan::m && (current() & 0x0F) == 0x0F;
    }
    bool input_ended() override { return false; }
    void pointer(int& x, int& y) override {
        x = static_cast<int>(current()) * 5 - 64;
        y = static_cast<int>(current()) * 3 - 32;
    }
    void set_title(std::string_view title) override {
        if (title.empty()) __builtin_trap();
    }
    void set_palette_entry(int index, const PaletteColour&) override {
        if (index < cycle_first_entry || index >= cycle_first_entry + cycle_length) __builtin_trap();
    }
    Image* canvas() override { return canvas_.get(); }
    void show() override {}
    void sleep(int) override {}

private:
    std::uint8_t current() const { return pass_ < script_.size() ? script_[pass_] : 0; }

    std::span<const std::uint8_t> script_;
    std::size_t pass_ = 0;
    double clock_ = 0.0;
    ImagePtr canvas_;
};

void check_set(const UnitAnimationSet& set) {
    if (set.animations.size() > UnitAnimationSet::max_animations) __builtin_trap();
    for (const FramePlacement& frame : set.frames)
        if (frame.picture_slot < 0 || frame.picture_slot > 2 * 255 + 1) __builtin_trap();
    for (const UnitAnimation& animation : set.animations)
        if (animation.name.size() > 12 || animation.name.find('\0') != std::string::npos) __builtin_trap();
    if (set.frame(-1) || set.frame(UnitAnimationSet::max_frames)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::FuzzInput input({data, size});
    static const char* const unit_names[] = {"REAP", "TRSC", "BARR", "ZZZZ"};
    const std::string unit_name = unit_names[input.byte() % 4];
    const UnitSpriteSet unit = build_unit_sprite_set(input.part());
    const ViewerTileSet tiles = build_tile_pictures(input.part());
    const MapLoad map = parse_map(input.part(), tiles.keys);
    const auto script = input.part();
    const auto description = input.rest();

    UnitAnimationSet animations = build_unit_animation_set(description, unit_name, unit);
    check_set(animations);
    if (!map.grid) return 0;

    ViewState state;
    ViewerScene scene{*map.grid, tiles, unit, animations};
    ScriptedDevices devices(script);
    for (int pass = 0; pass < passes && state.running; ++pass) {
        run_view_pass(state, scene, devices);
        if (state.scroll_column < 0 || state.scroll_row < 0) __builtin_trap();
    }
    check_set(animations);
    return 0;
}
