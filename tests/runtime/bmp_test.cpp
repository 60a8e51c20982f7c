// BMP files: the exact variant save_bmp writes, and load_bmp on files built
// here byte by byte, on files written by other programs (PngSuite's BMP
// copies, ImageMagick, Pillow) and on cut and damaged files.
#include <gtest/gtest.h>
#include <png.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "runtime/image/bmp.h"
#include "runtime/image/image.h"
#include "runtime/screen/screen.h"
#include "support/run_program.h"

using namespace quarnel;
using quarnel::test::TempDir;

namespace {

using Bytes = std::vector<std::uint8_t>;

void open_headless_screen(int depth) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    ASSERT_EQ(set_screen(18, depth, 2), 0);
}

struct BmpFiles : ::testing::Test {
    void SetUp() override { open_headless_screen(32); }
    std::string write(const std::string& name, const Bytes& bytes) {
        const std::string path = dir.file(name);
        // A new file rather than a truncated one: rewriting a file in place
        // makes some file systems flush it, which slows the loops below.
        std::filesystem::remove(path);
        quarnel::test::write_file(path, std::string(bytes.begin(), bytes.end()));
        return path;
    }
    Bytes read(const std::string& path) {
        const std::string s = quarnel::test::read_file(path);
        return Bytes(s.begin(), s.end());
    }
    TempDir dir;
};

std::uint32_t u32_at(const Bytes& b, std::size_t at) {
    return std::uint32_t{b[at]} | (std::uint32_t{b[at + 1]} << 8) | (std::uint32_t{b[at + 2]} << 16) |
           (std::uint32_t{b[at + 3]} << 24);
}
std::uint16_t u16_at(const Bytes& b, std::size_t at) { return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8)); }
void put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// A BMP file put together field by field.
struct BmpSpec {
    std::uint32_t info_size = 40;
    std::int32_t width = 1;
    std::int32_t height = 1;  // negative: top row first
    std::uint16_t planes = 1;
    std::uint16_t bits = 24;
    std::uint32_t compression = 0;
    std::uint32_t colours_used = 0;
    std::vector<std::uint32_t> palette;  // 0xRRGGBB, written as blue, green, red (, 0)
    std::optional<std::array<std::uint32_t, 4>> masks;  // red, green, blue, alpha
    std::optional<std::uint32_t> data_offset;            // default: right after the palette
    Bytes pixels;                                        // stored rows, as they go into the file
};

Bytes make_bmp(const BmpSpec& s) {
    Bytes info;
    put32(info, s.info_size);
    if (s.info_size == 12) {
        put16(info, static_cast<std::uint32_t>(s.width));
        put16(info, static_cast<std::uint32_t>(s.height));
        put16(info, s.planes);
        put16(info, s.bits);
    } else {
        put32(info, static_cast<std::uint32_t>(s.width));
        put32(info, static_cast<std::uint32_t>(s.height));
        put16(info, s.planes);
        put16(info, s.bits);
        put32(info, s.compression);
        put32(info, static_cast<std::uint32_t>(s.pixels.size()));
        put32(info, 2834);
        put32(info, 2834);
        put32(info, s.colours_used);
        put32(info, 0);
        if (s.masks && s.info_size >= 52) {
            for (int i = 0; i < 4; ++i) put32(info, (*s.masks)[static_cast<std::size_t>(i)]);
        }
        info.resize(s.info_size, 0);
    }
    Bytes after;  // masks after a short header, then the palette
    if (s.masks && s.info_size < 52)
        for (int i = 0; i < 3; ++i) put32(after, (*s.masks)[static_cast<std::size_t>(i)]);
    for (std::uint32_t c : s.palette) {
        after.push_back(static_cast<std::uint8_t>(c));
        after.push_back(static_cast<std::uint8_t>(c >> 8));
        after.push_back(static_cast<std::uint8_t>(c >> 16));
        if (s.info_size != 12) after.push_back(0);
    }
    const std::uint32_t offset = s.data_offset.value_or(static_cast<std::uint32_t>(14 + info.size() + after.size()));
    Bytes file{'B', 'M'};
    put32(file, static_cast<std::uint32_t>(14 + info.size() + after.size() + s.pixels.size()));
    put16(file, 0);
    put16(file, 0);
    put32(file, offset);
    file.insert(file.end(), info.begin(), info.end());
    file.insert(file.end(), after.begin(), after.end());
    file.insert(file.end(), s.pixels.begin(), s.pixels.end());
    return file;
}

// Stored rows for a picture given top row first as pixel values of `bits`
// each (multi-byte values little-endian), padded to 4 bytes.
Bytes pack_rows(const std::vector<std::vector<std::uint32_t>>& picture, unsigned bits, bool bottom_up) {
    Bytes out;
    for (std::size_t i = 0; i < picture.size(); ++i) {
        const auto& row = picture[bottom_up ? picture.size() - 1 - i : i];
        Bytes stored((row.size() * bits + 31) / 32 * 4, 0);
        for (std::size_t x = 0; x < row.size(); ++x) {
            if (bits < 8) {
                const std::size_t bit = x * bits;
                stored[bit / 8] |= static_cast<std::uint8_t>(row[x] << (8 - bits - bit % 8));
            } else {
                for (unsigned k = 0; k < bits / 8; ++k)
                    stored[x * (bits / 8) + k] = static_cast<std::uint8_t>(row[x] >> (8 * k));
            }
        }
        out.insert(out.end(), stored.begin(), stored.end());
    }
    return out;
}

std::int64_t pixel(const ImagePtr& image, int x, int y) { return get_pixel(image.get(), x, y); }

std::uint32_t opaque(std::uint32_t rgb) { return 0xFF000000u | rgb; }

}  // namespace

// ---------------------------------------------------------------- saving

TEST_F(BmpFiles, PaletteStripIs822Bytes) {
    auto strip = create_image(256, 1, 0, 32);
    for (int x = 0; x < 256; ++x) set_pixel(strip.get(), x, 0, static_cast<std::uint32_t>(0x80000000u | (x << 16) | ((255 - x) << 8) | (x / 2)));
    const std::string path = dir.file("palette.bmp");
    ASSERT_EQ(save_bmp(path, strip.get()), 0);
    const Bytes b = read(path);
    ASSERT_EQ(b.size(), 822u);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(u32_at(b, 2), 822u);    // file size
    EXPECT_EQ(u32_at(b, 6), 0u);      // two reserved fields
    EXPECT_EQ(u32_at(b, 10), 54u);    // pixel data offset
    EXPECT_EQ(u32_at(b, 14), 40u);    // info header size
    EXPECT_EQ(u32_at(b, 18), 256u);   // width
    EXPECT_EQ(u32_at(b, 22), 1u);     // height, bottom row first
    EXPECT_EQ(u16_at(b, 26), 1u);     // planes
    EXPECT_EQ(u16_at(b, 28), 24u);    // bits per pixel
    EXPECT_EQ(u32_at(b, 30), 0u);     // no compression
    EXPECT_EQ(u32_at(b, 34), 768u);   // image size
    EXPECT_EQ(u32_at(b, 38), 2834u);  // pixels per metre
    EXPECT_EQ(u32_at(b, 42), 2834u);
    EXPECT_EQ(u32_at(b, 46), 0u);     // colours used
    EXPECT_EQ(u32_at(b, 50), 0u);     // important colours
    for (int x = 0; x < 256; ++x) {
        const std::size_t at = 54 + 3 * static_cast<std::size_t>(x);
        EXPECT_EQ(b[at], x / 2);        // blue
        EXPECT_EQ(b[at + 1], 255 - x);  // green
        EXPECT_EQ(b[at + 2], x);        // red; alpha dropped
    }

    // Loaded back: every pixel opaque with the saved colour.
    auto back = create_image(256, 1, 0, 32);
    ASSERT_EQ(load_bmp(path, back.get()), 0);
    for (int x = 0; x < 256; ++x)
        EXPECT_EQ(pixel(back, x, 0), opaque(static_cast<std::uint32_t>((x << 16) | ((255 - x) << 8) | (x / 2))));
}

