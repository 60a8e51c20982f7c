// Input selection and the setup file, called in-process so that what they
// give the jobs can be checked directly.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "entry/setup_file.h"
#include "entry/startup.h"
#include "runtime/platform/files.h"
#include "support/run_program.h"

using namespace quarnel;
using quarnel::test::TempDir;
using quarnel::test::write_file;

namespace {

// Runs select_input with the given words after the program name, from the
// given current folder.
struct Selected {
    InputKind kind;
    Selection state;
};

Selected select_with(const std::vector<std::string>& words, const std::string& current_dir) {
    std::vector<std::string> arguments = {"quarnel"};
    arguments.insert(arguments.end(), words.begin(), words.end());
    StartConsole console = program_start_console();
    console.choose_file = [](std::string_view, std::string_view) { return std::string(); };
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(current_dir);
    const Selection selection = select_input(arguments, program_directory(), console);
    std::filesystem::current_path(previous);
    return {selection.input.kind, selection};
}

// The real path of a temporary folder (the system's temp folder may be a link).
std::string real(const std::string& path) { return std::filesystem::canonical(path).string(); }

}  // namespace

TEST(SelectInput, UpperCaseExtensionInTheCurrentFolder) {
    TempDir dir;
    write_file(dir.file("a.SPR"), "x");
    const auto [kind, state] = select_with({"a.SPR"}, dir.path());
    const std::string folder = real(dir.path());
    EXPECT_EQ(kind, InputKind::archive);
    EXPECT_EQ(state.input.archive_kind, ArchiveKind::sprite_set);
    EXPECT_EQ(state.input.path, folder + "/a.SPR");  // made absolute
    EXPECT_EQ(state.input.dir, folder + "/");
    EXPECT_EQ(state.input.folder_name, std::filesystem::path(folder).filename().string());
    EXPECT_EQ(state.input.base_name, "a");
    EXPECT_FALSE(state.options.palette_image_given);
    EXPECT_EQ(state.options.palette_image, "");
}

TEST(SelectInput, PaletteOptionAndExtensionWinsOverRaw) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("x/y"));
    write_file(dir.file("x/y/z.bts"), "x");
    const auto [kind, state] = select_with({dir.file("x/y/z.bts"), "-p", "pal.bmp", "-r"}, "/");
    EXPECT_EQ(kind, InputKind::archive);
    EXPECT_TRUE(state.options.palette_image_given);
    EXPECT_EQ(state.options.palette_image, "pal.bmp");
    EXPECT_EQ(state.input.archive_kind, ArchiveKind::tile_set);  // .bts overrides -r
    EXPECT_EQ(state.input.folder_name, "y");
    EXPECT_EQ(state.input.dir, real(dir.path()) + "/x/y/");
    EXPECT_EQ(state.input.base_name, "z");
}

TEST(SelectInput, RawDataOnlyWithTheOption) {
    TempDir dir;
    write_file(dir.file("data.raw"), "x");
    auto with_option = select_with({"data.raw", "-r"}, dir.path());
    EXPECT_EQ(with_option.kind, InputKind::archive);
    EXPECT_EQ(with_option.state.input.archive_kind, ArchiveKind::raw_data);
    auto without = select_with({"data.raw"}, dir.path());
    EXPECT_EQ(without.kind, InputKind::unknown);
    // Options are whole, case-sensitive words.
    EXPECT_EQ(select_with({"data.raw", "-R"}, dir.path()).kind, InputKind::unknown);
    EXPECT_EQ(select_with({"data.raw", "-r "}, dir.path()).kind, InputKind::unknown);
}

TEST(SelectInput, PaletteOptionLastGivesEmptyName) {
    TempDir dir;
    write_file(dir.file("u.spr"), "x");
    const auto [kind, state] = select_with({"u.spr", "-p"}, dir.path());
    EXPECT_EQ(kind, InputKind::archive);
    EXPECT_TRUE(state.options.palette_image_given);
    EXPECT_EQ(state.options.palette_image, "");
}

TEST(SelectInput, WordAfterPaletteOptionIsScannedToo) {
    TempDir dir;
    write_file(dir.file("raw.bin"), "x");
    const auto [kind, state] = select_with({"raw.bin", "-p", "-r"}, dir.path());
    EXPECT_EQ(state.options.palette_image, "-r");
    EXPECT_EQ(state.input.archive_kind, ArchiveKind::raw_data);
    EXPECT_EQ(kind, InputKind::archive);
}

TEST(SelectInput, EmptyArgumentEndsTheOptionScan) {
    TempDir dir;
    write_file(dir.file("raw.bin"), "x");
    const auto [kind, state] = select_with({"raw.bin", "", "-r"}, dir.path());
    EXPECT_EQ(kind, InputKind::unknown);
}

