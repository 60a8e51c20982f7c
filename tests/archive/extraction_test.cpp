// Extraction run end to end, headless, with the answers on standard input:
// every archive kind, the pictures' pixels, build.txt, the tile listing and
// the palette images byte for byte.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/palette.h"
#include "archive/sprite_archive.h"
#include "png/png_reader.h"
#include "runtime/utility/byte_reader.h"
#include "samples/sample_archive.h"
#include "support/run_program.h"

namespace quarnel {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const std::string build_header = "''build file for vintelo converter, ver 30.04.2011\r\n";

Bytes to_bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

test::ProgramRun extract(const std::string& archive, const std::string& answers,
                         const std::vector<std::string>& options = {}) {
    std::vector<std::string> arguments{archive};
    arguments.insert(arguments.end(), options.begin(), options.end());
    test::ProgramRun run = test::run_program(test::quarnel_path(), arguments, answers + "\n");
    EXPECT_EQ(run.exit_status, 0) << run.output << run.errors;
    EXPECT_FALSE(run.timed_out);
    EXPECT_NE(run.output.find("Nacisnij dowolny klawisz."), std::string::npos) << run.output;
    return run;
}

bool has_line(const std::string& output, const std::string& line) {
    return output.find(line + "\r\n") != std::string::npos;
}

// A decoded picture's pixels as 0xAARRGGBB, row by row.
struct Picture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t at(std::uint32_t x, std::uint32_t y) const { return pixels[std::size_t{y} * width + x]; }
};

Picture load_png_picture(const std::string& path) {
    Picture p;
    const std::string file = test::read_file(path);
    ImagePtr image = png_decode(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(file.data()), file.size()));
    if (!image) {
        ADD_FAILURE() << "not a readable PNG: " << path;
        return p;
    }
    const auto layout = image_layout(*image);
    p.width = layout->width;
    p.height = layout->height;
    for (std::uint32_t y = 0; y < p.height; ++y)
        for (std::uint32_t x = 0; x < p.width; ++x)
            p.pixels.push_back(static_cast<std::uint32_t>(get_pixel(image.get(), static_cast<int>(x), static_cast<int>(y))));
    return p;
}

// A 24-bit BMP as written by the program: 54 header bytes, rows bottom up.
Picture load_bmp_picture(const std::string& path) {
    Picture p;
    const std::string file = test::read_file(path);
    const Bytes bytes = to_bytes(file);
    ByteReader in(bytes);
    EXPECT_EQ(in.u16le(), 0x4D42u);
    in.seek(10);
    const std::uint32_t offset = in.u32le();
    in.seek(18);
    p.width = in.u32le();
    p.height = in.u32le();
    in.seek(28);
    EXPECT_EQ(in.u16le(), 24u);
    const std::size_t row = (std::size_t{p.width} * 3 + 3) / 4 * 4;
    p.pixels.resize(std::size_t{p.width} * p.height);
    for (std::uint32_t y = 0; y < p.height; ++y) {
        in.seek(offset + row * (p.height - 1 - y));
        for (std::uint32_t x = 0; x < p.width; ++x) {
            const std::uint32_t b = in.u8(), g = in.u8(), r = in.u8();
            p.pixels[std::size_t{y} * p.width + x] = (r << 16) | (g << 8) | b;
        }
    }
    EXPECT_FALSE(in.ended()) << path;
    return p;
}

// palette.bmp / pal_used.bmp: a 256 x 1 24-bit BMP of 822 bytes.
std::string strip_bmp(const std::array<std::uint32_t, 256>& colours) {
    Bytes b{'B', 'M'};
    put_u32le(b, 822);
    put_u32le(b, 0);
    put_u32le(b, 54);
    put_u32le(b, 40);
    put_u32le(b, 256);
    put_u32le(b, 1);
    put_u16le(b, 1);
    put_u16le(b, 24);
    put_u32le(b, 0);
    put_u32le(b, 768);
    put_u32le(b, 2834);
    put_u32le(b, 2834);
    put_u32le(b, 0);
    put_u32le(b, 0);
    for (std::uint32_t c : colours) {
        b.push_back(static_cast<std::uint8_t>(c));
        b.push_back(static_cast<std::uint8_t>(c >> 8));
        b.push_back(static_cast<std::uint8_t>(c >> 16));
    }
    return std::string(b.begin(), b.end());
}