TEST_F(BmpFiles, SmallPictureRowsArePaddedAndBottomRowFirst) {
    auto image = create_image(3, 2, 0, 32);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) set_pixel(image.get(), x, y, static_cast<std::uint32_t>(0xFF000000u | (y * 16 + x)));
    const std::string path = dir.file("small.bmp");
    ASSERT_EQ(save_bmp(path, image.get()), 0);
    const Bytes b = read(path);
    ASSERT_EQ(b.size(), 78u);
    EXPECT_EQ(u32_at(b, 2), 78u);
    EXPECT_EQ(u32_at(b, 34), 24u);
    // Row of 12 bytes: 9 pixel bytes (blue, green, red) then 3 zero bytes.
    const Bytes bottom(b.begin() + 54, b.begin() + 66);
    EXPECT_EQ(bottom, (Bytes{0x10, 0, 0, 0x11, 0, 0, 0x12, 0, 0, 0, 0, 0}));
    const Bytes top(b.begin() + 66, b.end());
    EXPECT_EQ(top, (Bytes{0x00, 0, 0, 0x01, 0, 0, 0x02, 0, 0, 0, 0, 0}));
}

TEST_F(BmpFiles, EightBitSourceWritesScreenPaletteAndIndices) {
    set_palette_entry(1, 252, 128, 4);
    auto image = create_image(5, 2, 0, 8);
    set_pixel(image.get(), 0, 0, 1);
    set_pixel(image.get(), 4, 1, 255);
    const std::string path = dir.file("eight.bmp");
    ASSERT_EQ(save_bmp(path, image.get()), 0);
    const Bytes b = read(path);
    ASSERT_EQ(b.size(), 1078u + 8 * 2);
    EXPECT_EQ(u32_at(b, 2), 1094u);
    EXPECT_EQ(u32_at(b, 10), 1078u);
    EXPECT_EQ(u16_at(b, 28), 8u);
    EXPECT_EQ(u32_at(b, 34), 16u);
    EXPECT_EQ(u32_at(b, 46), 256u);
    EXPECT_EQ(u32_at(b, 50), 256u);
    // Entry 1: blue, green, red, 0 from the screen palette.
    EXPECT_EQ((Bytes{b[58], b[59], b[60], b[61]}), (Bytes{4, 129, 255, 0}));
    // Entry 9 of the default palette: (21, 21, 63) in 6 bits.
    EXPECT_EQ((Bytes{b[54 + 36], b[54 + 37], b[54 + 38], b[54 + 39]}), (Bytes{255, 85, 85, 0}));
    EXPECT_EQ((Bytes(b.begin() + 1078, b.end())), (Bytes{0, 0, 0, 0, 255, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(BmpFiles, SixteenBitSourceWidensEachComponent) {
    auto image = create_image(4, 1, 0, 16);
    set_pixel(image.get(), 0, 0, 0xF800);  // red
    set_pixel(image.get(), 1, 0, 0x07E0);  // green
    set_pixel(image.get(), 2, 0, 0x001F);  // blue
    set_pixel(image.get(), 3, 0, 0x8410);  // 16, 32, 16
    const std::string path = dir.file("sixteen.bmp");
    ASSERT_EQ(save_bmp(path, image.get()), 0);
    const Bytes b = read(path);
    ASSERT_EQ(b.size(), 54u + 12);
    EXPECT_EQ(u16_at(b, 28), 24u);
    EXPECT_EQ((Bytes(b.begin() + 54, b.end())), (Bytes{0, 0, 255, 0, 255, 0, 255, 0, 0, 132, 130, 132}));
}

TEST_F(BmpFiles, SourcesOfAnyLayoutAndTheScreen) {
    // A compact-header source and one whose pitch leaves gaps between rows.
    Image compact;
    compact.bytes = {static_cast<std::uint8_t>((2 << 3) | 4), 0, 2, 0};
    for (std::uint32_t v : {0xFF010203u, 0xFF040506u, 0xFF070809u, 0xFF0A0B0Cu}) put32(compact.bytes, v);
    ASSERT_EQ(save_bmp(dir.file("compact.bmp"), &compact), 0);
    Bytes b = read(dir.file("compact.bmp"));
    EXPECT_EQ((Bytes(b.begin() + 54, b.end())), (Bytes{9, 8, 7, 0xC, 0xB, 0xA, 0, 0, 3, 2, 1, 6, 5, 4, 0, 0}));

    auto pitched = create_image(1, 2, 0xFFEEEEEEu, 32);  // pitch 16, padding holds the fill
    set_pixel(pitched.get(), 0, 0, 0xFF112233u);
    set_pixel(pitched.get(), 0, 1, 0xFF445566u);
    ASSERT_EQ(save_bmp(dir.file("pitched.bmp"), pitched.get()), 0);
    b = read(dir.file("pitched.bmp"));
    EXPECT_EQ((Bytes(b.begin() + 54, b.end())), (Bytes{0x66, 0x55, 0x44, 0, 0x33, 0x22, 0x11, 0}));

    // The screen: 640 x 480, 24 bits at depth 32.
    draw_line(nullptr, 0, 0, 639, 0, 0xFF123456u, 0);
    const std::string screen32 = dir.file("screen32.bmp");
    ASSERT_EQ(save_bmp(screen32, nullptr), 0);
    b = read(screen32);
    ASSERT_EQ(b.size(), 54u + 640 * 3 * 480);
    EXPECT_EQ((Bytes{b[b.size() - 3], b[b.size() - 2], b[b.size() - 1]}), (Bytes{0x56, 0x34, 0x12}));

    open_headless_screen(8);
    set_pixel(nullptr, 639, 0, 77);
    const std::string screen8 = dir.file("screen8.bmp");
    ASSERT_EQ(save_bmp(screen8, nullptr), 0);
    b = read(screen8);
    ASSERT_EQ(b.size(), 1078u + 640 * 480);
    EXPECT_EQ(b.back(), 77);
    open_headless_screen(32);
}

TEST_F(BmpFiles, SaveFailures) {
    auto image = create_image(2, 2, 0, 32);
    EXPECT_EQ(save_bmp(dir.file("no_such_folder/x.bmp"), image.get()), 2);
    EXPECT_EQ(save_bmp(dir.path(), image.get()), 2);
    if (std::filesystem::exists("/dev/full")) {
        EXPECT_EQ(save_bmp("/dev/full", image.get()), 3);
    }
    // An existing file is replaced whole.
    const std::string path = dir.file("replace.bmp");
    quarnel::test::write_file(path, std::string(5000, 'x'));
    ASSERT_EQ(save_bmp(path, image.get()), 0);
    EXPECT_EQ(read(path).size(), 54u + 16);
    Image broken;
    broken.bytes = {7, 0, 0, 0, 4, 0, 0, 0};
    EXPECT_EQ(save_bmp(dir.file("broken.bmp"), &broken), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.file("broken.bmp")));
    close_screen();
    EXPECT_EQ(save_bmp(dir.file("none.bmp"), nullptr), 1);
}

// ---------------------------------------------------------------- loading: the rules

TEST_F(BmpFiles, EightBitFileGivesOpaqueColoursAndBecomesTheScreenPalette) {
    BmpSpec s;
    s.width = 3;
    s.height = 1;
    s.bits = 8;
    s.palette = {0x000000, 0x123456, 0xFEDCBA, 0x010203};
    s.colours_used = 4;
    s.pixels = pack_rows({{1, 2, 3}}, 8, true);
    const std::string path = write("eight.bmp", make_bmp(s));
    const std::uint32_t entry_5 = palette_entry(5);

    auto image = create_image(3, 1, 0, 32);
    ASSERT_EQ(load_bmp(path, image.get()), 0);
    EXPECT_EQ(pixel(image, 0, 0), opaque(0x123456));
    EXPECT_EQ(pixel(image, 1, 0), opaque(0xFEDCBA));
    EXPECT_EQ(pixel(image, 2, 0), opaque(0x010203));
    // The file's colours are kept exactly (no 6-bit rounding); entries the
    // file does not hold stay as they were.
    EXPECT_EQ(palette_entry(1), 0x563412u);
    EXPECT_EQ(palette_entry(2), 0xBADCFEu);
    EXPECT_EQ(palette_entry(5), entry_5);

    // With a palette destination the screen palette is left alone.
    ASSERT_EQ(set_screen(18, 32, 2), 0);
    std::array<std::uint32_t, 256> colours{};
    colours.fill(0xAAAAAAu);
    auto again = create_image(3, 1, 0, 32);
    ASSERT_EQ(load_bmp(path, again.get(), &colours), 0);
    EXPECT_EQ(pixel(again, 1, 0), opaque(0xFEDCBA));
    EXPECT_EQ(colours[1], 0x563412u);
    EXPECT_EQ(colours[4], 0xAAAAAAu);
    EXPECT_EQ(palette_entry(1), default_palette()[1]);

    // Into an 8-bit image the indices are copied.
    auto indices = create_image(3, 1, 0, 8);
    ASSERT_EQ(load_bmp(path, indices.get()), 0);
    EXPECT_EQ(pixel(indices, 0, 0), 1);
    EXPECT_EQ(pixel(indices, 2, 0), 3);
}

TEST_F(BmpFiles, ErrorCodes) {
    BmpSpec s;
    s.width = 2;
    s.height = 2;
    s.pixels = pack_rows({{0x010203, 0x040506}, {0x070809, 0x0A0B0C}}, 24, true);
    const std::string path = write("rgb.bmp", make_bmp(s));
    auto eight = create_image(2, 2, 0, 8);
    EXPECT_EQ(load_bmp(path, eight.get()), 1);
    EXPECT_EQ(load_bmp(dir.file("missing.bmp"), eight.get()), 2);
    EXPECT_EQ(load_bmp(dir.path(), eight.get()), 2);
    Bytes not_bm = make_bmp(s);
    not_bm[0] = 'M';
    not_bm[1] = 'B';
    auto colour = create_image(2, 2, 0, 32);
    EXPECT_EQ(load_bmp(write("mb.bmp", not_bm), colour.get()), 3);
    EXPECT_EQ(load_bmp(write("empty.bmp", {}), colour.get()), 3);
    ASSERT_EQ(load_bmp(path, colour.get()), 0);
    // An image buffer takes a file without a screen; the screen itself
    // needs one open.
    close_screen();
    EXPECT_EQ(load_bmp(path, colour.get()), 0);
    EXPECT_EQ(load_bmp(path, nullptr), 1);
}

TEST_F(BmpFiles, OnlyTheTopLeftCornerThatFitsIsWritten) {
    // 300 x 2 into 256 x 1: the picture's top row, from the left.
    BmpSpec s;
    s.width = 300;
    s.height = 2;
    std::vector<std::vector<std::uint32_t>> picture(2, std::vector<std::uint32_t>(300));
    for (std::uint32_t x = 0; x < 300; ++x) {
        picture[0][x] = 0x100000u + x;
        picture[1][x] = 0x200000u + x;
    }
    s.pixels = pack_rows(picture, 24, true);
    const std::string path = write("wide.bmp", make_bmp(s));
    auto strip = create_image(256, 1, 0, 32);
    ASSERT_EQ(load_bmp(path, strip.get()), 0);
    for (int x = 0; x < 256; ++x) EXPECT_EQ(pixel(strip, x, 0), opaque(0x100000u + static_cast<std::uint32_t>(x)));

    // A smaller picture leaves the rest of the destination as it was.
    auto large = create_image(400, 3, 0x11111111u, 32);
    ASSERT_EQ(load_bmp(path, large.get()), 0);
    EXPECT_EQ(pixel(large, 299, 1), opaque(0x200000u + 299));
    EXPECT_EQ(pixel(large, 300, 0), 0x11111111);
    EXPECT_EQ(pixel(large, 0, 2), 0x11111111);

    // The screen as destination, its rows marked for the window.
    std::vector<bool> rows;
    take_marked_rows(rows);
    ASSERT_EQ(load_bmp(path, nullptr), 0);
    EXPECT_EQ(get_pixel(nullptr, 299, 1), opaque(0x200000u + 299));
    ASSERT_TRUE(take_marked_rows(rows));
    EXPECT_TRUE(rows[0] && rows[1] && !rows[2]);
}

// Every header size with every bit count, bottom-up and top-down.
TEST_F(BmpFiles, EveryHeaderSizeAndBitCount) {
    const std::vector<std::vector<std::uint32_t>> indices = {{1, 0, 1, 1, 0}, {0, 1, 0, 0, 1}, {1, 1, 0, 1, 0}};
    for (std::uint32_t info_size : {12u, 16u, 40u, 52u, 56u, 64u, 108u, 124u}) {
        for (unsigned bits : {1u, 2u, 4u, 8u, 16u, 24u, 32u}) {
            for (bool bottom_up : {true, false}) {
                if (info_size == 12 && !bottom_up) continue;  // 16-bit unsigned height
                SCOPED_TRACE("header " + std::to_string(info_size) + ", " + std::to_string(bits) + " bits, " +
                             (bottom_up ? "bottom-up" : "top-down"));
                BmpSpec s;
                s.info_size = info_size;
                s.width = 5;
                s.height = bottom_up ? 3 : -3;
                s.bits = static_cast<std::uint16_t>(bits);
                // Pixel values: index v picks from a palette, or a colour
                // made of v in each channel's layout.
                std::vector<std::vector<std::uint32_t>> stored = indices;
                std::vector<std::vector<std::uint32_t>> expect(3, std::vector<std::uint32_t>(5));
                const std::uint32_t top = bits <= 8 ? (1u << bits) - 1 : 0;
                for (std::size_t y = 0; y < 3; ++y) {
                    for (std::size_t x = 0; x < 5; ++x) {
                        const std::uint32_t v = (indices[y][x] + static_cast<std::uint32_t>(x + y)) % 4;
                        if (bits <= 8) {
                            stored[y][x] = v == 3 ? top : v % (top + 1);  // the last entry too
                            expect[y][x] = opaque(0x102030u * (stored[y][x] % 7 + 1));
                        } else if (bits == 16) {
                            stored[y][x] = (v << 10) | ((3 - v) << 5) | (v * 7);  // 5-5-5
                            const auto w5 = [](std::uint32_t c) { return (c * 255 + 15) / 31; };
                            expect[y][x] = opaque((w5(v) << 16) | (w5(3 - v) << 8) | w5(v * 7));
                        } else if (bits == 24) {
                            stored[y][x] = 0x405060u + v * 0x010203u;
                            expect[y][x] = opaque(stored[y][x]);
                        } else {
                            stored[y][x] = (v * 0x40000000u) | 0x405060u | v;
                            expect[y][x] = stored[y][x];  // the file's alpha is kept
                        }
                    }
                }
                if (bits <= 8)
                    for (std::uint32_t i = 0; i <= top; ++i) s.palette.push_back(0x102030u * (i % 7 + 1));
                s.pixels = pack_rows(stored, bits, bottom_up);
                const std::string path = write("matrix.bmp", make_bmp(s));
                auto image = create_image(5, 3, 0, 32);
                ASSERT_EQ(load_bmp(path, image.get()), 0);
                for (int y = 0; y < 3; ++y)
                    for (int x = 0; x < 5; ++x)
                        EXPECT_EQ(pixel(image, x, y), std::int64_t{expect[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)]})
                            << x << "," << y;
                if (bits <= 8) {
                    auto eight = create_image(5, 3, 0, 8);
                    ASSERT_EQ(load_bmp(path, eight.get()), 0);
                    EXPECT_EQ(pixel(eight, 0, 0), std::int64_t{stored[0][0]});
                    EXPECT_EQ(pixel(eight, 4, 2), std::int64_t{stored[2][4]});
                }
            }
        }
    }
}

TEST_F(BmpFiles, BitFieldMasks) {
    struct Case {
        const char* name;
        std::uint32_t info_size;
        std::uint16_t bits;
        std::array<std::uint32_t, 4> masks;
        std::uint32_t stored;
        std::uint32_t expect;
    };
    const Case cases[] = {
        {"565 after a 40-byte header", 40, 16, {0xF800, 0x07E0, 0x001F, 0}, (31u << 11) | (32u << 5) | 0, 0xFF000000u | 0xFF0000u | (130u << 8)},
        {"555 in a V3 header", 56, 16, {0x7C00, 0x03E0, 0x001F, 0}, (1u << 10) | (2u << 5) | 3u, 0xFF000000u | (8u << 16) | (16u << 8) | 25u},
        {"4444 with alpha in a V5 header", 124, 16, {0x0F00, 0x00F0, 0x000F, 0xF000}, 0x8421u, 0x88442211u},
        {"1555 with alpha in a V4 header", 108, 16, {0x7C00, 0x03E0, 0x001F, 0x8000}, 0x7FFFu, 0x00FFFFFFu},
        {"10-10-10 in 32 bits", 40, 32, {0x3FF00000, 0x000FFC00, 0x000003FF, 0}, (1023u << 20) | (512u << 10) | 0u, 0xFF000000u | 0xFF0000u | (128u << 8)},
        {"8-8-8 without alpha in a V5 header", 124, 32, {0x00FF0000, 0x0000FF00, 0x000000FF, 0}, 0x12345678u, 0xFF345678u},
        {"blue-green-red order", 52, 32, {0x000000FF, 0x0000FF00, 0x00FF0000, 0}, 0x00332211u, 0xFF112233u},
        {"no red mask", 40, 32, {0, 0xFF00, 0xFF, 0}, 0x00FFFFFFu, 0xFF00FFFFu},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BmpSpec s;
        s.info_size = c.info_size;
        s.bits = c.bits;
        s.compression = 3;
        s.masks = c.masks;
        s.pixels = pack_rows({{c.stored}}, c.bits, true);
        auto image = create_image(1, 1, 0, 32);
        ASSERT_EQ(load_bmp(write("masks.bmp", make_bmp(s)), image.get()), 0);
        EXPECT_EQ(static_cast<std::uint32_t>(pixel(image, 0, 0)), c.expect);
    }
    // Without bit fields the masks of a V5 header are not used.
    BmpSpec plain;
    plain.info_size = 124;
    plain.bits = 16;
    plain.masks = std::array<std::uint32_t, 4>{0xF800, 0x07E0, 0x001F, 0};
    plain.pixels = pack_rows({{0x7C00}}, 16, true);
    auto image = create_image(1, 1, 0, 32);
    ASSERT_EQ(load_bmp(write("plain.bmp", make_bmp(plain)), image.get()), 0);
    EXPECT_EQ(pixel(image, 0, 0), 0xFFFF0000ll);
}

TEST_F(BmpFiles, ShortPalettesAndSixteenBitDestinations) {
    // Colours used: 2 of an 8-bit file's 256; the pixels follow at once.
    BmpSpec s;
    s.width = 2;
    s.bits = 8;
    s.colours_used = 2;
    s.palette = {0x0000FF, 0x00FF00};
    s.pixels = pack_rows({{1, 0}}, 8, true);
    const Bytes file = make_bmp(s);
    ASSERT_EQ(u32_at(file, 10), 14u + 40 + 8);
    const std::uint32_t entry_2 = palette_entry(2);
    auto image = create_image(2, 1, 0, 32);
    ASSERT_EQ(load_bmp(write("short.bmp", file), image.get()), 0);
    EXPECT_EQ(pixel(image, 0, 0), opaque(0x00FF00));
    EXPECT_EQ(pixel(image, 1, 0), opaque(0x0000FF));
    EXPECT_EQ(palette_entry(2), entry_2);

    // The OS/2 header's palette has 3-byte entries.
    BmpSpec os2;
    os2.info_size = 12;
    os2.width = 2;
    os2.bits = 1;
    os2.palette = {0x808080, 0xFF8000};
    os2.pixels = pack_rows({{1, 0}}, 1, true);
    ASSERT_EQ(load_bmp(write("os2.bmp", make_bmp(os2)), image.get()), 0);
    EXPECT_EQ(pixel(image, 0, 0), opaque(0xFF8000));
    EXPECT_EQ(pixel(image, 1, 0), opaque(0x808080));

    // A 16-bit (5-6-5) destination takes the colours in its own layout.
    auto sixteen = create_image(2, 1, 0, 16);
    ASSERT_EQ(load_bmp(write("short.bmp", file), sixteen.get()), 0);
    EXPECT_EQ(pixel(sixteen, 0, 0), 0x07E0);
    EXPECT_EQ(pixel(sixteen, 1, 0), 0x001F);
}

TEST_F(BmpFiles, RunLengthCodedFiles) {
    // RLE8, 5 x 3, bottom row first:
    //   02 07        two pixels of index 7
    //   00 03 01 02 03 00   three literal pixels, padded to a word
    //   00 00        end of row
    //   00 02 02 01  move 2 right and 1 up (the middle row stays 0)
    //   01 09        one pixel of index 9 at (2, top row)
    //   00 01        end of picture
    BmpSpec s;
    s.width = 5;
    s.height = 3;
    s.bits = 8;
    s.compression = 1;
    s.palette.assign(16, 0);
    for (std::uint32_t i = 0; i < 16; ++i) s.palette[i] = 0x0F0F0Fu * i;
    s.colours_used = 16;
    s.pixels = {0x02, 0x07, 0x00, 0x03, 0x01, 0x02, 0x03, 0x00, 0x00, 0x00, 0x00, 0x02, 0x02, 0x01, 0x01, 0x09, 0x00, 0x01};
    auto image = create_image(5, 3, 0xEE, 8);
    ASSERT_EQ(load_bmp(write("rle8.bmp", make_bmp(s)), image.get()), 0);
    const int expect8[3][5] = {{0, 0, 9, 0, 0}, {0, 0, 0, 0, 0}, {7, 7, 1, 2, 3}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(pixel(image, x, y), expect8[y][x]) << x << "," << y;
    auto colour = create_image(5, 3, 0, 32);
    ASSERT_EQ(load_bmp(write("rle8.bmp", make_bmp(s)), colour.get()), 0);
    EXPECT_EQ(pixel(colour, 2, 0), opaque(0x878787));

    // RLE4, 5 x 2: "05 12" gives 1 2 1 2 1; "00 03 34 50" three literal
    // nibbles 3 4 5; "02 F6" gives F 6.
    BmpSpec s4;
    s4.width = 5;
    s4.height = 2;
    s4.bits = 4;
    s4.compression = 2;
    s4.palette.assign(16, 0);
    s4.pixels = {0x05, 0x12, 0x00, 0x00, 0x00, 0x03, 0x34, 0x50, 0x02, 0xF6, 0x00, 0x01};
    auto four = create_image(5, 2, 0, 8);
    ASSERT_EQ(load_bmp(write("rle4.bmp", make_bmp(s4)), four.get()), 0);
    const int expect4[2][5] = {{3, 4, 5, 15, 6}, {1, 2, 1, 2, 1}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(pixel(four, x, y), expect4[y][x]) << x << "," << y;

    // Runs longer than the row are cut at its end.
    BmpSpec over = s;
    over.pixels = {0xFF, 0x05, 0x00, 0x01};
    ASSERT_EQ(load_bmp(write("over.bmp", make_bmp(over)), image.get()), 0);
    EXPECT_EQ(pixel(image, 4, 2), 5);
    EXPECT_EQ(pixel(image, 0, 1), 0);

    // Code that stops before the picture ends, or top-down coded rows.
    BmpSpec cut = s;
    cut.pixels = {0x02, 0x07, 0x00, 0x05, 0x01};
    EXPECT_EQ(load_bmp(write("cut.bmp", make_bmp(cut)), image.get()), 3);
    BmpSpec top_down = s;
    top_down.height = -3;
    EXPECT_EQ(load_bmp(write("topdown.bmp", make_bmp(top_down)), image.get()), 3);
    BmpSpec wrong_bits = s;
    wrong_bits.bits = 4;
    EXPECT_EQ(load_bmp(write("rle8of4.bmp", make_bmp(wrong_bits)), image.get()), 3);
}

TEST_F(BmpFiles, MalformedHeadersAreRefused) {
    BmpSpec good;
    good.width = 2;
    good.height = 2;
    good.bits = 8;
    good.palette.assign(256, 0x123456);
    good.pixels = pack_rows({{1, 2}, {3, 4}}, 8, true);
    auto image = create_image(4, 4, 0, 32);
    ASSERT_EQ(load_bmp(write("good.bmp", make_bmp(good)), image.get()), 0);

    struct Case {
        const char* name;
        BmpSpec spec;
    };
    std::vector<Case> cases;
    auto with = [&](const char* name, auto change) {
        BmpSpec s = good;
        change(s);
        cases.push_back({name, s});
    };
    with("header size 11", [](BmpSpec& s) { s.info_size = 11; });
    with("header size 13", [](BmpSpec& s) { s.info_size = 13; });
    with("header size 0", [](BmpSpec& s) { s.info_size = 0; });
    with("two planes", [](BmpSpec& s) { s.planes = 2; });
    with("width 0", [](BmpSpec& s) { s.width = 0; });
    with("negative width", [](BmpSpec& s) { s.width = -2; });
    with("height 0", [](BmpSpec& s) { s.height = 0; });
    with("bit count 0", [](BmpSpec& s) { s.bits = 0; });
    with("bit count 3", [](BmpSpec& s) { s.bits = 3; });
    with("bit count 64", [](BmpSpec& s) { s.bits = 64; });
    with("compression 4 (JPEG)", [](BmpSpec& s) { s.compression = 4; });
    with("compression 6", [](BmpSpec& s) { s.compression = 6; });
    with("data offset past the end", [](BmpSpec& s) { s.data_offset = 0xFFFFFFF0u; });
    with("data offset one row too late", [](BmpSpec& s) { s.data_offset = 14 + 40 + 1024 + 4; });
    with("pixel data one byte short", [](BmpSpec& s) { s.pixels.pop_back(); });
    with("palette cut short", [](BmpSpec& s) { s.palette.resize(100); s.pixels.clear(); s.data_offset = 0; });
    with("declared 65535 x 65535", [](BmpSpec& s) { s.width = 65535; s.height = 65535; });
    with("declared 8193 x 8193 (over 256 MiB)", [](BmpSpec& s) { s.width = 8193; s.height = 8193; });
    with("declared 2^31-1 x -2^31", [](BmpSpec& s) { s.width = 0x7FFFFFFF; s.height = INT32_MIN; });
    with("height -2^31", [](BmpSpec& s) { s.height = INT32_MIN; });
    with("bit fields whose masks are missing", [](BmpSpec& s) { s.bits = 32; s.compression = 3; s.palette.clear(); s.pixels.clear(); });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(load_bmp(write("bad.bmp", make_bmp(c.spec)), image.get()), 3);
    }
    // A failed load leaves the destination as it was.
    EXPECT_EQ(pixel(image, 0, 0), opaque(0x123456));

    // An info header that claims more bytes than the file holds.
    Bytes long_header = make_bmp(good);
    long_header[14 + 3] = 0x7F;
    EXPECT_EQ(load_bmp(write("long.bmp", long_header), image.get()), 3);

    // Every cut of the file header and info header.
    const Bytes whole = make_bmp(good);
    for (std::size_t n = 0; n < 54; ++n)
        EXPECT_EQ(load_bmp(write("cut.bmp", Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n))), image.get()), 3) << n;
}

// ---------------------------------------------------------------- damaged files

namespace {

// Small valid files of several kinds for the mutation loops.
std::vector<std::pair<std::string, Bytes>> mutation_samples() {
    std::vector<std::pair<std::string, Bytes>> samples;
    BmpSpec eight;
    eight.width = 3;
    eight.height = 2;
    eight.bits = 8;
    eight.colours_used = 6;
    eight.palette = {0, 0x111111, 0x222222, 0x333333, 0x444444, 0x555555};
    eight.pixels = pack_rows({{1, 2, 3}, {4, 5, 0}}, 8, true);
    samples.push_back({"8-bit", make_bmp(eight)});

    BmpSpec rgb;
    rgb.width = 3;
    rgb.height = -2;
    rgb.pixels = pack_rows({{1, 2, 3}, {4, 5, 6}}, 24, false);
    samples.push_back({"24-bit top-down", make_bmp(rgb)});

    BmpSpec fields;
    fields.info_size = 124;
    fields.width = 2;
    fields.height = 2;
    fields.bits = 16;
    fields.compression = 3;
    fields.masks = std::array<std::uint32_t, 4>{0xF800, 0x07E0, 0x001F, 0};
    fields.pixels = pack_rows({{0xF800, 0x07E0}, {0x001F, 0xFFFF}}, 16, true);
    samples.push_back({"16-bit bit fields, V5 header", make_bmp(fields)});

    BmpSpec os2;
    os2.info_size = 12;
    os2.width = 9;
    os2.height = 2;
    os2.bits = 1;
    os2.palette = {0, 0xFFFFFF};
    os2.pixels = pack_rows({{1, 0, 1, 0, 1, 0, 1, 0, 1}, {0, 1, 0, 1, 0, 1, 0, 1, 0}}, 1, true);
    samples.push_back({"1-bit OS/2", make_bmp(os2)});

    BmpSpec rle;
    rle.width = 5;
    rle.height = 2;
    rle.bits = 4;
    rle.compression = 2;
    rle.palette.assign(16, 0x010101);
    rle.pixels = {0x05, 0x12, 0x00, 0x00, 0x00, 0x03, 0x34, 0x50, 0x02, 0xF6, 0x00, 0x01};
    samples.push_back({"RLE4", make_bmp(rle)});
    return samples;
}

}  // namespace

TEST_F(BmpFiles, TruncatedAtEveryLength) {
    auto colour = create_image(6, 4, 0, 32);
    auto eight = create_image(6, 4, 0, 8);
    for (const auto& [name, whole] : mutation_samples()) {
        SCOPED_TRACE(name);
        const bool run_length = name == "RLE4";
        ASSERT_EQ(load_bmp(write("whole.bmp", whole), colour.get()), 0);
        for (std::size_t n = 0; n < whole.size(); ++n) {
            const std::string path = write("cut.bmp", Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n)));
            const int result = load_bmp(path, colour.get());
            // Run-length code that has filled every row may lack its end mark.
            if (run_length && n >= whole.size() - 2)
                EXPECT_TRUE(result == 0 || result == 3) << n;
            else
                EXPECT_EQ(result, 3) << "cut at " << n;
            const int into_eight = load_bmp(path, eight.get());
            EXPECT_TRUE(into_eight == 1 || into_eight == 3 || (run_length && into_eight == 0)) << n;
        }
    }
}

