// quarnel's command mode end to end, the way a script meets it: standard
// input open and never written, and a live X display in DISPLAY when Xvfb
// is installed. Every run must end by itself, and the files written must
// equal those of the interactive jobs given the matching answers.
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "anim/report_fixtures.h"
#include "archive/sprite_archive.h"
#include "entry/version.h"
#include "samples/sample_archive.h"
#include "samples/sample_game.h"
#include "support/run_program.h"
#include "support/x_display.h"

namespace quarnel {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

void put_u16(Bytes& b, std::uint16_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

void write_bytes(const std::string& path, const Bytes& bytes) {
    test::write_file(path, std::string(bytes.begin(), bytes.end()));
}

Bytes container_header(std::uint16_t count) {
    Bytes b(container_count_offset, 0);
    put_u16(b, count);
    b.resize(container_header_size, 0);
    return b;
}

// Six archives, one of every kind (two sprite sets: run-length and raw),
// written into folder; the answers the interactive job takes for each.
std::map<std::string, std::string> write_archives(const std::string& folder) {
    const auto palette = sample_palette_block();
    write_bytes(folder + "/SAMPLE.spr", write_sprite_set(palette, sample_sprites(), true));
    write_bytes(folder + "/PLAIN.spr", write_sprite_set(palette, sample_sprites(), false));
    write_bytes(folder + "/TILES.bts", write_tile_set(0x13EC, palette, sample_tiles(3)));

    Bytes trs = container_header(2);  // images of 2 x 1 and 1 x 2
    for (const auto& [w, h] : {std::pair{2, 1}, std::pair{1, 2}}) {
        Bytes record(trs_record_size, 0);
        record[4] = static_cast<std::uint8_t>(w);
        record[6] = static_cast<std::uint8_t>(h);
        trs.insert(trs.end(), record.begin(), record.end());
    }
    trs.insert(trs.end(), {5, 6, 7, 8});
    write_bytes(folder + "/IMG.trs", trs);

    Bytes trc = container_header(2);  // a picture and the palette it finds
    for (const auto& [name, size] : {std::pair{std::string("LOGO.SPR"), 0}, std::pair{std::string("LOGO.PAL"), 768}}) {
        Bytes record(trc_record_size, 0);
        std::copy(name.begin(), name.end(), record.begin());
        record[20] = static_cast<std::uint8_t>(size);
        record[21] = static_cast<std::uint8_t>(size >> 8);
        trc.insert(trc.end(), record.begin(), record.end());
    }
    put_u16(trc, 3);
    put_u16(trc, 1);
    trc.resize(trc.size() + 8, 0);
    trc.insert(trc.end(), {7, 7, 7});
    Bytes pal(768, 0);
    pal[21] = 40;
    trc.insert(trc.end(), pal.begin(), pal.end());
    write_bytes(folder + "/MENU.trc", trc);

    Bytes trw = container_header(2);
    for (const std::uint8_t size : {std::uint8_t{2}, std::uint8_t{3}}) {
        Bytes record(trw_record_size, 0);
        record[4] = size;
        trw.insert(trw.end(), record.begin(), record.end());
    }
    trw.insert(trw.end(), {1, 2, 3, 4, 5});
    write_bytes(folder + "/SND.trw", trw);

    return {{"SAMPLE.spr", "t\npng\n"}, {"PLAIN.spr", "t\npng\n"}, {"TILES.bts", "png\n"},
            {"IMG.trs", "png\n"},       {"MENU.trc", "png\n"},     {"SND.trw", "png\n"}};
}

// Runs against a private X display when one can be started: command mode
// must not open a window or wait for one whatever DISPLAY says.
class CommandMode : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (test::XDisplay::missing_programs(false).empty()) display_ = std::make_unique<test::XDisplay>();
        if (!display_ || !display_->started()) std::cerr << "No X display could be started: the runs are headless.\n";
    }
    static void TearDownTestSuite() { display_.reset(); }

    test::TempDir dir;

    std::string path(const std::string& name) const { return dir.file(name); }

    test::ProgramRun command(const std::string& program, const std::vector<std::string>& words,
                             const std::string& working_dir) const {
        const std::string live = display_ && display_->started() ? display_->name() : std::string();
        return test::run_program_input_open(program, words, working_dir, live, 60,
                                            {"XDG_CONFIG_HOME=" + dir.path() + "/no-config"});
    }
    test::ProgramRun quarnel(const std::vector<std::string>& words, const std::string& working_dir) const {
        return command(test::quarnel_path(), words, working_dir);
    }
    // The interactive job on one file, headless, with its answers piped.
    void interactive(const std::vector<std::string>& words, const std::string& answers,
                     const std::string& working_dir) const {
        const test::ProgramRun run = test::run_program(test::quarnel_path(), words, answers, working_dir);
        test::expect_clean_end(run);
    }

    static std::unique_ptr<test::XDisplay> display_;
};

std::unique_ptr<test::XDisplay> CommandMode::display_;

