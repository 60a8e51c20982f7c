// The builder as a user meets it: quarnel started headless on a picture of
// a folder, the console lines it prints and the archive it writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/palette.h"
#include "archive/sprite_archive.h"
#include "builder/archive_builder.h"
#include "builder/builder_fixtures.h"
#include "runtime/platform/files.h"
#include "runtime/screen/screen.h"
#include "support/run_program.h"

namespace quarnel {
namespace {

using test::TestPicture;
using Bytes = std::vector<std::uint8_t>;

// 256 different colours as extraction shows a palette block whose entry i
// is red i mod 64, green i / 64, blue 0.
Palette counting_palette() {
    std::vector<std::uint8_t> block;
    for (int i = 0; i < 256; ++i) {
        block.push_back(static_cast<std::uint8_t>(i % 64));
        block.push_back(static_cast<std::uint8_t>(i / 64));
        block.push_back(0);
    }
    return palette_from_block_bytes(block);
}

std::string number_name(int n) {
    std::string digits = std::to_string(n);
    return std::string(4 - std::min<std::size_t>(4, digits.size()), '0') + digits + ".png";
}

// A folder of pictures as extraction leaves it.
struct PictureFolder {
    test::TempDir root;
    std::string folder;

    explicit PictureFolder(const std::string& name) : folder(root.file(name)) {
        std::filesystem::create_directory(folder);
    }
    std::string file(const std::string& name) const { return folder + "/" + name; }
    void add_picture(int n, const TestPicture& picture) const { test::write_file(file(number_name(n)), test::png_file_bytes(picture)); }
    void set_palette(const Palette& palette) const { test::write_file(file("palette.bmp"), test::palette_bmp_bytes(palette)); }
    void set_build_file(int tile_set, int storage, int row_split) const {
        test::write_file(file("build.txt"), test::build_file_text(tile_set, storage, row_split));
    }
    test::ProgramRun build(const std::string& chosen = "0001.png") const {
        return test::run_program(test::quarnel_path(), {file(chosen)}, "");
    }
    Bytes archive(const std::string& name) const {
        const std::string bytes = test::read_file(file(name));
        return Bytes(bytes.begin(), bytes.end());
    }
};

bool has_line(const std::string& output, const std::string& line) {
    return output.find(line + "\r\n") != std::string::npos;
}

TEST(BuilderJob, RawSpriteSetWithItsConsoleLines) {
    PictureFolder folder("units");
    const Palette palette = counting_palette();
    folder.set_palette(palette);
    folder.set_build_file(0, 0, 0);
    // Picture 1: 4 x 3, blank first column and row; picture 2: 2 x 1.
    folder.add_picture(1, test::picture_of_indices({{0, 0, 0, 0}, {0, 9, 8, 0}, {0, 0, 7, 0}}, palette));
    folder.add_picture(2, test::picture_of_indices({{3, 4}}, palette));

    const test::ProgramRun run = folder.build();
    ASSERT_EQ(run.exit_status, 0) << run.errors;
    const std::string& out = run.output;
    EXPECT_TRUE(has_line(out, "katalog: '" + folder.folder + "/'")) << out;
    EXPECT_TRUE(has_line(out, "koncowka: 'units'")) << out;
    EXPECT_TRUE(has_line(out, "Znalezono plikow png: 2")) << out;
    EXPECT_TRUE(has_line(out, "plik: " + folder.file("0001.png") + ", bufor spr2: 6")) << out;
    EXPECT_TRUE(has_line(out, "plik: " + folder.file("0002.png") + ", bufor spr2: 2")) << out;
    EXPECT_TRUE(has_line(out, "Plik wynikowy: " + folder.file("units_new.spr"))) << out;
    EXPECT_EQ(out.find("uwaga"), std::string::npos) << "every colour is in the palette";

    const Bytes archive = folder.archive("units_new.spr");
    ASSERT_EQ(archive.size(), 776u + 16u + 8u);
    EXPECT_EQ(Bytes(archive.begin(), archive.begin() + 8), (Bytes{1, 0, 2, 0, 6 + 2 + 24, 0, 0, 0}));
    EXPECT_EQ(Bytes(archive.begin() + 8, archive.begin() + 17), (Bytes{0, 0, 0, 1, 0, 0, 2, 0, 0}));
    // Records: 3 x 2 at (1, 1); 2 x 1 at (0, 0).
    EXPECT_EQ(Bytes(archive.begin() + 776, archive.begin() + 792),
              (Bytes{3, 0, 2, 0, 1, 0, 1, 0, 2, 0, 1, 0, 0, 0, 0, 0}));
    // Blank pixels inside the stored area are index 0 in raw storage.
    EXPECT_EQ(Bytes(archive.begin() + 792, archive.end()), (Bytes{9, 8, 0, 0, 7, 0, 3, 4}));
}

TEST(BuilderJob, DamagedFourthPictureOfTenIsReportedAndStoredEmpty) {
    PictureFolder folder("damaged");
    const Palette palette = counting_palette();
    folder.set_palette(palette);
    folder.set_build_file(0, 1, 0);
    for (int n = 1; n <= 10; ++n) folder.add_picture(n, test::picture_of_indices({{n, 0, n}}, palette));
    // Picture 4 is cut off in the middle of its data.
    std::string cut = test::read_file(folder.file("0004.png"));
    test::write_file(folder.file("0004.png"), cut.substr(0, cut.size() / 2));

    const test::ProgramRun run = folder.build();
    ASSERT_EQ(run.exit_status, 0) << run.errors;
    EXPECT_TRUE(has_line(run.output, "Znalezono plikow png: 10")) << run.output;
    EXPECT_TRUE(has_line(run.output, "zle: 4 - " + folder.file("0004.png"))) << run.output;
    EXPECT_TRUE(has_line(run.output, "plik: " + folder.file("0004.png") + ", bufor spr2: 0")) << run.output;
    EXPECT_EQ(run.output.find("zle: 3"), std::string::npos);

    const Bytes archive = folder.archive("damaged_new.spr");
    const SpriteSet set = parse_sprite_set(archive);
    EXPECT_EQ(set.image_count, 10);
    ASSERT_EQ(set.images.size(), 10u);
    EXPECT_EQ(archive[0], 0x81);
    // Record 4 is all zero and its data is a length of 0.
    EXPECT_EQ(Bytes(archive.begin() + 776 + 24, archive.begin() + 776 + 32), Bytes(8, 0));
    EXPECT_EQ(set.images[3].width, 0u);
    EXPECT_EQ(set.images[3].end - set.images[3].start, 4u);
    for (int n : {0, 1, 2, 4, 9}) {
        EXPECT_EQ(set.images[static_cast<std::size_t>(n)].width, 3u) << n;
        EXPECT_EQ(set.images[static_cast<std::size_t>(n)].end - set.images[static_cast<std::size_t>(n)].start, 4u + 5u)
            << "00 i FF 00 i for picture " << n + 1;
    }
    EXPECT_FALSE(set.data_ended);
}

TEST(BuilderJob, StorageFlagOtherThanZeroOrOneStopsAndWritesNothing) {
    PictureFolder folder("flags");
    const Palette palette = counting_palette();
    folder.set_palette(palette);
    folder.set_build_file(0, 2, 0);
    folder.add_picture(1, test::picture_of_indices({{1, 2}}, palette));
    test::write_file(folder.file("flags_new.spr"), "earlier archive");

    const test::ProgramRun run = folder.build();
    ASSERT_EQ(run.exit_status, 0) << run.errors;
    EXPECT_NE(run.output.find("Zly sposob zapisu w build.txt: 2"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("Plik wynikowy"), std::string::npos) << run.output;
    EXPECT_EQ(test::read_file(folder.file("flags_new.spr")), "earlier archive");
}

TEST(BuilderJob, SecondRunReplacesALongerEarlierArchiveWhole) {
    PictureFolder folder("again");
    const Palette palette = counting_palette();
    folder.set_palette(palette);
    folder.set_build_file(0, 0, 0);
    folder.add_picture(1, test::picture_of_indices({{5, 6, 7}}, palette));
    test::write_file(folder.file("again_new.spr"), std::string(5000, 'x'));

    ASSERT_EQ(folder.build().exit_status, 0);
    EXPECT_EQ(folder.archive("again_new.spr").size(), 776u + 8u + 3u);
}

TEST(BuilderJob, ColoursOutsideThePaletteAreCountedPerPicture) {
    PictureFolder folder("colours");
    const Palette palette = counting_palette();
    folder.set_palette(palette);
    folder.set_build_file(0, 1, 1);
    TestPicture edited = test::picture_of_indices({{1, 2, 3}, {4, 5, 6}}, palette);
    edited.set(1, 0, 0xFF010203);  // painted in a colour palette.bmp lacks
    edited.set(2, 1, 0x80040404);  // entry 1's colour, half transparent
    folder.add_picture(1, edited);
    folder.add_picture(2, test::picture_of_indices({{7}}, palette));

    const test::ProgramRun run = folder.build();
    ASSERT_EQ(run.exit_status, 0) << run.errors;
    const std::string lost_line =
        "uwaga: 2 pikseli w kolorach spoza palety, zapisane jako indeks 0 (przezroczysty) | 2 pixels in colours not in "
        "palette.bmp, stored as index 0 (transparent): #010203 x1, #04040480 x1";
    const std::size_t at = run.output.find(lost_line);
    ASSERT_NE(at, std::string::npos) << run.output;
    EXPECT_GT(at, run.output.find("plik: " + folder.file("0001.png"))) << "after its picture's line";
    EXPECT_LT(at, run.output.find("plik: " + folder.file("0002.png")));
    EXPECT_EQ(run.output.find("uwaga", at + 1), std::string::npos) << "picture 2 has no such colour";

    const Bytes archive = folder.archive("colours_new.spr");
    // 00 01, FF, 00 03 (row end), 01 04 05, FF.
    EXPECT_EQ(Bytes(archive.begin() + 776 + 16, archive.begin() + 776 + 16 + 4 + 9),
              (Bytes{9, 0, 0, 0, 0x00, 1, 0xFF, 0x00, 3, 0x01, 4, 5, 0xFF}));
}

TEST(BuilderJob, UpperCaseNamesAreListedInNameOrderAndDecoded) {
    PictureFolder folder("cases");
    const Palette palette = counting_palette();
    folder.set_palette(palette);
    folder.set_build_file(0, 0, 0);
    test::write_file(folder.file("B.PNG"), test::png_file_bytes(test::picture_of_indices({{2, 2}}, palette)));
    test::write_file(folder.file("a.png"), test::png_file_bytes(test::picture_of_indices({{1}}, palette)));
    test::write_file(folder.file("c.Png"), test::png_file_bytes(test::picture_of_indices({{3, 3, 3}}, palette)));

    const test::ProgramRun run = folder.build("a.png");
    ASSERT_EQ(run.exit_status, 0) << run.errors;
    EXPECT_EQ(run.output.find("Nie rozpoznany plik!"), std::string::npos) << run.output;
    const Bytes archive = folder.archive("cases_new.spr");
    EXPECT_EQ(Bytes(archive.begin() + 776, archive.begin() + 800),
              (Bytes{1, 0, 1, 0, 0, 0, 0, 0, 2, 0, 1, 0, 0, 0, 0, 0, 3, 0, 1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Bytes(archive.begin() + 800, archive.end()), (Bytes{1, 2, 2, 3, 3, 3}));
}

TEST(BuilderJob, TileSetTakesItsCodeFromTheFolderAndValuesFromTheListing) {
    for (const auto& [name, code] : std::vector<std::pair<std::string, std::uint16_t>>{
             {"desert", 0x13EC}, {"Desert", 0x1770}, {"jungle", 0x1644}, {"special", 0x1770}}) {
        PictureFolder folder(name);
        const Palette palette = counting_palette();
        folder.set_palette(palette);
        folder.set_build_file(1, 0, 0);
        test::write_file(folder.file(name + ".txt"), "300 ; 1\r\n65535 ; 2\r\n");
        for (int n = 1; n <= 3; ++n) {
            TestPicture tile(32, 32);
            for (std::uint32_t y = 0; y < 32; ++y)
                for (std::uint32_t x = 0; x < 32; ++x) tile.set(x, y, palette[(x + y + static_cast<std::uint32_t>(n)) % 256]);
            folder.add_picture(n, tile);
        }
        const test::ProgramRun run = folder.build("0002.png");
        ASSERT_EQ(run.exit_status, 0) << run.errors;
        EXPECT_TRUE(has_line(run.output, "Plik wynikowy: " + folder.file(name + "_new.bts"))) << run.output;
        const Bytes archive = folder.archive(name + "_new.bts");
        ASSERT_EQ(archive.size(), 776u + 3u * 1028u) << name;
        EXPECT_EQ(Bytes(archive.begin(), archive.begin() + 8),
                  (Bytes{static_cast<std::uint8_t>(code), static_cast<std::uint8_t>(code >> 8), 0, 0, 3, 0, 0, 0}))
            << name;
        // Tile values 300, 65535, and 0 for the line the listing lacks.
        EXPECT_EQ(Bytes(archive.begin() + 776, archive.begin() + 781), (Bytes{0x2C, 0x01, 0, 0, 1}));
        EXPECT_EQ(Bytes(archive.begin() + 1804, archive.begin() + 1809), (Bytes{0xFF, 0xFF, 0, 0, 2}));
        EXPECT_EQ(Bytes(archive.begin() + 2832, archive.begin() + 2837), (Bytes{0, 0, 0, 0, 3}));
    }
}

TEST(BuilderJob, TilesAreNeverTrimmedAndKeepTheirSize) {
    PictureFolder folder("atlantis");
    const Palette palette = counting_palette();
    folder.set_palette(palette);
    folder.set_build_file(1, 0, 0);
    test::write_file(folder.file("atlantis.txt"), "1 ; 1\r\n2 ; 2\r\n3 ; 3\r\n");
    TestPicture framed(32, 32);  // blank first row and column
    for (std::uint32_t y = 1; y < 32; ++y)
        for (std::uint32_t x = 1; x < 32; ++x) framed.set(x, y, palette[6]);
    folder.add_picture(1, framed);
    folder.add_picture(2, test::picture_of_indices({{4, 4}, {4, 4}}, palette));  // not 32 x 32
    test::write_file(folder.file("0003.png"), "not a picture");

    const test::ProgramRun run = folder.build();
    ASSERT_EQ(run.exit_status, 0) << run.errors;
    EXPECT_TRUE(has_line(run.output, "plik: " + folder.file("0001.png") + ", bufor spr2: 1024")) << run.output;
    EXPECT_NE(run.output.find("uwaga: kafel 2 ma 2x2 pikseli, nie 32x32"), std::string::npos) << run.output;
    // A tile that cannot be read keeps its place as a blank tile, so that
    // the tiles after it stay where readers look for them.
    EXPECT_TRUE(has_line(run.output, "zle: 3 - " + folder.file("0003.png"))) << run.output;
    EXPECT_TRUE(has_line(run.output, "plik: " + folder.file("0003.png") + ", bufor spr2: 1024")) << run.output;
    const Bytes archive = folder.archive("atlantis_new.bts");
    ASSERT_EQ(archive.size(), 776u + 3u * 1028u);
    EXPECT_EQ(Bytes(archive.begin() + 2836, archive.end()), Bytes(1024, 0));
    EXPECT_EQ(archive[780], 0) << "the blank corner is index 0";
    EXPECT_EQ(archive[780 + 33], 6);
    EXPECT_EQ(archive[1808], 4);
    EXPECT_EQ(archive[1808 + 2], 0) << "beyond the small picture: blank";
}

// Without palette.bmp every colour would be lost (an all-zero palette,
// blank pixels as index 255): nothing is built and the line names the file.
TEST(BuilderJob, MissingOrUnreadablePaletteBuildsNothingAndNamesIt) {
    PictureFolder folder("nopal");
    folder.set_build_file(0, 1, 0);
    TestPicture picture(2, 2);
    picture.set(0, 0, 0xFF112233);
    picture.set(1, 1, 0xFF445566);
    folder.add_picture(1, picture);

    for (const bool present : {false, true}) {
        if (present) test::write_file(folder.file("palette.bmp"), "BM not a bitmap");
        const test::ProgramRun run = folder.build();
        ASSERT_EQ(run.exit_status, 0) << run.errors;
        EXPECT_FALSE(std::filesystem::exists(folder.file("nopal_new.spr")));
        EXPECT_TRUE(has_line(run.output, "Brak pliku palette.bmp lub nie mozna go odczytac: " + folder.file("palette.bmp") +
                                             " - nic nie zbudowano | palette.bmp missing or unreadable, nothing built"))
            << run.output;
        EXPECT_EQ(run.output.find("Plik wynikowy"), std::string::npos);
    }
}

TEST(BuilderJob, NoPicturesInTheFolderWritesNothing) {
    test::TempDir root;
    test::write_file(root.file("build.txt"), test::build_file_text(0, 0, 0));
    std::vector<std::string> said;
    const BuilderConsole console{[&](std::string_view text) { said.emplace_back(text); }, [](int) {}};
    const BuilderOutcome outcome = run_builder(BuilderInput{root.file("x.png"), root.path() + "/", "empty"}, console);
    EXPECT_FALSE(outcome.written);
    ASSERT_GE(said.size(), 2u);
    EXPECT_EQ(said[said.size() - 2], "Znalezono plikow png: 0");
    EXPECT_EQ(said.back(), "Brak plikow!");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root.path()), std::filesystem::directory_iterator()), 1);
}

}  // namespace
}  // namespace quarnel

