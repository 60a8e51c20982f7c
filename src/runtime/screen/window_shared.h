// What a window thread shares with the program's thread, the same on every
// platform: the platform's window file (window_sdl.cpp, window_win32.cpp)
// fills it from its own events, and window_shared.cpp answers the console's
// queries from it (window_input.h).
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

namespace quarnel {

struct SharedInput {
    std::mutex mutex;
    std::condition_variable key_arrived;
    std::condition_variable presented;
    std::deque<std::string> keys;
    std::array<bool, 512> held{};  // by the platform's own key code
    bool pointer_over = false;
    int pointer_x = 0, pointer_y = 0, wheel = 0, buttons = 0;
    bool closed_by_user = false;
    std::string pending_title;
    bool title_changed = false;
    std::uint64_t present_count = 0;
    std::uint64_t system_id = 0;
};

// Never destroyed: the window thread may still run while the program exits.
SharedInput& shared_input();

// True from a successful window_open until window_close has ended the thread.
extern std::atomic<bool> g_window_open;

// Queues a key press for the console (at most 1024 wait; more are dropped).
void queue_key(std::string key);
// Before a window opens: nothing left from an earlier one.
void clear_shared_input();
// After the window has closed: nothing held, no pointer, no window id.
void forget_window();

}  // namespace quarnel
