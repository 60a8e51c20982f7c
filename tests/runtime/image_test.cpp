// Image buffers, drawing and the palette: the layouts of both header forms,
// clipping at every edge, transparent drawing per depth and the palette's
// 6-bit rounding and default entries.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <utility>

#include "runtime/image/image.h"
#include "runtime/screen/screen.h"

using namespace quarnel;

namespace {

void open_headless_screen(int depth) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    ASSERT_EQ(set_screen(18, depth, 2), 0);
}

struct ImageOnScreen32 : ::testing::Test {
    void SetUp() override { open_headless_screen(32); }
};

struct ImageOnScreen8 : ::testing::Test {
    void SetUp() override { open_headless_screen(8); }
    void TearDown() override { open_headless_screen(32); }
};

void store32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint32_t load32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::uint32_t{b[at]} | (std::uint32_t{b[at + 1]} << 8) | (std::uint32_t{b[at + 2]} << 16) |
           (std::uint32_t{b[at + 3]} << 24);
}

// A full-header image with a chosen pitch; padding bytes hold `padding`.
Image full_image(std::uint32_t width, std::uint32_t height, std::uint32_t bpp, std::uint32_t pitch,
                 std::uint8_t padding = 0xEE) {
    Image image;
    image.bytes.assign(32 + std::size_t{pitch} * height, padding);
    std::fill(image.bytes.begin(), image.bytes.begin() + 32, 0);
    store32(image.bytes, 0, 7);
    store32(image.bytes, 4, bpp);
    store32(image.bytes, 8, width);
    store32(image.bytes, 12, height);
    store32(image.bytes, 16, pitch);
    for (std::uint32_t y = 0; y < height; ++y)
        std::fill_n(image.bytes.begin() + 32 + std::ptrdiff_t{y} * pitch, width * bpp, std::uint8_t{0});
    return image;
}

// A compact-header image: bytes per pixel in bits 0-2 (0 = the screen's),
// width in bits 3-15, then the height; unpadded rows.
Image compact_image(std::uint32_t width, std::uint32_t height, std::uint32_t bpp_field, std::uint32_t actual_bpp) {
    Image image;
    image.bytes.assign(4 + std::size_t{width} * height * actual_bpp, 0);
    const std::uint32_t first = (width << 3) | bpp_field;
    image.bytes[0] = static_cast<std::uint8_t>(first);
    image.bytes[1] = static_cast<std::uint8_t>(first >> 8);
    image.bytes[2] = static_cast<std::uint8_t>(height);
    image.bytes[3] = static_cast<std::uint8_t>(height >> 8);
    return image;
}

// Every pixel position whose value differs from `background`.
std::set<std::pair<int, int>> drawn(const Image* image, int width, int height, std::uint32_t background) {
    std::set<std::pair<int, int>> points;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (get_pixel(image, x, y) != std::int64_t{background}) points.insert({x, y});
    return points;
}

// The bytes between the end of each row's pixels and the next row.
bool padding_intact(const Image& image, std::uint8_t padding) {
    const auto l = image_layout(image);
    for (std::uint32_t y = 0; y < l->height; ++y) {
        const std::uint8_t* row = image_row(image, *l, y);
        for (std::uint32_t i = l->width * l->bytes_per_pixel; i < l->pitch; ++i)
            if (row[i] != padding) return false;
    }
    return true;
}

}  // namespace

// ---------------------------------------------------------------- create_image

TEST_F(ImageOnScreen32, CreateImagePitchRoundsUpTo16) {
    auto wide = create_image(256, 1, 0, 32);
    ASSERT_TRUE(wide);
    EXPECT_EQ(image_layout(*wide)->pitch, 1024u);
    auto narrow = create_image(30, 2, 0, 8);
    ASSERT_TRUE(narrow);
    EXPECT_EQ(image_layout(*narrow)->pitch, 32u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(narrow->bytes.data() + 32) % 16, 0u);
}

