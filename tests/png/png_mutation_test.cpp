// Damaged files: every byte of small valid PNGs flipped, zeroed and bumped,
// with the CRCs left stale and made right again (so that the damage reaches
// the header, palette, filter and inflate checks), and every truncation.
// The reader must answer each with a clean refusal or a well-formed image.
#include <gtest/gtest.h>

#include "png/png_reader.h"
#include "png/png_test_support.h"
#include "png/png_writer.h"

using namespace quarnel;
using namespace quarnel::test;

namespace {

// Rewrites the CRC of every chunk that still fits in the file.
void fix_crcs(Bytes& file) {
    std::size_t at = 8;
    while (file.size() >= 12 && at <= file.size() - 12) {
        const std::uint32_t length =
            (std::uint32_t{file[at]} << 24) | (std::uint32_t{file[at + 1]} << 16) | (std::uint32_t{file[at + 2]} << 8) | file[at + 3];
        if (length > file.size() - at - 12) return;
        const auto crc = static_cast<std::uint32_t>(crc32(0L, file.data() + at + 4, 4 + length));
        for (int i = 0; i < 4; ++i) file[at + 8 + length + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
        at += 12 + length;
    }
}

// Decodes and, when an image comes back, checks it is whole.
bool decode_checked(const Bytes& file) {
    auto image = png_decode(file);
    if (!image) return false;
    const auto layout = image_layout(*image);
    EXPECT_TRUE(layout);
    if (!layout) return true;
    EXPECT_EQ(layout->bytes_per_pixel, 4u);
    EXPECT_EQ(image->bytes.size(), layout->data_offset + std::size_t{layout->height} * layout->pitch);
    return true;
}

std::vector<std::pair<std::string, Bytes>> sample_files() {
    std::vector<std::pair<std::string, Bytes>> samples;
    Pixels pixels{5, 4, {}};
    for (std::uint32_t i = 0; i < 20; ++i) pixels.argb.push_back(i % 3 == 0 ? 0u : 0xFF000000u | (i * 0x0A1B2Cu));
    samples.emplace_back("written rgba", *png_encode(*make_image(pixels)));
    // Indexed 2-bit, Adam7, with a palette and transparency, filtered rows.
    Bytes raw;
    const std::uint32_t t[7][4] = {{0, 8, 0, 8}, {4, 8, 0, 8}, {0, 4, 4, 8}, {2, 4, 0, 4}, {0, 2, 2, 4}, {1, 2, 0, 2}, {0, 1, 1, 2}};
    std::uint8_t value = 0x1B;
    for (const auto& p : t) {
        const std::uint32_t cols = p[0] < 6 ? (6 + p[1] - p[0] - 1) / p[1] : 0;
        const std::uint32_t rows = p[2] < 5 ? (5 + p[3] - p[2] - 1) / p[3] : 0;
        if (cols == 0) continue;
        for (std::uint32_t r = 0; r < rows; ++r) {
            raw.push_back(static_cast<std::uint8_t>(r % 5));
            for (std::uint32_t b = 0; b < (cols * 2 + 7) / 8; ++b) raw.push_back(value = static_cast<std::uint8_t>(value * 5 + 1));
        }
    }
    samples.emplace_back("indexed adam7",
                         make_png(ihdr(6, 5, 2, 3, 1), raw, {{"PLTE", {1, 2, 3, 4, 5, 6, 7, 8, 9}}, {"tRNS", {0, 128}}}));
    // 16-bit grey with a key, Paeth rows.
    samples.emplace_back("grey16 keyed",
                         make_png(ihdr(3, 2, 16, 0), {4, 1, 2, 3, 4, 5, 6, 4, 7, 8, 9, 10, 11, 12}, {{"tRNS", be16s({0x0102})}}));
    // Corpus files: interlaced palette and 16-bit grey, all five filters,
    // truecolour with a tRNS key.
    for (const char* name : {"basi3p02.png", "basi0g16.png", "f04n2c08.png", "tbrn2c08.png"}) {
        const std::string text = read_file(std::string(QUARNEL_TEST_DATA_DIR) + "/pngsuite/png/" + name);
        samples.emplace_back(name, Bytes(text.begin(), text.end()));
    }
    return samples;
}

TEST(PngMutation, SamplesDecode) {
    for (const auto& [name, file] : sample_files()) EXPECT_TRUE(decode_checked(file)) << name;
}

TEST(PngMutation, EveryByteChangedIsHandledCleanly) {
    for (const auto& [name, file] : sample_files()) {
        SCOPED_TRACE(name);
        int refused_stale = 0, decoded_fixed = 0, refused_fixed = 0;
        for (std::size_t i = 0; i < file.size(); ++i) {
            for (int kind = 0; kind < 3; ++kind) {
                Bytes damaged = file;
                damaged[i] = kind == 0 ? static_cast<std::uint8_t>(~damaged[i]) : kind == 1 ? 0 : static_cast<std::uint8_t>(damaged[i] + 1);
                if (damaged == file) continue;
                // Stale CRCs: any change after the signature is refused.
                if (!decode_checked(damaged)) ++refused_stale;
                else ADD_FAILURE() << "changed byte " << i << " (kind " << kind << ") was accepted with a stale CRC";
                fix_crcs(damaged);
                if (decode_checked(damaged)) ++decoded_fixed; else ++refused_fixed;
            }
        }
        EXPECT_GT(refused_stale, 0);
        // With the CRCs made right, some changes still decode (pixel bytes)
        // and others are refused by the later checks.
        EXPECT_GT(decoded_fixed, 0);
        EXPECT_GT(refused_fixed, 0);
    }
}

TEST(PngMutation, EveryTruncationIsRefused) {
    for (const auto& [name, file] : sample_files()) {
        for (std::size_t length = 0; length < file.size(); ++length)
            EXPECT_FALSE(decode_checked(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length))))
                << name << " cut to " << length;
    }
}

}  // namespace
