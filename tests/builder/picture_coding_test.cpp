// The builder's rules one by one: run-length tokens, colour matching,
// trimming, the palette block, the layouts' header fields and records.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "archive/run_length.h"
#include "archive/run_length_encode.h"
#include "archive/sprite_archive.h"
#include "builder/archive_builder.h"
#include "builder/archive_layout.h"
#include "builder/builder_fixtures.h"
#include "builder/picture_coding.h"

namespace quarnel {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::TestPicture;

Bytes encode(const std::vector<std::uint8_t>& indices, std::uint32_t width, std::uint32_t height, bool row_split) {
    Bytes out;
    encode_run_length(indices, width, height, row_split, out);
    return out;
}

// A palette whose colour i is 0xFF000000 + i, so that an index shows in
// the pixel's value.
Palette counting_palette() {
    Palette palette{};
    for (std::uint32_t i = 0; i < 256; ++i) palette[i] = 0xFF000000u + i * 0x010101u;
    return palette;
}

// ---- Run-length tokens -----------------------------------------------------

TEST(RunLengthEncode, RunsCrossRowEndsWithoutTheRowSplit) {
    // 4 x 2, rows 5 0 0 6 / 7 8 0 0.
    const Bytes tokens = encode({5, 0, 0, 6, 7, 8, 0, 0}, 4, 2, false);
    // 00 05: one index; FE: two blank; 02 06 07 08: three indices across the
    // row end; FE: the last two blank.
    EXPECT_EQ(tokens, (Bytes{0x00, 5, 0xFE, 0x02, 6, 7, 8, 0xFE}));
}

TEST(RunLengthEncode, RowSplitEndsEveryRunAtTheRowEnd) {
    const Bytes tokens = encode({5, 0, 0, 6, 7, 8, 0, 0}, 4, 2, true);
    // 00 05, FE, 00 06 (row end), 01 07 08, FE.
    EXPECT_EQ(tokens, (Bytes{0x00, 5, 0xFE, 0x00, 6, 0x01, 7, 8, 0xFE}));
}

TEST(RunLengthEncode, RowSplitGivesSingleTokensAtRowEnds) {
    // Row ends in one blank pixel after colour; next row ends in one colour
    // pixel after blanks.
    EXPECT_EQ(encode({3, 4, 0, 0, 0, 9}, 3, 2, true), (Bytes{0x01, 3, 4, 0xFF, 0xFE, 0x00, 9}));
    EXPECT_EQ(encode({3, 4, 0, 0, 0, 9}, 3, 2, false), (Bytes{0x01, 3, 4, 0xFD, 0x00, 9}));
}

TEST(RunLengthEncode, LiteralOf130PixelsIsSplitAt128) {
    std::vector<std::uint8_t> indices(130);
    for (std::size_t i = 0; i < indices.size(); ++i) indices[i] = static_cast<std::uint8_t>(1 + i % 200);
    const Bytes tokens = encode(indices, 130, 1, false);
    ASSERT_EQ(tokens.size(), 1u + 128u + 1u + 2u);
    EXPECT_EQ(tokens[0], 0x7F);
    EXPECT_EQ(Bytes(tokens.begin() + 1, tokens.begin() + 129), Bytes(indices.begin(), indices.begin() + 128));
    EXPECT_EQ(tokens[129], 0x01);
    EXPECT_EQ(tokens[130], indices[128]);
    EXPECT_EQ(tokens[131], indices[129]);
}

TEST(RunLengthEncode, SkipOf130PixelsIsSplitAt128) {
    std::vector<std::uint8_t> indices(131, 0);
    indices[130] = 7;
    EXPECT_EQ(encode(indices, 131, 1, false), (Bytes{0x80, 0xFE, 0x00, 7}));
}

TEST(RunLengthEncode, FinalPixelsOfThePicture) {
    // A blank final pixel after colour: the last token is FF.
    EXPECT_EQ(encode({1, 2, 0}, 3, 1, false), (Bytes{0x01, 1, 2, 0xFF}));
    // A coloured final pixel after blanks: the skip token, then 00 and it.
    EXPECT_EQ(encode({0, 0, 6}, 3, 1, false), (Bytes{0xFE, 0x00, 6}));
}

TEST(RunLengthEncode, FinalSkipAfterRowSplitIsOneRunOrTwo) {
    // 2 x 2, rows 5 0 / 0 0: with the split 00 05 FF FE, without 00 05 FD.
    EXPECT_EQ(encode({5, 0, 0, 0}, 2, 2, true), (Bytes{0x00, 5, 0xFF, 0xFE}));
    EXPECT_EQ(encode({5, 0, 0, 0}, 2, 2, false), (Bytes{0x00, 5, 0xFD}));
}

// The coding rule pixel by pixel, as a modder's notes state it: a pixel of
// the other kind emits the run in progress; a run is emitted when it reaches
// 128 or its pixel is at a cut.
Bytes encode_pixel_by_pixel(const std::vector<std::uint8_t>& indices, std::uint32_t width, std::uint32_t height,
                            bool row_split) {
    Bytes out;
    bool skip_run = true;
    std::vector<std::uint8_t> literal;
    std::uint32_t count = 0;
    auto emit = [&] {
        if (skip_run) {
            out.push_back(static_cast<std::uint8_t>(256 - count));
        } else {
            out.push_back(static_cast<std::uint8_t>(count - 1));
            out.insert(out.end(), literal.begin(), literal.end());
        }
        count = 0;
        literal.clear();
    };
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint8_t index = indices[std::size_t{y} * width + x];
            if ((index == 0) != skip_run) {
                if (count > 0) emit();
                skip_run = index == 0;
            }
            ++count;
            if (!skip_run) literal.push_back(index);
            const bool at_cut = x + 1 == width && (row_split || y + 1 == height);
            if (count == 128 || at_cut) emit();
        }
    }
    return out;
}