TEST_F(BmpFiles, DamagedHeadersGiveErrorOrPicture) {
    auto colour = create_image(6, 4, 0, 32);
    auto eight = create_image(6, 4, 0, 8);
    for (const auto& [name, whole] : mutation_samples()) {
        SCOPED_TRACE(name);
        const std::size_t header_end = u32_at(whole, 10);
        for (std::size_t at = 0; at < header_end; ++at) {
            for (int kind = 0; kind < 5; ++kind) {
                Bytes damaged = whole;
                switch (kind) {
                case 0: damaged[at] ^= 0xFF; break;
                case 1: damaged[at] ^= 0x01; break;
                case 2: damaged[at] ^= 0x80; break;
                case 3: damaged[at] = 0x00; break;
                default: damaged[at] = 0xFF; break;
                }
                const std::string path = write("damaged.bmp", damaged);
                const int result = load_bmp(path, colour.get());
                EXPECT_TRUE(result == 0 || result == 3) << "byte " << at << " change " << kind << ": " << result;
                const int into_eight = load_bmp(path, eight.get());
                EXPECT_TRUE(into_eight == 0 || into_eight == 1 || into_eight == 3) << "byte " << at;
                const int into_screen = load_bmp(path, nullptr);
                EXPECT_TRUE(into_screen == 0 || into_screen == 3) << "byte " << at;
            }
        }
    }
    // Random damage anywhere, several bytes at a time.
    std::mt19937 random(12345);
    for (const auto& [name, whole] : mutation_samples()) {
        for (int round = 0; round < 400; ++round) {
            Bytes damaged = whole;
            const int changes = 1 + static_cast<int>(random() % 4);
            for (int i = 0; i < changes; ++i)
                damaged[random() % damaged.size()] = static_cast<std::uint8_t>(random());
            const int result = load_bmp(write("random.bmp", damaged), colour.get());
            EXPECT_TRUE(result == 0 || result == 3) << name << " round " << round;
        }
    }
}

