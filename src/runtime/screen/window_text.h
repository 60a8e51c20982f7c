// Text in the screen's 80 x 30 grid of 8 x 16 cells, drawn into the shown
// page with the embedded font (white on colour 0) under the graphics lock,
// marking the rows it touches. The cursor is the screen's text cursor.
// These work on any open screen, with a window or in memory only; the
// console uses them while a window shows the screen.
#pragma once

#include <cstdint>
#include <string_view>

namespace quarnel {

// Draws the bytes at the cursor. CR returns to column 0, LF starts a new
// line, a tab moves to the next multiple of 8; any other byte is drawn as
// its glyph. A line that fills its 80 columns goes on in the next row; past
// row 30 the grid scrolls up one row.
void grid_print(std::string_view text);
// Ends the screen line: column 0 of the next row (scrolling past row 30).
void grid_new_line();
// Fills the shown page with colour 0 and puts the cursor top left.
void grid_clear();
// Backspace of line input: moves the cursor back one cell (to the end of the
// row above at column 0) and blanks that cell.
void grid_erase_previous();
// Draws or removes the line-input cursor, an underline in the cursor's cell.
void grid_show_cursor(bool visible);

// Colour of text: index 15 at 8 bits, opaque white at 32 bits.
std::uint32_t grid_text_colour();

}  // namespace quarnel
