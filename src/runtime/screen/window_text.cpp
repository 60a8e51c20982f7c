#include "runtime/screen/window_text.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "runtime/image/image.h"
#include "runtime/screen/font8x16.h"
#include "runtime/screen/screen.h"

namespace quarnel {

namespace {

constexpr std::uint32_t background_colour = 0;

// The shown page and its layout; false when no screen is open. Callers hold
// the graphics lock.
bool shown_page(Image*& page, ImageLayout& layout) {
    page = screen_page();
    if (page == nullptr) return false;
    const auto found = image_layout(*page);
    if (!found || found->width < screen_width || found->height < screen_height) return false;
    layout = *found;
    return true;
}

// Fills pixel rows first..last (inclusive) of the page with colour 0.
void clear_rows(Image& page, const ImageLayout& layout, int first, int last) {
    for (int y = first; y <= last; ++y) {
        std::uint8_t* row = image_row(page, layout, static_cast<std::uint32_t>(y));
        std::memset(row, 0, std::size_t{layout.width} * layout.bytes_per_pixel);
    }
    mark_rows(first, last);
}

// Moves the whole grid up one text row and blanks the last one.
void scroll_up(Image& page, const ImageLayout& layout) {
    std::uint8_t* top = image_row(page, layout, 0);
    const std::size_t moved = std::size_t{layout.pitch} * (screen_height - cell_height);
    std::memmove(top, top + std::size_t{layout.pitch} * cell_height, moved);
    clear_rows(page, layout, screen_height - cell_height, screen_height - 1);
    mark_all_rows();
}

// Draws one glyph (foreground and background) into the cell at column, row.
void draw_cell(Image& page, const ImageLayout& layout, int column, int row, std::uint8_t byte) {
    const auto& glyph = font8x16[byte];
    const std::uint32_t foreground = grid_text_colour();
    const std::uint32_t bpp = layout.bytes_per_pixel;
    const int top = row * cell_height;
    for (int gy = 0; gy < cell_height; ++gy) {
        std::uint8_t* at = image_row(page, layout, static_cast<std::uint32_t>(top + gy)) +
                           std::size_t{bpp} * static_cast<std::size_t>(column * cell_width);
        const std::uint8_t bits = glyph[static_cast<std::size_t>(gy)];
        for (int gx = 0; gx < cell_width; ++gx, at += bpp)
            write_pixel_value(at, bpp, (bits & (0x80u >> gx)) ? foreground : background_colour);
    }
    mark_rows(top, top + cell_height - 1);
}

void new_line(Image& page, const ImageLayout& layout, TextCursor& cursor) {
    cursor.column = 0;
    if (++cursor.row >= text_rows) {
        scroll_up(page, layout);
        cursor.row = text_rows - 1;
    }
}

// Keeps a cursor that someone else left out of the grid inside it.
void clamp_cursor(TextCursor& cursor) {
    cursor.row = std::clamp(cursor.row, 0, text_rows - 1);
    cursor.column = std::clamp(cursor.column, 0, text_columns);
}

}  // namespace

std::uint32_t grid_text_colour() { return screen_depth() == 8 ? 15u : 0xFFFFFFFFu; }

void grid_print(std::string_view text) {
    std::lock_guard lock(graphics_lock());
    Image* page = nullptr;
    ImageLayout layout;
    if (!shown_page(page, layout)) return;
    TextCursor& cursor = text_cursor();
    clamp_cursor(cursor);
    for (const char c : text) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (byte == '\r') {
            cursor.column = 0;
        } else if (byte == '\n') {
            new_line(*page, layout, cursor);
        } else if (byte == '\t') {
            // Column 80 is a full row whose wrap is still pending.
            if (cursor.column >= text_columns) new_line(*page, layout, cursor);
            const int next = std::min((cursor.column / 8 + 1) * 8, text_columns);
            while (cursor.column < next) draw_cell(*page, layout, cursor.column++, cursor.row, ' ');
        } else {
            if (cursor.column >= text_columns) new_line(*page, layout, cursor);
            draw_cell(*page, layout, cursor.column++, cursor.row, byte);
        }
    }
}

void grid_new_line() {
    std::lock_guard lock(graphics_lock());
    Image* page = nullptr;
    ImageLayout layout;
    if (!shown_page(page, layout)) return;
    TextCursor& cursor = text_cursor();
    clamp_cursor(cursor);
    new_line(*page, layout, cursor);
}

void grid_clear() {
    std::lock_guard lock(graphics_lock());
    text_cursor() = TextCursor{};
    Image* page = nullptr;
    ImageLayout layout;
    if (!shown_page(page, layout)) return;
    clear_rows(*page, layout, 0, static_cast<int>(layout.height) - 1);
}

void grid_erase_previous() {
    std::lock_guard lock(graphics_lock());
    Image* page = nullptr;
    ImageLayout layout;
    if (!shown_page(page, layout)) return;
    TextCursor& cursor = text_cursor();
    clamp_cursor(cursor);
    if (cursor.column > 0) {
        --cursor.column;
    } else if (cursor.row > 0) {
        --cursor.row;
        cursor.column = text_columns - 1;
    } else {
        return;
    }
    draw_cell(*page, layout, cursor.column, cursor.row, ' ');
}

void grid_show_cursor(bool visible) {
    std::lock_guard lock(graphics_lock());
    Image* page = nullptr;
    ImageLayout layout;
    if (!shown_page(page, layout)) return;
    TextCursor& cursor = text_cursor();
    clamp_cursor(cursor);
    if (cursor.column >= text_columns) return;
    const std::uint32_t colour = visible ? grid_text_colour() : background_colour;
    const std::uint32_t bpp = layout.bytes_per_pixel;
    for (int gy = cell_height - 3; gy < cell_height - 1; ++gy) {
        const int y = cursor.row * cell_height + gy;
        std::uint8_t* at = image_row(*page, layout, static_cast<std::uint32_t>(y)) +
                           std::size_t{bpp} * static_cast<std::size_t>(cursor.column * cell_width);
        for (int gx = 0; gx < cell_width; ++gx, at += bpp) write_pixel_value(at, bpp, colour);
    }
    mark_rows(cursor.row * cell_height, cursor.row * cell_height + cell_height - 1);
}

}  // namespace quarnel