// ---------------------------------------------------------------- PngSuite against libpng

namespace {

struct DecodedPng {
    std::uint32_t width = 0, height = 0;
    int bit_depth = 0;  // of the samples in the file
    std::vector<std::uint32_t> argb;  // top row first
};

// The PNG decoded by libpng to 8-bit RGBA without gamma handling.
std::optional<DecodedPng> decode_png(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return std::nullopt;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    DecodedPng out;
    std::vector<png_bytep> rows;
    std::vector<std::uint8_t> rgba;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(file);
        return std::nullopt;
    }
    png_init_io(png, file);
    png_read_info(png, info);
    out.bit_depth = png_get_bit_depth(png, info);
    png_set_expand(png);
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    out.width = png_get_image_width(png, info);
    out.height = png_get_image_height(png, info);
    rgba.resize(std::size_t{out.width} * out.height * 4);
    for (std::uint32_t y = 0; y < out.height; ++y) rows.push_back(rgba.data() + std::size_t{y} * out.width * 4);
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    for (std::size_t i = 0; i < rgba.size(); i += 4)
        out.argb.push_back((std::uint32_t{rgba[i + 3]} << 24) | (std::uint32_t{rgba[i]} << 16) |
                           (std::uint32_t{rgba[i + 1]} << 8) | rgba[i + 2]);
    return out;
}