namespace quarnel {
namespace {

// The builder run in this process reads palette.bmp through the BMP
// service, which works on an open screen: a headless one.
void open_headless_screen() {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    if (!screen_is_open()) {
        ASSERT_EQ(set_screen(18, 32, 2), 0);
    }
}

// Every shortened copy and many altered copies of a valid picture in one
// folder: the build goes through all of them, stores each unreadable one
// empty and keeps the count.
TEST(BuilderRobustness, CutAndAlteredPicturesAreStoredEmptyAndCounted) {
    test::TempDir root;
    open_headless_screen();
    const std::string folder = root.path() + "/mixed/";
    std::filesystem::create_directory(folder);
    test::TestPicture picture(5, 3);
    picture.set(1, 1, 0xFF102030);
    picture.set(4, 2, 0xFF405060);
    const std::string valid = test::png_file_bytes(picture);
    test::write_file(folder + "build.txt", test::build_file_text(0, 1, 1));
    test::write_file(folder + "palette.bmp", test::palette_bmp_bytes(Palette{}));

    std::uint32_t files = 0;
    auto add = [&](const std::string& bytes) {
        char name[32];
        std::snprintf(name, sizeof name, "%05u.png", files++);
        test::write_file(folder + name, bytes);
    };
    for (std::size_t length = 0; length < valid.size(); ++length) add(valid.substr(0, length));
    for (std::size_t at = 0; at < valid.size(); at += 3) {
        std::string altered = valid;
        altered[at] = static_cast<char>(altered[at] ^ 0x5A);
        add(altered);
    }
    add(valid);
    test::write_file(folder + ".hidden.png", valid);  // not a picture of the archive

    std::vector<std::string> said;
    const BuilderConsole console{[&](std::string_view text) { said.emplace_back(text); }, [](int) {}};
    const BuilderOutcome outcome = run_builder(BuilderInput{folder + "00000.png", folder, "mixed"}, console);
    ASSERT_TRUE(outcome.written);
    EXPECT_EQ(outcome.pictures, files);
    EXPECT_GE(outcome.damaged, valid.size()) << "every shortened copy is refused";
    EXPECT_LT(outcome.damaged, files) << "the whole copy is read";

    const std::string archive = test::read_file(folder + "mixed_new.spr");
    const SpriteSet set = parse_sprite_set(std::span(reinterpret_cast<const std::uint8_t*>(archive.data()), archive.size()));
    EXPECT_EQ(set.image_count, files);
    ASSERT_EQ(set.images.size(), files);
    EXPECT_FALSE(set.data_ended);
    // The last picture is the whole copy: 4 x 2 from (1, 1); the all-black
    // palette holds neither colour, so both are lost to index 0.
    const ArchiveImage& last = set.images.back();
    EXPECT_EQ(last.width, 4u);
    EXPECT_EQ(last.height, 2u);
    EXPECT_EQ(last.x_offset, 1);
    EXPECT_EQ(last.y_offset, 1);
    std::size_t damaged_lines = 0;
    for (const std::string& line : said) damaged_lines += line.starts_with("zle: ") ? 1u : 0u;
    EXPECT_EQ(damaged_lines, outcome.damaged);
}

TEST(BuilderRobustness, PictureTooWideForTheRecordsIsStoredEmpty) {
    test::TempDir root;
    open_headless_screen();
    const std::string folder = root.path() + "/wide/";
    std::filesystem::create_directory(folder);
    test::write_file(folder + "build.txt", test::build_file_text(0, 0, 0));
    test::write_file(folder + "palette.bmp", test::palette_bmp_bytes(Palette{}));
    test::TestPicture wide(65536, 1);  // widths are u16 in the records
    wide.set(0, 0, 0xFF000000);
    wide.set(65535, 0, 0xFF000000);
    test::write_file(folder + "0001.png", test::png_file_bytes(wide));
    test::write_file(folder + "0002.png", test::png_file_bytes(test::TestPicture(65535, 1)));

    std::vector<std::string> said;
    const BuilderConsole console{[&](std::string_view text) { said.emplace_back(text); }, [](int) {}};
    const BuilderOutcome outcome = run_builder(BuilderInput{folder + "0001.png", folder, "wide"}, console);
    ASSERT_TRUE(outcome.written);
    bool refused = false;
    for (const std::string& line : said) refused = refused || line.starts_with("za duzy obrazek: 1 - ");
    EXPECT_TRUE(refused);
    const std::string archive = test::read_file(folder + "wide_new.spr");
    // Record 1 empty; picture 2 is blank, so 0 x 0 with offsets 65535 and 1.
    ASSERT_EQ(archive.size(), 776u + 16u);
    EXPECT_EQ(archive.substr(776), std::string("\0\0\0\0\0\0\0\0\0\0\0\0\xFF\xFF\x01\0", 16));
}

TEST(BuilderRobustness, ArchivePastTheLargestSizeStopsAndWritesNothing) {
    test::TempDir root;
    open_headless_screen();
    const std::string folder = root.path() + "/big/";
    std::filesystem::create_directory(folder);
    test::write_file(folder + "build.txt", test::build_file_text(0, 0, 0));
    test::write_file(folder + "palette.bmp", test::palette_bmp_bytes(Palette{}));
    test::TestPicture opaque(20, 20);
    for (std::uint32_t y = 0; y < 20; ++y)
        for (std::uint32_t x = 0; x < 20; ++x) opaque.set(x, y, 0xFF000000);
    for (const char* name : {"0001.png", "0002.png", "0003.png"}) test::write_file(folder + name, test::png_file_bytes(opaque));
    test::write_file(folder + "big_new.spr", "earlier archive");

    std::vector<std::string> said;
    const BuilderConsole console{[&](std::string_view text) { said.emplace_back(text); }, [](int) {}};
    BuilderInput input{folder + "0001.png", folder, "big"};
    input.largest_archive = 776 + 2 * (400 + 8);  // two raw pictures fit, the third does not
    const BuilderOutcome outcome = run_builder(input, console);
    EXPECT_FALSE(outcome.written);
    ASSERT_FALSE(said.empty());
    EXPECT_EQ(said.back().rfind("Archiwum za duze (najwiecej ", 0), 0u) << said.back();
    EXPECT_EQ(test::read_file(folder + "big_new.spr"), "earlier archive");
    EXPECT_FALSE(std::filesystem::exists(folder + "big_new.spr.part"));
}

TEST(BuilderRobustness, ArchiveThatCannotTakeItsPlaceIsReported) {
    test::TempDir root;
    open_headless_screen();
    const std::string folder = root.path() + "/blocked/";
    std::filesystem::create_directory(folder);
    test::write_file(folder + "0001.png", test::png_file_bytes(test::TestPicture(2, 2)));
    test::write_file(folder + "palette.bmp", test::palette_bmp_bytes(Palette{}));
    test::write_file(folder + "build.txt", test::build_file_text(0, 0, 0));
    // A folder stands where the archive should go.
    std::filesystem::create_directory(folder + "blocked_new.spr");
    test::write_file(folder + "blocked_new.spr/keep.txt", "kept");

    std::vector<std::string> said;
    const BuilderConsole console{[&](std::string_view text) { said.emplace_back(text); }, [](int) {}};
    const BuilderOutcome outcome = run_builder(BuilderInput{folder + "0001.png", folder, "blocked"}, console);
    EXPECT_FALSE(outcome.written);
    ASSERT_FALSE(said.empty());
    EXPECT_EQ(said.back(), "Nie mozna zapisac pliku! | cannot write the file: " + folder +
                               "blocked_new.spr: a folder of that name is in the way");
    EXPECT_EQ(test::read_file(folder + "blocked_new.spr/keep.txt"), "kept");
    EXPECT_FALSE(std::filesystem::exists(folder + "blocked_new.spr" + std::string(partial_file_suffix)))
        << "no partial file is left";
}

}  // namespace
}  // namespace quarnel