TEST_F(ImageOnScreen32, CreateImageHeaderPitchAndFillOfEveryByte) {
    struct Case { int width, depth; std::uint32_t pitch; };
    const Case cases[] = {{1, 8, 16}, {16, 8, 16}, {17, 8, 32}, {1, 16, 16}, {8, 16, 16}, {9, 16, 32},
                          {3, 32, 16}, {4, 32, 16}, {5, 32, 32}, {640, 32, 2560}};
    for (const Case& c : cases) {
        SCOPED_TRACE("width " + std::to_string(c.width) + " depth " + std::to_string(c.depth));
        const std::uint32_t fill = 0xA1B2C3D4u;
        auto image = create_image(c.width, 3, fill, c.depth);
        ASSERT_TRUE(image);
        const auto& b = image->bytes;
        ASSERT_EQ(b.size(), 32 + std::size_t{c.pitch} * 3);
        EXPECT_EQ(load32(b, 0), 7u);
        EXPECT_EQ(load32(b, 4), static_cast<std::uint32_t>(c.depth / 8));
        EXPECT_EQ(load32(b, 8), static_cast<std::uint32_t>(c.width));
        EXPECT_EQ(load32(b, 12), 3u);
        EXPECT_EQ(load32(b, 16), c.pitch);
        for (std::size_t i = 20; i < 32; ++i) EXPECT_EQ(b[i], 0) << "reserved byte " << i;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(b.data() + 32) % 16, 0u);
        // Every byte after the header, padding included, repeats the fill.
        const std::size_t bpp = static_cast<std::size_t>(c.depth / 8);
        for (std::size_t i = 32; i < b.size(); ++i)
            ASSERT_EQ(b[i], static_cast<std::uint8_t>(fill >> (8 * ((i - 32) % bpp)))) << "byte " << i;
    }
}

TEST_F(ImageOnScreen32, CreateImageRefusals) {
    EXPECT_FALSE(create_image(0, 1, 0, 32));
    EXPECT_FALSE(create_image(1, 0, 0, 32));
    EXPECT_FALSE(create_image(-5, 4, 0, 8));
    EXPECT_FALSE(create_image(4, -5, 0, 8));
    for (int depth : {0, 1, 4, 15, 24, 64, -32}) EXPECT_FALSE(create_image(4, 4, 0, depth)) << depth;
    // Sizes that would need tens of gigabytes are refused, not attempted.
    EXPECT_FALSE(create_image(INT_MAX, INT_MAX, 0, 32));
    EXPECT_FALSE(create_image(100000, 100000, 0, 32));
    // Image buffers need no screen.
    close_screen();
    EXPECT_TRUE(create_image(4, 4, 0, 32));
}

TEST_F(ImageOnScreen32, DestroyImageOfEitherOrigin) {
    auto created = create_image(2, 2, 0, 32);
    destroy_image(created);
    EXPECT_FALSE(created);
    auto buffer = new_image_buffer(3, 3, 4);
    ASSERT_TRUE(buffer);
    EXPECT_TRUE(image_layout(*buffer)->compact);
    destroy_image(buffer);
    EXPECT_FALSE(buffer);
    ImagePtr none;
    destroy_image(none);
    EXPECT_FALSE(none);
}

TEST(ImageBuffer, NewImageBufferHeaderForms) {
    auto compact = new_image_buffer(8191, 2, 1);
    ASSERT_TRUE(compact);
    EXPECT_TRUE(image_layout(*compact)->compact);
    EXPECT_EQ(compact->bytes.size(), 4u + 8191 * 2);
    auto full = new_image_buffer(8192, 2, 1);
    ASSERT_TRUE(full);
    const auto l = image_layout(*full);
    EXPECT_FALSE(l->compact);
    EXPECT_EQ(l->pitch, 8192u);
    EXPECT_EQ(l->data_offset, 32u);
    EXPECT_FALSE(new_image_buffer(0, 2, 4));
    EXPECT_FALSE(new_image_buffer(2, 2, 3));
    EXPECT_FALSE(new_image_buffer(0xFFFFFFFFu, 0xFFFFFFFFu, 4));
}

// ---------------------------------------------------------------- layouts

TEST_F(ImageOnScreen32, CompactHeaderAcceptedEverywhere) {
    Image image = compact_image(5, 3, 4, 4);
    const auto l = image_layout(image);
    ASSERT_TRUE(l);
    EXPECT_TRUE(l->compact);
    EXPECT_EQ(l->pitch, 20u);
    set_pixel(&image, 4, 2, 0x11223344u);
    EXPECT_EQ(load32(image.bytes, 4 + 2 * 20 + 4 * 4), 0x11223344u);
    EXPECT_EQ(get_pixel(&image, 4, 2), 0x11223344);
    draw_line(&image, 0, 0, 4, 0, 0xFF0000FFu, 0);
    EXPECT_EQ(load32(image.bytes, 4 + 0), 0xFF0000FFu);
    EXPECT_EQ(load32(image.bytes, 4 + 16), 0xFF0000FFu);

    // A compact image drawn onto a full-header one and back.
    auto target = create_image(8, 8, 0, 32);
    draw_image(target.get(), 1, 1, image, false);
    EXPECT_EQ(get_pixel(target.get(), 5, 3), 0x11223344);
    EXPECT_EQ(get_pixel(target.get(), 1, 1), 0xFF0000FFu);
    Image small = compact_image(2, 2, 4, 4);
    draw_image(&small, -4, -2, image, false);
    EXPECT_EQ(get_pixel(&small, 0, 0), 0x11223344);
}