std::uint32_t colour_of_block(const std::array<std::uint8_t, 768>& block, std::size_t index) {
    return opaque_colour(expand_component(block[3 * index]), expand_component(block[3 * index + 1]),
                         expand_component(block[3 * index + 2]));
}

std::array<std::uint8_t, 768> test_block() {
    std::array<std::uint8_t, 768> block = sample_palette_block();
    block[3 * 9] = 63;  // index 9: 255, 131, 7
    block[3 * 9 + 1] = 32;
    block[3 * 9 + 2] = 1;
    return block;
}

// Two run-length sprites: 3 x 2 with offsets (2, 1), and 2 x 2.
struct TwoSprites {
    std::array<std::uint8_t, 768> block = test_block();
    Bytes file;
    TwoSprites() {
        std::vector<SamplePicture> pictures(2);
        pictures[0] = {3, 2, 2, 1, {0, 0, 9, 1, 2, 0}};
        pictures[1] = {2, 2, 0, 0, {5, 5, 5, 5}};
        file = write_sprite_set(block, pictures, true);
    }
};

TEST(ExtractSpriteSet, RunLengthWithCenteringToPng) {
    test::TempDir dir;
    TwoSprites sample;
    test::write_file(dir.file("UNIT.spr"), std::string(sample.file.begin(), sample.file.end()));
    const auto run = extract(dir.file("UNIT.spr"), "t\npng");
    const std::string out = dir.file("UNIT") + "/";

    EXPECT_NE(run.output.find("Centrowac grafike? (t/n) - jedynie DC? t\r\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Tworzyc png czy bmp? png\r\n"), std::string::npos);
    EXPECT_TRUE(has_line(run.output, "Naglowek: 129 0"));
    EXPECT_TRUE(has_line(run.output, "Obrazkow w pliku: 2"));
    EXPECT_TRUE(has_line(run.output, "Wielkosc pliku: " + std::to_string(sample.file.size())));
    EXPECT_TRUE(has_line(run.output, "obrazek: 1: 3x2, reszta: 2-0-1-0"));
    EXPECT_TRUE(has_line(run.output, "obrazek: 2: 2x2, reszta: 0-0-0-0"));
    // Image 1: the length and six token bytes FE, 02 09 01 02, FF after the records.
    const std::size_t after_first = archive_header_size + 16 + 4 + 6;
    EXPECT_TRUE(has_line(run.output, out + "0001.png, " + std::to_string(after_first))) << run.output;
    EXPECT_TRUE(has_line(run.output, out + "0002.png, " + std::to_string(sample.file.size())));

    // Centred: 5 x 3, the picture in the lower right, the rest transparent.
    const Picture p1 = load_png_picture(out + "0001.png");
    ASSERT_EQ(p1.width, 5u);
    ASSERT_EQ(p1.height, 3u);
    for (std::uint32_t x = 0; x < 5; ++x) EXPECT_EQ(p1.at(x, 0), 0u);
    EXPECT_EQ(p1.at(0, 1), 0u);
    EXPECT_EQ(p1.at(1, 1), 0u);
    EXPECT_EQ(p1.at(2, 1), 0u);
    EXPECT_EQ(p1.at(4, 1), 0xFFFF8307u);  // index 9: components 63, 32, 1
    EXPECT_EQ(p1.at(2, 2), colour_of_block(sample.block, 1));
    EXPECT_EQ(p1.at(3, 2), colour_of_block(sample.block, 2));
    EXPECT_EQ(p1.at(4, 2), 0u);
    const Picture p2 = load_png_picture(out + "0002.png");
    ASSERT_EQ(p2.width, 2u);
    EXPECT_EQ(p2.at(1, 1), colour_of_block(sample.block, 5));

    EXPECT_EQ(test::read_file(out + "build.txt"), build_header + "0\r\n1\r\n0\r\n");

    std::array<std::uint32_t, 256> all{};
    std::array<std::uint32_t, 256> used{};
    for (std::size_t i = 0; i < 256; ++i) all[i] = colour_of_block(sample.block, i);
    for (std::size_t i = 0; i < 256; ++i) used[i] = all[0];
    for (std::size_t i : {0, 1, 2, 5, 9}) used[i] = all[i];
    EXPECT_EQ(test::read_file(out + "palette.bmp"), strip_bmp(all));
    EXPECT_EQ(test::read_file(out + "pal_used.bmp"), strip_bmp(used));
}

