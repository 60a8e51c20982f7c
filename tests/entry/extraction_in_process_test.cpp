// Extraction in-process, through each front-end: the interactive start with
// its questions answered by the test, and command mode with two archives
// side by side. The jobs' lines come to the test's own sinks and the files
// are compared byte for byte; no program is started.
#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "entry/command_mode.h"
#include "entry/startup.h"
#include "runtime/platform/files.h"
#include "samples/sample_archive.h"
#include "support/run_program.h"

namespace quarnel {
namespace {

namespace fs = std::filesystem;

// Two folders of the same two sample archives, one for each front-end.
struct Archives {
    test::TempDir dir;
    std::string folder(const std::string& name) const { return fs::canonical(dir.path()).string() + "/" + name; }
    Archives() {
        const auto block = sample_palette_block();
        for (const std::string name : {"asked", "commanded"}) {
            fs::create_directories(dir.file(name));
            EXPECT_TRUE(write_whole_file(dir.file(name + "/SAMPLE.spr"), write_sprite_set(block, sample_sprites(), true)));
            EXPECT_TRUE(write_whole_file(dir.file(name + "/TILES.bts"), write_tile_set(0x1770, block, sample_tiles(6))));
        }
    }
};

TEST(ExtractionInProcess, TheInteractiveStartAndCommandModeGiveTheSameLinesAndFiles) {
    Archives archives;

    // The interactive start: the questions asked, in order, and the lines.
    std::vector<std::string> asked_lines, questions;
    std::deque<std::string> answers = {"t", "png"};
    StartConsole console;
    console.say = [&](std::string_view line) { asked_lines.emplace_back(line); };
    console.ask = [&](std::string_view prompt, bool) {
        questions.emplace_back(prompt);
        std::string answer = answers.empty() ? std::string() : answers.front();
        if (!answers.empty()) answers.pop_front();
        return answer;
    };
    bool screen_opened = false;
    console.open_screen = [&](int) { screen_opened = true; };
    console.choose_file = [](std::string_view, std::string_view) { return std::string(); };
    const std::string asked = archives.folder("asked");
    run_interactive({"quarnel", asked + "/SAMPLE.spr"}, archives.dir.path(), console);
    EXPECT_TRUE(screen_opened);
    EXPECT_EQ(questions, (std::vector<std::string>{"Centrowac grafike? (t/n) - jedynie DC", "Tworzyc png czy bmp"}));
    ASSERT_GE(asked_lines.size(), 5u);
    EXPECT_EQ(asked_lines.front(), ".spr to .bmp converter for Dark Colony.. author: tarnwicker");
    EXPECT_EQ(asked_lines[1], "katalog: '" + asked + "/'");
    EXPECT_EQ(asked_lines.back(), "Nacisnij dowolny klawisz.");
    EXPECT_NE(std::find(asked_lines.begin(), asked_lines.end(), "Naglowek: 129 0"), asked_lines.end());

    // Command mode: both archives side by side, each one's lines together in
    // the order given, the standard error untouched.
    setenv("QUARNEL_THREADS", "2", 1);
    std::vector<std::string> commanded_lines;
    std::string errors;
    const CommandConsole command_console{[&](std::string_view line) { commanded_lines.emplace_back(line); },
                                         [&](std::string_view text) { errors += text; }};
    const std::string commanded = archives.folder("commanded");
    const int status =
        run_command({"extract", commanded + "/SAMPLE.spr", commanded + "/TILES.bts"}, command_console);
    unsetenv("QUARNEL_THREADS");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(errors, "");

    // The sprite set's lines are those of the interactive start between its
    // banner and its closing line (less the setup file's), with the folder
    // changed, and then the line that says it was done.
    std::vector<std::string> expected;
    for (std::size_t i = 1; i + 1 < asked_lines.size(); ++i) {
        if (asked_lines[i] == "No setup file!") continue;
        std::string line = asked_lines[i];
        for (std::size_t at = line.find(asked); at != std::string::npos; at = line.find(asked, at + 1))
            line.replace(at, asked.size(), commanded);
        expected.push_back(line == "koncowka: 'asked'" ? "koncowka: 'commanded'" : line);
    }
    expected.push_back("extracted " + commanded + "/SAMPLE.spr: 4 files in " + commanded + "/SAMPLE/");
    ASSERT_GT(commanded_lines.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(commanded_lines.begin(), commanded_lines.begin() + expected.size()), expected);
    EXPECT_EQ(commanded_lines[expected.size()], "katalog: '" + commanded + "/'");
    EXPECT_EQ(commanded_lines.back(), "extracted " + commanded + "/TILES.bts: 42 files in " + commanded + "/TILES/");

    // The same files, byte for byte.
    const auto asked_files = test::file_tree(asked + "/SAMPLE", false);
    EXPECT_EQ(asked_files.size(), 7u);  // four pictures, build.txt, palette.bmp, pal_used.bmp
    EXPECT_EQ(asked_files, test::file_tree(commanded + "/SAMPLE", false));
    EXPECT_EQ(test::file_tree(commanded + "/TILES", false).size(), 42u + 4);  // pictures, listing, build.txt, palettes
}

}  // namespace
}  // namespace quarnel