TEST_F(ImageOnScreen32, CompactHeaderWithScreenDepth) {
    Image image = compact_image(4, 2, 0, 4);
    ASSERT_TRUE(image_layout(image));
    EXPECT_EQ(image_layout(image)->bytes_per_pixel, 4u);
    set_pixel(&image, 3, 1, 0xCAFEBABEu);
    EXPECT_EQ(get_pixel(&image, 3, 1), 0xCAFEBABEu);
    // With no screen open such an image has no known depth: nothing happens.
    close_screen();
    EXPECT_FALSE(image_layout(image));
    EXPECT_EQ(get_pixel(&image, 3, 1), -1);
}

TEST_F(ImageOnScreen8, CompactHeaderWithScreenDepthAt8Bits) {
    Image image = compact_image(4, 2, 0, 1);
    ASSERT_TRUE(image_layout(image));
    EXPECT_EQ(image_layout(image)->bytes_per_pixel, 1u);
    set_pixel(&image, 3, 1, 0x1F7u);
    EXPECT_EQ(image.bytes[4 + 4 + 3], 0xF7);
}

TEST_F(ImageOnScreen32, RowsSteppedByPitchAndPaddingUntouched) {
    for (std::uint32_t bpp : {1u, 2u, 4u}) {
        SCOPED_TRACE("bytes per pixel " + std::to_string(bpp));
        Image image = full_image(3, 4, bpp, 3 * bpp + 7);
        draw_line(&image, -10, -10, 10, 10, 0x01020304u, 2);
        EXPECT_TRUE(padding_intact(image, 0xEE));
        const std::uint32_t expect = bpp == 4 ? 0x01020304u : bpp == 2 ? 0x0304u : 0x04u;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 3; ++x) EXPECT_EQ(get_pixel(&image, x, y), expect);
        // A pixel lands at the offset the pitch gives.
        set_pixel(&image, 2, 3, 0xFFFFFFFFu);
        const std::size_t at = 32 + 3 * (3 * bpp + 7) + 2 * bpp;
        EXPECT_EQ(image.bytes[at], 0xFF);
        EXPECT_EQ(image.bytes[at + bpp], 0xEE);

        Image source = full_image(3, 4, bpp, 3 * bpp + 5, 0x77);
        draw_line(&source, 0, 0, 2, 3, 0x0A0B0C0Du, 2);
        draw_image(&image, 0, 0, source, false);
        draw_image(&image, 0, 0, source, true);
        EXPECT_TRUE(padding_intact(image, 0xEE));
    }
}

TEST_F(ImageOnScreen32, MalformedHeadersMakeImagesUnusable) {
    Image too_many_rows = full_image(4, 4, 4, 16);
    store32(too_many_rows.bytes, 12, 5);  // announces a row the block does not hold
    EXPECT_FALSE(image_layout(too_many_rows));
    const auto before = too_many_rows.bytes;
    set_pixel(&too_many_rows, 0, 4, 1);
    draw_line(&too_many_rows, 0, 0, 100, 100, 1, 2);
    EXPECT_EQ(too_many_rows.bytes, before);
    EXPECT_EQ(get_pixel(&too_many_rows, 0, 0), -1);

    Image short_pitch = full_image(4, 2, 4, 16);
    store32(short_pitch.bytes, 16, 15);
    EXPECT_FALSE(image_layout(short_pitch));
    Image odd_depth = full_image(4, 2, 4, 16);
    store32(odd_depth.bytes, 4, 3);
    EXPECT_FALSE(image_layout(odd_depth));
    Image huge = full_image(4, 2, 4, 16);
    store32(huge.bytes, 12, 0xFFFFFFFFu);
    store32(huge.bytes, 16, 0xFFFFFFFFu);
    EXPECT_FALSE(image_layout(huge));
    Image tiny;
    tiny.bytes = {1, 0};
    EXPECT_FALSE(image_layout(tiny));
    EXPECT_EQ(get_pixel(&tiny, 0, 0), -1);
    auto target = create_image(4, 4, 0, 32);
    draw_image(target.get(), 0, 0, too_many_rows, false);
    EXPECT_EQ(drawn(target.get(), 4, 4, 0).size(), 0u);
}

// ---------------------------------------------------------------- pixels and lines

TEST_F(ImageOnScreen32, PixelsOutsideTheTargetAreIgnored) {
    auto image = create_image(4, 3, 0, 32);
    const auto before = image->bytes;
    const std::pair<int, int> outside[] = {{-1, 0}, {0, -1}, {4, 0}, {0, 3}, {INT_MIN, 0}, {0, INT_MAX}, {INT_MAX, INT_MIN}};
    for (auto [x, y] : outside) {
        set_pixel(image.get(), x, y, 0xFFFFFFFFu);
        EXPECT_EQ(get_pixel(image.get(), x, y), -1) << x << "," << y;
    }
    EXPECT_EQ(image->bytes, before);
    set_pixel(image.get(), 3, 2, 0xFFFFFFFFu);
    EXPECT_EQ(get_pixel(image.get(), 3, 2), 0xFFFFFFFFll);
    EXPECT_EQ(get_pixel(image.get(), 0, 0), 0);

    EXPECT_EQ(get_pixel(nullptr, 640, 0), -1);
    EXPECT_EQ(get_pixel(nullptr, 0, 480), -1);
    set_pixel(nullptr, 639, 479, 0x00ABCDEFu);
    EXPECT_EQ(get_pixel(nullptr, 639, 479), 0x00ABCDEF);
}