TEST(ExtractSpriteSet, CenteringOffAndBmpOutput) {
    test::TempDir dir;
    TwoSprites sample;
    test::write_file(dir.file("UNIT.spr"), std::string(sample.file.begin(), sample.file.end()));
    const auto run = extract(dir.file("UNIT.spr"), "n\nbmp");
    const std::string out = dir.file("UNIT") + "/";
    EXPECT_TRUE(has_line(run.output, out + "0001.bmp, " + std::to_string(archive_header_size + 16 + 10)));
    EXPECT_FALSE(fs::exists(out + "0001.png"));
    const Picture p1 = load_bmp_picture(out + "0001.bmp");
    ASSERT_EQ(p1.width, 3u);
    ASSERT_EQ(p1.height, 2u);
    EXPECT_EQ(p1.at(2, 0), 0xFF8307u);
    EXPECT_EQ(p1.at(0, 1), colour_of_block(sample.block, 1) & 0xFFFFFFu);
    EXPECT_EQ(p1.at(2, 1), 0u);
}

TEST(ExtractSpriteSet, OnlyLowerCaseAnswersCount) {
    test::TempDir dir;
    TwoSprites sample;
    test::write_file(dir.file("UNIT.spr"), std::string(sample.file.begin(), sample.file.end()));
    // "T" leaves centering off; "BMP" (no small b) means PNG.
    extract(dir.file("UNIT.spr"), "T\nBMP");
    const Picture p1 = load_png_picture(dir.file("UNIT") + "/0001.png");
    EXPECT_EQ(p1.width, 3u);
    EXPECT_EQ(p1.height, 2u);
    // "y" turns centering on; a lone "b" means BMP.
    extract(dir.file("UNIT.spr"), "y\nb");
    const Picture b1 = load_bmp_picture(dir.file("UNIT") + "/0001.bmp");
    EXPECT_EQ(b1.width, 5u);
}

TEST(ExtractSpriteSet, RowSplitCodingShowsInTheBuildFile) {
    test::TempDir dir;
    // Rows 5 0 / 0 0 coded with the row split: 00 05, FF, FE: the pair of
    // skips ends the picture, so it is not looked at.
    std::vector<SamplePicture> closing(1);
    closing[0] = {2, 2, 0, 0, {5, 0, 0, 0}};
    const Bytes a = write_sprite_set(test_block(), closing, true, true);
    test::write_file(dir.file("A.spr"), std::string(a.begin(), a.end()));
    extract(dir.file("A.spr"), "n\npng");
    EXPECT_EQ(test::read_file(dir.file("A/build.txt")), build_header + "0\r\n1\r\n0\r\n");

    // Rows 5 6 / 7 0 split: 01 05 06, 00 07, FF: two literals in a row.
    std::vector<SamplePicture> split(1);
    split[0] = {2, 2, 0, 0, {5, 6, 7, 0}};
    const Bytes b = write_sprite_set(test_block(), split, true, true);
    test::write_file(dir.file("B.spr"), std::string(b.begin(), b.end()));
    extract(dir.file("B.spr"), "n\npng");
    EXPECT_EQ(test::read_file(dir.file("B/build.txt")), build_header + "0\r\n1\r\n1\r\n");
    const Picture p = load_png_picture(dir.file("B/0001.png"));
    EXPECT_EQ(p.at(0, 1), colour_of_block(test_block(), 7));

    // The same picture coded across rows: 02 05 06 07, FF.
    const Bytes c = write_sprite_set(test_block(), split, true, false);
    test::write_file(dir.file("C.spr"), std::string(c.begin(), c.end()));
    extract(dir.file("C.spr"), "n\npng");
    EXPECT_EQ(test::read_file(dir.file("C/build.txt")), build_header + "0\r\n1\r\n0\r\n");
}

