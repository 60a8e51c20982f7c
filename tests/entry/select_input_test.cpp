// Input selection and the setup file, called in-process so that the module
// state they leave for the jobs can be checked directly.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "entry/module_state.h"
#include "entry/setup_file.h"
#include "entry/startup.h"
#include "runtime/files.h"
#include "support/run_program.h"

using namespace quarnel;
using quarnel::test::TempDir;
using quarnel::test::write_file;

namespace {

// Runs select_input with the given words after the program name, from the
// given current folder, on a fresh module state.
struct Selection {
    InputKind kind;
    ModuleState state;
};

Selection select_with(const std::vector<std::string>& words, const std::string& current_dir) {
    std::vector<std::string> storage = {"quarnel"};
    storage.insert(storage.end(), words.begin(), words.end());
    std::vector<char*> argv;
    for (auto& s : storage) argv.push_back(s.data());
    set_command_arguments(static_cast<int>(argv.size()), argv.data());
    module_state() = ModuleState{};
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(current_dir);
    const InputKind kind = select_input();
    std::filesystem::current_path(previous);
    return {kind, module_state()};
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
    EXPECT_EQ(state.archive_kind, archive_kinds::sprite_set);
    EXPECT_EQ(state.input_path, folder + "/a.SPR");  // made absolute
    EXPECT_EQ(state.input_dir, folder + "/");
    EXPECT_EQ(state.input_folder_name, std::filesystem::path(folder).filename().string());
    EXPECT_EQ(state.input_base_name, "a");
    EXPECT_EQ(state.palette_source, 1);
    EXPECT_EQ(state.palette_image_name, "");
}

TEST(SelectInput, PaletteOptionAndExtensionWinsOverRaw) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("x/y"));
    write_file(dir.file("x/y/z.bts"), "x");
    const auto [kind, state] = select_with({dir.file("x/y/z.bts"), "-p", "pal.bmp", "-r"}, "/");
    EXPECT_EQ(kind, InputKind::archive);
    EXPECT_EQ(state.palette_source, 2);
    EXPECT_EQ(state.palette_image_name, "pal.bmp");
    EXPECT_EQ(state.archive_kind, archive_kinds::tile_set);  // .bts overrides -r
    EXPECT_EQ(state.input_folder_name, "y");
    EXPECT_EQ(state.input_dir, real(dir.path()) + "/x/y/");
    EXPECT_EQ(state.input_base_name, "z");
}

TEST(SelectInput, RawDataOnlyWithTheOption) {
    TempDir dir;
    write_file(dir.file("data.raw"), "x");
    auto with_option = select_with({"data.raw", "-r"}, dir.path());
    EXPECT_EQ(with_option.kind, InputKind::archive);
    EXPECT_EQ(with_option.state.archive_kind, archive_kinds::raw_data);
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
    EXPECT_EQ(state.palette_source, 2);
    EXPECT_EQ(state.palette_image_name, "");
}

TEST(SelectInput, WordAfterPaletteOptionIsScannedToo) {
    TempDir dir;
    write_file(dir.file("raw.bin"), "x");
    const auto [kind, state] = select_with({"raw.bin", "-p", "-r"}, dir.path());
    EXPECT_EQ(state.palette_image_name, "-r");
    EXPECT_EQ(state.archive_kind, archive_kinds::raw_data);
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
    const std::vector<std::pair<std::string, std::pair<InputKind, int>>> cases = {
        {"m.MAP", {InputKind::scenario_map, 0}}, {"a.fin", {InputKind::animation, 0}},
        {"p.Png", {InputKind::picture, 0}},      {"t.trs", {InputKind::archive, 10}},
        {"c.TRC", {InputKind::archive, 11}},     {"w.trw", {InputKind::archive, 12}},
    };
    for (const auto& [name, expected] : cases) {
        write_file(dir.file(name), "x");
        const auto [kind, state] = select_with({name}, dir.path());
        EXPECT_EQ(kind, expected.first) << name;
        EXPECT_EQ(state.archive_kind, expected.second) << name;
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
    EXPECT_EQ(state.input_folder_name, "REAP");
    EXPECT_EQ(state.input_dir, real(dir.path()) + "/REAP/");
}

namespace {
std::string game_dir_from(const std::string& setup_text) {
    TempDir dir;
    write_file(dir.file("setup.txt"), setup_text);
    module_state() = ModuleState{};
    module_state().program_dir = dir.path();
    read_setup();
    return module_state().game_dir;
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
    module_state() = ModuleState{};
    module_state().program_dir = dir.path();
    read_setup();
    EXPECT_EQ(module_state().game_dir, "");
}