TEST_F(CommandMode, HelpVersionAndUsageErrors) {
    auto run = quarnel({"--help"}, dir.path());
    test::expect_clean_end(run);
    for (const char* word : {"quarnel FILE", "quarnel extract", "quarnel build", "quarnel check", "quarnel report",
                             "quarnel map", "quarnel view", "--version", "--nearest"})
        EXPECT_NE(run.output.find(word), std::string::npos) << word;

    run = quarnel({"--version"}, dir.path());
    test::expect_clean_end(run);
    EXPECT_EQ(run.output, "quarnel " + std::string(program_version) + "\n");
    run = command(test::bytediff_path(), {"--version"}, dir.path());
    test::expect_clean_end(run);
    EXPECT_EQ(run.output, "bytediff " + std::string(program_version) + "\n");
    run = command(test::bytediff_path(), {"--help"}, dir.path());
    test::expect_clean_end(run);
    EXPECT_NE(run.output.find("bytediff FILE1 FILE2"), std::string::npos);

    // Usage errors: status 2, a usage line on standard error, nothing done.
    const std::vector<std::vector<std::string>> wrong = {
        {"extract", "--frobnicate", "x.spr"}, {"extract"}, {"extract", "--raw", "3", "16"},
        {"report", "--skip"},                 {"build"},   {"map", "x.map"}, {"check", "--frobnicate", "x"},
        {"map", "x.map", "--tiles", "desert", "--markers", "3"}};
    for (const auto& words : wrong) {
        run = quarnel(words, dir.path());
        EXPECT_FALSE(run.timed_out);
        EXPECT_EQ(run.exit_status, 2) << words[0] << " " << run.output << run.errors;
        EXPECT_NE(run.errors.find("Usage: quarnel " + words[0]), std::string::npos) << run.errors;
    }
    run = command(test::bytediff_path(), {"only-one"}, dir.path());
    EXPECT_EQ(run.exit_status, 2);
    EXPECT_NE(run.errors.find("Usage: bytediff"), std::string::npos);
    EXPECT_EQ(test::file_tree(dir.path()).size(), 0u);
}