TEST(ExtractSpriteSet, RunsCutAtTheirFullLengthAreNotRepeatedRuns) {
    test::TempDir dir;
    // 200 transparent then 130 opaque pixels in one row, coded across rows:
    // 80 (128 skipped), B8 (72 skipped), 7F + 128 indices, 01 + 2 indices.
    std::vector<SamplePicture> pictures(1);
    pictures[0] = {330, 1, 0, 0, std::vector<std::uint8_t>(330, 0)};
    for (std::size_t i = 200; i < 330; ++i) pictures[0].indices[i] = 3;
    const Bytes file = write_sprite_set(test_block(), pictures, true);
    ASSERT_EQ(file[archive_header_size + 8 + 4], 0x80);
    ASSERT_EQ(file[archive_header_size + 8 + 5], 0xB8);
    test::write_file(dir.file("LONG.spr"), std::string(file.begin(), file.end()));
    extract(dir.file("LONG.spr"), "n\npng");
    EXPECT_EQ(test::read_file(dir.file("LONG/build.txt")), build_header + "0\r\n1\r\n0\r\n");
    const Picture p = load_png_picture(dir.file("LONG/0001.png"));
    ASSERT_EQ(p.width, 330u);
    EXPECT_EQ(p.at(199, 0), 0u);
    EXPECT_EQ(p.at(200, 0), colour_of_block(test_block(), 3));
    EXPECT_EQ(p.at(329, 0), colour_of_block(test_block(), 3));
}

TEST(ExtractSpriteSet, RawStorageAndTheFirstNineteenRecordLines) {
    test::TempDir dir;
    std::vector<SamplePicture> pictures;
    for (int i = 1; i <= 25; ++i)
        pictures.push_back({2, 1, static_cast<std::uint16_t>(i), 0, {static_cast<std::uint8_t>(i), 0}});
    const Bytes file = write_sprite_set(test_block(), pictures, false);
    test::write_file(dir.file("R.spr"), std::string(file.begin(), file.end()));
    const auto run = extract(dir.file("R.spr"), "n\npng");
    EXPECT_TRUE(has_line(run.output, "Naglowek: 1 0"));
    EXPECT_TRUE(has_line(run.output, "obrazek: 19: 2x1, reszta: 19-0-0-0"));
    EXPECT_EQ(run.output.find("obrazek: 20:"), std::string::npos);
    EXPECT_TRUE(fs::exists(dir.file("R/0025.png")));
    EXPECT_EQ(test::read_file(dir.file("R/build.txt")), build_header + "0\r\n0\r\n0\r\n");
    // Raw storage: index 0 is an ordinary colour, drawn opaque.
    const Picture p = load_png_picture(dir.file("R/0003.png"));
    EXPECT_EQ(p.at(0, 0), colour_of_block(test_block(), 3));
    EXPECT_EQ(p.at(1, 0), colour_of_block(test_block(), 0));
}

TEST(ExtractTileSet, SevenPassesRotateTheCyclingColours) {
    test::TempDir dir;
    std::vector<SampleTile> tiles = sample_tiles(3);
    tiles[2].tile_value = 0x0002FFFF;  // only the low 16 bits are listed
    for (std::size_t i = 0; i < 7; ++i) tiles[1].indices[i] = static_cast<std::uint8_t>(201 + i);
    const auto block = test_block();
    const Bytes file = write_tile_set(0x13EC, block, tiles);
    test::write_file(dir.file("DESERT.bts"), std::string(file.begin(), file.end()));
    const auto run = extract(dir.file("DESERT.bts"), "png");
    EXPECT_EQ(run.output.find("Centrowac"), std::string::npos);
    EXPECT_TRUE(has_line(run.output, "Naglowek: 236 19"));
    EXPECT_TRUE(has_line(run.output, "Obrazkow w pliku: 3"));
    const std::string out = dir.file("DESERT") + "/";
    EXPECT_TRUE(has_line(run.output, out + "3/0002.png, " + std::to_string(776 + 2 * 1028)));
    EXPECT_EQ(test::read_file(out + "DESERT.txt"), "300 ; 1\r\n301 ; 2\r\n65535 ; 3\r\n");
    EXPECT_EQ(test::read_file(out + "build.txt"), build_header + "1\r\n0\r\n0\r\n");
    for (int pass = 1; pass <= 7; ++pass) {
        const Picture p = load_png_picture(out + std::to_string(pass) + "/0002.png");
        ASSERT_EQ(p.width, 32u);
        // Pass p uses step s = p - 1: entry 201 + ((s + k) mod 7) shows base 201 + k.
        const int s = pass - 1;
        for (int x = 0; x < 7; ++x) {
            const int k = ((x - s) % 7 + 7) % 7;
            EXPECT_EQ(p.at(static_cast<std::uint32_t>(x), 0), colour_of_block(block, static_cast<std::size_t>(201 + k)))
                << "pass " << pass << " column " << x;
        }
    }
    EXPECT_FALSE(fs::exists(out + "8"));
    // After the seventh pass the cycling colours are back at their base.
    std::array<std::uint32_t, 256> used{};
    for (std::size_t i = 0; i < 256; ++i) used[i] = colour_of_block(block, 0);
    for (const SampleTile& t : tiles)
        for (std::uint8_t index : t.indices) used[index] = colour_of_block(block, index);
    EXPECT_EQ(test::read_file(out + "pal_used.bmp"), strip_bmp(used));
}