// Equal colours, each channel within `tolerance`. The BMP copies of
// 16-bit PNGs were reduced to 8 bits by their writer, which rounds some
// samples that lie near a half the other way; a difference of 1 there is
// the writer's rounding, not the reader's.
// A pixel that is wholly transparent has no colour to compare: the BMP
// copies store it as 0, libpng gives the colour behind it.
bool same_colour(std::int64_t got, std::uint32_t want, int tolerance) {
    if (got < 0) return false;
    if ((want >> 24) == 0) return (static_cast<std::uint64_t>(got) >> 24) == 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const int a = static_cast<int>((static_cast<std::uint64_t>(got) >> shift) & 0xFF);
        const int b = static_cast<int>((want >> shift) & 0xFF);
        if (std::abs(a - b) > tolerance) return false;
    }
    return true;
}

}  // namespace

TEST_F(BmpFiles, PngSuiteCopiesMatchLibpng) {
    const std::filesystem::path suite = std::filesystem::path(QUARNEL_TEST_DATA_DIR) / "pngsuite";
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(suite / "bmp"))
        if (entry.path().extension() == ".bmp") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    ASSERT_GT(files.size(), 100u);
    int compared = 0;
    for (const auto& bmp : files) {
        SCOPED_TRACE(bmp.filename().string());
        const auto png = decode_png((suite / "png" / bmp.filename().replace_extension(".png")).string());
        ASSERT_TRUE(png) << "no matching PNG";
        auto image = create_image(static_cast<int>(png->width), static_cast<int>(png->height), 0, 32);
        ASSERT_EQ(load_bmp(bmp.string(), image.get()), 0);
        int mismatches = 0;
        for (std::uint32_t y = 0; y < png->height && mismatches < 3; ++y)
            for (std::uint32_t x = 0; x < png->width && mismatches < 3; ++x) {
                const std::int64_t got = pixel(image, static_cast<int>(x), static_cast<int>(y));
                const std::uint32_t want = png->argb[std::size_t{y} * png->width + x];
                if (!same_colour(got, want, png->bit_depth == 16 ? 1 : 0)) {
                    ++mismatches;
                    ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << got << " instead of " << want;
                }
            }
        ++compared;
    }
    EXPECT_EQ(compared, static_cast<int>(files.size()));
}

