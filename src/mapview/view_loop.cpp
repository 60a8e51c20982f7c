#include "mapview/view_loop.h"

#include <algorithm>

#include "runtime/screen/console.h"
#include "runtime/utility/text.h"

namespace quarnel {

void run_tick(ViewState& state, ViewerScene& scene, ViewerDevices& devices, double now) {
    if (now - state.last_tick < tick_seconds) return;
    state.last_tick = now;
    state.cycle_counter = state.cycle_counter + 1 > cycle_length - 1 ? 0 : state.cycle_counter + 1;
    // Entry 201 + ((counter + k) mod 7) shows the tile set's colour 201 + k.
    for (int k = 0; k < cycle_length; ++k) {
        const int entry = cycle_first_entry + (state.cycle_counter + k) % cycle_length;
        devices.set_palette_entry(entry, scene.tiles.palette[static_cast<std::size_t>(cycle_first_entry + k)]);
    }
    UnitAnimationSet& animations = scene.animations;
    const UnitAnimation* current = animations.animation(animations.current_animation);
    const std::int32_t first = current ? current->first_frame : 0;
    const std::int32_t last = current ? current->last_frame : 0;
    animations.current_frame += 1;
    if (animations.current_frame > last) animations.current_frame = first;
}

void apply_keys(ViewState& state, const MapGrid& grid, ViewerDevices& devices) {
    // The order of the tests is the order of the key table: within one pass
    // a later key of the same group wins.
    if (devices.key_held(scan::escape) || devices.input_ended()) state.running = false;
    if (devices.key_held(scan::left) && state.scroll_column > 0) state.scroll_column -= 1;
    if (devices.key_held(scan::right) && state.scroll_column < grid.width() - view_columns) state.scroll_column += 1;
    if (devices.key_held(scan::up) && state.scroll_row > 0) state.scroll_row -= 1;
    if (devices.key_held(scan::down) && state.scroll_row < grid.height() - view_rows) state.scroll_row += 1;
    if (devices.key_held(scan::q)) state.grid = state.grid == 0 ? 1 : 0;
    if (devices.key_held(scan::w)) state.marker_view = static_cast<std::uint8_t>((state.marker_view + 1) % 3);
    // The digits are laid out like a keypad; direction numbers run clockwise
    // from down (0) through left (4), up (8) and right (12).
    static constexpr struct {
        int scan_code;
        const char* direction;
    } direction_keys[] = {{scan::digit1, "2"},  {scan::digit2, "0"}, {scan::digit3, "14"}, {scan::digit4, "4"},
                          {scan::digit6, "12"}, {scan::digit7, "6"}, {scan::digit8, "8"},  {scan::digit9, "10"}};
    for (const auto& key : direction_keys)
        if (devices.key_held(key.scan_code)) state.direction = key.direction;
    if (devices.key_held(scan::m)) state.action = "MOVE";
    if (devices.key_held(scan::d)) state.action = "DIEB";
    if (devices.key_held(scan::f)) state.action = "FIRE";
}

void choose_animation(const ViewState& state, UnitAnimationSet& animations) {
    const std::string wanted = animations.unit_name + state.action + state.direction;
    const auto count = static_cast<std::int32_t>(animations.animations.size());
    for (std::int32_t a = 0; a < count && a < animations.animation_count; ++a) {
        if (text_compare(animations.animations[static_cast<std::size_t>(a)].name, wanted) != 0) continue;
        if (a != animations.current_animation) {
            animations.current_frame = animations.animations[static_cast<std::size_t>(a)].first_frame;
            animations.current_animation = a;
        }
        return;
    }
}

void draw_map_cells(Image* target, const MapGrid& grid, const ViewerTileSet& tiles, const MapCells& cells,
                    std::uint8_t marker_view) {
    // Map: ground plain, overlay transparent. A cell beyond the map, or one
    // whose picture the tile set lacks, is drawn empty.
    for (int row = 1; row <= cells.rows; ++row) {
        for (int column = 1; column <= cells.columns; ++column) {
            const int left = view_cell_size * column - view_cell_size;
            const int top = view_cell_size * row - view_cell_size;
            const MapCell* cell = grid.cell(cells.first_column + column, cells.first_row + row);
            const Image* ground = cell ? tiles.picture(cell->ground_picture) : nullptr;
            if (ground)
                draw_image(target, left, top, *ground, false);
            else
                draw_line(target, left, top, left + view_cell_size - 1, top + view_cell_size - 1, 0,
                          LineKind::filled_box);
            if (cell && cell->has_overlay)
                if (const Image* overlay = tiles.picture(cell->overlay_picture))
                    draw_image(target, left, top, *overlay, true);
        }
    }
    // Markers: boxes of 33 x 33 pixels, so each also covers the first column
    // and row of the next cell until that cell's box is drawn.
    if (marker_view == 1 || marker_view == 2) {
        for (int row = 1; row <= cells.rows; ++row) {
            for (int column = 1; column <= cells.columns; ++column) {
                const std::uint8_t colour = grid.plane(marker_view, cells.first_column + column, cells.first_row + row);
                if (colour == 0) continue;
                draw_line(target, view_cell_size * column - view_cell_size, view_cell_size * row - view_cell_size,
                          view_cell_size * column, view_cell_size * row, colour, LineKind::filled_box);
            }
        }
    }
}

void draw_grid(Image* target, int columns, int rows, int right, int bottom) {
    for (int i = 1; i <= std::max(columns, rows); ++i) {
        const int at = view_cell_size * i - 1;
        if (i <= columns) draw_line(target, at, 0, at, bottom, grid_colour, LineKind::line);
        if (i <= rows) draw_line(target, 0, at, right, at, grid_colour, LineKind::line);
    }
}

void draw_unit_frame(Image* target, const UnitSpriteSet& unit, const FramePlacement& frame, int shift_x, int shift_y) {
    if (const Image* picture = unit.picture(frame.picture_slot))
        draw_image(target, unit_anchor - frame.x_placement + shift_x, unit_anchor - frame.y_placement + shift_y, *picture,
                   true);
}

void draw_view(Image* target, const ViewState& state, const ViewerScene& scene) {
    draw_map_cells(target, scene.grid, scene.tiles, MapCells{state.scroll_column, state.scroll_row, view_columns, view_rows},
                   state.marker_view);
    // Unit: fixed on the screen, not moving with the map.
    const UnitAnimationSet& animations = scene.animations;
    if (const FramePlacement* frame = animations.frame(animations.current_frame)) draw_unit_frame(target, scene.unit, *frame);
    // Grid: lines end at pixel 400 in both directions.
    if (state.grid == 1) draw_grid(target, grid_lines, grid_lines, grid_extent, grid_extent);
}

std::string pointer_title(const ViewState& state, const MapGrid& grid, int x, int y) {
    // Division truncates toward zero, so a pointer outside the window (-1)
    // names the top-left visible cell.
    const std::int32_t column = x / view_cell_size + state.scroll_column + 1;
    const std::int32_t row = y / view_cell_size + state.scroll_row + 1;
    std::string title = decimal_text(column) + "x" + decimal_text(row);
    const MapCell* cell = grid.cell(column, row);
    if (!cell) return title + ", poza mapa | off the map";
    title += ", val: " + decimal_text(std::int32_t{grid.plane(0, column, row)}) + "-" +
             decimal_text(std::int32_t{grid.plane(1, column, row)});
    title += ", podklad: " + decimal_text(cell->ground_picture) + "-" + decimal_text(cell->overlay_picture);
    return title;
}

void run_view_pass(ViewState& state, ViewerScene& scene, ViewerDevices& devices) {
    run_tick(state, scene, devices, devices.now());
    devices.begin_pass();
    apply_keys(state, scene.grid, devices);
    choose_animation(state, scene.animations);
    draw_view(devices.canvas(), state, scene);
    devices.show();
    int x = -1, y = -1;
    devices.pointer(x, y);
    devices.set_title(pointer_title(state, scene.grid, x, y));
    devices.sleep(pass_sleep_ms);
}

void run_view_loop(ViewState& state, ViewerScene& scene, ViewerDevices& devices) {
    while (state.running) run_view_pass(state, scene, devices);
}

}  // namespace quarnel