Bytes container_header(std::uint16_t count) {
    Bytes b(8, 0);
    put_u16le(b, count);
    b.resize(container_header_size, 0);
    return b;
}

void add_trc_record(Bytes& b, const std::string& name, std::uint32_t size) {
    Bytes record(trc_record_size, 0);
    std::copy(name.begin(), name.end(), record.begin());
    record[20] = static_cast<std::uint8_t>(size);
    record[21] = static_cast<std::uint8_t>(size >> 8);
    record[22] = static_cast<std::uint8_t>(size >> 16);
    b.insert(b.end(), record.begin(), record.end());
}

Bytes pal_item() {
    Bytes pal(768, 0);
    pal[3 * 7] = 10;  // index 7: exact 8-bit components, no expansion
    pal[3 * 7 + 1] = 20;
    pal[3 * 7 + 2] = 30;
    return pal;
}

TEST(ExtractItems, PaletteBeforePictureGivesItsColours) {
    test::TempDir dir;
    Bytes file = container_header(3);
    add_trc_record(file, "TITLE.PAL", 768);
    add_trc_record(file, "TITLE.SCR", 307200);
    add_trc_record(file, "small.spr", 0);
    const Bytes pal = pal_item();
    file.insert(file.end(), pal.begin(), pal.end());
    Bytes screen(307200, 7);
    screen[1] = 0;
    file.insert(file.end(), screen.begin(), screen.end());
    put_u16le(file, 2);
    put_u16le(file, 1);
    file.resize(file.size() + 8, 0);
    file.insert(file.end(), {7, 7});
    test::write_file(dir.file("MENU.trc"), std::string(file.begin(), file.end()));
    const auto run = extract(dir.file("MENU.trc"), "png");
    const std::string out = dir.file("MENU") + "/";
    EXPECT_TRUE(has_line(run.output, "Obrazkow w pliku: 3"));
    EXPECT_EQ(to_bytes(test::read_file(out + "TITLE.PAL")), pal);
    const Picture p = load_png_picture(out + "TITLE.SCR.png");
    ASSERT_EQ(p.width, 640u);
    ASSERT_EQ(p.height, 480u);
    EXPECT_EQ(p.at(0, 0), 0xFF0A141Eu);
    EXPECT_EQ(p.at(1, 0), 0xFF000000u);  // index 0 is opaque black in this palette
    EXPECT_EQ(p.at(639, 479), 0xFF0A141Eu);
    // small.spr finds no small.pal: drawn in opaque black, the empty file left.
    const Picture s = load_png_picture(out + "small.spr.png");
    EXPECT_EQ(s.width, 2u);
    EXPECT_EQ(s.at(0, 0), 0xFF000000u);
    EXPECT_TRUE(fs::exists(out + "small.pal"));
    EXPECT_EQ(fs::file_size(out + "small.pal"), 0u);
    EXPECT_EQ(test::read_file(out + "build.txt"), build_header + "0\r\n");
}

