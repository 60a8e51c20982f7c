#include <gtest/gtest.h>

#include <random>

#include "png/png_reader.h"
#include "png/png_test_support.h"
#include "png/png_writer.h"
#include "runtime/platform/files.h"

using namespace quarnel;
using namespace quarnel::test;

namespace {

std::uint32_t be32_at(const Bytes& b, std::size_t at) {
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) | (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

Pixels random_pixels(std::uint32_t width, std::uint32_t height, std::mt19937& rng) {
    Pixels p{width, height, {}};
    std::uniform_int_distribution<std::uint32_t> any;
    // A mix of blank, opaque palette-like and fully random pixels, as
    // extraction produces: runs of repeats compress, random ones do not.
    for (std::size_t i = 0; i < std::size_t{width} * height; ++i) {
        const std::uint32_t kind = any(rng) % 4;
        p.argb.push_back(kind == 0 ? 0u : kind == 1 ? 0xFF000000u | (any(rng) & 0x00FFFFFFu) : any(rng));
    }
    return p;
}

// Everything a written file must satisfy: the fixed layout of this writer,
// pngcheck's approval and libpng's pixels equal to the image's.
void expect_valid_png(const Bytes& file, const Pixels& pixels, const TempDir& dir) {
    ASSERT_GE(file.size(), 57u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 8), signature());
    EXPECT_EQ(be32_at(file, 8), 13u);
    EXPECT_EQ(std::string(file.begin() + 12, file.begin() + 16), "IHDR");
    EXPECT_EQ(be32_at(file, 16), pixels.width);
    EXPECT_EQ(be32_at(file, 20), pixels.height);
    EXPECT_EQ(Bytes(file.begin() + 24, file.begin() + 29), (Bytes{8, 6, 0, 0, 0}));
    const std::uint32_t n = be32_at(file, 33);
    EXPECT_EQ(std::string(file.begin() + 37, file.begin() + 41), "IDAT");
    ASSERT_EQ(file.size(), 57u + n);
    EXPECT_EQ(be32_at(file, 45 + n), 0u);
    EXPECT_EQ(std::string(file.begin() + 49 + n, file.begin() + 53 + n), "IEND");
    EXPECT_EQ(be32_at(file, 53 + n), 0xAE426082u);

    const auto reference = libpng_decode(file);
    ASSERT_TRUE(reference) << "libpng refused the file";
    EXPECT_EQ(*reference, pixels);

    const std::string checker = pngcheck_path();
    if (!checker.empty()) {
        const std::string path = dir.file("check.png");
        write_file(path, std::string(file.begin(), file.end()));
        EXPECT_TRUE(pngcheck_accepts(checker, path)) << "pngcheck refused " << pixels.width << "x" << pixels.height;
    }
}

TEST(PngWriter, BlankSinglePixelIsTransparentBlack) {
    TempDir dir;
    const Pixels pixels{1, 1, {0x00000000u}};
    auto image = make_image(pixels);
    const auto file = png_encode(*image);
    ASSERT_TRUE(file);
    expect_valid_png(*file, pixels, dir);
    // Raw rows: filter byte 0, then R G B A.
    const Bytes raw = zlib_inflate(Bytes(file->begin() + 41, file->end() - 16), 64);
    EXPECT_EQ(raw, (Bytes{0, 0, 0, 0, 0}));
}

TEST(PngWriter, PixelBytesGoOutAsRedGreenBlueAlpha) {
    TempDir dir;
    const Pixels pixels{2, 1, {0xFF102030u, 0x80A1B2C3u}};
    auto image = make_image(pixels);
    const auto file = png_encode(*image);
    ASSERT_TRUE(file);
    expect_valid_png(*file, pixels, dir);
    const Bytes raw = zlib_inflate(Bytes(file->begin() + 41, file->end() - 16), 64);
    EXPECT_EQ(raw, (Bytes{0, 0x10, 0x20, 0x30, 0xFF, 0xA1, 0xB2, 0xC3, 0x80}));
}

TEST(PngWriter, PaddedRowsAreWrittenWithoutThePadding) {
    TempDir dir;
    std::mt19937 rng(7);
    const Pixels pixels = random_pixels(5, 3, rng);
    auto image = make_image(pixels, true, 12);
    ASSERT_EQ(image_layout(*image)->pitch, 32u);
    const auto file = png_encode(*image);
    ASSERT_TRUE(file);
    expect_valid_png(*file, pixels, dir);
    const Bytes raw = zlib_inflate(Bytes(file->begin() + 41, file->end() - 16), 1024);
    ASSERT_EQ(raw.size(), 3u * 21u);
    for (std::size_t i = 0; i < raw.size(); i += 21) EXPECT_EQ(raw[i], 0) << "filter byte of row " << i / 21;
}

TEST(PngWriter, WidestCompactImageKeepsItsWidth) {
    TempDir dir;
    std::mt19937 rng(8191);
    const Pixels pixels = random_pixels(8191, 2, rng);
    auto image = make_image(pixels);
    ASSERT_TRUE(image_layout(*image)->compact);
    const auto file = png_encode(*image);
    ASSERT_TRUE(file);
    EXPECT_EQ(be32_at(*file, 16), 8191u);
    expect_valid_png(*file, pixels, dir);
}

TEST(PngWriter, ManySizesInBothHeaderFormsPassCheckerAndLibpng) {
    TempDir dir;
    std::mt19937 rng(2024);
    const std::pair<std::uint32_t, std::uint32_t> sizes[] = {{1, 1}, {1, 37}, {37, 1}, {16, 16}, {17, 9}, {128, 128}, {300, 7}};
    for (const auto& [w, h] : sizes) {
        for (int form = 0; form < 3; ++form) {
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " form " + std::to_string(form));
            const Pixels pixels = random_pixels(w, h, rng);
            auto image = make_image(pixels, form > 0, form == 2 ? 4 : 0);
            ASSERT_TRUE(image);
            const auto file = png_encode(*image);
            ASSERT_TRUE(file);
            expect_valid_png(*file, pixels, dir);
            auto back = png_decode(*file);
            ASSERT_TRUE(back);
            EXPECT_EQ(*image_pixels(*back), pixels);
        }
    }
}