TEST_F(ImageOnScreen32, DrawingWithoutScreenDoesNothing) {
    close_screen();
    set_pixel(nullptr, 1, 1, 5);
    draw_line(nullptr, 0, 0, 10, 10, 5, 2);
    EXPECT_EQ(get_pixel(nullptr, 1, 1), -1);
    EXPECT_EQ(screen_page(), nullptr);
}

TEST_F(ImageOnScreen32, StraightLinesIncludeBothEnds) {
    auto image = create_image(10, 10, 0, 32);
    draw_line(image.get(), 2, 3, 6, 3, 1, 0);
    std::set<std::pair<int, int>> expect;
    for (int x = 2; x <= 6; ++x) expect.insert({x, 3});
    EXPECT_EQ(drawn(image.get(), 10, 10, 0), expect);

    // The same line drawn backwards, and a vertical and a diagonal one.
    auto backwards = create_image(10, 10, 0, 32);
    draw_line(backwards.get(), 6, 3, 2, 3, 1, 0);
    EXPECT_EQ(drawn(backwards.get(), 10, 10, 0), expect);
    auto diagonal = create_image(10, 10, 0, 32);
    draw_line(diagonal.get(), 7, 7, 1, 1, 1, 0);
    expect.clear();
    for (int i = 1; i <= 7; ++i) expect.insert({i, i});
    EXPECT_EQ(drawn(diagonal.get(), 10, 10, 0), expect);
    auto single = create_image(10, 10, 0, 32);
    draw_line(single.get(), 4, 4, 4, 4, 1, 0);
    EXPECT_EQ(drawn(single.get(), 10, 10, 0), (std::set<std::pair<int, int>>{{4, 4}}));
}

TEST_F(ImageOnScreen32, LinesClippedAtEveryEdge) {
    auto image = create_image(10, 10, 0, 32);
    // A diagonal from far up-left to far down-right: only its part inside.
    draw_line(image.get(), -20, -20, 30, 30, 1, 0);
    std::set<std::pair<int, int>> expect;
    for (int i = 0; i < 10; ++i) expect.insert({i, i});
    EXPECT_EQ(drawn(image.get(), 10, 10, 0), expect);

    auto row = create_image(10, 10, 0, 32);
    draw_line(row.get(), -1000000, 5, 1000000, 5, 1, 0);
    expect.clear();
    for (int x = 0; x < 10; ++x) expect.insert({x, 5});
    EXPECT_EQ(drawn(row.get(), 10, 10, 0), expect);

    auto none = create_image(10, 10, 0, 32);
    draw_line(none.get(), -5, -1, 20, -3, 1, 0);
    draw_line(none.get(), 10, 0, 10, 9, 1, 0);
    draw_line(none.get(), INT_MIN, INT_MIN, INT_MIN, INT_MAX, 1, 0);
    EXPECT_TRUE(drawn(none.get(), 10, 10, 0).empty());
}

// The points of the error-term walk from one end to the other, every one
// of them, kept when inside a width x height target.
std::set<std::pair<int, int>> walked_line(int x1, int y1, int x2, int y2, int width, int height) {
    std::set<std::pair<int, int>> points;
    const int dx = std::abs(x2 - x1), dy = -std::abs(y2 - y1);
    const int sx = x1 < x2 ? 1 : -1, sy = y1 < y2 ? 1 : -1;
    int err = dx + dy, x = x1, y = y1;
    for (;;) {
        if (x >= 0 && y >= 0 && x < width && y < height) points.insert({x, y});
        if (x == x2 && y == y2) break;
        const int e2 = 2 * err;
        if (e2 >= dy) { err += dy; x += sx; }
        if (e2 <= dx) { err += dx; y += sy; }
    }
    return points;
}

