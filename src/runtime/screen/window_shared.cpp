#include "runtime/screen/window_shared.h"

#include <chrono>

#include "runtime/screen/window.h"
#include "runtime/screen/window_input.h"

namespace quarnel {

std::atomic<bool> g_window_open{false};

SharedInput& shared_input() {
    static SharedInput* s = new SharedInput;
    return *s;
}

void queue_key(std::string key) {
    constexpr std::size_t max_queued_keys = 1024;
    auto& s = shared_input();
    {
        std::lock_guard lock(s.mutex);
        if (s.keys.size() >= max_queued_keys) return;
        s.keys.push_back(std::move(key));
    }
    s.key_arrived.notify_all();
}

void clear_shared_input() {
    auto& s = shared_input();
    std::lock_guard lock(s.mutex);
    s.keys.clear();
    s.held.fill(false);
    s.pointer_over = false;
    s.buttons = 0;
    s.wheel = 0;
    s.closed_by_user = false;
    s.title_changed = false;
    s.system_id = 0;
}

void forget_window() {
    auto& s = shared_input();
    std::lock_guard lock(s.mutex);
    s.held.fill(false);
    s.pointer_over = false;
    s.system_id = 0;
}

bool window_is_open() { return g_window_open.load(); }

bool window_take_key(std::string& key) {
    auto& s = shared_input();
    std::lock_guard lock(s.mutex);
    if (s.keys.empty()) return false;
    key = std::move(s.keys.front());
    s.keys.pop_front();
    return true;
}

bool window_key_waiting() {
    auto& s = shared_input();
    std::lock_guard lock(s.mutex);
    return !s.keys.empty();
}

bool window_wait_key(int timeout_ms) {
    auto& s = shared_input();
    std::unique_lock lock(s.mutex);
    return s.key_arrived.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                  [&] { return !s.keys.empty() || s.closed_by_user; }) &&
           !s.keys.empty();
}

bool window_pointer(PointerState& pointer) {
    if (!g_window_open.load()) return false;
    auto& s = shared_input();
    std::lock_guard lock(s.mutex);
    if (!s.pointer_over) return false;
    pointer.x = s.pointer_x;
    pointer.y = s.pointer_y;
    pointer.wheel = s.wheel;
    pointer.buttons = s.buttons;
    return true;
}

bool window_wait_presented(int timeout_ms) {
    if (!g_window_open.load()) return false;
    auto& s = shared_input();
    std::unique_lock lock(s.mutex);
    // Two passes of the thread's loop: the one under way may have taken the
    // marks before the caller made its last change.
    const std::uint64_t target = s.present_count + 2;
    return s.presented.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return s.present_count >= target; });
}

std::uint64_t window_system_id() {
    auto& s = shared_input();
    std::lock_guard lock(s.mutex);
    return s.system_id;
}

}  // namespace quarnel