TEST(SelectInput, EveryKnownExtension) {
    TempDir dir;
    const std::vector<std::pair<std::string, std::pair<InputKind, ArchiveKind>>> cases = {
        {"m.MAP", {InputKind::scenario_map, ArchiveKind::sprite_set}}, {"a.fin", {InputKind::animation, ArchiveKind::sprite_set}},
        {"p.Png", {InputKind::picture, ArchiveKind::sprite_set}}, {"t.trs", {InputKind::archive, ArchiveKind::trs}},
        {"c.TRC", {InputKind::archive, ArchiveKind::trc}},        {"w.trw", {InputKind::archive, ArchiveKind::trw}},
    };
    for (const auto& [name, expected] : cases) {
        write_file(dir.file(name), "x");
        const auto [kind, state] = select_with({name}, dir.path());
        EXPECT_EQ(kind, expected.first) << name;
        EXPECT_EQ(state.input.archive_kind, expected.second) << name;
    }
}

TEST(SelectInput, MissingFileAndFolder) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("folder.spr"));
    EXPECT_EQ(select_with({"missing.spr"}, dir.path()).kind, InputKind::none);
    EXPECT_EQ(select_with({"folder.spr"}, dir.path()).kind, InputKind::none);
    EXPECT_EQ(select_with({"-r"}, dir.path()).kind, InputKind::none);
}

TEST(SelectInput, DotPartsAreResolved) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("REAP"));
    write_file(dir.file("REAP/0001.png"), "x");
    const auto [kind, state] = select_with({"./REAP/../REAP/0001.png"}, dir.path());
    EXPECT_EQ(kind, InputKind::picture);
    EXPECT_EQ(state.input.folder_name, "REAP");
    EXPECT_EQ(state.input.dir, real(dir.path()) + "/REAP/");
}

namespace {
std::string game_dir_from(const std::string& setup_text) {
    TempDir dir;
    write_file(dir.file("setup.txt"), setup_text);
    return read_setup(dir.path(), [](std::string_view) {});
}
}  // namespace

TEST(SetupFile, DCpathGetsOneFinalSeparator) {
    EXPECT_EQ(game_dir_from("DCpath=/games/DC\r\n"), "/games/DC/");
    EXPECT_EQ(game_dir_from("DCpath=/games/DC/\r\n"), "/games/DC/");
    EXPECT_EQ(game_dir_from("DCpath=/games/DC"), "/games/DC/");  // no line end at all
    EXPECT_EQ(game_dir_from("DCpath=\n"), "/");
}

TEST(SetupFile, GrammarOfItems) {
    EXPECT_EQ(game_dir_from("   DCpath=/g\n"), "/g/");          // leading blanks skipped
    EXPECT_EQ(game_dir_from("DCpath =/g\n"), "");               // blank in the key
    EXPECT_EQ(game_dir_from("DCpath= /g\n"), " /g/");           // blank in the value kept
    EXPECT_EQ(game_dir_from("DCpath=/A,B\n"), "/A/");           // cut at the comma
    EXPECT_EQ(game_dir_from("'DCpath=/old\n"), "");             // comment
    EXPECT_EQ(game_dir_from("DCpath=/one\nDCpath=/two\n"), "/two/");  // the later wins
    EXPECT_EQ(game_dir_from("dcpath=/g\n"), "");                // case-sensitive key
    EXPECT_EQ(game_dir_from("other=1\nnothing here\nDCpath=/g=h\n"), "/g=h/");
    EXPECT_EQ(game_dir_from("\"DCpath=/with,comma\"\n"), "/with,comma/");
    EXPECT_EQ(game_dir_from("DCpath=C:\\Games\\DC\\\n"), "C:\\Games\\DC\\/");  // a backslash is a plain character
    EXPECT_EQ(game_dir_from("DCpath=/a\rDCpath=/b\r"), "/b/");  // CR line ends
}

TEST(SetupFile, HostileContentEndsCleanly) {
    std::string binary;
    for (int i = 0; i < 4096; ++i) binary.push_back(static_cast<char>(i * 37));
    EXPECT_NO_FATAL_FAILURE(game_dir_from(binary));
    const std::string long_value(1 << 20, 'x');
    // A 1 MB line: the item is cut at 4096 characters, the rest has no "=".
    EXPECT_EQ(game_dir_from("DCpath=" + long_value + "\n"), std::string(4096 - 7, 'x') + "/");
    EXPECT_EQ(game_dir_from(""), "");
}

TEST(SetupFile, MissingFileLeavesGameDirEmpty) {
    TempDir dir;
    EXPECT_EQ(read_setup(dir.path(), [](std::string_view) {}), "");
}
