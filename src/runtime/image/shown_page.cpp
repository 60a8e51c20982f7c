#include "runtime/image/shown_page.h"

#include <algorithm>
#include <array>

namespace quarnel {

namespace {

struct ShownPage {
    Image* page = nullptr;
    std::uint32_t bytes_per_pixel = 0;
    int rows = 0;
    std::vector<bool> marked_rows;
    bool any_marked = false;
    std::array<std::uint32_t, 256> palette = default_palette();
};

ShownPage& shown() {
    static ShownPage page;
    return page;
}

}  // namespace

std::recursive_mutex& graphics_lock() {
    static std::recursive_mutex lock;
    return lock;
}

void set_shown_page(Image* page, std::uint32_t bytes_per_pixel) {
    std::lock_guard lock(graphics_lock());
    ShownPage& s = shown();
    s.page = page;
    s.bytes_per_pixel = page ? bytes_per_pixel : 0;
    const auto layout = page ? image_layout(*page) : std::nullopt;
    s.rows = layout ? static_cast<int>(layout->height) : 0;
    s.marked_rows.assign(static_cast<std::size_t>(s.rows), true);
    s.any_marked = s.rows > 0;
}

Image* shown_page() {
    std::lock_guard lock(graphics_lock());
    return shown().page;
}

std::uint32_t shown_bytes_per_pixel() {
    std::lock_guard lock(graphics_lock());
    return shown().bytes_per_pixel;
}

void mark_rows(int first, int last) {
    std::lock_guard lock(graphics_lock());
    ShownPage& s = shown();
    first = std::max(first, 0);
    last = std::min(last, s.rows - 1);
    for (int y = first; y <= last; ++y) s.marked_rows[static_cast<std::size_t>(y)] = true;
    if (first <= last) s.any_marked = true;
}

void mark_all_rows() { mark_rows(0, shown().rows - 1); }

bool take_marked_rows(std::vector<bool>& rows) {
    std::lock_guard lock(graphics_lock());
    ShownPage& s = shown();
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
    ShownPage& s = shown();
    s.palette[static_cast<std::size_t>(index & 255)] = pack_palette_entry(red, green, blue);
    // At 8 bits the whole shown page changes colour at once.
    if (s.page && s.bytes_per_pixel == 1) mark_all_rows();
}

std::uint32_t palette_entry(int index) {
    std::lock_guard lock(graphics_lock());
    return shown().palette[static_cast<std::size_t>(index & 255)];
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
    ShownPage& s = shown();
    s.palette = default_palette();
    if (s.page && s.bytes_per_pixel == 1) mark_all_rows();
}

}  // namespace quarnel