TEST_F(CommandMode, ExtractOfEveryKindWritesWhatTheInteractiveJobWrites) {
    fs::create_directories(path("asked"));
    fs::create_directories(path("given"));
    const auto archives = write_archives(path("asked"));
    write_archives(path("given"));
    std::vector<std::string> words = {"extract"};
    for (const auto& [name, answers] : archives) {
        interactive({name}, answers, path("asked"));
        words.push_back(name);
    }
    const auto run = quarnel(words, path("given"));
    test::expect_clean_end(run);
    EXPECT_EQ(test::file_tree(path("given")), test::file_tree(path("asked")));
    EXPECT_NE(run.output.find("extracted SAMPLE.spr: 4 files in " + fs::canonical(path("given")).string() + "/SAMPLE/\r\n"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("extracted MENU.trc: 2 files in "), std::string::npos);
    // Nothing was asked and no key was waited for.
    EXPECT_EQ(run.output.find("Centrowac"), std::string::npos);
    EXPECT_EQ(run.output.find("Nacisnij dowolny klawisz."), std::string::npos);
}

TEST_F(CommandMode, BuildReportAndRawAsTheInteractiveJobsWithFailuresCounted) {
    for (const std::string side : {"asked", "given"}) {
        fs::create_directories(path(side));
        const auto palette = sample_palette_block();
        write_bytes(path(side + "/SAMPLE.spr"), write_sprite_set(palette, sample_sprites(), true));
        write_bytes(path(side + "/PLAIN.spr"), write_sprite_set(palette, sample_sprites(), false));
        test::write_file(path(side + "/UNIT.fin"), test::make_fin(test::sample_with_blocks()));
        Bytes raw(3 * 16 * 16);
        for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<std::uint8_t>(i * 7);
        write_bytes(path(side + "/data.bin"), raw);
    }
    // The interactive jobs, one start each.
    interactive({"SAMPLE.spr"}, "t\npng\n", path("asked"));
    interactive({"PLAIN.spr"}, "n\npng\n", path("asked"));
    interactive({"SAMPLE/0001.png"}, "", path("asked"));
    interactive({"PLAIN/0001.png"}, "", path("asked"));
    interactive({"UNIT.fin"}, "BLOOD\n", path("asked"));
    interactive({"data.bin", "-r"}, "bmp\n3\n16\n16\n", path("asked"));

    auto run = quarnel({"extract", "SAMPLE.spr"}, path("given"));
    test::expect_clean_end(run);
    run = quarnel({"extract", "--no-centre", "PLAIN.spr"}, path("given"));
    test::expect_clean_end(run);
    // A folder, and a picture standing for its folder.
    run = quarnel({"build", "SAMPLE", "PLAIN/0001.png"}, path("given"));
    test::expect_clean_end(run);
    EXPECT_NE(run.output.find("built " + fs::canonical(path("given")).string() + "/SAMPLE/SAMPLE_new.spr: 4 pictures, "),
              std::string::npos)
        << run.output;
    run = quarnel({"report", "--skip", "BLOOD", "UNIT.fin"}, path("given"));
    test::expect_clean_end(run);
    run = quarnel({"extract", "--bmp", "--raw", "3", "16", "16", "data.bin"}, path("given"));
    test::expect_clean_end(run);
    EXPECT_EQ(test::file_tree(path("given")), test::file_tree(path("asked")));
    EXPECT_EQ(test::read_file(path("given/UNIT/UNIT.txt")), test::sample_with_blocks_report_skipping_blood());
    EXPECT_EQ(test::read_file(path("given/SAMPLE/SAMPLE_new.spr")), test::read_file(path("given/SAMPLE.spr")));

    // A missing file among good ones: status 1, the good ones done, the
    // failure named on standard error.
    fs::remove_all(path("given/UNIT"));
    run = quarnel({"report", "--skip", "BLOOD", "missing.fin", "UNIT.fin", "SAMPLE.spr"}, path("given"));
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(test::read_file(path("given/UNIT/UNIT.txt")), test::read_file(path("asked/UNIT/UNIT.txt")));
    EXPECT_NE(run.errors.find("failed missing.fin: "), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find("failed SAMPLE.spr: not an animation description"), std::string::npos) << run.errors;
    // -p takes the palette image as given, here from the current folder.
    fs::create_directories(path("other"));
    auto other_palette = sample_palette_block();
    for (std::size_t i = 0; i < 48; ++i) other_palette[i] = static_cast<std::uint8_t>(63 - i);
    write_bytes(path("other/OTHER.spr"), write_sprite_set(other_palette, sample_sprites(), true));
    test::expect_clean_end(quarnel({"extract", "OTHER.spr"}, path("other")));
    run = quarnel({"extract", "-p", "../other/OTHER/palette.bmp", "UNIT.fin", "PLAIN.spr"}, path("given"));
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_NE(run.errors.find("failed UNIT.fin: not an archive"), std::string::npos) << run.errors;
    EXPECT_EQ(test::read_file(path("given/PLAIN/palette.bmp")), test::read_file(path("other/OTHER/palette.bmp")));
    EXPECT_NE(test::read_file(path("given/PLAIN/palette.bmp")), test::read_file(path("asked/PLAIN/palette.bmp")));
    run = quarnel({"build", "no-such-folder", "SAMPLE"}, path("given"));
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_NE(run.output.find("built "), std::string::npos);
}

TEST_F(CommandMode, MapAndViewAskNothing) {
    const SampleGame game = make_sample_game();
    std::string error;
    ASSERT_TRUE(write_sample_game(path("game"), game, error)) << error;
    fs::create_directories(path("no-config/quarnel"));
    test::write_file(path("no-config/quarnel/setup.txt"), "DCpath=" + path("game") + "\r\n");
    // A copy of the program, so that no setup.txt beside the built one is read first.
    fs::copy_file(test::quarnel_path(), path("quarnel"));
    fs::permissions(path("quarnel"), fs::perms::owner_all);
    const std::string map = sample_map_path(path("game"));
    auto run = command(path("quarnel"), {"map", map, "--tiles", "desert", "--png", "whole.png"}, dir.path());
    test::expect_clean_end(run);
    EXPECT_TRUE(fs::exists(path("whole.png")));
    // The viewer shows a window and runs until Escape; a tile set that is
    // not there ends it at once, with no question asked and no key waited for.
    run = command(path("quarnel"), {"view", map, "--unit", "REAP", "--tiles", "arctic"}, dir.path());
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.exit_status, 1);
    // (The job's own lines go to the window when one opened.)
    EXPECT_NE(run.errors.find("failed " + map + ": the map could not be shown"), std::string::npos) << run.errors;
    EXPECT_EQ(run.output.find("Podaj nazwe jednostki"), std::string::npos);
}

TEST_F(CommandMode, BytediffStatusAsCmp) {
    test::write_file(path("a"), "abc");
    test::write_file(path("b"), "abc");
    test::write_file(path("c"), "abd");
    test::write_file(path("d"), "abcd");
    auto run = command(test::bytediff_path(), {"a", "b"}, dir.path());
    test::expect_clean_end(run);
    EXPECT_NE(run.output.find("Files are identical\r\n"), std::string::npos);
    run = command(test::bytediff_path(), {"a", "c"}, dir.path());
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_NE(run.output.find("roznica, bajt nr: 3  bajty: 99 <> 100   chr: c <> d\r\n"), std::string::npos);
    run = command(test::bytediff_path(), {"a", "d"}, dir.path());
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_NE(run.output.find("Dlugosci rozne | the lengths differ: 3 <> 4 bytes\r\nFiles are different\r\n"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(run.output.find("press 'q'"), std::string::npos);
    // A missing name is not created, and is trouble as for cmp.
    run = command(test::bytediff_path(), {"a", "missing"}, dir.path());
    EXPECT_EQ(run.exit_status, 2);
    EXPECT_FALSE(fs::exists(path("missing")));
}

}  // namespace
}  // namespace quarnel