TEST_F(ImageOnScreen32, LinesMatchTheFullWalkWhereverTheirEndsLie) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> near(-60, 80), far(-3000, 3000);
    for (int round = 0; round < 3000; ++round) {
        auto& pick = round % 3 == 0 ? far : near;
        const int x1 = pick(random), y1 = pick(random), x2 = pick(random), y2 = pick(random);
        auto image = create_image(23, 17, 0, 32);
        draw_line(image.get(), x1, y1, x2, y2, 1, 0);
        ASSERT_EQ(drawn(image.get(), 23, 17, 0), walked_line(x1, y1, x2, y2, 23, 17))
            << x1 << "," << y1 << " to " << x2 << "," << y2;
    }
    // Ends at the far corners of the coordinate range: the diagonal through
    // the image, drawn without walking four billion steps.
    auto image = create_image(23, 17, 0, 32);
    draw_line(image.get(), INT_MIN, INT_MIN, INT_MAX, INT_MAX, 1, 0);
    draw_line(image.get(), INT_MAX, 3, INT_MIN, 3, 1, 0);
    std::set<std::pair<int, int>> expect;
    for (int i = 0; i < 17; ++i) expect.insert({i, i});
    for (int x = 0; x < 23; ++x) expect.insert({x, 3});
    EXPECT_EQ(drawn(image.get(), 23, 17, 0), expect);
}

TEST_F(ImageOnScreen32, RectangleOutlineAndFilledBox) {
    auto box = create_image(40, 40, 0, 32);
    draw_line(box.get(), 32, 32, 0, 0, 7, 1);
    const auto outline = drawn(box.get(), 40, 40, 0);
    EXPECT_EQ(outline.size(), 4u * 32);
    for (int i = 0; i <= 32; ++i) {
        EXPECT_TRUE(outline.count({i, 0}) && outline.count({i, 32}) && outline.count({0, i}) && outline.count({32, i}));
    }
    EXPECT_EQ(get_pixel(box.get(), 1, 1), 0);

    auto filled = create_image(40, 40, 0, 32);
    draw_line(filled.get(), 0, 0, 32, 32, 7, 2);
    EXPECT_EQ(drawn(filled.get(), 40, 40, 0).size(), 33u * 33);

    // Outline partly above and left of the image: only its far edges show.
    auto clipped = create_image(10, 10, 0, 32);
    draw_line(clipped.get(), -5, -5, 4, 4, 7, 1);
    std::set<std::pair<int, int>> expect;
    for (int i = 0; i <= 4; ++i) {
        expect.insert({i, 4});
        expect.insert({4, i});
    }
    EXPECT_EQ(drawn(clipped.get(), 10, 10, 0), expect);

    auto spill = create_image(10, 10, 0, 32);
    draw_line(spill.get(), 8, -3, INT_MAX, INT_MAX, 7, 2);
    expect.clear();
    for (int y = 0; y < 10; ++y)
        for (int x = 8; x < 10; ++x) expect.insert({x, y});
    EXPECT_EQ(drawn(spill.get(), 10, 10, 0), expect);

    auto untouched = create_image(10, 10, 0, 32);
    draw_line(untouched.get(), -9, -9, -1, -1, 7, 2);
    draw_line(untouched.get(), 10, 10, 20, 20, 7, 1);
    draw_line(untouched.get(), 0, 0, 9, 9, 7, 3);
    draw_line(untouched.get(), 0, 0, 9, 9, 7, -1);
    EXPECT_TRUE(drawn(untouched.get(), 10, 10, 0).empty());
}

// ---------------------------------------------------------------- draw_image

TEST_F(ImageOnScreen32, DrawImageClippedOnEverySide) {
    auto source = create_image(32, 4, 0, 32);
    for (int x = 0; x < 32; ++x) draw_line(source.get(), x, 0, x, 3, 0xFF000000u | static_cast<std::uint32_t>(x + 1), 0);

    auto target = create_image(20, 10, 0, 32);
    draw_image(target.get(), -16, 0, *source, false);
    for (int x = 0; x < 16; ++x) EXPECT_EQ(get_pixel(target.get(), x, 0), 0xFF000000ll | (x + 17)) << x;
    EXPECT_EQ(get_pixel(target.get(), 16, 0), 0);
    EXPECT_EQ(get_pixel(target.get(), 0, 4), 0);

    auto right = create_image(20, 10, 0, 32);
    draw_image(right.get(), 15, 8, *source, false);
    EXPECT_EQ(drawn(right.get(), 20, 10, 0).size(), 5u * 2);
    EXPECT_EQ(get_pixel(right.get(), 19, 9), 0xFF000000ll | 5);

    auto above = create_image(20, 10, 0, 32);
    draw_image(above.get(), 2, -3, *source, false);
    EXPECT_EQ(drawn(above.get(), 20, 10, 0).size(), 18u);
    EXPECT_EQ(get_pixel(above.get(), 2, 0), 0xFF000000ll | 1);

    auto away = create_image(20, 10, 0, 32);
    for (auto [x, y] : {std::pair{-32, 0}, {20, 0}, {0, -4}, {0, 10}, {INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}})
        draw_image(away.get(), x, y, *source, false);
    EXPECT_TRUE(drawn(away.get(), 20, 10, 0).empty());
}

