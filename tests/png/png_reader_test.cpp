// The reader's rules on small files made byte by byte.
#include <gtest/gtest.h>

#include <random>

#include "png/png_reader.h"
#include "png/png_test_support.h"
#include "png/png_writer.h"

using namespace quarnel;
using namespace quarnel::test;

namespace {

std::optional<Pixels> decode_pixels(const Bytes& file) {
    auto image = png_decode(file);
    if (!image) return std::nullopt;
    return image_pixels(*image);
}

// A 2x2 grey picture used where only the chunk structure matters.
Bytes small_grey_png() { return make_png(ihdr(2, 2, 8, 0), {0, 10, 20, 0, 30, 40}); }

TEST(PngReader, WriterOutputLoadsBackUnchanged) {
    std::mt19937 rng(5);
    Pixels pixels{23, 11, {}};
    for (int i = 0; i < 23 * 11; ++i) pixels.argb.push_back(static_cast<std::uint32_t>(rng()));
    const auto file = png_encode(*make_image(pixels));
    ASSERT_TRUE(file);
    auto image = png_decode(*file);
    ASSERT_TRUE(image);
    // Compact header: width x 8 + 4, then the height.
    EXPECT_EQ(image->bytes[0] | (image->bytes[1] << 8), 23 * 8 + 4);
    EXPECT_EQ(image->bytes[2] | (image->bytes[3] << 8), 11);
    EXPECT_EQ(image->bytes.size(), 4u + 23u * 11u * 4u);
    EXPECT_EQ(*image_pixels(*image), pixels);
}

TEST(PngReader, TruecolourWithoutTransparencyIsOpaque) {
    const Bytes file = make_png(ihdr(2, 1, 8, 2), {0, 0x11, 0x22, 0x33, 0, 0, 0});
    EXPECT_EQ(decode_pixels(file), (Pixels{2, 1, {0xFF112233u, 0xFF000000u}}));
}

TEST(PngReader, TruecolourKeyComparesWholeSixteenBitNumbers) {
    // Key red 0x0011 matches the 8-bit sample 0x11; key 0x0111 would not.
    const Bytes raw = {0, 0x11, 0x22, 0x33, 0x11, 0x22, 0x34};
    EXPECT_EQ(decode_pixels(make_png(ihdr(2, 1, 8, 2), raw, {{"tRNS", be16s({0x0011, 0x0022, 0x0033})}})),
              (Pixels{2, 1, {0x00112233u, 0xFF112234u}}));
    EXPECT_EQ(decode_pixels(make_png(ihdr(2, 1, 8, 2), raw, {{"tRNS", be16s({0x0111, 0x0022, 0x0033})}})),
              (Pixels{2, 1, {0xFF112233u, 0xFF112234u}}));
}

TEST(PngReader, IndexedOneBitSkipsThePaddingBits) {
    // Width 10: two bytes a row, the last 6 bits of the second are padding
    // (set here, so storing them would show).
    const Bytes palette = {0, 0, 0, 0xFF, 0x80, 0x01};
    const Bytes raw = {0, 0b10110001, 0b01111111, 0, 0b00000000, 0b11111111};
    const auto pixels = decode_pixels(make_png(ihdr(10, 2, 1, 3), raw, {{"PLTE", palette}}));
    ASSERT_TRUE(pixels);
    const std::uint32_t k = 0xFF000000u, w = 0xFFFF8001u;
    EXPECT_EQ(pixels->argb, (std::vector<std::uint32_t>{w, k, w, w, k, k, k, w, k, w,  //
                                                        k, k, k, k, k, k, k, k, w, w}));
}

TEST(PngReader, LowDepthGreyScalesByWholeNumberFactors) {
    // Depth 2: samples 0..3 times 85; depth 4: samples times 17.
    EXPECT_EQ(decode_pixels(make_png(ihdr(4, 1, 2, 0), {0, 0b00011011})),
              (Pixels{4, 1, {0xFF000000u, 0xFF555555u, 0xFFAAAAAAu, 0xFFFFFFFFu}}));
    EXPECT_EQ(decode_pixels(make_png(ihdr(2, 1, 4, 0), {0, 0x1F})), (Pixels{2, 1, {0xFF111111u, 0xFFFFFFFFu}}));
    // Grey key on a 4-bit sample compares the sample, not the scaled grey.
    EXPECT_EQ(decode_pixels(make_png(ihdr(2, 1, 4, 0), {0, 0x1F}, {{"tRNS", be16s({0x000F})}})),
              (Pixels{2, 1, {0xFF111111u, 0x00FFFFFFu}}));
}

TEST(PngReader, SixteenBitGreyKeyComparesAllSixteenBits) {
    const Bytes raw = {0, 0x12, 0x34, 0x12, 0x00};
    EXPECT_EQ(decode_pixels(make_png(ihdr(2, 1, 16, 0), raw, {{"tRNS", be16s({0x1200})}})),
              (Pixels{2, 1, {0xFF121212u, 0x00121212u}}));
}

TEST(PngReader, SixteenBitSamplesKeepTheirHighByte) {
    // Grey with alpha and truecolour with alpha, 16 bits a sample.
    EXPECT_EQ(decode_pixels(make_png(ihdr(1, 1, 16, 4), {0, 0xAB, 0xFF, 0x7F, 0x01})), (Pixels{1, 1, {0x7FABABABu}}));
    EXPECT_EQ(decode_pixels(make_png(ihdr(1, 1, 16, 6), {0, 0x10, 0xFF, 0x20, 0xFF, 0x30, 0xFF, 0x40, 0xFF})),
              (Pixels{1, 1, {0x40102030u}}));
    EXPECT_EQ(decode_pixels(make_png(ihdr(1, 1, 16, 2), {0, 0x10, 0x01, 0x20, 0x02, 0x30, 0x03})),
              (Pixels{1, 1, {0xFF102030u}}));
}

TEST(PngReader, PaletteTransparencyAndIndicesPastThePalette) {
    // Three entries, tRNS for the first two; index 3 lies past the palette.
    const Bytes palette = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0xEE, 0xEE};  // remainder of 2 bytes ignored
    const Bytes raw = {0, 0, 1, 2, 3};
    EXPECT_EQ(decode_pixels(make_png(ihdr(4, 1, 8, 3), raw, {{"PLTE", palette}, {"tRNS", {0x00, 0x80}}})),
              (Pixels{4, 1, {0x00010203u, 0x80040506u, 0xFF070809u, 0xFF000000u}}));
    EXPECT_EQ(decode_pixels(make_png(ihdr(4, 1, 8, 3), raw, {{"PLTE", palette}})),
              (Pixels{4, 1, {0xFF010203u, 0xFF040506u, 0xFF070809u, 0xFF000000u}}));
}

