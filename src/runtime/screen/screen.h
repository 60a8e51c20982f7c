// The graphics screen: a 640 x 480 surface of two pages at 8 or 32 bits per
// pixel, shown in a window when one can be had. Its shown page, palette and
// lock are kept with the images (shown_page.h), which draw on it.
//
// The program draws on page 0, which is the page shown. Every operation that
// writes to the shown page marks the rows it touched; the window (when one is
// open) copies marked rows to itself on its own thread, under the same lock.
// Without a window (headless mode) the screen lives in memory only and every
// drawing operation works on it as usual.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/image/image.h"
#include "runtime/image/shown_page.h"

namespace quarnel {

inline constexpr int screen_width = 640;
inline constexpr int screen_height = 480;
inline constexpr int text_columns = 80;
inline constexpr int text_rows = 30;
inline constexpr int cell_width = 8;
inline constexpr int cell_height = 16;

// Opens, or resets, the screen: mode 18 (640 x 480), depth 8 or 32, pages.
// Clears both pages, puts the text cursor top left and sets the default
// palette. Returns 0, or 1 for an unsupported mode or depth.
int set_screen(int mode, int depth, int pages);

// From now on the screen opens headless, whatever the environment says
// (command mode: only its viewer shows a window).
void forbid_window();

bool screen_is_open();
// True when a real window shows the screen (false in headless mode).
bool screen_has_window();
int screen_depth();            // 8 or 32; 0 when no screen is open
std::uint32_t screen_bytes_per_pixel();

// The shown page as an image buffer with the full header; null when no
// screen is open. Writers must hold the graphics lock and mark rows.
Image* screen_page();
// The second page, used as a back buffer; null when the screen has one page.
Image* screen_back_page();

// Copies the back page to the shown page whole and marks every row.
void show_back_page();

void set_window_title(std::string_view title);
std::string window_title();

// Text cursor of the 80 x 30 grid (0-based), shared by the console.
struct TextCursor {
    int column = 0;
    int row = 0;
};
TextCursor& text_cursor();

// Closes the screen (and its window). Used at program end and by tests.
void close_screen();

}  // namespace quarnel