TEST_F(ImageOnScreen32, TransparentDrawSkipsMagentaWhateverItsAlpha) {
    auto source = create_image(6, 1, 0, 32);
    const std::uint32_t values[6] = {0x00FF00FFu, 0xFFFF00FFu, 0x80FF00FFu, 0xFFFE00FFu, 0x00000000u, 0x12345678u};
    for (int x = 0; x < 6; ++x) set_pixel(source.get(), x, 0, values[x]);
    auto target = create_image(6, 1, 0xFF0A0A0Au, 32);
    draw_image(target.get(), 0, 0, *source, true);
    EXPECT_EQ(get_pixel(target.get(), 0, 0), 0xFF0A0A0Au);
    EXPECT_EQ(get_pixel(target.get(), 1, 0), 0xFF0A0A0Au);
    EXPECT_EQ(get_pixel(target.get(), 2, 0), 0xFF0A0A0Au);
    EXPECT_EQ(get_pixel(target.get(), 3, 0), 0xFFFE00FFu);  // not quite magenta
    EXPECT_EQ(get_pixel(target.get(), 4, 0), 0);            // blank is no mask at 32 bits
    EXPECT_EQ(get_pixel(target.get(), 5, 0), 0x12345678);   // alpha copied unchanged

    // Plain drawing copies every pixel, the mask colour included.
    auto plain = create_image(6, 1, 0xFF0A0A0Au, 32);
    draw_image(plain.get(), 0, 0, *source, false);
    for (int x = 0; x < 6; ++x) EXPECT_EQ(get_pixel(plain.get(), x, 0), std::int64_t{values[x]});
}

TEST_F(ImageOnScreen32, TransparentDrawAt8And16Bits) {
    auto source8 = create_image(3, 1, 0, 8);
    set_pixel(source8.get(), 1, 0, 0x100);  // stored as index 0
    set_pixel(source8.get(), 2, 0, 9);
    auto target8 = create_image(3, 1, 4, 8);
    draw_image(target8.get(), 0, 0, *source8, true);
    EXPECT_EQ(get_pixel(target8.get(), 0, 0), 4);
    EXPECT_EQ(get_pixel(target8.get(), 1, 0), 4);
    EXPECT_EQ(get_pixel(target8.get(), 2, 0), 9);

    auto source16 = create_image(3, 1, 0, 16);
    set_pixel(source16.get(), 0, 0, 0xF81F);
    set_pixel(source16.get(), 1, 0, 0x0000);
    set_pixel(source16.get(), 2, 0, 0xF81E);
    auto target16 = create_image(3, 1, 0x1234, 16);
    draw_image(target16.get(), 0, 0, *source16, true);
    EXPECT_EQ(get_pixel(target16.get(), 0, 0), 0x1234);
    EXPECT_EQ(get_pixel(target16.get(), 1, 0), 0x0000);
    EXPECT_EQ(get_pixel(target16.get(), 2, 0), 0xF81E);

    EXPECT_TRUE(is_mask_colour(0x100, 1));
    EXPECT_TRUE(is_mask_colour(0xABCDF81F, 2));
    EXPECT_TRUE(is_mask_colour(0x3CFF00FF, 4));
    EXPECT_FALSE(is_mask_colour(0xFF00FF, 1));
}

TEST_F(ImageOnScreen32, DrawImageOntoItselfAndAcrossDepths) {
    auto image = create_image(4, 1, 0, 32);
    for (int x = 0; x < 4; ++x) set_pixel(image.get(), x, 0, static_cast<std::uint32_t>(x + 1));
    draw_image(image.get(), 1, 0, *image, false);
    EXPECT_EQ(get_pixel(image.get(), 0, 0), 1);
    EXPECT_EQ(get_pixel(image.get(), 1, 0), 1);
    EXPECT_EQ(get_pixel(image.get(), 2, 0), 2);
    EXPECT_EQ(get_pixel(image.get(), 3, 0), 3);

    // Images of another depth are not drawn (the program never does it).
    auto eight = create_image(4, 1, 7, 8);
    draw_image(image.get(), 0, 0, *eight, false);
    EXPECT_EQ(get_pixel(image.get(), 0, 0), 1);
}

// ---------------------------------------------------------------- the screen