TEST(RunLengthEncode, DecodesBackToTheSamePixelsInBothStyles) {
    std::mt19937 random(17);
    for (int round = 0; round < 300; ++round) {
        const auto width = std::uniform_int_distribution<std::uint32_t>(1, 300)(random);
        const auto height = std::uniform_int_distribution<std::uint32_t>(1, 12)(random);
        const int blank_share = std::uniform_int_distribution<int>(0, 100)(random);
        std::vector<std::uint8_t> indices(std::size_t{width} * height);
        for (auto& index : indices)
            index = std::uniform_int_distribution<int>(0, 99)(random) < blank_share
                        ? 0
                        : static_cast<std::uint8_t>(std::uniform_int_distribution<int>(1, 255)(random));
        for (bool row_split : {false, true}) {
            const Bytes tokens = encode(indices, width, height, row_split);
            ASSERT_EQ(tokens, encode_pixel_by_pixel(indices, width, height, row_split))
                << "round " << round << " row split " << row_split;
            std::vector<std::uint8_t> decoded(indices.size(), 0);
            const auto result = decode_run_length(tokens, 0, width, height,
                                                  [&](std::uint32_t x, std::uint32_t y, std::uint8_t index) {
                                                      decoded[std::size_t{y} * width + x] = index;
                                                  });
            EXPECT_FALSE(result.data_ended);
            EXPECT_EQ(result.next_offset, tokens.size()) << "every token byte is used, nothing after";
            ASSERT_EQ(decoded, indices) << "round " << round << " row split " << row_split;
        }
    }
}

// ---- Colour matching -------------------------------------------------------

// The matcher's answer for a colour: its index, and whether an entry held it.
std::pair<int, bool> answer(const ColourMatcher& matcher, std::uint32_t colour) {
    const ColourMatcher::Match found = matcher.find(colour);
    return {found.index, found.matched};
}

TEST(ColourMatching, RawTakesTheFirstEqualEntryRunLengthTheLast) {
    Palette palette = counting_palette();
    palette[10] = 0xFF123456;
    palette[40] = 0xFF123456;
    palette[200] = 0xFF123456;
    EXPECT_EQ(answer(ColourMatcher(palette, PixelStorage::raw), 0xFF123456), std::make_pair(10, true));
    EXPECT_EQ(answer(ColourMatcher(palette, PixelStorage::run_length), 0xFF123456), std::make_pair(200, true));
}