TEST(PngWriter, SaveWritesTheEncodedBytesOverALongerFile) {
    TempDir dir;
    const std::string path = dir.file("0001.png");
    write_file(path, std::string(10000, 'x'));
    std::mt19937 rng(1);
    const Pixels pixels = random_pixels(9, 4, rng);
    auto image = make_image(pixels, true, 16);
    ASSERT_EQ(png_save(path, image.get()), 0);
    const auto file = png_encode(*image);
    ASSERT_TRUE(file);
    EXPECT_EQ(read_file(path), std::string(file->begin(), file->end()));
    auto back = png_load(path);
    ASSERT_TRUE(back);
    EXPECT_EQ(*image_pixels(*back), pixels);
}

TEST(PngWriter, RefusalsLeaveNoFileAndKeepAnExistingOne) {
    TempDir dir;
    const std::string fresh = dir.file("fresh.png");
    const std::string kept = dir.file("kept.png");
    write_file(kept, "earlier contents");

    auto eight_bit = new_image_buffer(4, 4, 1);
    auto sixteen_bit = new_image_buffer(4, 4, 2);
    auto good = make_image(Pixels{1, 1, {0xFFFFFFFFu}});
    // A full header that says width 0: no PNG can have it.
    auto empty = std::make_unique<Image>();
    empty->bytes.assign(full_header_size, 0);
    const std::uint32_t fields[5] = {full_header_type, 4, 0, 5, 0};
    for (int i = 0; i < 5; ++i) write_pixel_value(empty->bytes.data() + 4 * i, 4, fields[i]);
    // A header announcing more rows than the block holds.
    auto short_block = make_image(Pixels{2, 2, {1, 2, 3, 4}});
    short_block->bytes.resize(short_block->bytes.size() - 1);

    for (const Image* bad : {static_cast<const Image*>(nullptr), static_cast<const Image*>(eight_bit.get()),
                             static_cast<const Image*>(sixteen_bit.get()), static_cast<const Image*>(empty.get()),
                             static_cast<const Image*>(short_block.get())}) {
        EXPECT_EQ(png_save(fresh, bad), 1);
        EXPECT_EQ(png_save(kept, bad), 1);
    }
    EXPECT_EQ(png_save("", good.get()), 1);
    EXPECT_FALSE(file_exists(fresh));
    EXPECT_EQ(read_file(kept), "earlier contents");
    EXPECT_FALSE(png_encode(*eight_bit));
    EXPECT_FALSE(png_encode(*empty));
}

TEST(PngWriter, UnwritablePathFails) {
    TempDir dir;
    auto good = make_image(Pixels{1, 1, {0xFFFFFFFFu}});
    EXPECT_EQ(png_save(dir.file("no-such-folder/0001.png"), good.get()), 1);
}

TEST(PngWriter, SizesBeyondThePngLimitsAreRefused) {
    EXPECT_TRUE(png_writable_size(1, 1));
    EXPECT_TRUE(png_writable_size(png_max_dimension, 1));
    EXPECT_TRUE(png_writable_size(1, png_max_dimension));
    EXPECT_FALSE(png_writable_size(0, 1));
    EXPECT_FALSE(png_writable_size(1, 0));
    EXPECT_FALSE(png_writable_size(std::uint64_t{png_max_dimension} + 1, 1));
    EXPECT_FALSE(png_writable_size(1, std::uint64_t{png_max_dimension} + 1));
    EXPECT_FALSE(png_writable_size(0xFFFFFFFFu, 0xFFFFFFFFu));
}

}  // namespace