TEST(ExtractItems, PictureBeforePaletteIsBlackAndBmpWorks) {
    test::TempDir dir;
    Bytes file = container_header(2);
    add_trc_record(file, "LOGO.SPR", 0);
    add_trc_record(file, "LOGO.PAL", 768);
    put_u16le(file, 3);
    put_u16le(file, 1);
    file.resize(file.size() + 8, 0);
    file.insert(file.end(), {7, 7, 7});
    const Bytes pal = pal_item();
    file.insert(file.end(), pal.begin(), pal.end());
    test::write_file(dir.file("M.trc"), std::string(file.begin(), file.end()));
    extract(dir.file("M.trc"), "bmp");
    const Picture p = load_bmp_picture(dir.file("M/LOGO.SPR.bmp"));
    ASSERT_EQ(p.width, 3u);
    EXPECT_EQ(p.at(2, 0), 0u);
    EXPECT_EQ(to_bytes(test::read_file(dir.file("M/LOGO.PAL"))), pal);
    // The empty LOGO.pal the picture left is replaced by the palette item.
    EXPECT_FALSE(fs::exists(dir.file("M/LOGO.pal")));
    // A second run finds the palette item written by the first, whatever its case.
    extract(dir.file("M.trc"), "png");
    const Picture again = load_png_picture(dir.file("M/LOGO.SPR.png"));
    EXPECT_EQ(again.at(0, 0), 0xFF0A141Eu);
}

TEST(ExtractItems, UnsafeNamesStayInTheFolderAndLongerFilesAreReplaced) {
    test::TempDir dir;
    Bytes file = container_header(3);
    add_trc_record(file, "..", 2);
    add_trc_record(file, "", 1);
    add_trc_record(file, "data.bin", 3);
    file.insert(file.end(), {'h', 'i', 'x', 'a', 'b', 'c'});
    test::write_file(dir.file("U.trc"), std::string(file.begin(), file.end()));
    fs::create_directory(dir.file("U"));
    test::write_file(dir.file("U/data.bin"), "a much longer old file");
    const auto run = extract(dir.file("U.trc"), "png");
    EXPECT_EQ(test::read_file(dir.file("U/item1")), "hi");
    EXPECT_EQ(test::read_file(dir.file("U/item2")), "x");
    EXPECT_EQ(test::read_file(dir.file("U/data.bin")), "abc");
    EXPECT_NE(run.output.find("Niebezpieczna nazwa elementu 1: '..' - zapisano jako 'item1'"), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("Niebezpieczna nazwa elementu 2: '' - zapisano jako 'item2'"), std::string::npos);
    // Nothing was written beside the folder.
    EXPECT_FALSE(fs::exists(dir.file("hi")));
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_TRUE(entry.path().filename() == "U.trc" || entry.path().filename() == "U") << entry.path();
}

TEST(ExtractItems, NumberedItemsAreWrittenByNumber) {
    test::TempDir dir;
    Bytes file = container_header(3);
    for (std::uint32_t size : {2u, 0u, 4u}) {
        Bytes record(trw_record_size, 0);
        record[4] = static_cast<std::uint8_t>(size);
        file.insert(file.end(), record.begin(), record.end());
    }
    file.insert(file.end(), {1, 2, 3, 4, 5, 6});
    test::write_file(dir.file("SND.trw"), std::string(file.begin(), file.end()));
    extract(dir.file("SND.trw"), "png");
    EXPECT_EQ(to_bytes(test::read_file(dir.file("SND/1"))), (Bytes{1, 2}));
    EXPECT_EQ(test::read_file(dir.file("SND/2")), "");
    EXPECT_EQ(to_bytes(test::read_file(dir.file("SND/3"))), (Bytes{3, 4, 5, 6}));
    EXPECT_EQ(test::read_file(dir.file("SND/build.txt")), build_header + "0\r\n");
}

TEST(ExtractRawImageSet, TrsUsesBytesEightOnAsItsPalette) {
    test::TempDir dir;
    Bytes file = container_header(1);
    Bytes record(trs_record_size, 0);
    record[4] = 2;  // width
    record[6] = 1;  // height
    file.insert(file.end(), record.begin(), record.end());
    file.insert(file.end(), {0, 1});
    file.resize(800, 0);
    file[8 + 3] = 1;  // entry 1: red 1, green 2 (bytes 11 and 12, unread by the header)
    file[8 + 4] = 2;
    test::write_file(dir.file("S.trs"), std::string(file.begin(), file.end()));
    extract(dir.file("S.trs"), "png");
    const Picture p = load_png_picture(dir.file("S/0001.png"));
    ASSERT_EQ(p.width, 2u);
    // Entry 0 from bytes 8-10: the count (1, 0) and a 0: red 7, green 0, blue 0.
    EXPECT_EQ(p.at(0, 0), opaque_colour(7, 0, 0));
    EXPECT_EQ(p.at(1, 0), opaque_colour(7, 11, 0));
    EXPECT_EQ(test::read_file(dir.file("S/build.txt")), build_header + "0\r\n");
}

