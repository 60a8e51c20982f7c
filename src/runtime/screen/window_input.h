// What the window thread collects for the console: queued key presses,
// held keys by PC scan code (set 1), the pointer, and whether the user has
// closed the window. All of it is safe to call from the program's thread
// while the window thread runs; without a window every query answers
// "nothing" (no key, nothing held, pointer not over the window).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quarnel {

// Takes the oldest queued key press; false when none waits. Printable keys
// come as their Windows-1250 byte, Enter as "\r", Backspace as "\b", Tab as
// "\t", Escape as "\x1b", Ctrl+letter as its control byte, and other keys
// (arrows, function keys, Home, ...) as a zero byte followed by the key's
// PC scan code.
bool window_take_key(std::string& key);
bool window_key_waiting();
// Waits up to timeout_ms for a key press to be queued; true when one waits.
bool window_wait_key(int timeout_ms);
// True while the key with that PC scan code (set 1) is held down.
bool window_key_held(int scan_code);

struct PointerState {
    int x = -1;
    int y = -1;
    int wheel = -1;
    int buttons = -1;
};
// The pointer over the window: false when no window is open or the pointer
// is outside it.
bool window_pointer(PointerState& pointer);

// True once the user has closed the window; the console then ends the
// program at its next call.
bool window_was_closed();

// PC scan code (set 1) of an SDL scancode; 0 for keys without one.
int pc_scan_code(int sdl_scancode);

// For tests: waits until the window thread has copied everything marked
// before this call to the window and shown it; false on timeout or when no
// window is open.
bool window_wait_presented(int timeout_ms);
// For tests: the window system's id of the window (the X11 window), 0 when
// there is none.
std::uint64_t window_system_id();

}  // namespace quarnel