namespace {

TEST(PngWriter, PngcheckAcceptsWrittenFilesAndRefusesADamagedOne) {
    const std::string checker = pngcheck_path();
    if (checker.empty()) GTEST_SKIP() << "pngcheck is not installed (Debian package pngcheck)";
    TempDir dir;
    std::mt19937 rng(99);
    const Pixels pixels = random_pixels(33, 21, rng);
    auto file = png_encode(*make_image(pixels));
    ASSERT_TRUE(file);
    const std::string path = dir.file("good.png");
    write_file(path, std::string(file->begin(), file->end()));
    EXPECT_TRUE(pngcheck_accepts(checker, path));
    // The same file with one byte of the compressed data changed: the CRC
    // no longer matches, and the checker must say so.
    (*file)[45] ^= 0x40;
    write_file(path, std::string(file->begin(), file->end()));
    EXPECT_FALSE(pngcheck_accepts(checker, path));
}

}  // namespace

namespace {

// The rows as the format defines them: filter byte 0, then R G B A.
Bytes filtered_rows(const Pixels& pixels) {
    Bytes rows;
    for (std::uint32_t y = 0; y < pixels.height; ++y) {
        rows.push_back(0);
        for (std::uint32_t x = 0; x < pixels.width; ++x) {
            const std::uint32_t v = pixels.argb[std::size_t{y} * pixels.width + x];
            rows.insert(rows.end(), {static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
                                     static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 24)});
        }
    }
    return rows;
}

TEST(PngWriter, DataIsExactlyWhatCompressMakesOfTheFilteredRows) {
    // Sizes that take one staging block, several, a row wider than a block,
    // and noise that compresses badly (so the output room has to grow).
    std::mt19937 rng(31337);
    const std::pair<std::uint32_t, std::uint32_t> sizes[] = {{1, 1}, {64, 64}, {300, 200}, {20000, 3}, {1000, 70}};
    for (const auto& [w, h] : sizes) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        Pixels pixels = random_pixels(w, h, rng);
        if (w == 1000)
            for (auto& v : pixels.argb) v = static_cast<std::uint32_t>(rng());
        auto image = make_image(pixels, w > compact_max_width);
        ASSERT_TRUE(image);
        const auto file = png_encode(*image);
        ASSERT_TRUE(file);
        const Bytes expected = zlib_compress(filtered_rows(pixels));
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(Bytes(file->begin() + 41, file->end() - 16), expected);
    }
}

}  // namespace

// Indexed files (extraction's -i): libpng sees the palette colours with
// index 0 transparent when asked, and the reader gives back the indices
// and palette as written.
TEST(PngWriter, IndexedImagesKeepTheirIndicesAndPalette) {
    std::mt19937 rng(12);
    std::array<std::uint32_t, 256> colours{};
    for (auto& c : colours) c = 0xFF000000u | (rng() & 0xFFFFFFu);
    colours[9] = colours[3];  // a repeated colour
    for (const bool transparent_0 : {false, true}) {
        ImagePtr image = new_image_buffer(37, 5, 1);
        const auto layout = image_layout(*image);
        std::vector<std::uint8_t> indices;
        for (std::uint32_t y = 0; y < 5; ++y)
            for (std::uint32_t x = 0; x < 37; ++x) {
                const auto index = static_cast<std::uint8_t>(rng() % 12);
                image_row(*image, *layout, y)[x] = index;
                indices.push_back(index);
            }
        const auto file = png_encode_indexed(*image, colours, transparent_0);
        ASSERT_TRUE(file);
        Pixels expected;
        expected.width = 37;
        expected.height = 5;
        for (std::uint8_t i : indices) expected.argb.push_back(transparent_0 && i == 0 ? colours[0] & 0xFFFFFFu : colours[i]);
        EXPECT_EQ(libpng_decode(*file), expected);
        PngIndices back;
        ASSERT_TRUE(png_decode(*file, &back));
        EXPECT_EQ(back.indices, indices);
        EXPECT_EQ(back.palette_entries, 256u);
        EXPECT_EQ(back.colours[0] >> 24, transparent_0 ? 0u : 255u);
        EXPECT_EQ(back.colours[9] & 0xFFFFFFu, colours[3] & 0xFFFFFFu);
    }
    EXPECT_FALSE(png_encode_indexed(*new_image_buffer(2, 2, 4), colours, false)) << "32-bit pixels are not indices";
}