TEST(ExtractRawData, OptionRReadsTypedSizesFromOffsetZero) {
    test::TempDir dir;
    Bytes file(768);
    for (std::size_t i = 0; i < file.size(); ++i) file[i] = static_cast<std::uint8_t>(i % 7);
    test::write_file(dir.file("blob.raw"), std::string(file.begin(), file.end()));
    const auto run = extract(dir.file("blob.raw"), "png\n3\n16\n16", {"-r"});
    EXPECT_NE(run.output.find("number of images | liczba obrazkow: 3\r\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("width | szerokosc: 16\r\n"), std::string::npos);
    EXPECT_NE(run.output.find("height | wysokosc: 16\r\n"), std::string::npos);
    EXPECT_TRUE(has_line(run.output, dir.file("blob") + "/0003.png, 768"));
    EXPECT_FALSE(fs::exists(dir.file("blob/0004.png")));
    // The palette block is read from offset 8 of whatever the file holds.
    const Picture p = load_png_picture(dir.file("blob/0002.png"));
    ASSERT_EQ(p.width, 16u);
    std::array<std::uint8_t, 768> block{};
    for (std::size_t i = 0; i < 760; ++i) block[i] = file[8 + i];
    EXPECT_EQ(p.at(1, 0), colour_of_block(block, 257 % 7));
    EXPECT_EQ(test::read_file(dir.file("blob/build.txt")), build_header + "0\r\n0\r\n0\r\n");
}

TEST(ExtractPaletteImage, OptionPTakesColoursFromTheProgramFolder) {
    test::TempDir dir;
    std::array<std::uint32_t, 256> colours{};
    for (std::size_t i = 0; i < 256; ++i) colours[i] = static_cast<std::uint32_t>((i << 16) | ((255 - i) << 8) | 17);
    const std::string name = "h4-test-palette-" + std::to_string(::getpid()) + ".bmp";
    const std::string in_program_dir = std::string(QUARNEL_BINARY_DIR) + "/" + name;
    test::write_file(in_program_dir, strip_bmp(colours));
    TwoSprites sample;
    test::write_file(dir.file("P.spr"), std::string(sample.file.begin(), sample.file.end()));
    const auto run = extract(dir.file("P.spr"), "n\npng", {"-p", name});
    fs::remove(in_program_dir);
    EXPECT_TRUE(has_line(run.output, " 0")) << run.output;
    EXPECT_EQ(test::read_file(dir.file("P/palette.bmp")), strip_bmp(colours));
    const Picture p = load_png_picture(dir.file("P/0002.png"));
    EXPECT_EQ(p.at(0, 0), 0xFF000000u | colours[5]);
}

TEST(ExtractDamaged, CountsPastTheDataEndCleanly) {
    test::TempDir dir;
    TwoSprites sample;
    Bytes file = sample.file;
    file[2] = 40;  // 40 images stated, 2 records present... and the rest cut
    file.resize(archive_header_size + 8 * 3 + 2);
    test::write_file(dir.file("CUT.spr"), std::string(file.begin(), file.end()));
    const auto run = extract(dir.file("CUT.spr"), "n\npng");
    EXPECT_TRUE(has_line(run.output, "Obrazkow w pliku: 40"));
    EXPECT_NE(run.output.find("no data for images"), std::string::npos) << run.output;
    EXPECT_EQ(test::read_file(dir.file("CUT/build.txt")).substr(0, build_header.size()), build_header);
    EXPECT_TRUE(fs::exists(dir.file("CUT/pal_used.bmp")));

    // An image the file ends inside is finished with what was decoded.
    Bytes inside = sample.file;
    inside.resize(archive_header_size + 16 + 4 + 3);  // FE, 02 09: one index of the literal read
    test::write_file(dir.file("IN.spr"), std::string(inside.begin(), inside.end()));
    const auto run2 = extract(dir.file("IN.spr"), "n\npng");
    EXPECT_NE(run2.output.find("file ends inside image 1"), std::string::npos) << run2.output;
    const Picture p = load_png_picture(dir.file("IN/0001.png"));
    ASSERT_EQ(p.width, 3u);
    EXPECT_EQ(p.at(2, 0), 0xFFFF8307u);
    EXPECT_EQ(p.at(0, 1), 0u);
}

TEST(ExtractDamaged, AHugeRecordIsSkippedWithAMessage) {
    test::TempDir dir;
    Bytes file{0x01, 0};  // raw storage
    put_u16le(file, 2);
    put_u32le(file, 0);
    file.resize(archive_header_size, 0);
    put_u16le(file, 1);  // 1 x 1
    put_u16le(file, 1);
    put_u32le(file, 0);
    put_u16le(file, 60000);  // 60000 x 60000: far past the data and any sane picture
    put_u16le(file, 60000);
    put_u32le(file, 0);
    file.insert(file.end(), {4, 1, 2, 3});
    test::write_file(dir.file("HUGE.spr"), std::string(file.begin(), file.end()));
    const auto run = extract(dir.file("HUGE.spr"), "n\npng");
    EXPECT_NE(run.output.find("Obrazek 2 za duzy: 60000x60000 - pominiety | image too large, skipped"), std::string::npos)
        << run.output;
    EXPECT_TRUE(fs::exists(dir.file("HUGE/0001.png")));
    EXPECT_FALSE(fs::exists(dir.file("HUGE/0002.png")));
    EXPECT_TRUE(fs::exists(dir.file("HUGE/pal_used.bmp")));
}

TEST(ExtractDamaged, AFileInThePlaceOfTheFolderIsReported) {
    test::TempDir dir;
    TwoSprites sample;
    test::write_file(dir.file("UNIT.spr"), std::string(sample.file.begin(), sample.file.end()));
    test::write_file(dir.file("UNIT"), "not a folder");
    const auto run = extract(dir.file("UNIT.spr"), "n\npng");
    EXPECT_NE(run.output.find("cannot create the folder: " + dir.file("UNIT") + "/"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find(".png, "), std::string::npos);
    EXPECT_EQ(test::read_file(dir.file("UNIT")), "not a folder");
}

TEST(ExtractDamaged, EmptyRecordKeepsItsNumberAsOneTransparentPixel) {
    test::TempDir dir;
    std::vector<SamplePicture> pictures(3);
    pictures[0] = {1, 1, 0, 0, {4}};
    pictures[1] = {0, 0, 3, 2, {}};
    pictures[2] = {1, 1, 0, 0, {6}};
    const Bytes file = write_sprite_set(test_block(), pictures, true);
    test::write_file(dir.file("E.spr"), std::string(file.begin(), file.end()));
    extract(dir.file("E.spr"), "n\npng");
    const Picture empty = load_png_picture(dir.file("E/0002.png"));
    EXPECT_EQ(empty.width, 1u);
    EXPECT_EQ(empty.height, 1u);
    EXPECT_EQ(empty.at(0, 0), 0u);
    EXPECT_EQ(load_png_picture(dir.file("E/0003.png")).at(0, 0), colour_of_block(test_block(), 6));
    // Centred, the offsets give the empty record a picture of its own size.
    extract(dir.file("E.spr"), "t\npng");
    const Picture centred = load_png_picture(dir.file("E/0002.png"));
    EXPECT_EQ(centred.width, 3u);
    EXPECT_EQ(centred.height, 2u);
}

TEST(ExtractSample, TheSampleToolsArchivesExtract) {
    test::TempDir dir;
    const auto made = test::run_program(std::string(QUARNEL_BINARY_DIR) + "/make_sample_archive", {dir.path()}, "");
    ASSERT_EQ(made.exit_status, 0) << made.errors;
    extract(dir.file("SAMPLE.spr"), "t\npng");
    for (const char* name : {"0001.png", "0002.png", "0003.png", "0004.png", "build.txt", "palette.bmp", "pal_used.bmp"})
        EXPECT_TRUE(fs::exists(dir.file("SAMPLE/") + name)) << name;
    EXPECT_EQ(load_png_picture(dir.file("SAMPLE/0004.png")).width, 142u);
    extract(dir.file("TILES.bts"), "png");
    EXPECT_TRUE(fs::exists(dir.file("TILES/7/0006.png")));
    EXPECT_TRUE(fs::exists(dir.file("TILES/TILES.txt")));
}

}  // namespace
}  // namespace quarnel
