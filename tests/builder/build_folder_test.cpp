// What the builder takes from a folder and what `quarnel check` says of it,
// end to end: the sample archives extracted by quarnel in command mode,
// then edited as a modder (or a file manager, or an editor) would.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/sprite_archive.h"
#include "builder/build_folder.h"
#include "builder/builder_fixtures.h"
#include "png/png_reader.h"
#include "runtime/image/image.h"
#include "samples/sample_archive.h"
#include "support/run_program.h"

namespace quarnel {
namespace {

namespace fs = std::filesystem;

bool has_line(const std::string& output, const std::string& line) {
    return output.find(line + "\r\n") != std::string::npos;
}

// The sample sprite set (run-length, four sprites; picture 1 a red square
// in a yellow frame at offsets 4, 2) and tile set, extracted.
struct ExtractedSamples {
    test::TempDir root;
    std::string sprites = root.file("SAMPLE");
    std::string tiles = root.file("TILES");

    ExtractedSamples() {
        const auto block = sample_palette_block();
        const auto sprite_set = write_sprite_set(block, sample_sprites(), true);
        const auto tile_set = write_tile_set(0x1770, block, sample_tiles(3));
        test::write_file(root.file("SAMPLE.spr"), std::string(sprite_set.begin(), sprite_set.end()));
        test::write_file(root.file("TILES.bts"), std::string(tile_set.begin(), tile_set.end()));
        const test::ProgramRun run = quarnel({"extract", "SAMPLE.spr", "TILES.bts"});
        EXPECT_EQ(run.exit_status, 0) << run.output << run.errors;
    }
    test::ProgramRun quarnel(const std::vector<std::string>& words) const {
        return test::run_program(test::quarnel_path(), words, "", root.path());
    }
    std::string original() const { return test::read_file(root.file("SAMPLE.spr")); }
    std::string rebuilt() const { return test::read_file(sprites + "/SAMPLE_new.spr"); }
};

// Sets pixels of an extracted RGBA picture.
void paint(const std::string& path, const std::vector<std::pair<std::pair<std::uint32_t, std::uint32_t>, std::uint32_t>>& pixels) {
    const std::string bytes = test::read_file(path);
    ImagePtr image = png_decode(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    ASSERT_TRUE(image);
    const auto layout = image_layout(*image);
    test::TestPicture picture(layout->width, layout->height);
    for (std::uint32_t y = 0; y < picture.height; ++y)
        for (std::uint32_t x = 0; x < picture.width; ++x)
            picture.set(x, y, read_pixel_value(image_row(*image, *layout, y) + 4 * x, 4));
    for (const auto& [at, colour] : pixels) picture.set(at.first, at.second, colour);
    test::write_file(path, test::png_file_bytes(picture));
}

TEST(BuildFolder, BuildFileMissingEmptyOrUnreadBuildsNothingAndSaysHowToMendIt) {
    ExtractedSamples samples;
    const std::string build_file = samples.sprites + "/build.txt";
    const std::string how = " - nic nie zbudowano, rozpakuj archiwum ponownie lub wpisz trzy flagi | build.txt ";
    for (const std::string& text : {std::string(), std::string("''header\r\n")}) {
        test::write_file(build_file, text);
        const test::ProgramRun run = samples.quarnel({"build", "SAMPLE"});
        EXPECT_EQ(run.exit_status, 1);
        const std::string problem = text.empty() ? "is empty" : "holds its header line but no flags";
        EXPECT_NE(run.output.find(how + problem + ", nothing built"), std::string::npos) << run.output;
        EXPECT_NE(run.errors.find("failed SAMPLE: build.txt " + problem + " (" + build_file + "): extract the archive "
                                  "again, or write the three flags after its header line; nothing built"),
                  std::string::npos)
            << run.errors;
        EXPECT_FALSE(fs::exists(samples.sprites + "/SAMPLE_new.spr"));
    }
    // Missing, in an interactive start: the same line, nothing built.
    fs::remove(build_file);
    const test::ProgramRun interactive =
        test::run_program(test::quarnel_path(), {samples.sprites + "/0001.png"}, "", samples.root.path());
    EXPECT_TRUE(has_line(interactive.output,
                         "Brak pliku build.txt: " + build_file + how + "is missing, nothing built: extract the archive "
                         "again, or write build.txt as a header line and three flag lines: tile set (0 sprite set, 1 "
                         "tile set), storage (0 raw, 1 run-length), row split (0 or 1)"))
        << interactive.output;
    EXPECT_FALSE(fs::exists(samples.sprites + "/SAMPLE_new.spr"));

    // What a .trs extraction writes (the header and one flag) still builds:
    // a raw sprite set.
    test::write_file(build_file, "''build file for vintelo converter, ver 30.04.2011\r\n0\r\n");
    const test::ProgramRun raw = samples.quarnel({"build", "SAMPLE"});
    EXPECT_EQ(raw.exit_status, 0) << raw.errors;
    EXPECT_EQ(samples.rebuilt()[0], '\x01');

    // A tile set: without its listing nothing is built; its top folder and a
    // folder of BMP pictures say what to do instead.
    fs::rename(samples.tiles + "/TILES.txt", samples.tiles + "/listing.txt");
    test::ProgramRun run = samples.quarnel({"build", "TILES/1", "TILES"});
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_NE(run.errors.find("failed TILES/1: tile listing missing (" + samples.tiles + "/TILES.txt)"), std::string::npos)
        << run.errors;
    EXPECT_NE(run.errors.find("failed TILES: a tile set is built from one of its pass folders, e.g. quarnel build " +
                              samples.tiles + "/1"),
              std::string::npos)
        << run.errors;
    EXPECT_FALSE(fs::exists(samples.tiles + "/TILES_new.bts"));
    run = samples.quarnel({"extract", "--bmp", "SAMPLE.spr"});
    ASSERT_EQ(run.exit_status, 0) << run.errors;
    for (const auto& entry : fs::directory_iterator(samples.sprites))
        if (entry.path().extension() == ".png") fs::remove(entry.path());
    run = samples.quarnel({"build", "SAMPLE"});
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_NE(run.errors.find("failed SAMPLE: the builder reads PNG pictures, this folder holds 4 BMP pictures: "
                              "extract the archive again with --png"),
              std::string::npos)
        << run.output << run.errors;
}

TEST(BuildFolder, AStrayCopyIsLeftOutAndAGapIsSaid) {
    ExtractedSamples samples;
    fs::copy_file(samples.sprites + "/0002.png", samples.sprites + "/0002 copy.png");
    fs::copy_file(samples.sprites + "/0001.png", samples.sprites + "/foo.png");
    fs::rename(samples.sprites + "/0004.png", samples.sprites + "/0005.png");
    const test::ProgramRun run = samples.quarnel({"build", "SAMPLE"});
    EXPECT_EQ(run.exit_status, 0) << run.errors;
    EXPECT_TRUE(has_line(run.output, "Znalezono plikow png: 6")) << run.output;
    EXPECT_TRUE(has_line(run.output, "Pominiete pliki png spoza numeracji: 2 | PNG files left out, not named as "
                                     "extraction numbers pictures (0001.png, 0002.png, ...): '0002 copy.png', 'foo.png'"))
        << run.output;
    EXPECT_TRUE(has_line(run.output, "Brak obrazkow w numeracji | pictures missing from the numbering, the pictures "
                                     "after them move up: 0004.png"))
        << run.output;
    // Four pictures, the fourth being 0005.png: the archive is the original.
    EXPECT_NE(run.output.find("built " + samples.sprites + "/SAMPLE_new.spr: 4 pictures"), std::string::npos);
    EXPECT_EQ(samples.rebuilt(), samples.original());
}

// Names and their order without reading a picture: number order, so that
// 10000.png follows 9999.png; only the names extraction writes count.
TEST(BuildFolder, NumberedNamesInNumberOrder) {
    EXPECT_EQ(picture_number("0001.png"), 1u);
    EXPECT_EQ(picture_number("9999.PNG"), 9999u);
    EXPECT_EQ(picture_number("10000.png"), 10000u);
    for (const char* name : {"1.png", "00001.png", "0000.png", "010000.png", "0001 copy.png", "0001.bmp", "x0001.png"})
        EXPECT_EQ(picture_number(name), 0u) << name;

    test::TempDir dir;
    const std::string folder = dir.path() + "/";
    for (const char* name : {"10000.png", "9999.png", "9997.png", "1.png", "0001.png"}) test::write_file(folder + name, "");
    const BuildFolder survey = survey_build_folder(folder, "x");
    EXPECT_EQ(survey.pictures, (std::vector<std::string>{"0001.png", "9997.png", "9999.png", "10000.png"}));
    EXPECT_EQ(survey.left_out, (std::vector<std::string>{"1.png"}));
    ASSERT_EQ(survey.gaps.size(), 2u);
    EXPECT_EQ(number_range_text(survey.gaps[0]), "0002.png to 9996.png");
    EXPECT_EQ(number_range_text(survey.gaps[1]), "9998.png");
    EXPECT_EQ(survey.build_file.state, BuildFileState::missing);
}

TEST(BuildFolder, CheckSaysWhatABuildWouldChange) {
    ExtractedSamples samples;
    const std::string first = samples.sprites + "/0001.png";
    // An editor's transparency: alpha 0 with colour bytes, here in the blank
    // margin at (0, 0). It is blank, so the offsets stay 4 and 2.
    paint(first, {{{0, 0}, 0x00FFFFFFu}, {{1, 1}, 0x00123456u}});
    test::ProgramRun run = samples.quarnel({"check", "SAMPLE", "TILES/1"});
    EXPECT_EQ(run.exit_status, 0) << run.output << run.errors;
    EXPECT_NE(run.output.find("checked SAMPLE: a build keeps every pixel as drawn (4 pictures)"), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("pass folders 2 3 4 5 6 7: the same pictures as this pass"), std::string::npos) << run.output;
    EXPECT_EQ(samples.quarnel({"build", "SAMPLE"}).exit_status, 0);
    EXPECT_EQ(samples.rebuilt(), samples.original());

    // Red square's inside painted over in a red palette.bmp lacks, and a
    // tile of pass 3 edited.
    paint(first, {{{7, 5}, 0xFFFA0505u}, {{8, 5}, 0xFFFA0505u}, {{9, 9}, 0x80FF0000u}});
    paint(samples.tiles + "/3/0002.png", {{{4, 5}, 0xFF00FF00u}});
    run = samples.quarnel({"check", "SAMPLE", "TILES/1"});
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_TRUE(has_line(run.output, "0001.png: colour #FA0505 not in palette.bmp: 2 pixels, first at (7, 5): stored as "
                                     "index 0 (transparent)"))
        << run.output;
    EXPECT_TRUE(has_line(run.output, "0001.png: 1 semi-transparent pixel, first at (9, 9): stored as index 0")) << run.output;
    EXPECT_NE(run.output.find("pass folder 3: 0002.png differs from pass 1 beyond the cycling colours at 1 pixel, "
                              "first at (4, 5)"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.errors.find("failed SAMPLE: a build would not keep every pixel as drawn (3 findings above)"),
              std::string::npos)
        << run.errors;

    // The build names the colours; with --nearest the off-palette red lands
    // on the palette's red (index 1) and the half-transparent red too: the
    // archive is the original again.
    run = samples.quarnel({"build", "SAMPLE"});
    EXPECT_TRUE(has_line(run.output, "uwaga: 3 pikseli w kolorach spoza palety, zapisane jako indeks 0 (przezroczysty) "
                                     "| 3 pixels in colours not in palette.bmp, stored as index 0 (transparent): "
                                     "#FA0505 x2, #FF000080 x1"))
        << run.output;
    EXPECT_NE(samples.rebuilt(), samples.original());
    run = samples.quarnel({"build", "--nearest", "SAMPLE"});
    EXPECT_EQ(run.exit_status, 0) << run.errors;
    EXPECT_NE(run.output.find("3 pixels in colours not in palette.bmp moved to the nearest palette colour: #FA0505 x2 "
                              "-> index 1 #FF0000, #FF000080 x1 -> index 1 #FF0000"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(samples.rebuilt(), samples.original());
    // The same from an interactive start with the option.
    fs::remove(samples.sprites + "/SAMPLE_new.spr");
    run = test::run_program(test::quarnel_path(), {first, "--nearest"}, "", samples.root.path());
    EXPECT_NE(run.output.find("moved to the nearest palette colour"), std::string::npos) << run.output;
    EXPECT_EQ(samples.rebuilt(), samples.original());
}

// The nearest colour never takes index 0, nor in a tile set the cycling
// entries, even when their colour is nearer; a tie goes where exact
// matching would go.
TEST(BuildFolder, NearestColourLeavesIndexZeroAndTheCyclingColours) {
    Palette palette{};
    for (std::size_t i = 0; i < palette.size(); ++i) palette[i] = 0xFF000000u | static_cast<std::uint32_t>(i * 0x010101u);
    palette[0] = 0xFFFF0000u;
    palette[10] = 0xFFE00000u;
    palette[204] = 0xFFFA0000u;
    palette[30] = 0xFFFA0000u;
    const std::uint32_t red = 0xFFFF0101u;
    EXPECT_EQ(NearestColour(palette, PixelStorage::raw, true).index(red), 30);
    EXPECT_EQ(NearestColour(palette, PixelStorage::run_length, false).index(red), 204);
    EXPECT_EQ(NearestColour(palette, PixelStorage::raw, false).index(red), 30);
    palette[30] = 0xFF101010u;
    EXPECT_EQ(NearestColour(palette, PixelStorage::raw, true).index(red), 10);
    // The distance weighs green most: a step of 10 in green is farther than
    // one of 10 in blue or red.
    EXPECT_GT(NearestColour::distance(0xFF808080u, 0xFF808A80u), NearestColour::distance(0xFF808080u, 0xFF8A8080u));
    EXPECT_GT(NearestColour::distance(0xFF808080u, 0xFF808A80u), NearestColour::distance(0xFF808080u, 0xFF80808Au));
}

}  // namespace
}  // namespace quarnel
