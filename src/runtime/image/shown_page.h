// The page the screen shows, as the image operations see it: a null target
// stands for it, drawn under the graphics lock with the rows it touched
// marked for the window, and 8-bit pixels take their colours from its
// palette. The screen (one layer up, screen.h) opens and closes the page;
// while none is open a null target is no image. The palette is there
// without a screen too (the default palette until it is set).
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "runtime/image/image.h"

namespace quarnel {

// The graphics layer's one lock; recursive so that operations calling each
// other take it once.
std::recursive_mutex& graphics_lock();

// The shown page and its bytes per pixel, set by the screen (null: none is
// open, 0 bytes per pixel). Every row is marked when a page is set.
void set_shown_page(Image* page, std::uint32_t bytes_per_pixel);
// The shown page; null when no screen is open. Writers must hold the
// graphics lock and mark rows.
Image* shown_page();
std::uint32_t shown_bytes_per_pixel();

// Marks rows first..last (clipped) of the shown page as changed.
void mark_rows(int first, int last);
void mark_all_rows();
// Takes the set of marked rows, clearing it; the window thread calls this
// under the graphics lock. Returns true when any row was marked.
bool take_marked_rows(std::vector<bool>& rows);

// Palette: 256 entries, red in bits 0-7, green 8-15, blue 16-23.
// The 8-bit component the screen keeps of one set through set_palette_entry:
// six bits of it, (c >> 2) x 255 / 63.
constexpr std::uint8_t screen_palette_component(int component) {
    return static_cast<std::uint8_t>(((static_cast<unsigned>(component) & 0xFFu) >> 2) * 255u / 63u);
}
void set_palette_entry(int index, int red, int green, int blue);
void get_palette_entry(int index, int& red, int& green, int& blue);
// Packed 6-bit form: red bits 0-5, green 8-13, blue 16-21.
std::uint32_t get_palette_entry_packed(int index);
// The stored entry as it is (8-bit components, red in bits 0-7).
std::uint32_t palette_entry(int index);
// Stores 8-bit components exactly, bypassing the 6-bit rounding of
// set_palette_entry; used where a loaded palette must be kept exact.
void store_palette_entry(int index, std::uint8_t red, std::uint8_t green, std::uint8_t blue);
// The default palette again.
void reset_palette();

}  // namespace quarnel