TEST(PngReader, PaethTiesGoToLeftThenUp) {
    // Grey 8-bit, width 2. Row 0 unfiltered; row 1 Paeth. For the second
    // pixel of row 1: left a, up b, upper-left c.
    // a = 40, b = 10, c = 20: distances 10 (left), 20 (up), 10 (upper-left): left wins.
    const auto left_tie = decode_pixels(make_png(ihdr(2, 2, 8, 0), {0, 20, 10, 4, 20, 5}));
    ASSERT_TRUE(left_tie);
    EXPECT_EQ(left_tie->argb[2], 0xFF282828u);  // 20 + up 20
    EXPECT_EQ(left_tie->argb[3], 0xFF2D2D2Du);  // 5 + left 40 (upper-left would give 25)
    // a = 15, b = 0, c = 10: distances 10, 5 (up), 5 (upper-left): up wins.
    const auto up_tie = decode_pixels(make_png(ihdr(2, 2, 8, 0), {0, 10, 0, 4, 5, 7}));
    ASSERT_TRUE(up_tie);
    EXPECT_EQ(up_tie->argb[2], 0xFF0F0F0Fu);
    EXPECT_EQ(up_tie->argb[3], 0xFF070707u);  // 7 + up 0 (upper-left would give 17)
}

TEST(PngReader, EveryFilterOnEveryRowMatchesLibpng) {
    // Random RGBA rows with random filter bytes; the raw stream is taken as
    // filtered data, so both decoders must undo the same arithmetic.
    std::mt19937 rng(11);
    for (std::uint8_t colour_type : {std::uint8_t{0}, std::uint8_t{2}, std::uint8_t{4}, std::uint8_t{6}}) {
        for (std::uint8_t depth : {std::uint8_t{8}, std::uint8_t{16}}) {
            for (std::uint8_t interlace : {std::uint8_t{0}, std::uint8_t{1}}) {
                const std::uint32_t w = 13, h = 9;
                const Bytes header = ihdr(w, h, depth, colour_type, interlace);
                Bytes file = signature();
                add_chunk(file, "IHDR", header);
                // Build the raw stream by asking our own sizes of each pass.
                const std::uint32_t channels = colour_type == 2 ? 3 : colour_type == 4 ? 2 : colour_type == 6 ? 4 : 1;
                const std::uint32_t pixel_bytes = channels * depth / 8;
                Bytes raw;
                auto add_rows = [&](std::uint32_t cols, std::uint32_t rows) {
                    if (cols == 0) return;
                    for (std::uint32_t r = 0; r < rows; ++r) {
                        raw.push_back(static_cast<std::uint8_t>(rng() % 5));
                        for (std::uint32_t i = 0; i < cols * pixel_bytes; ++i) raw.push_back(static_cast<std::uint8_t>(rng()));
                    }
                };
                if (interlace == 0) {
                    add_rows(w, h);
                } else {
                    const std::uint32_t t[7][4] = {{0, 8, 0, 8}, {4, 8, 0, 8}, {0, 4, 4, 8}, {2, 4, 0, 4},
                                                   {0, 2, 2, 4}, {1, 2, 0, 2}, {0, 1, 1, 2}};
                    for (const auto& p : t)
                        add_rows(p[0] < w ? (w + p[1] - p[0] - 1) / p[1] : 0, p[2] < h ? (h + p[3] - p[2] - 1) / p[3] : 0);
                }
                add_chunk(file, "IDAT", zlib_compress(raw));
                add_chunk(file, "IEND", {});
                SCOPED_TRACE("colour type " + std::to_string(colour_type) + " depth " + std::to_string(depth) +
                             " interlace " + std::to_string(interlace));
                const auto reference = libpng_decode(file);
                ASSERT_TRUE(reference);
                EXPECT_EQ(decode_pixels(file), reference);
            }
        }
    }
}