TEST(ColourMatching, AlphaIsPartOfTheColourAndMissesGiveZero) {
    const Palette palette = counting_palette();
    // The colour of entry 5 with alpha 0 is not entry 5.
    EXPECT_EQ(answer(ColourMatcher(palette, PixelStorage::raw), 0x00050505), std::make_pair(0, false));
    EXPECT_EQ(answer(ColourMatcher(palette, PixelStorage::run_length), 0xFFABCDEF), std::make_pair(0, false));
    EXPECT_EQ(answer(ColourMatcher(palette, PixelStorage::raw), 0xFF050505), std::make_pair(5, true));
}

TEST(ColourMatching, AllZeroPaletteMatchesBlankFirstOrLast) {
    const Palette palette{};
    EXPECT_EQ(answer(ColourMatcher(palette, PixelStorage::raw), 0), std::make_pair(0, true));
    EXPECT_EQ(answer(ColourMatcher(palette, PixelStorage::run_length), 0), std::make_pair(255, true));
}

TEST(ColourMatching, AgreesWithASearchOfAllEntries) {
    std::mt19937 random(5);
    for (int round = 0; round < 50; ++round) {
        // Few distinct colours, so that most of them stand in several entries.
        std::vector<std::uint32_t> colours(std::uniform_int_distribution<int>(1, 300)(random));
        for (auto& c : colours) c = static_cast<std::uint32_t>(random());
        // Small values too (0, the blank value, and the values the matcher
        // tries for its own use) in some palettes.
        if (round % 2 == 0)
            for (std::uint32_t small = 0; small < 40; ++small) colours.push_back(small);
        Palette palette{};
        for (auto& entry : palette) entry = colours[random() % colours.size()];
        const ColourMatcher raw(palette, PixelStorage::raw);
        const ColourMatcher run_length(palette, PixelStorage::run_length);
        std::vector<std::uint32_t> asked = colours;
        for (std::uint32_t small = 0; small < 300; ++small) asked.push_back(small);
        for (int extra = 0; extra < 200; ++extra) asked.push_back(static_cast<std::uint32_t>(random()));
        for (std::uint32_t colour : asked) {
            int first = -1, last = -1;
            for (int i = 0; i < 256; ++i)
                if (palette[static_cast<std::size_t>(i)] == colour) {
                    if (first < 0) first = i;
                    last = i;
                }
            EXPECT_EQ(answer(raw, colour), std::make_pair(first < 0 ? 0 : first, first >= 0));
            EXPECT_EQ(answer(run_length, colour), std::make_pair(last < 0 ? 0 : last, last >= 0));
        }
    }
}

// ---- Trimming and coding ---------------------------------------------------

TEST(Trimming, CutsBlankColumnsOnTheLeftAndRowsAtTheTopOnly) {
    const Palette palette = counting_palette();
    TestPicture picture(12, 9);
    picture.set(5, 7, palette[1]);  // leftmost pixel in column 5
    picture.set(8, 3, palette[2]);  // topmost pixel in row 3
    const TrimOrigin origin = find_trim_origin(picture.view());
    EXPECT_EQ(origin.column, 5u);
    EXPECT_EQ(origin.row, 3u);

    Bytes raw;
    const CodedPicture coded =
        code_picture(picture.view(), origin, ColourMatcher(palette, PixelStorage::raw), PixelStorage::raw, false, raw);
    EXPECT_EQ(coded.width, 7u) << "blank columns on the right stay";
    EXPECT_EQ(coded.height, 6u) << "blank rows at the bottom stay";
    EXPECT_EQ(coded.x_offset, 5u);
    EXPECT_EQ(coded.y_offset, 3u);
    ASSERT_EQ(raw.size(), 7u * 6u);
    EXPECT_EQ(raw[3], 2) << "pixel (8, 3)";
    EXPECT_EQ(raw[4 * 7 + 0], 1) << "pixel (5, 7)";
}