TEST_F(ImageOnScreen32, ScreenDrawingMarksTheRowsItTouches) {
    std::vector<bool> rows;
    take_marked_rows(rows);
    EXPECT_FALSE(take_marked_rows(rows));

    set_pixel(nullptr, 5, 10, 1);
    ASSERT_TRUE(take_marked_rows(rows));
    ASSERT_EQ(rows.size(), 480u);
    for (int y = 0; y < 480; ++y) EXPECT_EQ(rows[static_cast<std::size_t>(y)], y == 10) << y;

    draw_line(nullptr, -5, 470, 700, 900, 2, 2);
    ASSERT_TRUE(take_marked_rows(rows));
    for (int y = 0; y < 480; ++y) EXPECT_EQ(rows[static_cast<std::size_t>(y)], y >= 470) << y;

    auto sprite = create_image(3, 4, 0xFFFFFFFFu, 32);
    draw_image(nullptr, 600, -2, *sprite, true);
    ASSERT_TRUE(take_marked_rows(rows));
    for (int y = 0; y < 480; ++y) EXPECT_EQ(rows[static_cast<std::size_t>(y)], y < 2) << y;
    EXPECT_EQ(get_pixel(nullptr, 602, 1), 0xFFFFFFFFll);

    // Off-screen drawing and drawing outside the screen mark nothing.
    set_pixel(sprite.get(), 0, 0, 5);
    set_pixel(nullptr, -1, 5, 1);
    draw_line(nullptr, 0, -5, 100, -1, 1, 2);
    EXPECT_FALSE(take_marked_rows(rows));

    // At 32 bits a palette change does not touch the picture.
    set_palette_entry(3, 1, 2, 3);
    EXPECT_FALSE(take_marked_rows(rows));
}

TEST_F(ImageOnScreen8, PaletteChangeShowsAtOnceAt8Bits) {
    std::vector<bool> rows;
    take_marked_rows(rows);
    set_palette_entry(3, 10, 20, 30);
    ASSERT_TRUE(take_marked_rows(rows));
    for (bool marked : rows) EXPECT_TRUE(marked);
    set_pixel(nullptr, 639, 479, 0x1FE);
    EXPECT_EQ(get_pixel(nullptr, 639, 479), 0xFE);
}

TEST_F(ImageOnScreen32, SetScreenRefusesBadModes) {
    EXPECT_EQ(set_screen(12, 32, 2), 1);
    EXPECT_EQ(set_screen(18, 16, 2), 1);
    EXPECT_EQ(set_screen(18, 32, 0), 1);
    EXPECT_EQ(set_screen(18, 32, 100000), 1);
    EXPECT_EQ(set_screen(18, 8, 1), 0);
    EXPECT_EQ(screen_depth(), 8);
    EXPECT_EQ(screen_back_page(), nullptr);
}

TEST_F(ImageOnScreen32, WindowTitleKeepsAtMost127Characters) {
    set_window_title("quarnel");
    EXPECT_EQ(window_title(), "quarnel");
    const std::string long_title(300, 'x');
    set_window_title(long_title);
    EXPECT_EQ(window_title(), std::string(127, 'x'));
}

// ---------------------------------------------------------------- the palette

TEST_F(ImageOnScreen32, DefaultPaletteEntries) {
    EXPECT_EQ(get_palette_entry_packed(1), 0x2A0000u);
    EXPECT_EQ(get_palette_entry_packed(18), 0x080808u);
    set_palette_entry(5, 255, 128, 3);
    int r, g, b;
    get_palette_entry(5, r, g, b);
    EXPECT_EQ(r, 255);
    EXPECT_EQ(g, 129);
    EXPECT_EQ(b, 0);
}

TEST_F(ImageOnScreen32, SixBitRoundingOfEveryComponentValue) {
    for (int c = 0; c < 256; ++c) {
        set_palette_entry(7, c, 255 - c, c);
        int r, g, b;
        get_palette_entry(7, r, g, b);
        EXPECT_EQ(r, (c >> 2) * 255 / 63) << c;
        EXPECT_EQ(g, ((255 - c) >> 2) * 255 / 63) << c;
        EXPECT_EQ(b, r);
        // The packed form gives the 6-bit values back.
        const std::uint32_t packed = get_palette_entry_packed(7);
        EXPECT_EQ(packed, static_cast<std::uint32_t>((c >> 2) | (((255 - c) >> 2) << 8) | ((c >> 2) << 16))) << c;
    }
    set_palette_entry(9, 4, 3, 128);
    EXPECT_EQ(palette_entry(9), 4u | (0u << 8) | (129u << 16));  // red in bits 0-7
}

TEST_F(ImageOnScreen32, PaletteIndicesTakenModulo256) {
    set_palette_entry(257, 252, 0, 0);
    EXPECT_EQ(get_palette_entry_packed(1), 0x3Fu);
    set_palette_entry(-1, 0, 252, 0);
    EXPECT_EQ(get_palette_entry_packed(255), 0x3F00u);
    int r, g, b;
    get_palette_entry(511, r, g, b);
    EXPECT_EQ(g, 255);
    EXPECT_EQ(palette_entry(256 + 1), palette_entry(1));
    // Setting the screen again brings the default palette back.
    ASSERT_EQ(set_screen(18, 32, 2), 0);
    EXPECT_EQ(get_palette_entry_packed(1), 0x2A0000u);
    EXPECT_EQ(get_palette_entry_packed(255), 0u);
}