TEST(PngReader, SinglePixelAdam7UsesPassOneAlone) {
    // Pass 1 holds the only pixel: filter byte and one grey sample.
    EXPECT_EQ(decode_pixels(make_png(ihdr(1, 1, 8, 0, 1), {0, 0x42})), (Pixels{1, 1, {0xFF424242u}}));
    // Any byte more is an inflated size the header does not announce.
    EXPECT_FALSE(decode_pixels(make_png(ihdr(1, 1, 8, 0, 1), {0, 0x42, 0})));
}

TEST(PngReader, OneByteAfterIendIsRefused) {
    Bytes file = small_grey_png();
    ASSERT_TRUE(decode_pixels(file));
    file.push_back(0);
    EXPECT_FALSE(decode_pixels(file));
}

TEST(PngReader, DataSplitAroundAnAncillaryChunkIsJoined) {
    const Bytes raw = {0, 10, 20, 0, 30, 40};
    const Bytes stream = zlib_compress(raw);
    Bytes file = signature();
    add_chunk(file, "IHDR", ihdr(2, 2, 8, 0));
    add_chunk(file, "IDAT", Bytes(stream.begin(), stream.begin() + 5));
    add_chunk(file, "tEXt", {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'h', 'i'});
    add_chunk(file, "IDAT", Bytes(stream.begin() + 5, stream.end()));
    add_chunk(file, "IEND", {});
    EXPECT_EQ(decode_pixels(file), (Pixels{2, 2, {0xFF0A0A0Au, 0xFF141414u, 0xFF1E1E1Eu, 0xFF282828u}}));
    // Or an empty IDAT before the data.
    Bytes with_empty = signature();
    add_chunk(with_empty, "IHDR", ihdr(2, 2, 8, 0));
    add_chunk(with_empty, "IDAT", {});
    add_chunk(with_empty, "IDAT", stream);
    add_chunk(with_empty, "IEND", {});
    EXPECT_TRUE(decode_pixels(with_empty));
}

