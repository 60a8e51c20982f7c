// The viewer run headless from start to end on generated game folders: the
// loading lines, the answers, missing and malformed files, and the loop that
// ends at the end of standard input.
#include <gtest/gtest.h>

#include <filesystem>

#include "mapview_bytes.h"
#include "samples/sample_game.h"
#include "support/run_program.h"

namespace quarnel {
namespace {

namespace fs = std::filesystem;

class MapViewerRun : public ::testing::Test {
protected:
    void SetUp() override {
        game_dir = temp.file("game");
        std::string error;
        ASSERT_TRUE(write_sample_game(game_dir, make_sample_game(), error)) << error;
        // A copy of the program with its own setup file beside it.
        program = temp.file("bin/quarnel");
        fs::create_directories(temp.file("bin"));
        fs::copy_file(test::quarnel_path(), program);
        test::write_file(temp.file("bin/setup.txt"), "DCpath=" + game_dir + "\r\n");
    }

    test::ProgramRun view(const std::string& map_path, const std::string& input) {
        return test::run_program(program, {map_path}, input, temp.path(), 60);
    }

    test::TempDir temp;
    std::string game_dir;
    std::string program;
};

// Checks that the lines appear in this order.
void expect_in_order(const std::string& output, const std::vector<std::string>& lines) {
    std::size_t at = 0;
    for (const auto& line : lines) {
        const std::size_t found = output.find(line, at);
        ASSERT_NE(found, std::string::npos) << "missing, or out of order: " << line << "\n" << output;
        at = found + line.size();
    }
}

TEST_F(MapViewerRun, LoadsTheSampleGameAndEndsAtTheEndOfInput) {
    // Answers, the key that starts the view, then keys for a few passes:
    // arrows, grid, markers, directions and actions.
    const auto run = view(sample_map_path(game_dir), "REAP\ndesert\nx\x1b[C\x1b[B\x1b[Aqwwf9d1m2");
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.exit_status, 0) << run.errors;
    expect_in_order(run.output, {"Podaj nazwe jednostki: (drukowanymi literami np. TRSC) REAP\r\n",
                                 "wielkosc: " + std::to_string(make_sample_game().unit_animations.size()) + "\r\n",
                                 "choose type of tile-set: (desert, jungle...) desert\r\n",
                                 "wczytano obrazki: 11\r\n", "x: 40, y: 30\r\n", "mapa: 40x30\r\n",
                                 "wczytano mape - wcisnij dowolny klawisz\r\n", "Nacisnij dowolny klawisz.\r\n"});
    EXPECT_EQ(run.output.find("Error"), std::string::npos);
}

TEST_F(MapViewerRun, AnEmptyUnitNameMeansReapAndNamesIgnoreLetterCase) {
    const auto run = view(sample_map_path(game_dir), "\nDeSeRt\n");
    EXPECT_EQ(run.exit_status, 0);
    expect_in_order(run.output, {"wielkosc: ", "wczytano obrazki: 11\r\n", "mapa: 40x30\r\n",
                                 "wczytano mape - wcisnij dowolny klawisz\r\n", "Nacisnij dowolny klawisz.\r\n"});
}

TEST_F(MapViewerRun, AMissingTileSetIsNamedAndTheViewerEnds) {
    const auto run = view(sample_map_path(game_dir), "REAP\njungle\n");
    EXPECT_EQ(run.exit_status, 0);
    expect_in_order(run.output, {"wielkosc: ", "Error: no file with tiles | brak pliku .bts\r\n",
                                 "nie ma pliku | missing file: ", "jungle.bts", "Nacisnij dowolny klawisz.\r\n"});
    EXPECT_EQ(run.output.find("wczytano obrazki"), std::string::npos);
    EXPECT_EQ(run.output.find("mapa: "), std::string::npos);
}

TEST_F(MapViewerRun, AMissingUnitIsNamedAndTheViewerEnds) {
    const auto run = view(sample_map_path(game_dir), "TANK\ndesert\n");
    EXPECT_EQ(run.exit_status, 0);
    expect_in_order(run.output, {"Error: no unit sprite file | brak pliku .spr: ", "TANK.spr\r\n",
                                 "Nacisnij dowolny klawisz.\r\n"});
    EXPECT_EQ(run.output.find("wielkosc"), std::string::npos);
    EXPECT_EQ(run.output.find("choose type of tile-set"), std::string::npos);
}

TEST_F(MapViewerRun, AMissingAnimationDescriptionIsNamedAndTheViewerEnds) {
    fs::remove(game_dir + "/animate/REAP.FIN");
    const auto run = view(sample_map_path(game_dir), "REAP\ndesert\n");
    EXPECT_EQ(run.exit_status, 0);
    expect_in_order(run.output, {"Error: no animation file | brak pliku .fin: ", "REAP.fin\r\n",
                                 "Nacisnij dowolny klawisz.\r\n"});
    EXPECT_EQ(run.output.find("wczytano mape"), std::string::npos);
}

TEST_F(MapViewerRun, AShortMapIsRefused) {
    std::string map = test::read_file(sample_map_path(game_dir));
    map.resize(map.size() - 1);
    test::write_file(temp.file("short.map"), map);
    const auto run = view(temp.file("short.map"), "REAP\ndesert\nx");
    EXPECT_EQ(run.exit_status, 0);
    expect_in_order(run.output, {"x: 40, y: 30\r\n", "mapa: 40x30\r\n",
                                 "Error: the map is shorter than its header says | mapa jest krotsza niz podaje "
                                 "naglowek\r\n",
                                 "Nacisnij dowolny klawisz.\r\n"});
    EXPECT_EQ(run.output.find("wczytano mape"), std::string::npos);
}

TEST_F(MapViewerRun, ASmallMapIsShownAndScrollingKeysDoNothingHarmful) {
    // 3 x 2 cells of keys no tile has, and an overlay.
    const test::Bytes map = test::map_bytes(3, 2, {{1, 2, 0x40, 0x31}, {5, 0, 0x20, 0x02}});
    test::write_file(temp.file("small.map"), std::string(map.begin(), map.end()));
    const auto run = view(temp.file("small.map"), "REAP\ndesert\nx\x1b[C\x1b[C\x1b[Bwwq");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_FALSE(run.timed_out);
    expect_in_order(run.output, {"mapa: 3x2\r\n", "wczytano mape - wcisnij dowolny klawisz\r\n",
                                 "Nacisnij dowolny klawisz.\r\n"});
}

TEST_F(MapViewerRun, WithoutAGameDirectoryTheUnitIsReportedMissing) {
    fs::remove(temp.file("bin/setup.txt"));
    const auto run = view(sample_map_path(game_dir), "REAP\ndesert\n");
    EXPECT_EQ(run.exit_status, 0);
    expect_in_order(run.output, {"No setup file!", "Error: no unit sprite file | brak pliku .spr: ",
                                 "Nacisnij dowolny klawisz.\r\n"});
}

TEST_F(MapViewerRun, NoInputAtAllEndsEveryWait) {
    const auto run = view(sample_map_path(game_dir), "");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_FALSE(run.timed_out);
    EXPECT_NE(run.output.find("Nacisnij dowolny klawisz.\r\n"), std::string::npos);
}

}  // namespace
}  // namespace quarnel