// ---------------------------------------------------------------- files of other programs

namespace {

bool command_works(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// A Python with Pillow: the one on the path, or the system's.
std::string python_with_pillow() {
    for (const char* python : {"python3", "/usr/bin/python3"})
        if (command_works(std::string(python) + " -c 'import PIL.Image'")) return python;
    return "";
}

// The picture as a binary PPM, for ImageMagick.
void write_ppm(const std::string& path, int width, int height, const std::vector<std::uint32_t>& rgb) {
    std::string text = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    for (std::uint32_t c : rgb) {
        text.push_back(static_cast<char>(c >> 16));
        text.push_back(static_cast<char>(c >> 8));
        text.push_back(static_cast<char>(c));
    }
    quarnel::test::write_file(path, text);
}

// The same file with its rows in the other order and the height negated:
// a top-down file. Uncompressed files only.
Bytes turn_top_down(const Bytes& file) {
    const std::uint32_t offset = u32_at(file, 10);
    const std::uint32_t info_size = u32_at(file, 14);
    const std::int32_t height = static_cast<std::int32_t>(u32_at(file, 22));
    const std::uint32_t width = u32_at(file, 18);
    const std::uint32_t bits = u16_at(file, 28);
    EXPECT_TRUE(info_size >= 40 && height > 0);
    const std::size_t row = (std::size_t{width} * bits + 31) / 32 * 4;
    Bytes out(file.begin(), file.begin() + offset);
    for (std::int32_t y = height - 1; y >= 0; --y) {
        const auto start = file.begin() + offset + static_cast<std::ptrdiff_t>(row * static_cast<std::size_t>(y));
        out.insert(out.end(), start, start + static_cast<std::ptrdiff_t>(row));
    }
    const std::uint32_t negative = static_cast<std::uint32_t>(-height);
    for (int i = 0; i < 4; ++i) out[22 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(negative >> (8 * i));
    return out;
}

constexpr int tool_width = 7;  // odd, so that rows carry padding
constexpr int tool_height = 5;

// A picture of `colours` distinct colours spread over 7 x 5 pixels.
std::vector<std::uint32_t> tool_picture(const std::vector<std::uint32_t>& colours) {
    std::vector<std::uint32_t> rgb;
    for (int i = 0; i < tool_width * tool_height; ++i)
        rgb.push_back(colours[static_cast<std::size_t>((i * 3 + i / tool_width) % static_cast<int>(colours.size()))]);
    return rgb;
}

}  // namespace

TEST_F(BmpFiles, FilesWrittenByImageMagick) {
    if (!command_works("convert -version")) GTEST_SKIP() << "ImageMagick's convert is not installed (Debian package imagemagick)";
    // 16-bit colours: each 8-bit component is the smallest one at or above
    // v x 255 / max, so that truncating and rounding writers both store v.
    // The loader widens v back to the nearest 8-bit value, v x 255 / max.
    const auto up5 = [](std::uint32_t v) { return (v * 255 + 30) / 31; };
    const auto up6 = [](std::uint32_t v) { return (v * 255 + 62) / 63; };
    std::vector<std::uint32_t> sixteen, thirty_five, five_five_five, five_six_five;
    for (std::uint32_t i = 0; i < 16; ++i) sixteen.push_back(((i * 16) << 16) | ((255 - i * 9) << 8) | (i * 77 % 256));
    for (std::uint32_t i = 0; i < 35; ++i) thirty_five.push_back(((i * 7) << 16) | ((255 - i * 5) << 8) | (i * 77 % 256));
    for (std::uint32_t i = 0; i < 35; ++i) {
        five_five_five.push_back((up5(i % 32) << 16) | (up5((i * 7) % 32) << 8) | up5(31 - i % 32));
        five_six_five.push_back((up5(i % 32) << 16) | (up6((i * 11) % 64) << 8) | up5(31 - i % 32));
    }
    struct Case {
        const char* name;
        std::vector<std::uint32_t> colours;
        std::string options;
        std::uint32_t info_size;
        std::uint16_t bits;
        std::uint32_t compression;
        int green_bits = 8;  // 5 or 6 for 16-bit files: all components are narrowed
    };
    const auto widened = [](std::uint32_t rgb, int green_bits) {
        if (green_bits == 8) return rgb;
        std::uint32_t out = 0;
        for (int shift : {16, 8, 0}) {
            const std::uint32_t top = (shift == 8 && green_bits == 6) ? 63 : 31;
            const std::uint32_t v = ((rgb >> shift) & 0xFF) * top / 255;
            out |= ((v * 255 + top / 2) / top) << shift;
        }
        return out;
    };
    const std::vector<Case> cases = {
        {"1-bit", {0x000000, 0xFFFFFF}, "-type Bilevel BMP3:", 40, 1, 0},
        {"4-bit", sixteen, "-type Palette BMP3:", 40, 4, 0},
        {"4-bit OS/2", sixteen, "-type Palette BMP2:", 12, 4, 0},
        {"8-bit", thirty_five, "-type Palette -compress None BMP3:", 40, 8, 0},
        {"8-bit RLE", thirty_five, "-type Palette BMP3:", 40, 8, 1},
        {"16-bit 555", five_five_five, "-type TrueColor -define bmp:subtype=RGB555 BMP:", 124, 16, 3, 5},
        {"16-bit 565", five_six_five, "-type TrueColor -define bmp:subtype=RGB565 BMP:", 124, 16, 3, 6},
        {"24-bit", thirty_five, "-type TrueColor BMP3:", 40, 24, 0},
        {"24-bit V5", thirty_five, "-type TrueColor BMP:", 124, 24, 0},
        {"24-bit OS/2", thirty_five, "-type TrueColor BMP2:", 12, 24, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto rgb = tool_picture(c.colours);
        write_ppm(dir.file("in.ppm"), tool_width, tool_height, rgb);
        const std::string out = dir.file("out.bmp");
        std::filesystem::remove(out);
        ASSERT_TRUE(command_works("convert '" + dir.file("in.ppm") + "' " + c.options + "'" + out + "'"));
        const Bytes file = read(out);
        ASSERT_GE(file.size(), 30u);
        ASSERT_EQ(u32_at(file, 14), c.info_size);
        ASSERT_EQ(u16_at(file, 14 + (c.info_size == 12 ? 10 : 14)), c.bits);
        if (c.info_size != 12) {
            ASSERT_EQ(u32_at(file, 30), c.compression);
        }

        std::vector<Bytes> variants = {file};
        if (c.info_size != 12 && c.compression != 1) variants.push_back(turn_top_down(file));
        for (std::size_t v = 0; v < variants.size(); ++v) {
            SCOPED_TRACE(v == 0 ? "as written" : "turned top-down");
            auto image = create_image(tool_width, tool_height, 0, 32);
            ASSERT_EQ(load_bmp(write("variant.bmp", variants[v]), image.get()), 0);
            for (int y = 0; y < tool_height; ++y)
                for (int x = 0; x < tool_width; ++x)
                    ASSERT_EQ(pixel(image, x, y), opaque(widened(rgb[static_cast<std::size_t>(y * tool_width + x)], c.green_bits)))
                        << x << "," << y;
            if (c.bits <= 8) {
                auto indices = create_image(tool_width, tool_height, 0, 8);
                ASSERT_EQ(load_bmp(write("variant.bmp", variants[v]), indices.get()), 0);
                for (int y = 0; y < tool_height; ++y)
                    for (int x = 0; x < tool_width; ++x) {
                        const std::uint32_t e = palette_entry(static_cast<int>(pixel(indices, x, y)));
                        const std::uint32_t seen = ((e & 0xFF) << 16) | (e & 0xFF00) | (e >> 16);
                        ASSERT_EQ(seen, rgb[static_cast<std::size_t>(y * tool_width + x)]) << x << "," << y;
                    }
            }
        }
    }
}

TEST_F(BmpFiles, FilesWrittenByPillow) {
    const std::string python = python_with_pillow();
    if (python.empty()) GTEST_SKIP() << "Python with Pillow is not installed (Debian package python3-pil)";
    // Pillow writes 1-bit, 8-bit (palette and grey), 24-bit and 32-bit
    // (with alpha) files from pictures given here index by index.
    const std::string script = dir.file("make.py");
    quarnel::test::write_file(script,
        "import sys\n"
        "from PIL import Image\n"
        "w, h = 7, 5\n"
        "folder = sys.argv[1]\n"
        "bits = Image.new('1', (w, h))\n"
        "bits.putdata([255 if (x * 3 + y) % 4 < 2 else 0 for y in range(h) for x in range(w)])\n"
        "bits.save(folder + '/one.bmp')\n"
        "pal = Image.new('P', (w, h))\n"
        "pal.putpalette([c for i in range(256) for c in ((i * 5) % 256, 255 - i, (i * 11) % 256)])\n"
        "pal.putdata([(x * 37 + y * 11) % 256 for y in range(h) for x in range(w)])\n"
        "pal.save(folder + '/eight.bmp')\n"
        "grey = Image.new('L', (w, h))\n"
        "grey.putdata([(x * 40 + y * 3) % 256 for y in range(h) for x in range(w)])\n"
        "grey.save(folder + '/grey.bmp')\n"
        "rgb = Image.new('RGB', (w, h))\n"
        "rgb.putdata([(x * 30, y * 50, (x * y * 7) % 256) for y in range(h) for x in range(w)])\n"
        "rgb.save(folder + '/rgb.bmp')\n"
        "rgba = Image.new('RGBA', (w, h))\n"
        "rgba.putdata([(x * 30, y * 50, 9, (x * 60 + y) % 256) for y in range(h) for x in range(w)])\n"
        "rgba.save(folder + '/rgba.bmp')\n");
    ASSERT_TRUE(command_works(python + " '" + script + "' '" + dir.path() + "'"));

    struct Case {
        const char* file;
        std::uint16_t bits;
        std::uint32_t (*expect)(int x, int y);
    };
    const Case cases[] = {
        {"one.bmp", 1, [](int x, int y) { return (x * 3 + y) % 4 < 2 ? 0xFFFFFFFFu : 0xFF000000u; }},
        {"eight.bmp", 8, [](int x, int y) {
             const std::uint32_t i = static_cast<std::uint32_t>((x * 37 + y * 11) % 256);
             return opaque((((i * 5) % 256) << 16) | ((255 - i) << 8) | ((i * 11) % 256));
         }},
        {"grey.bmp", 8, [](int x, int y) { return opaque(0x010101u * static_cast<std::uint32_t>((x * 40 + y * 3) % 256)); }},
        {"rgb.bmp", 24, [](int x, int y) {
             return opaque((static_cast<std::uint32_t>(x * 30) << 16) | (static_cast<std::uint32_t>(y * 50) << 8) |
                           static_cast<std::uint32_t>((x * y * 7) % 256));
         }},
        {"rgba.bmp", 32, [](int x, int y) {
             return (static_cast<std::uint32_t>((x * 60 + y) % 256) << 24) | (static_cast<std::uint32_t>(x * 30) << 16) |
                    (static_cast<std::uint32_t>(y * 50) << 8) | 9u;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Bytes file = read(dir.file(c.file));
        ASSERT_GE(file.size(), 54u);
        ASSERT_EQ(u16_at(file, 28), c.bits);
        for (const Bytes& variant : {file, turn_top_down(file)}) {
            auto image = create_image(tool_width, tool_height, 0, 32);
            ASSERT_EQ(load_bmp(write("variant.bmp", variant), image.get()), 0);
            for (int y = 0; y < tool_height; ++y)
                for (int x = 0; x < tool_width; ++x)
                    ASSERT_EQ(static_cast<std::uint32_t>(pixel(image, x, y)), c.expect(x, y)) << x << "," << y;
        }
    }
}