TEST(PngReader, InflatedSizeMustMatchExactly) {
    const Bytes header = ihdr(2, 2, 8, 0);
    EXPECT_TRUE(decode_pixels(make_png(header, {0, 1, 2, 0, 3, 4})));
    EXPECT_FALSE(decode_pixels(make_png(header, {0, 1, 2, 0, 3, 4, 5})));  // one byte too many
    EXPECT_FALSE(decode_pixels(make_png(header, {0, 1, 2, 0, 3})));        // one byte short
}

TEST(PngReader, ChunkCrcErrorsAreRefusedInEveryChunk) {
    const Bytes good = make_png(ihdr(2, 2, 8, 0), {0, 10, 20, 0, 30, 40}, {{"tEXt", {'a', 0, 'b'}}});
    ASSERT_TRUE(decode_pixels(good));
    // Walk the chunks; spoil the last CRC byte of each in turn.
    std::size_t at = 8;
    int chunks = 0;
    while (at < good.size()) {
        const std::uint32_t length = (std::uint32_t{good[at]} << 24) | (good[at + 1] << 16) | (good[at + 2] << 8) | good[at + 3];
        const std::size_t crc_end = at + 12 + length;
        Bytes bad = good;
        bad[crc_end - 1] ^= 1;
        EXPECT_FALSE(decode_pixels(bad)) << "chunk " << chunks;
        // A changed data or type byte is caught the same way.
        bad = good;
        bad[at + 4] ^= 0x20;
        EXPECT_FALSE(decode_pixels(bad)) << "chunk " << chunks;
        at = crc_end;
        ++chunks;
    }
    EXPECT_EQ(chunks, 4);
}

TEST(PngReader, StructuralFaultsAreRefused) {
    const Bytes raw = {0, 10, 20, 0, 30, 40};
    const Bytes stream = zlib_compress(raw);
    auto build = [&](std::vector<std::pair<std::string, Bytes>> chunks) {
        Bytes file = signature();
        for (const auto& [type, data] : chunks) add_chunk(file, type, data);
        return file;
    };
    const Bytes header = ihdr(2, 2, 8, 0);
    EXPECT_TRUE(decode_pixels(build({{"IHDR", header}, {"IDAT", stream}, {"IEND", {}}})));
    // IEND not last, missing, or IHDR not first.
    EXPECT_FALSE(decode_pixels(build({{"IHDR", header}, {"IDAT", stream}, {"IEND", {}}, {"tEXt", {'a', 0}}})));
    EXPECT_FALSE(decode_pixels(build({{"IHDR", header}, {"IDAT", stream}, {"tEXt", {'a', 0, 'b', 'c', 'd', 'e', 'f'}}})));
    EXPECT_FALSE(decode_pixels(build({{"tEXt", {'a', 0, 'b'}}, {"IHDR", header}, {"IDAT", stream}, {"IEND", {}}})));
    // Fewer than three chunks, padded past the 49-byte minimum.
    EXPECT_FALSE(decode_pixels(build({{"IHDR", header}, {"IEND", Bytes(20, 0)}})));
    // IHDR of the wrong length.
    Bytes long_header = header;
    long_header.push_back(0);
    EXPECT_FALSE(decode_pixels(build({{"IHDR", long_header}, {"IDAT", stream}, {"IEND", {}}})));
    // No image data at all, or only empty IDAT chunks.
    EXPECT_FALSE(decode_pixels(build({{"IHDR", header}, {"tEXt", {'a', 0}}, {"IEND", {}}})));
    EXPECT_FALSE(decode_pixels(build({{"IHDR", header}, {"IDAT", {}}, {"IEND", {}}})));
    // Not a zlib stream.
    EXPECT_FALSE(decode_pixels(build({{"IHDR", header}, {"IDAT", raw}, {"IEND", {}}})));
    // Under 49 bytes, a wrong signature, a truncated chunk.
    Bytes good = build({{"IHDR", header}, {"IDAT", stream}, {"IEND", {}}});
    EXPECT_FALSE(decode_pixels(Bytes(good.begin(), good.begin() + 48)));
    Bytes wrong_signature = good;
    wrong_signature[1] = 'p';
    EXPECT_FALSE(decode_pixels(wrong_signature));
    EXPECT_FALSE(decode_pixels(Bytes(good.begin(), good.end() - 1)));
}

