// The palette for paint programs (extract --palette-files, option -c): read
// back by an independent reader (Pillow for palette.bmp, the formats' own
// rules for .gpl, .pal and .act), each file holds exactly palette.bmp's
// colours, and each pass folder of a tile set its pass's turned colours.
// Without the option nothing changes; the builder does not take them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "samples/sample_game.h"
#include "support/run_program.h"

namespace quarnel {
namespace {

namespace fs = std::filesystem;

test::ProgramRun check_palette_files(const std::string& folder, int passes) {
    return test::run_program("/usr/bin/python3",
                             {std::string(QUARNEL_SOURCE_DIR) + "/tests/archive/check_palette_files.py", folder,
                              std::to_string(passes)},
                             "");
}

TEST(PaletteFiles, HoldThePaletteImagesColoursInEveryFormat) {
    test::TempDir dir;
    std::string error;
    ASSERT_TRUE(write_sample_game(dir.file("game"), make_sample_game(), error)) << error;
    const std::string game = dir.file("game");

    // Command mode: a tile set, a run-length sprite set and a container.
    test::ProgramRun run = test::run_program_input_open(
        test::quarnel_path(),
        {"extract", "--palette-files", game + "/scenario/DESERT.BTS", game + "/sprites/REAP.SPR",
         game + "/interface/SCREENS.TRC"},
        dir.path());
    test::expect_clean_end(run);
    for (const auto& [folder, passes] : {std::pair{game + "/scenario/DESERT", 7}, std::pair{game + "/sprites/REAP", 0},
                                         std::pair{game + "/interface/SCREENS", 0}}) {
        const test::ProgramRun checked = check_palette_files(folder, passes);
        EXPECT_EQ(checked.exit_status, 0) << folder << ": " << checked.output << checked.errors;
        EXPECT_EQ(checked.output, "ok\n") << folder;
    }
    EXPECT_EQ(fs::file_size(game + "/sprites/REAP/palette.act"), 772u);

    // The builder packs the pictures only.
    run = test::run_program_input_open(test::quarnel_path(), {"build", game + "/sprites/REAP"}, dir.path());
    test::expect_clean_end(run);
    EXPECT_NE(run.output.find("45 pictures"), std::string::npos) << run.output;

    // The interactive job with option -c and its answers piped.
    run = test::run_program(test::quarnel_path(), {game + "/sprites/HOVR.SPR", "-c"}, "t\npng\nx", dir.path());
    test::expect_clean_end(run);
    const test::ProgramRun checked = check_palette_files(game + "/sprites/HOVR", 0);
    EXPECT_EQ(checked.output, "ok\n") << checked.output << checked.errors;

    // Without the option: no palette files.
    run = test::run_program_input_open(test::quarnel_path(), {"extract", game + "/scenario/SWAMP.BTS"}, dir.path());
    test::expect_clean_end(run);
    EXPECT_TRUE(fs::exists(game + "/scenario/SWAMP/palette.bmp"));
    for (const char* name : {"palette.gpl", "palette.pal", "palette.act", "1/palette.gpl"})
        EXPECT_FALSE(fs::exists(game + "/scenario/SWAMP/" + name)) << name;
}

TEST(PaletteFiles, AContainersItemOfThatNameIsNotOverwritten) {
    test::TempDir dir;
    // A named container of one data item called palette.pal (3 bytes).
    std::string trc(8, '\0');
    trc += std::string("\x01\x00", 2);
    trc.resize(32, '\0');
    std::string record = "palette.pal";
    record.resize(20, '\0');
    record += std::string("\x03\x00\x00", 3);
    record.resize(32, '\0');
    trc += record + "abc";
    test::write_file(dir.file("BOX.trc"), trc);
    const test::ProgramRun run =
        test::run_program_input_open(test::quarnel_path(), {"extract", "--palette-files", dir.file("BOX.trc")}, dir.path());
    test::expect_clean_end(run);
    EXPECT_EQ(test::read_file(dir.file("BOX/palette.pal")), "abc");
    EXPECT_NE(run.output.find("palette.pal nie zapisany"), std::string::npos) << run.output;
    EXPECT_TRUE(fs::exists(dir.file("BOX/palette.gpl")));
    EXPECT_TRUE(fs::exists(dir.file("BOX/palette.act")));
}

}  // namespace
}  // namespace quarnel
