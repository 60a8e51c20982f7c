// quarnel catalogue end to end: the sample game's site with its progress
// lines; a second run replaces only what the first one wrote; damaged and
// refused files get their line on their page and on the console while the
// rest goes on; nothing is written outside the output folder. (The pages
// in a browser: tests/browser.)
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "samples/sample_game.h"
#include "support/run_program.h"
#include "support/sample_game_test.h"

namespace quarnel {
namespace {

namespace fs = std::filesystem;

test::ProgramRun catalogue(const std::vector<std::string>& words, const std::string& where) {
    std::vector<std::string> all = {"catalogue"};
    all.insert(all.end(), words.begin(), words.end());
    return test::run_program_input_open(test::quarnel_path(), all, where);
}

using Catalogue = test::SampleGameTest;

TEST_F(Catalogue, TheSampleGameAndASecondRunThatReplacesOnlyItsOwnFiles) {
    const auto game_before = test::file_tree(game());
    test::ProgramRun run = catalogue({game(), "--out", dir.file("site")}, dir.path());
    test::expect_clean_end(run);
    for (const char* line : {"[1/11] interface/ICONS.TRS\r\n", "[4/11] scenario/DESERT.BTS\r\n",
                             "[9/11] animate/REAP.FIN\r\n", "[11/11] scenario/SWAMP.MAP\r\n"})
        EXPECT_NE(run.output.find(line), std::string::npos) << line << run.output;
    EXPECT_NE(run.output.find("catalogued "), std::string::npos);
    EXPECT_EQ(test::file_tree(game()), game_before);  // nothing written in the game folder
    const auto site = test::file_tree(dir.file("site"));
    for (const char* file : {"index.html", "palettes.html", "style.css", "archive-004-DESERT_BTS.html",
                             "img/archive-004-DESERT_BTS-1.png", "unit-008-HOVR_FIN.html", "map-011-SWAMP_MAP.html",
                             "img/map-011-SWAMP_MAP.png", "units/unit-009-REAP_FIN/00_REAPMOVE0.png"})
        EXPECT_EQ(site.count(file), 1u) << file;
    // Each map is drawn with the tile set that knows its keys.
    EXPECT_NE(site.at("map-011-SWAMP_MAP.html").find("Drawn with the tile set <a href=\"archive-005-SWAMP_BTS.html\">"),
              std::string::npos);
    EXPECT_NE(site.at("map-010-SAMPLE_MAP.html").find("Drawn with the tile set <a href=\"archive-004-DESERT_BTS.html\">"),
              std::string::npos);

    // The modder's own files in the folder; the game loses a map.
    test::write_file(dir.file("site/notes.txt"), "mine");
    test::write_file(dir.file("site/img/mine.png"), "mine too");
    fs::remove(game() + "/scenario/SWAMP.MAP");
    run = catalogue({game(), "--out", dir.file("site")}, dir.path());
    test::expect_clean_end(run);
    EXPECT_NE(run.output.find("[10/10] scenario/SAMPLE.MAP"), std::string::npos) << run.output;
    EXPECT_EQ(test::read_file(dir.file("site/notes.txt")), "mine");
    EXPECT_EQ(test::read_file(dir.file("site/img/mine.png")), "mine too");
    EXPECT_FALSE(fs::exists(dir.file("site/map-011-SWAMP_MAP.html")));  // the earlier run's page
    EXPECT_FALSE(fs::exists(dir.file("site/img/map-011-SWAMP_MAP.png")));
    EXPECT_TRUE(fs::exists(dir.file("site/map-010-SAMPLE_MAP.html")));

    // A folder the catalogue never wrote: a file of one of its names stays.
    fs::create_directories(dir.file("other"));
    test::write_file(dir.file("other/index.html"), "<p>my own front page</p>");
    run = catalogue({game(), "--out", dir.file("other")}, dir.path());
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_NE(run.output.find("index.html was not written by the catalogue - left as it is"), std::string::npos)
        << run.output;
    EXPECT_EQ(test::read_file(dir.file("other/index.html")), "<p>my own front page</p>");
    EXPECT_TRUE(fs::exists(dir.file("other/palettes.html")));
}

TEST_F(Catalogue, DamagedAndRefusedFilesGetTheirLineAndTheRestGoesOn) {
    // A sprite set cut short, a map of keys no tile set knows, a unit whose
    // sprite set is missing.
    const std::string reap = test::read_file(game() + "/sprites/REAP.SPR");
    test::write_file(game() + "/sprites/CUT.SPR", reap.substr(0, reap.size() / 2));
    std::string map(8 + 6 * 4, '\0');
    map[0] = 2;
    map[4] = 2;
    for (int k = 0; k < 4; ++k) map[static_cast<std::size_t>(8 + 4 * k)] = static_cast<char>(0xEE);
    test::write_file(game() + "/scenario/ALIEN.MAP", map);
    fs::copy_file(game() + "/animate/HOVR.FIN", game() + "/animate/GHOST.FIN");
    const auto game_before = test::file_tree(game());

    const test::ProgramRun run = catalogue({game(), "--out", dir.file("site")}, dir.path());
    EXPECT_EQ(run.exit_status, 1) << run.output << run.errors;
    EXPECT_NE(run.output.find("[14/14] scenario/SWAMP.MAP"), std::string::npos) << run.output;
    const std::vector<std::string> lines = {"sprites/CUT.SPR: the file ends inside image",
                                            "scenario/ALIEN.MAP: no tile set of the game knows any of its 1 ground keys",
                                            "animate/GHOST.FIN: no sprite set GHOST.spr"};
    const auto site = test::file_tree(dir.file("site"));
    for (const std::string& line : lines) {
        EXPECT_NE(run.output.find(line), std::string::npos) << line;
        bool on_a_page = false;
        for (const auto& [name, bytes] : site)
            if (name.ends_with(".html") && bytes.find(line) != std::string::npos) on_a_page = true;
        EXPECT_TRUE(on_a_page) << line;
    }
    EXPECT_NE(run.errors.find("failed "), std::string::npos);
    EXPECT_EQ(site.count("img/map-013-SAMPLE_MAP.png"), 1u);  // the rest went on
    EXPECT_EQ(test::file_tree(game()), game_before);

    // A folder with no archives: its line, and a front page that says so.
    fs::create_directories(dir.file("empty"));
    const test::ProgramRun empty = catalogue({dir.file("empty"), "--out", dir.file("empty-site")}, dir.path());
    EXPECT_EQ(empty.exit_status, 1);
    EXPECT_NE(empty.output.find("no archives (.spr .bts .trs .trc .trw) under"), std::string::npos) << empty.output;
    EXPECT_TRUE(fs::exists(dir.file("empty-site/index.html")));
}

}  // namespace
}  // namespace quarnel