TEST(PngReader, HeaderCombinationsOutsideTheStandardAreRefused) {
    auto header_only = [&](std::uint32_t w, std::uint32_t h, std::uint8_t depth, std::uint8_t type, std::uint8_t compression,
                           std::uint8_t filter, std::uint8_t interlace) {
        Bytes header;
        put_be32(header, w);
        put_be32(header, h);
        header.insert(header.end(), {depth, type, compression, filter, interlace});
        // The rows a 1x1 picture of that depth and type would have, so that
        // only the header can be at fault.
        const std::uint32_t channels = type == 2 ? 3 : type == 4 ? 2 : type == 6 ? 4 : 1;
        const Bytes raw(1 + (depth * channels + 7) / 8, 0);
        return decode_pixels(make_png(header, raw, {{"PLTE", {1, 2, 3}}}));
    };
    EXPECT_TRUE(header_only(1, 1, 8, 0, 0, 0, 0));
    EXPECT_FALSE(header_only(0, 1, 8, 0, 0, 0, 0));
    EXPECT_FALSE(header_only(1, 0, 8, 0, 0, 0, 0));
    EXPECT_FALSE(header_only(1, 1, 3, 0, 0, 0, 0));
    EXPECT_FALSE(header_only(1, 1, 16, 3, 0, 0, 0));
    EXPECT_FALSE(header_only(1, 1, 4, 2, 0, 0, 0));
    EXPECT_FALSE(header_only(1, 1, 1, 4, 0, 0, 0));
    EXPECT_FALSE(header_only(1, 1, 2, 6, 0, 0, 0));
    EXPECT_FALSE(header_only(1, 1, 8, 1, 0, 0, 0));
    EXPECT_FALSE(header_only(1, 1, 8, 5, 0, 0, 0));
    EXPECT_FALSE(header_only(1, 1, 8, 7, 0, 0, 0));
    EXPECT_FALSE(header_only(1, 1, 8, 0, 1, 0, 0));
    EXPECT_FALSE(header_only(1, 1, 8, 0, 0, 1, 0));
    EXPECT_FALSE(header_only(1, 1, 8, 0, 0, 0, 2));
}