TEST(Trimming, BlankPictureIsStoredEmptyWithItsSizeAsOffsets) {
    const Palette palette = counting_palette();
    const TestPicture picture(13, 7);
    const TrimOrigin origin = find_trim_origin(picture.view());
    for (PixelStorage storage : {PixelStorage::raw, PixelStorage::run_length}) {
        Bytes out;
        const CodedPicture coded = code_picture(picture.view(), origin, ColourMatcher(palette, storage), storage, true, out);
        EXPECT_EQ(coded.width, 0u);
        EXPECT_EQ(coded.height, 0u);
        EXPECT_EQ(coded.x_offset, 13u);
        EXPECT_EQ(coded.y_offset, 7u);
        EXPECT_TRUE(out.empty());
    }
    // In a run-length sprite set its record is 0, 0, 13, 7 and its length 0.
    SpriteSetWriter writer(1, PixelStorage::run_length, palette);
    Bytes none;
    writer.add(1, CodedPicture{0, 0, 13, 7}, none);
    const Bytes archive = writer.finish();
    ASSERT_EQ(archive.size(), 776u + 8u + 4u);
    EXPECT_EQ(Bytes(archive.begin() + 776, archive.end()), (Bytes{0, 0, 0, 0, 13, 0, 7, 0, 0, 0, 0, 0}));
}

TEST(PictureCoding, RunLengthPicturesCountOnlyColouredPixelsOutsideThePalette) {
    const Palette palette = counting_palette();
    TestPicture picture(4, 3);
    picture.set(0, 0, 0x00FFFFFF);  // alpha 0: blank whatever its colour bytes, also for the trim
    picture.set(1, 1, palette[9]);
    picture.set(2, 1, 0x00FFFFFF);
    picture.set(3, 2, 0xFF00FF00);  // in no entry
    picture.set(2, 2, 0xFF00FF00);
    picture.set(1, 2, 0x80010203);  // half transparent, in no entry
    Bytes out;
    const CodedPicture coded = code_picture(picture.view(), find_trim_origin(picture.view()),
                                            ColourMatcher(palette, PixelStorage::run_length), PixelStorage::run_length,
                                            false, out);
    EXPECT_EQ(coded.x_offset, 1u);
    EXPECT_EQ(coded.y_offset, 1u);
    EXPECT_EQ(coded.off_palette.pixels, 3u);
    // Pixels outside the palette become index 0, that is blank.
    EXPECT_EQ(out, (Bytes{0x00, 9, 0xFB}));
    // The colours by pixels, each with its first position.
    const OffPalettePixels& lost = coded.off_palette;
    ASSERT_EQ(lost.colours.size(), 2u);
    EXPECT_EQ(lost.colours[0].colour, 0xFF00FF00u);
    EXPECT_EQ(lost.colours[0].pixels, 2u);
    EXPECT_EQ(lost.colours[0].x, 2u);
    EXPECT_EQ(lost.colours[0].y, 2u);
    EXPECT_EQ(lost.colours[1].colour, 0x80010203u);
    EXPECT_EQ(lost.semi_transparent, 1u);
    EXPECT_EQ(lost.semi_x, 1u);
    EXPECT_EQ(lost.semi_y, 2u);

    // Under --nearest: the green moves to the nearest entry, the half
    // transparent pixel (alpha 128) to its colour's; below 128 it is blank.
    picture.set(0, 0, 0x7FFFFFFF);
    out.clear();
    const NearestColour nearest(palette, PixelStorage::run_length, false);
    const CodedPicture moved = code_picture(picture.view(), find_trim_origin(picture.view(), blank_below_alpha(&nearest)),
                                            ColourMatcher(palette, PixelStorage::run_length), PixelStorage::run_length,
                                            false, out, &nearest);
    EXPECT_EQ(moved.x_offset, 1u);
    EXPECT_EQ(moved.off_palette.pixels, 3u);
    EXPECT_EQ(moved.off_palette.blanked, 0u) << "the alpha-127 pixel lies outside the trimmed rectangle";
    const std::uint8_t green = nearest.index(0xFF00FF00u);
    EXPECT_NE(green, 0);
    EXPECT_EQ(out, (Bytes{0x00, 9, 0xFE, 0x02, nearest.index(0xFF010203u), green, green}));
}

