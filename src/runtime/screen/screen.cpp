#include "runtime/screen/screen.h"

#include <algorithm>
#include <atomic>

#include "runtime/screen/window.h"

namespace quarnel {

namespace {

struct ScreenState {
    bool open = false;
    int depth = 0;
    std::vector<ImagePtr> pages;
    std::string title;
    TextCursor cursor;
};

ScreenState& state() {
    static ScreenState s;
    return s;
}

constexpr int max_screen_pages = 8;

}  // namespace

namespace {
std::atomic<bool> g_window_forbidden{false};
}  // namespace

void forbid_window() { g_window_forbidden = true; }

int set_screen(int mode, int depth, int pages) {
    // The program asks for two pages; a count far beyond that is a bad call,
    // not a request for gigabytes of pages.
    if (mode != 18 || (depth != 8 && depth != 32) || pages < 1 || pages > max_screen_pages) return 1;
    const bool had_window = window_is_open();
    {
        std::lock_guard lock(graphics_lock());
        ScreenState& s = state();
        s.pages.clear();
        const std::uint32_t bpp = static_cast<std::uint32_t>(depth / 8);
        for (int i = 0; i < pages; ++i) {
            s.pages.push_back(new_full_header_image(screen_width, screen_height, bpp));
        }
        s.open = true;
        s.depth = depth;
        s.cursor = TextCursor{};
        set_shown_page(s.pages[0].get(), bpp);
        reset_palette();
    }
    if (had_window) window_close();
    if (!g_window_forbidden) window_open(depth);
    return 0;
}

bool screen_is_open() {
    std::lock_guard lock(graphics_lock());
    return state().open;
}

bool screen_has_window() { return window_is_open(); }

int screen_depth() {
    std::lock_guard lock(graphics_lock());
    return state().open ? state().depth : 0;
}

std::uint32_t screen_bytes_per_pixel() {
    std::lock_guard lock(graphics_lock());
    return state().open ? static_cast<std::uint32_t>(state().depth / 8) : 0;
}

Image* screen_page() {
    std::lock_guard lock(graphics_lock());
    auto& s = state();
    return s.open && !s.pages.empty() ? s.pages[0].get() : nullptr;
}

Image* screen_back_page() {
    std::lock_guard lock(graphics_lock());
    auto& s = state();
    return s.open && s.pages.size() > 1 ? s.pages[1].get() : nullptr;
}

void show_back_page() {
    std::lock_guard lock(graphics_lock());
    auto& s = state();
    if (!s.open || s.pages.size() < 2) return;
    s.pages[0]->bytes = s.pages[1]->bytes;
    mark_all_rows();
}

void set_window_title(std::string_view title) {
    const std::string_view used = title.substr(0, std::min<std::size_t>(title.size(), 127));
    {
        std::lock_guard lock(graphics_lock());
        state().title.assign(used);
    }
    window_set_title(used);
}

std::string window_title() {
    std::lock_guard lock(graphics_lock());
    return state().title;
}

TextCursor& text_cursor() { return state().cursor; }

void close_screen() {
    window_close();
    std::lock_guard lock(graphics_lock());
    auto& s = state();
    s.open = false;
    s.depth = 0;
    set_shown_page(nullptr, 0);
    s.pages.clear();
}

}  // namespace quarnel