TEST(PngReader, PaletteAndTransparencyRules) {
    const Bytes raw = {0, 0};
    // Indexed without PLTE; with more than 256 entries.
    EXPECT_FALSE(decode_pixels(make_png(ihdr(1, 1, 8, 3), raw)));
    EXPECT_FALSE(decode_pixels(make_png(ihdr(1, 1, 8, 3), raw, {{"PLTE", Bytes(257 * 3, 1)}})));
    EXPECT_TRUE(decode_pixels(make_png(ihdr(1, 1, 8, 3), raw, {{"PLTE", Bytes(256 * 3, 1)}})));
    // tRNS lengths: indexed at most 256; grey exactly 2; truecolour exactly 6.
    EXPECT_FALSE(decode_pixels(make_png(ihdr(1, 1, 8, 3), raw, {{"PLTE", {1, 2, 3}}, {"tRNS", Bytes(257, 0)}})));
    EXPECT_TRUE(decode_pixels(make_png(ihdr(1, 1, 8, 3), raw, {{"PLTE", {1, 2, 3}}, {"tRNS", Bytes(256, 0)}})));
    EXPECT_FALSE(decode_pixels(make_png(ihdr(1, 1, 8, 0), raw, {{"tRNS", {0}}})));
    EXPECT_FALSE(decode_pixels(make_png(ihdr(1, 1, 8, 0), raw, {{"tRNS", {0, 0, 0}}})));
    EXPECT_FALSE(decode_pixels(make_png(ihdr(1, 1, 8, 2), {0, 0, 0, 0}, {{"tRNS", Bytes(4, 0)}})));
    // Types with their own alpha take no tRNS.
    EXPECT_FALSE(decode_pixels(make_png(ihdr(1, 1, 8, 4), {0, 0, 0}, {{"tRNS", {0, 0}}})));
    EXPECT_FALSE(decode_pixels(make_png(ihdr(1, 1, 8, 6), {0, 0, 0, 0, 0}, {{"tRNS", Bytes(6, 0)}})));
    // PLTE is not looked at for truecolour, even a broken one.
    EXPECT_TRUE(decode_pixels(make_png(ihdr(1, 1, 8, 2), {0, 0, 0, 0}, {{"PLTE", Bytes(300 * 3, 0)}})));
}

TEST(PngReader, UnknownFilterTypeIsRefused) {
    EXPECT_TRUE(decode_pixels(make_png(ihdr(1, 2, 8, 0), {4, 1, 0, 2})));
    EXPECT_FALSE(decode_pixels(make_png(ihdr(1, 2, 8, 0), {4, 1, 5, 2})));
}

TEST(PngReader, LargePicturesUseTheFullHeader) {
    // Wider than 8191 and taller than 65535: the pixels come back in an
    // image with the full header.
    for (const auto& [w, h] : {std::pair<std::uint32_t, std::uint32_t>{8192, 2}, {3, 65536}}) {
        Bytes raw;
        for (std::uint32_t y = 0; y < h; ++y) {
            raw.push_back(0);
            for (std::uint32_t x = 0; x < w; ++x) raw.push_back(static_cast<std::uint8_t>(x + y));
        }
        auto image = png_decode(make_png(ihdr(w, h, 8, 0), raw));
        ASSERT_TRUE(image);
        const auto layout = image_layout(*image);
        ASSERT_TRUE(layout);
        EXPECT_FALSE(layout->compact);
        EXPECT_EQ(layout->width, w);
        EXPECT_EQ(layout->height, h);
        EXPECT_EQ(get_pixel(image.get(), static_cast<int>(w - 1), static_cast<int>(h - 1)),
                  0xFF000000 | 0x010101 * static_cast<std::uint8_t>(w - 1 + h - 1));
    }
}

TEST(PngReader, PicturesOverTheMemoryLimitAreRefused) {
    // 8192 x 8193 pixels need just over 256 MiB; the data is a small valid
    // stream that the check must never reach.
    EXPECT_FALSE(decode_pixels(make_png(ihdr(8192, 8193, 8, 0), {0, 0})));
    EXPECT_FALSE(decode_pixels(make_png(ihdr(0x7FFFFFFF, 0x7FFFFFFF, 8, 6), {0, 0})));
    // Within the limit but with far too little data for its size.
    EXPECT_FALSE(decode_pixels(make_png(ihdr(8000, 8000, 16, 6), {0, 0})));
}

TEST(PngReader, LoadReadsFilesAndRefusesMissingOrEmptyOnes) {
    TempDir dir;
    const Bytes good = small_grey_png();
    write_file(dir.file("a.png"), std::string(good.begin(), good.end()));
    write_file(dir.file("empty.png"), "");
    EXPECT_TRUE(png_load(dir.file("a.png")));
    EXPECT_FALSE(png_load(dir.file("empty.png")));
    EXPECT_FALSE(png_load(dir.file("missing.png")));
    EXPECT_FALSE(png_load(dir.path()));
    EXPECT_FALSE(png_load(""));
}

}  // namespace