TEST(PictureCoding, WorkBufferHoldsPicturesThatCodeLongerThanItsStartingCapacity) {
    const Palette palette = counting_palette();
    // Alternating single coloured and blank pixels need 1.5 bytes a pixel.
    TestPicture picture(64, 64);
    for (std::uint32_t y = 0; y < 64; ++y)
        for (std::uint32_t x = (y % 2); x < 64; x += 2) picture.set(x, y, palette[3]);
    Bytes out;
    out.reserve(work_buffer_capacity(64, 64));
    EXPECT_EQ(work_buffer_capacity(64, 64), 4620u);
    const CodedPicture coded = code_picture(picture.view(), find_trim_origin(picture.view()),
                                            ColourMatcher(palette, PixelStorage::run_length), PixelStorage::run_length,
                                            true, out);
    EXPECT_EQ(coded.width, 64u);
    EXPECT_EQ(out.size(), 64u * 64u * 3u / 2u);
    std::size_t coloured = 0;
    decode_run_length(out, 0, 64, 64, [&](std::uint32_t, std::uint32_t, std::uint8_t index) {
        EXPECT_EQ(index, 3);
        ++coloured;
    });
    EXPECT_EQ(coloured, 64u * 32u);
}

// ---- Palette block and layouts ---------------------------------------------

TEST(ArchiveLayout, PaletteComponentsRoundToSixBits) {
    Palette palette{};
    palette[0] = 0xFFFF0703;  // 255 -> 63, 7 -> 1, 3 -> 1
    palette[1] = 0xFF040209;  // 4 -> 0, 2 -> 0 (0.5 to even), 9 -> 2 (1.5 to even)
    palette[2] = 0xFF0D0000;  // 13 -> 2 (2.5 to even)
    palette[3] = 0xFF83FB00;  // 131 -> 32, 251 -> 62
    SpriteSetWriter writer(0, PixelStorage::raw, palette);
    const Bytes archive = writer.finish();
    EXPECT_EQ(Bytes(archive.begin() + 8, archive.begin() + 20), (Bytes{63, 1, 1, 0, 0, 2, 2, 0, 0, 32, 62, 0}));
}

TEST(ArchiveLayout, SpriteSetHeaderRecordsAndDataSize) {
    const Palette palette = counting_palette();
    CodedPicture first{3, 2, 4, 1};
    CodedPicture second{1, 1, 0, 0};
    {
        SpriteSetWriter writer(2, PixelStorage::raw, palette);
        writer.add(1, first, Bytes{1, 2, 3, 4, 5, 6});
        writer.add(2, second, Bytes{7});
        const Bytes archive = writer.finish();
        ASSERT_EQ(archive.size(), 776u + 16u + 7u);
        EXPECT_EQ(archive[0], 1) << "raw storage";
        EXPECT_EQ(archive[1], 0);
        EXPECT_EQ(archive[2], 2);
        EXPECT_EQ(archive[3], 0);
        // Data size: 6 + 1 pixels plus 12 per picture = 31.
        EXPECT_EQ(Bytes(archive.begin() + 4, archive.begin() + 8), (Bytes{31, 0, 0, 0}));
        EXPECT_EQ(Bytes(archive.begin() + 776, archive.begin() + 792),
                  (Bytes{3, 0, 2, 0, 4, 0, 1, 0, 1, 0, 1, 0, 0, 0, 0, 0}));
        EXPECT_EQ(Bytes(archive.begin() + 792, archive.end()), (Bytes{1, 2, 3, 4, 5, 6, 7}));
    }
    {
        SpriteSetWriter writer(2, PixelStorage::run_length, palette);
        writer.add(1, first, Bytes{0x02, 1, 2, 3, 0xFD});
        writer.add(2, second, Bytes{0x00, 7});
        const Bytes archive = writer.finish();
        EXPECT_EQ(archive[0], 0x81) << "run-length storage";
        // Data size: the coded lengths 5 + 2 without their prefixes.
        EXPECT_EQ(Bytes(archive.begin() + 4, archive.begin() + 8), (Bytes{7, 0, 0, 0}));
        EXPECT_EQ(Bytes(archive.begin() + 792, archive.end()),
                  (Bytes{5, 0, 0, 0, 0x02, 1, 2, 3, 0xFD, 2, 0, 0, 0, 0x00, 7}));
        // The file reads back with the archive reader.
        const SpriteSet parsed = parse_sprite_set(archive);
        ASSERT_EQ(parsed.images.size(), 2u);
        EXPECT_EQ(parsed.images[0].x_offset, 4);
        EXPECT_FALSE(parsed.data_ended);
    }
}