// The standard VGA palette: known entries, and the shape of its hue groups.
TEST_F(ImageOnScreen32, DefaultPaletteIsTheVgaPalette) {
    auto six = [](int index) {
        const std::uint32_t p = get_palette_entry_packed(index);
        return std::array<int, 3>{static_cast<int>(p & 63), static_cast<int>((p >> 8) & 63),
                                  static_cast<int>((p >> 16) & 63)};
    };
    // Components are stored as c x 255 / 63: 42 gives 170, 21 gives 85.
    for (int i = 0; i < 256; ++i) {
        int r, g, b;
        get_palette_entry(i, r, g, b);
        const auto c = six(i);
        EXPECT_EQ(r, c[0] * 255 / 63);
        EXPECT_EQ(g, c[1] * 255 / 63);
        EXPECT_EQ(b, c[2] * 255 / 63);
    }
    int r, g, b;
    get_palette_entry(4, r, g, b);
    EXPECT_EQ(r, 170);
    get_palette_entry(8, r, g, b);
    EXPECT_EQ(r, 85);

    const std::array<std::array<int, 3>, 16> text = {{{0, 0, 0}, {0, 0, 42}, {0, 42, 0}, {0, 42, 42},
                                                      {42, 0, 0}, {42, 0, 42}, {42, 21, 0}, {42, 42, 42},
                                                      {21, 21, 21}, {21, 21, 63}, {21, 63, 21}, {21, 63, 63},
                                                      {63, 21, 21}, {63, 21, 63}, {63, 63, 21}, {63, 63, 63}}};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(six(i), text[static_cast<std::size_t>(i)]) << i;
    const int greys[16] = {0, 5, 8, 11, 14, 17, 20, 24, 28, 32, 36, 40, 45, 50, 56, 63};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(six(16 + i), (std::array<int, 3>{greys[i], greys[i], greys[i]})) << i;

    // Nine groups of 24 hues; brightest, then two darker sets, each at three
    // saturations. Every group starts at blue, passes red at +8 and green at
    // +16, and the entry 8 further on is the same hue turned one step
    // (red, green, blue) -> (blue, red, green).
    const int highest[9] = {63, 63, 63, 28, 28, 28, 16, 16, 16};
    const int lowest[9] = {0, 31, 45, 0, 14, 20, 0, 8, 11};
    for (int group = 0; group < 9; ++group) {
        const int base = 32 + 24 * group;
        SCOPED_TRACE("group at " + std::to_string(base));
        const int hi = highest[group], lo = lowest[group];
        EXPECT_EQ(six(base), (std::array<int, 3>{lo, lo, hi}));
        EXPECT_EQ(six(base + 4), (std::array<int, 3>{hi, lo, hi}));
        EXPECT_EQ(six(base + 8), (std::array<int, 3>{hi, lo, lo}));
        EXPECT_EQ(six(base + 12), (std::array<int, 3>{hi, hi, lo}));
        EXPECT_EQ(six(base + 16), (std::array<int, 3>{lo, hi, lo}));
        EXPECT_EQ(six(base + 20), (std::array<int, 3>{lo, hi, hi}));
        for (int k = 0; k < 16; ++k) {
            const auto a = six(base + k), turned = six(base + k + 8);
            EXPECT_EQ(turned, (std::array<int, 3>{a[2], a[0], a[1]})) << k;
        }
        // Between the corners the changing component climbs or falls evenly.
        for (int k = 0; k < 24; ++k) {
            const auto c = six(base + k);
            EXPECT_EQ(*std::max_element(c.begin(), c.end()), hi) << k;
            EXPECT_EQ(*std::min_element(c.begin(), c.end()), lo) << k;
        }
    }
    EXPECT_EQ(six(33), (std::array<int, 3>{16, 0, 63}));
    EXPECT_EQ(six(57), (std::array<int, 3>{39, 31, 63}));
    EXPECT_EQ(six(81), (std::array<int, 3>{49, 45, 63}));
    EXPECT_EQ(six(105), (std::array<int, 3>{7, 0, 28}));
    EXPECT_EQ(six(129), (std::array<int, 3>{17, 14, 28}));
    EXPECT_EQ(six(153), (std::array<int, 3>{22, 20, 28}));
    EXPECT_EQ(six(177), (std::array<int, 3>{4, 0, 16}));
    EXPECT_EQ(six(201), (std::array<int, 3>{10, 8, 16}));
    EXPECT_EQ(six(227), (std::array<int, 3>{15, 11, 16}));
    EXPECT_EQ(six(247), (std::array<int, 3>{11, 12, 16}));
    for (int i = 248; i < 256; ++i) EXPECT_EQ(palette_entry(i), 0u) << i;
    EXPECT_EQ(default_palette()[1], palette_entry(1));
}
