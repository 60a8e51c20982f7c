// The map viewer's view loop: one pass ticks the animation and the colour
// cycle, reads the held keys, chooses the animation, draws the map, the
// markers, the unit and the grid, names the cell under the pointer in the
// window title and sleeps 50 ms.
//
// The loop reaches the clock, the keys, the pointer, the palette, the
// drawing target and the sleep only through ViewerDevices, so that a test
// can script them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "archive/palette.h"  // cycle_first_entry, cycle_length
#include "mapview/map_grid.h"
#include "mapview/unit_animation_set.h"
#include "mapview/viewer_pictures.h"
#include "runtime/image/image.h"

namespace quarnel {

inline constexpr int view_columns = 20;
inline constexpr int view_rows = 15;
inline constexpr int view_cell_size = 32;
inline constexpr double tick_seconds = 0.1;
inline constexpr int pass_sleep_ms = 50;
inline constexpr int unit_anchor = 160;          // frames are placed from (160, 160)
inline constexpr int grid_lines = 15;
inline constexpr int grid_extent = 400;
inline constexpr std::uint8_t grid_colour = 255;

struct ViewState {
    std::int32_t scroll_column = 0;
    std::int32_t scroll_row = 0;
    std::uint8_t grid = 0;           // 1 shows the grid
    std::uint8_t marker_view = 0;    // 0 none, 1 plane 1, 2 plane 2
    std::string action = "MOVE";
    std::string direction = "12";
    std::int32_t cycle_counter = 0;  // 0 to 6
    double last_tick = 0.0;
    bool running = true;
};

class ViewerDevices {
public:
    virtual ~ViewerDevices() = default;
    virtual double now() = 0;
    // Called once per pass before the held keys are read.
    virtual void begin_pass() = 0;
    virtual bool key_held(int scan_code) = 0;
    // True once the keys can no longer come (standard input has ended).
    virtual bool input_ended() = 0;
    virtual void pointer(int& x, int& y) = 0;
    virtual void set_title(std::string_view title) = 0;
    virtual void set_palette_entry(int index, const PaletteColour& colour) = 0;
    // Where a pass draws (an 8-bit 640 x 480 picture); null draws on the
    // shown page directly.
    virtual Image* canvas() = 0;
    // Shows the finished drawing of a pass whole.
    virtual void show() = 0;
    virtual void sleep(int milliseconds) = 0;
    // Before the loop: the wait for any key once the map is loaded, and the
    // screen cleared; after it, the key presses the loop has seen dropped
    // from the queue. A test's devices may leave them out.
    virtual void wait_for_key() {}
    virtual void clear() {}
    virtual void drop_seen_keys() {}
};

// What the loop shows; the animation set is changed by ticks and choices.
struct ViewerScene {
    const MapGrid& grid;
    const ViewerTileSet& tiles;
    const UnitSpriteSet& unit;
    UnitAnimationSet& animations;
};

// Step 1: when 0.1 s or more have passed since the last tick, moves the
// colour cycle of entries 201 to 207 on and the current frame on.
void run_tick(ViewState& state, ViewerScene& scene, ViewerDevices& devices, double now);
// Step 2: the keys in table order; Escape (or the end of input) clears the
// running flag.
void apply_keys(ViewState& state, const MapGrid& grid, ViewerDevices& devices);
// Step 3: the first animation named unit + action + direction becomes the
// current one, unless it already is.
void choose_animation(const ViewState& state, UnitAnimationSet& animations);
// A block of map cells drawn from the target's top-left corner: the cells
// first_column + 1 .. first_column + columns, first_row + 1 .. first_row +
// rows.
struct MapCells {
    std::int32_t first_column = 0;
    std::int32_t first_row = 0;
    int columns = view_columns;
    int rows = view_rows;
};
// Grounds and overlays of the cells, then the markers of plane marker_view
// (1 or 2; 0 draws none).
void draw_map_cells(Image* target, const MapGrid& grid, const ViewerTileSet& tiles, const MapCells& cells,
                    std::uint8_t marker_view);
// The grid: a vertical line at the right edge of each of the first columns
// cells, from the top to pixel row bottom, and a horizontal line at the
// bottom edge of each of the first rows cells, from the left to pixel
// column right.
void draw_grid(Image* target, int columns, int rows, int right, int bottom);
// The unit's frame: its picture drawn transparent with its top-left corner
// at (160 - x placement, 160 - y placement), moved by (shift_x, shift_y);
// nothing when the sprite set lacks the picture.
void draw_unit_frame(Image* target, const UnitSpriteSet& unit, const FramePlacement& frame, int shift_x = 0,
                     int shift_y = 0);
// Steps 4 to 7: map, overlays, markers, unit and grid, in that order.
void draw_view(Image* target, const ViewState& state, const ViewerScene& scene);
// Step 8's title for the pointer at pixel (x, y).
std::string pointer_title(const ViewState& state, const MapGrid& grid, int x, int y);

void run_view_pass(ViewState& state, ViewerScene& scene, ViewerDevices& devices);
// Passes until the running flag is cleared.
void run_view_loop(ViewState& state, ViewerScene& scene, ViewerDevices& devices);

}  // namespace quarnel