TEST(ArchiveLayout, TileSetCodesByFolderName) {
    EXPECT_EQ(tile_set_code("desert"), 5100);
    for (const char* name : {"jungle", "htrain", "special2", "trainh"}) EXPECT_EQ(tile_set_code(name), 5700) << name;
    for (const char* name : {"atlantis", "special", "Desert", "DESERT", "jungle2", "", "tiles"})
        EXPECT_EQ(tile_set_code(name), 6000) << name;

    TileSetWriter writer(2, tile_set_code("desert"), counting_palette());
    writer.add(0x1234, Bytes(1024, 7));
    writer.add(65535, Bytes(1024, 9));
    const Bytes archive = writer.finish();
    ASSERT_EQ(archive.size(), 776u + 2u * 1028u);
    EXPECT_EQ(Bytes(archive.begin(), archive.begin() + 8), (Bytes{0xEC, 0x13, 0x00, 0x00, 2, 0, 0, 0}));
    EXPECT_EQ(Bytes(archive.begin() + 776, archive.begin() + 781), (Bytes{0x34, 0x12, 0, 0, 7}));
    EXPECT_EQ(Bytes(archive.begin() + 1804, archive.begin() + 1809), (Bytes{0xFF, 0xFF, 0, 0, 9}));
    EXPECT_EQ(TileSetWriter(1, tile_set_code("Desert"), Palette{}).finish()[0], 0x70);
}

// ---- Picture sizes from file headers ---------------------------------------

TEST(ImageSizeFromHeader, ReadsPngAndBmpFieldsWhateverTheCaseOfTheEnding) {
    std::vector<std::string> said;
    int waited = 0;
    const BuilderConsole console{[&](std::string_view text) { said.emplace_back(text); },
                                 [&](int ms) { waited += ms; }};
    Bytes png(32, 0);
    png[16] = 0x00; png[17] = 0x00; png[18] = 0x01; png[19] = 0x02;  // width 258, big-endian
    png[20] = 0x00; png[21] = 0x00; png[22] = 0x00; png[23] = 0x21;  // height 33
    for (const char* name : {"/a/0001.png", "/a/0001.PNG", "/a/x.Png"}) {
        const ImageSize size = image_size_from_header_bytes(name, png, console);
        EXPECT_EQ(size.width, 258u) << name;
        EXPECT_EQ(size.height, 33u) << name;
    }
    Bytes bmp(32, 0);
    bmp[18] = 0x00; bmp[19] = 0x01;  // width 256, little-endian
    bmp[22] = 0x01;                  // height 1
    const ImageSize bmp_size = image_size_from_header_bytes("/a/palette.BMP", bmp, console);
    EXPECT_EQ(bmp_size.width, 256u);
    EXPECT_EQ(bmp_size.height, 1u);
    // A short file reads as zeros past its end.
    const ImageSize short_size = image_size_from_header_bytes("/a/cut.png", Bytes{0x89, 'P'}, console);
    EXPECT_EQ(short_size.width, 0u);
    EXPECT_TRUE(said.empty());
    EXPECT_EQ(waited, 0);

    const ImageSize other = image_size_from_header_bytes("/a/picture.gif", png, console);
    EXPECT_EQ(other.width, 0u);
    EXPECT_EQ(other.height, 0u);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0], "Nie rozpoznany plik!");
    EXPECT_EQ(waited, 1000);
}

}  // namespace
}  // namespace quarnel
