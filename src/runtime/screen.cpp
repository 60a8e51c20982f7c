#include "runtime/screen.h"

#include <algorithm>
#include <atomic>

#include "runtime/window.h"

namespace quarnel {

namespace {

struct ScreenState {
    bool open = false;
    int depth = 0;
    std::vector<ImagePtr> pages;
    std::vector<bool> marked_rows = std::vector<bool>(screen_height, false);
    bool any_marked = false;
    std::array<std::uint32_t, 256> palette = default_palette();
    std::string title;
    TextCursor cursor;
};

ScreenState& state() {
    static ScreenState s;
    return s;
}

constexpr int max_screen_pages = 8;

std::uint32_t pack_entry(std::uint32_t r, std::uint32_t g, std::uint32_t b) { return r | (g << 8) | (b << 16); }

}  // namespace

std::recursive_mutex& graphics_lock() {
    static std::recursive_mutex lock;
    return lock;
}

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
        s.palette = default_palette();
        s.cursor = TextCursor{};
        std::fill(s.marked_rows.begin(), s.marked_rows.end(), true);
        s.any_marked = true;
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

void mark_rows(int first, int last) {
    std::lock_guard lock(graphics_lock());
    auto& s = state();
    first = std::max(first, 0);
    last = std::min(last, screen_height - 1);
    for (int y = first; y <= last; ++y) s.marked_rows[static_cast<std::size_t>(y)] = true;
    if (first <= last) s.any_marked = true;
}

void mark_all_rows() { mark_rows(0, screen_height - 1); }

bool take_marked_rows(std::vector<bool>& rows) {
    std::lock_guard lock(graphics_lock());
    auto& s = state();
    if (!s.any_marked) return false;
    rows = s.marked_rows;
    std::fill(s.marked_rows.begin(), s.marked_rows.end(), false);
    s.any_marked = false;
    return true;
}

void set_palette_entry(int index, int red, int green, int blue) {
    store_palette_entry(index, screen_palette_component(red), screen_palette_component(green),
                        screen_palette_component(blue));
}

void store_palette_entry(int index, std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    std::lock_guard lock(graphics_lock());
    auto& s = state();
    s.palette[static_cast<std::size_t>(index & 255)] = pack_entry(red, green, blue);
    // At 8 bits the whole shown page changes colour at once.
    if (s.open && s.depth == 8) mark_all_rows();
}

std::uint32_t palette_entry(int index) {
    std::lock_guard lock(graphics_lock());
    return state().palette[static_cast<std::size_t>(index & 255)];
}

void get_palette_entry(int index, int& red, int& green, int& blue) {
    const std::uint32_t e = palette_entry(index);
    red = static_cast<int>(e & 0xFF);
    green = static_cast<int>((e >> 8) & 0xFF);
    blue = static_cast<int>((e >> 16) & 0xFF);
}

std::uint32_t get_palette_entry_packed(int index) {
    const std::uint32_t e = palette_entry(index);
    return ((e & 0xFF) >> 2) | ((((e >> 8) & 0xFF) >> 2) << 8) | ((((e >> 16) & 0xFF) >> 2) << 16);
}

void reset_palette() {
    std::lock_guard lock(graphics_lock());
    state().palette = default_palette();
    if (state().open && state().depth == 8) mark_all_rows();
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
    s.pages.clear();
}

}  // namespace quarnel
