#include "runtime/image/image.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <new>

#include "runtime/image/shown_page.h"
#include "runtime/utility/byte_reader.h"

namespace quarnel {

namespace {

std::uint32_t load_u32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

void store_u32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Writes the full header's fields into the first 32 bytes of the block.
void write_full_header(std::vector<std::uint8_t>& b, std::uint32_t bpp, std::uint32_t width, std::uint32_t height,
                       std::uint32_t pitch) {
    store_u32(b, 0, full_header_type);
    store_u32(b, 4, bpp);
    store_u32(b, 8, width);
    store_u32(b, 12, height);
    store_u32(b, 16, pitch);
}

bool valid_bytes_per_pixel(std::uint32_t bpp) { return bpp == 1 || bpp == 2 || bpp == 4; }

// No picture of the game or of the screen comes near this; a larger request
// comes from a malformed size and is refused rather than exhausting memory.
constexpr std::uint64_t max_image_block_bytes = std::uint64_t{1} << 30;

// Runs `draw` on the target's pixels with its layout; for the screen, under
// the graphics lock, marking the rows first_row..last_row afterwards.
template <typename Draw>
void with_target(Image* target, Draw&& draw) {
    if (target) {
        if (auto layout = image_layout(*target)) draw(*target, *layout);
        return;
    }
    std::lock_guard lock(graphics_lock());
    Image* page = shown_page();
    if (!page) return;
    if (auto layout = image_layout(*page)) {
        auto [first, last] = draw(*page, *layout);
        if (first <= last) mark_rows(first, last);
    }
}

struct RowSpan {
    int first;
    int last;
};

// The standard VGA palette in 6-bit components, each stored as c x 255 / 63.
std::array<std::uint32_t, 256> make_default_palette() {
    std::array<std::uint32_t, 256> p{};
    auto put = [&](int i, int r, int g, int b) {
        p[static_cast<std::size_t>(i)] = pack_palette_entry(static_cast<std::uint32_t>(r * 255 / 63),
                                                    static_cast<std::uint32_t>(g * 255 / 63),
                                                    static_cast<std::uint32_t>(b * 255 / 63));
    };
    static const int text_colours[16][3] = {
        {0, 0, 0},    {0, 0, 42},   {0, 42, 0},   {0, 42, 42},  {42, 0, 0},   {42, 0, 42},
        {42, 21, 0},  {42, 42, 42}, {21, 21, 21}, {21, 21, 63}, {21, 63, 21}, {21, 63, 63},
        {63, 21, 21}, {63, 21, 63}, {63, 63, 21}, {63, 63, 63}};
    for (int i = 0; i < 16; ++i) put(i, text_colours[i][0], text_colours[i][1], text_colours[i][2]);
    static const int greys[16] = {0, 5, 8, 11, 14, 17, 20, 24, 28, 32, 36, 40, 45, 50, 56, 63};
    for (int i = 0; i < 16; ++i) put(16 + i, greys[i], greys[i], greys[i]);
    // Nine groups of 24 hues: three intensities, each at three saturations.
    // Each group walks the colour wheel blue, magenta, red, yellow, green, cyan
    // through five levels from the group's lowest to its highest component.
    static const int levels[9][5] = {
        {0, 16, 31, 47, 63}, {31, 39, 47, 55, 63}, {45, 49, 54, 58, 63},
        {0, 7, 14, 21, 28},  {14, 17, 21, 24, 28}, {20, 22, 24, 26, 28},
        {0, 4, 8, 12, 16},   {8, 10, 12, 14, 16},  {11, 12, 13, 15, 16}};
    static const int wheel[24][3] = {
        {0, 0, 4}, {1, 0, 4}, {2, 0, 4}, {3, 0, 4}, {4, 0, 4}, {4, 0, 3}, {4, 0, 2}, {4, 0, 1},
        {4, 0, 0}, {4, 1, 0}, {4, 2, 0}, {4, 3, 0}, {4, 4, 0}, {3, 4, 0}, {2, 4, 0}, {1, 4, 0},
        {0, 4, 0}, {0, 4, 1}, {0, 4, 2}, {0, 4, 3}, {0, 4, 4}, {0, 3, 4}, {0, 2, 4}, {0, 1, 4}};
    int index = 32;
    for (const auto& group : levels)
        for (const auto& hue : wheel) put(index++, group[hue[0]], group[hue[1]], group[hue[2]]);
    // Entries 248 to 255 stay black.
    return p;
}

}  // namespace

const std::array<std::uint32_t, 256>& default_palette() {
    static const auto palette = make_default_palette();
    return palette;
}

std::optional<ImageLayout> image_layout(const Image& image) {
    const auto& b = image.bytes;
    if (b.size() < compact_header_size) return std::nullopt;
    ImageLayout layout;
    if (b.size() >= full_header_size && load_u32(b, 0) == full_header_type) {
        layout.bytes_per_pixel = load_u32(b, 4);
        layout.width = load_u32(b, 8);
        layout.height = load_u32(b, 12);
        layout.pitch = load_u32(b, 16);
        layout.data_offset = full_header_size;
    } else {
        std::uint16_t first = static_cast<std::uint16_t>(b[0] | (b[1] << 8));
        layout.bytes_per_pixel = first & 7u;
        if (layout.bytes_per_pixel == 0) layout.bytes_per_pixel = shown_bytes_per_pixel();
        layout.width = first >> 3;
        layout.height = static_cast<std::uint16_t>(b[2] | (b[3] << 8));
        layout.pitch = layout.width * layout.bytes_per_pixel;
        layout.data_offset = compact_header_size;
        layout.compact = true;
    }
    if (!valid_bytes_per_pixel(layout.bytes_per_pixel)) return std::nullopt;
    const std::uint64_t row_bytes = std::uint64_t{layout.width} * layout.bytes_per_pixel;
    if (layout.pitch < row_bytes) return std::nullopt;
    const std::uint64_t needed = std::uint64_t{layout.height} * layout.pitch;
    if (needed > b.size() - layout.data_offset) return std::nullopt;
    return layout;
}

namespace {

// An image whose block of that many bytes is zero-filled; nothing when the
// memory cannot be had.
ImagePtr zeroed_image(std::uint64_t block_bytes) {
    auto image = std::make_unique<Image>();
    try {
        image->bytes.assign(static_cast<std::size_t>(block_bytes), 0);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return image;
}

// The pitch of rows without padding, when the size is one an image can
// have: width and height not 0, 1, 2 or 4 bytes per pixel, the pitch
// within a u32 and the pixels within the largest block.
std::optional<std::uint64_t> unpadded_pitch(std::uint32_t width, std::uint32_t height, std::uint32_t bytes_per_pixel) {
    if (width == 0 || height == 0 || !valid_bytes_per_pixel(bytes_per_pixel)) return std::nullopt;
    const std::uint64_t pitch = std::uint64_t{width} * bytes_per_pixel;
    if (pitch > 0xFFFFFFFFu || pitch * height > max_image_block_bytes) return std::nullopt;
    return pitch;
}

}  // namespace

ImagePtr create_image(int width, int height, std::uint32_t fill, int depth_bits) {
    if (width < 1 || height < 1) return nullptr;
    if (depth_bits != 8 && depth_bits != 16 && depth_bits != 32) return nullptr;
    const std::uint32_t bpp = static_cast<std::uint32_t>(depth_bits / 8);
    const std::uint64_t pitch = (std::uint64_t{static_cast<std::uint32_t>(width)} * bpp + 15) / 16 * 16;
    const std::uint64_t total = full_header_size + pitch * static_cast<std::uint32_t>(height);
    if (pitch > 0xFFFFFFFFu || total > max_image_block_bytes) return nullptr;
    ImagePtr image = zeroed_image(total);
    if (!image) return nullptr;
    write_full_header(image->bytes, bpp, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
                      static_cast<std::uint32_t>(pitch));
    // Rows and their padding all take the fill colour.
    for (std::size_t at = full_header_size; at + bpp <= image->bytes.size(); at += bpp)
        write_pixel_value(image->bytes.data() + at, bpp, fill);
    return image;
}

ImagePtr new_full_header_image(std::uint32_t width, std::uint32_t height, std::uint32_t bytes_per_pixel) {
    const auto pitch = unpadded_pitch(width, height, bytes_per_pixel);
    if (!pitch) return nullptr;
    ImagePtr image = zeroed_image(full_header_size + *pitch * height);
    if (image) write_full_header(image->bytes, bytes_per_pixel, width, height, static_cast<std::uint32_t>(*pitch));
    return image;
}

ImagePtr new_image_buffer(std::uint32_t width, std::uint32_t height, std::uint32_t bytes_per_pixel) {
    if (width > compact_max_width || height > compact_max_height)
        return new_full_header_image(width, height, bytes_per_pixel);
    const auto pitch = unpadded_pitch(width, height, bytes_per_pixel);
    if (!pitch) return nullptr;
    ImagePtr image = zeroed_image(compact_header_size + *pitch * height);
    if (!image) return nullptr;
    const std::uint16_t first = static_cast<std::uint16_t>((width << 3) | bytes_per_pixel);
    image->bytes[0] = static_cast<std::uint8_t>(first);
    image->bytes[1] = static_cast<std::uint8_t>(first >> 8);
    image->bytes[2] = static_cast<std::uint8_t>(height);
    image->bytes[3] = static_cast<std::uint8_t>(height >> 8);
    return image;
}

void destroy_image(ImagePtr& image) { image.reset(); }

std::uint8_t* image_row(Image& image, const ImageLayout& layout, std::uint32_t y) {
    return image.bytes.data() + layout.data_offset + std::size_t{y} * layout.pitch;
}

const std::uint8_t* image_row(const Image& image, const ImageLayout& layout, std::uint32_t y) {
    return image.bytes.data() + layout.data_offset + std::size_t{y} * layout.pitch;
}

std::uint32_t read_pixel_value(const std::uint8_t* at, std::uint32_t bytes_per_pixel) {
    switch (bytes_per_pixel) {
    case 1: return at[0];
    case 2: return static_cast<std::uint32_t>(at[0] | (at[1] << 8));
    default:
        return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
               (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
    }
}

void write_pixel_value(std::uint8_t* at, std::uint32_t bytes_per_pixel, std::uint32_t value) {
    for (std::uint32_t i = 0; i < bytes_per_pixel; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

bool is_mask_colour(std::uint32_t value, std::uint32_t bytes_per_pixel) {
    switch (bytes_per_pixel) {
    case 1: return (value & 0xFFu) == 0;
    case 2: return (value & 0xFFFFu) == 0xF81Fu;
    default: return (value & 0x00FFFFFFu) == 0x00FF00FFu;
    }
}

void set_pixel(Image* target, int x, int y, std::uint32_t colour) {
    with_target(target, [&](Image& img, const ImageLayout& l) -> RowSpan {
        if (x < 0 || y < 0 || static_cast<std::uint32_t>(x) >= l.width || static_cast<std::uint32_t>(y) >= l.height)
            return {1, 0};
        write_pixel_value(image_row(img, l, static_cast<std::uint32_t>(y)) + std::size_t{static_cast<std::uint32_t>(x)} * l.bytes_per_pixel,
                          l.bytes_per_pixel, colour);
        return {y, y};
    });
}

std::int64_t get_pixel(const Image* target, int x, int y) {
    std::unique_lock<std::recursive_mutex> lock;
    if (!target) {
        lock = std::unique_lock(graphics_lock());
        target = shown_page();
        if (!target) return -1;
    }
    auto l = image_layout(*target);
    if (!l || x < 0 || y < 0 || static_cast<std::uint32_t>(x) >= l->width || static_cast<std::uint32_t>(y) >= l->height)
        return -1;
    return read_pixel_value(image_row(*target, *l, static_cast<std::uint32_t>(y)) +
                                std::size_t{static_cast<std::uint32_t>(x)} * l->bytes_per_pixel,
                            l->bytes_per_pixel);
}

namespace {

// Fills the rectangle [x1, x2] x [y1, y2] (inclusive, any order), clipped.
RowSpan fill_rect(Image& img, const ImageLayout& l, long long x1, long long y1, long long x2, long long y2,
                  std::uint32_t colour) {
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    x1 = std::max(x1, 0LL);
    y1 = std::max(y1, 0LL);
    x2 = std::min(x2, static_cast<long long>(l.width) - 1);
    y2 = std::min(y2, static_cast<long long>(l.height) - 1);
    if (x1 > x2 || y1 > y2) return {1, 0};
    for (long long y = y1; y <= y2; ++y) {
        std::uint8_t* row = image_row(img, l, static_cast<std::uint32_t>(y));
        for (long long x = x1; x <= x2; ++x)
            write_pixel_value(row + static_cast<std::size_t>(x) * l.bytes_per_pixel, l.bytes_per_pixel, colour);
    }
    return {static_cast<int>(y1), static_cast<int>(y2)};
}

RowSpan merge(RowSpan a, RowSpan b) {
    if (a.first > a.last) return b;
    if (b.first > b.last) return a;
    return {std::min(a.first, b.first), std::max(a.last, b.last)};
}

}  // namespace

void draw_line(Image* target, int x1, int y1, int x2, int y2, std::uint32_t colour, LineKind kind) {
    with_target(target, [&](Image& img, const ImageLayout& l) -> RowSpan {
        switch (kind) {
        case LineKind::filled_box: return fill_rect(img, l, x1, y1, x2, y2, colour);
        case LineKind::box: {
            RowSpan span = fill_rect(img, l, x1, y1, x2, y1, colour);
            span = merge(span, fill_rect(img, l, x1, y2, x2, y2, colour));
            span = merge(span, fill_rect(img, l, x1, y1, x1, y2, colour));
            return merge(span, fill_rect(img, l, x2, y1, x2, y2, colour));
        }
        case LineKind::line:
        default: {
            // Bresenham's line: the point at step k (0 to major, the longer
            // axis' length) lies k along the major axis and
            // floor((2 k minor + major) / (2 major)) along the minor axis,
            // exactly the points the error-term walk visits. So only the
            // steps whose major coordinate falls inside the target are
            // visited, however far outside the ends lie.
            RowSpan span{1, 0};
            const long long ax = std::llabs(static_cast<long long>(x2) - x1);
            const long long ay = std::llabs(static_cast<long long>(y2) - y1);
            const int sx = x1 < x2 ? 1 : -1, sy = y1 < y2 ? 1 : -1;
            const bool x_major = ax >= ay;
            const long long major = x_major ? ax : ay, minor = x_major ? ay : ax;
            const long long major_start = x_major ? x1 : y1, minor_start = x_major ? y1 : x1;
            const int major_step = x_major ? sx : sy, minor_step = x_major ? sy : sx;
            const long long major_limit = x_major ? l.width : l.height;
            const long long minor_limit = x_major ? l.height : l.width;
            long long first = 0, last = major;
            if (major_step > 0) {
                first = std::max(first, -major_start);
                last = std::min(last, major_limit - 1 - major_start);
            } else {
                first = std::max(first, major_start - (major_limit - 1));
                last = std::min(last, major_start);
            }
            __extension__ using wide = unsigned __int128;
            for (long long k = first; k <= last; ++k) {
                const long long offset =
                    major == 0 ? 0
                               : static_cast<long long>((wide{static_cast<unsigned long long>(k)} * static_cast<unsigned long long>(minor) * 2 +
                                                         static_cast<unsigned long long>(major)) /
                                                        (wide{static_cast<unsigned long long>(major)} * 2));
                const long long minor_at = minor_start + minor_step * offset;
                if (minor_at < 0 || minor_at >= minor_limit) continue;
                const long long major_at = major_start + major_step * k;
                const long long x = x_major ? major_at : minor_at, y = x_major ? minor_at : major_at;
                write_pixel_value(image_row(img, l, static_cast<std::uint32_t>(y)) + static_cast<std::size_t>(x) * l.bytes_per_pixel,
                                  l.bytes_per_pixel, colour);
                span = merge(span, {static_cast<int>(y), static_cast<int>(y)});
            }
            return span;
        }
        }
    });
}

void draw_line(Image* target, int x1, int y1, int x2, int y2, std::uint32_t colour, int kind) {
    if (kind < 0 || kind > 2) return;
    draw_line(target, x1, y1, x2, y2, colour, static_cast<LineKind>(kind));
}

void draw_image(Image* target, int x, int y, const Image& image, bool transparent) {
    // Drawing a buffer onto itself copies from a snapshot of the source.
    Image snapshot;
    const Image* source = &image;
    auto src_layout = image_layout(image);
    if (!src_layout) return;
    with_target(target, [&](Image& img, const ImageLayout& l) -> RowSpan {
        if (&img == &image) {
            snapshot = image;
            source = &snapshot;
        }
        if (src_layout->bytes_per_pixel != l.bytes_per_pixel) return {1, 0};
        const std::uint32_t bpp = l.bytes_per_pixel;
        const long long left = std::max(0LL, static_cast<long long>(x));
        const long long top = std::max(0LL, static_cast<long long>(y));
        const long long right = std::min(static_cast<long long>(l.width), static_cast<long long>(x) + src_layout->width);
        const long long bottom = std::min(static_cast<long long>(l.height), static_cast<long long>(y) + src_layout->height);
        if (left >= right || top >= bottom) return {1, 0};
        for (long long ty = top; ty < bottom; ++ty) {
            const std::uint8_t* src = image_row(*source, *src_layout, static_cast<std::uint32_t>(ty - y)) +
                                      static_cast<std::size_t>(left - x) * bpp;
            std::uint8_t* dst = image_row(img, l, static_cast<std::uint32_t>(ty)) + static_cast<std::size_t>(left) * bpp;
            const std::size_t count = static_cast<std::size_t>(right - left);
            if (!transparent) {
                std::copy(src, src + count * bpp, dst);
                continue;
            }
            for (std::size_t i = 0; i < count; ++i, src += bpp, dst += bpp) {
                const std::uint32_t value = read_pixel_value(src, bpp);
                if (!is_mask_colour(value, bpp)) write_pixel_value(dst, bpp, value);
            }
        }
        return {static_cast<int>(top), static_cast<int>(bottom - 1)};
    });
}

}  // namespace quarnel
