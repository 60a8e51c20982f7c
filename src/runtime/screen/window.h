// The real window behind the screen (SDL2 on Linux, the system's own
// window calls on Windows), owned by a thread of the graphics layer. The
// screen (screen.cpp) calls these; the window thread pumps events, copies
// marked rows of the shown page to the window (through the palette at 8
// bits) and presents them, all under the graphics lock.
#pragma once

#include <string_view>

namespace quarnel {

// Opens the window for a screen of that depth and starts its thread.
// Returns false, opening nothing, when no window can be had: no display,
// SDL cannot start, or SDL_VIDEODRIVER is "dummy" or "offscreen" (headless).
bool window_open(int depth);
void window_close();
bool window_is_open();
void window_set_title(std::string_view title);

}  // namespace quarnel
