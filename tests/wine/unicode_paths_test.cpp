// The Windows programs on files in folders named in Polish, Greek and
// Japanese (Łódź, Ελληνικά, 日本), beside the Linux programs on the same
// tree: the file given as the argument, typed at the question and named in
// command mode, a palette image given to -p by a drive-letter path, the
// builder and the report, and the program itself in such a folder with
// setup.txt beside it naming the game's folder. All of it once in the code
// page 1252 and once in the Polish code page 1250 (Wine takes the code
// page from the Unix locale it starts in: a private pl_PL.UTF-8 locale).
// Names that cannot be converted get a line and the ordinary "not found".
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "anim/report_fixtures.h"
#include "archive/sprite_archive.h"
#include "runtime/utility/byte_reader.h"
#include "samples/sample_archive.h"
#include "samples/sample_game.h"
#include "support/run_program.h"
#include "wine/wine_programs.h"

namespace quarnel {
namespace {

namespace fs = std::filesystem;
using test::run_windows;
using test::run_windows_exe;
using test::wine_path;

const std::string lodz = "Łódź";
const std::string greek = "Ελληνικά";
const std::string japan = "日本";
const std::string program_folder = "Program " + lodz + " " + japan;
const std::string game_folder = "Gra " + lodz;
// "Gra Łódź" in Windows-1250, as an editor saves an "ANSI" file in Poland.
const std::string game_folder_1250 = "Gra \xA3\xF3" "d\x9F";

std::string text(const std::vector<std::uint8_t>& b) { return std::string(b.begin(), b.end()); }

// A palette image for -p: a 256 x 1 BMP of 32 bits, of other colours than
// the sample archive's.
std::string palette_image() {
    std::vector<std::uint8_t> b;
    b.push_back('B');
    b.push_back('M');
    put_u32le(b, 14 + 40 + 256 * 4);  // file size
    put_u32le(b, 0);                  // reserved
    put_u32le(b, 14 + 40);            // offset of the pixels
    put_u32le(b, 40);                 // header size
    put_u32le(b, 256);                // width
    put_u32le(b, 1);                  // height
    put_u16le(b, 1);                  // planes
    put_u16le(b, 32);                 // bits per pixel
    for (int i = 0; i < 6; ++i) put_u32le(b, 0);  // no compression, sizes and colour counts left to the reader
    for (int i = 0; i < 256; ++i) {
        put_u8(b, 40);                                 // blue
        put_u8(b, static_cast<std::uint8_t>(i * 3));   // green
        put_u8(b, static_cast<std::uint8_t>(255 - i)); // red
        put_u8(b, 0);
    }
    return text(b);
}

// A code page for the Windows programs: the Unix locale Wine starts in.
struct WineLocale {
    std::string name;
    std::vector<std::string> environment;
    std::string code_pages;  // as code_page_probe prints them
};

// The Polish locale, made with localedef into a folder of the test's own
// (nothing of the system is changed); empty with the reason in why when
// it cannot be made.
std::optional<WineLocale> polish_locale(const std::string& folder, std::string& why) {
    if (!fs::exists("/usr/share/i18n/locales/pl_PL")) {
        why = "no locale source pl_PL (Debian package locales)";
        return std::nullopt;
    }
    const std::string command = "localedef -i pl_PL -f UTF-8 '" + folder + "/pl_PL.UTF-8' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        why = "localedef could not make pl_PL.UTF-8";
        return std::nullopt;
    }
    return WineLocale{"code page 1250", test::wine_environment({"LOCPATH=" + folder, "LC_ALL=pl_PL.UTF-8"}), "1250 852\r\n"};
}

// One side's tree: the data folders, compared byte for byte with the other
// side's, and the program's own folder beside them.
struct Side {
    bool windows = false;
    std::string data;      // holds Łódź, Ελληνικά, 日本 and the game folder
    std::string programs;  // holds the program folder
    // A path inside the data folder as this side's program is given it.
    std::string path(const std::string& relative) const {
        return windows ? wine_path(data + "/" + relative) : data + "/" + relative;
    }
    std::string program() const {
        return programs + "/" + program_folder + (windows ? "/quarnel.exe" : "/quarnel");
    }
    test::ProgramRun run(const std::vector<std::string>& arguments, const std::string& input,
                         const std::string& folder, const WineLocale& locale) const {
        const std::string dir = folder.empty() ? data : data + "/" + folder;
        return windows ? run_windows_exe(program(), arguments, input, dir, locale.environment)
                       : test::run_program(program(), arguments, input, dir);
    }
};

void write_inputs(const Side& side, bool ansi_setup) {
    for (const std::string& folder : {lodz, greek, japan}) fs::create_directories(side.data + "/" + folder);
    const auto sprites = text(write_sprite_set(sample_palette_block(), sample_sprites(), true));
    test::write_file(side.data + "/" + lodz + "/SAMPLE.spr", sprites);
    test::write_file(side.data + "/" + japan + "/SAMPLE.spr", sprites);
    test::write_file(side.data + "/" + japan + "/PAL.spr", sprites);
    test::write_file(side.data + "/" + greek + "/TILES.bts", text(write_tile_set(2, sample_palette_block(), sample_tiles(6))));
    for (const std::string& folder : {greek, japan})
        test::write_file(side.data + "/" + folder + "/REAP.fin", test::make_fin(test::sample_with_blocks()));
    test::write_file(side.data + "/" + lodz + "/mypal.bmp", palette_image());
    std::string error;
    ASSERT_TRUE(write_sample_game(side.data + "/" + game_folder, make_sample_game(), error)) << error;

    // The program in a folder of its own with setup.txt beside it; the
    // Windows one read in UTF-8, or in the ANSI code page of the run.
    const std::string programs = side.programs + "/" + program_folder;
    fs::create_directories(programs);
    fs::copy_file(side.windows ? test::windows_program("quarnel") : std::string(QUARNEL_BINARY_DIR) + "/quarnel",
                  side.program());
    const std::string game = side.windows ? wine_path(side.data) + "\\" + (ansi_setup ? game_folder_1250 : game_folder)
                                          : side.data + "/" + game_folder;
    test::write_file(programs + "/setup.txt", "' the game's folder\r\nDCpath=" + game + "\r\n");
}

void expect_same_run(const test::ProgramRun& on_linux, const test::ProgramRun& on_windows, const Side& linux_side,
                     const Side& windows_side, const std::string& what) {
    EXPECT_EQ(on_windows.exit_status, on_linux.exit_status) << what << "\n" << on_windows.output << on_windows.errors;
    EXPECT_FALSE(on_windows.timed_out) << what;
    EXPECT_EQ(test::as_windows_transcript(on_windows.output, {}),
              test::as_windows_transcript(on_linux.output, {{linux_side.data, windows_side.data}}))
        << what;
}

TEST(WindowsUnicodePaths, FoldersInAnyLettersGiveTheLinuxBuildsFiles) {
    REQUIRE_WINDOWS_BUILD();
    const std::string probe = test::windows_build_dir() + "/tests/code_page_probe.exe";
    ASSERT_TRUE(fs::exists(probe)) << probe << " is missing (tools/build-windows.sh)";
    test::TempDir locale_dir;
    std::vector<WineLocale> locales = {{"code page 1252", test::wine_environment(), "1252 437\r\n"}};
    std::string why;
    if (auto polish = polish_locale(locale_dir.path(), why)) locales.push_back(*polish);
    else ADD_FAILURE() << why;

    for (const WineLocale& locale : locales) {
        SCOPED_TRACE(locale.name);
        const auto code_pages = run_windows_exe(probe, {}, "", locale_dir.path(), locale.environment);
        ASSERT_EQ(code_pages.output, locale.code_pages) << "Wine did not run in the code page asked for";
        const bool ansi_setup = locale.code_pages == "1250 852\r\n";

        test::TempDir root;
        const Side linux_side{false, root.file("linux"), root.file("linux_programs")};
        const Side windows_side{true, root.file("windows"), root.file("windows_programs")};
        for (const Side* side : {&linux_side, &windows_side}) write_inputs(*side, ansi_setup);

        struct Step {
            std::string what;
            std::function<std::vector<std::string>(const Side&)> arguments;
            std::function<std::string(const Side&)> input;
            std::string folder;  // the working folder inside the data folder
        };
        const auto none = [](const Side&) { return std::string(); };
        const std::vector<Step> steps = {
            // Given as the argument, by its full path, with -p naming a
            // palette image by its full (drive-letter) path.
            {"extraction given as the argument with -p",
             [](const Side& s) { return std::vector<std::string>{s.path(lodz + "/SAMPLE.spr"), "-p", s.path(lodz + "/mypal.bmp")}; },
             [](const Side&) { return std::string("t\npng\n"); }, lodz},
            {"the builder given a picture", [](const Side&) { return std::vector<std::string>{"0001.png"}; }, none,
             lodz + "/SAMPLE"},
            // Typed at the question that stands for the file dialog.
            {"extraction typed at the question", [](const Side&) { return std::vector<std::string>{}; },
             [](const Side& s) { return s.path(greek + "/TILES.bts") + "\npng\n"; }, ""},
            {"the report typed at the question", [](const Side&) { return std::vector<std::string>{}; },
             [](const Side& s) { return s.path(greek + "/REAP.fin") + "\nBLOOD\n"; }, greek},
            // Command mode, with names relative to a working folder of such letters.
            {"command mode extract", [](const Side&) { return std::vector<std::string>{"extract", "SAMPLE.spr"}; },
             none, japan},
            {"command mode extract -p with forward slashes",
             [](const Side& s) {
                 std::string palette = s.path(lodz + "/mypal.bmp");
                 if (s.windows) std::replace(palette.begin(), palette.end(), '\\', '/');  // Z:/.../mypal.bmp
                 return std::vector<std::string>{"extract", "-p", palette, "PAL.spr"};
             },
             none, japan},
            {"command mode report", [](const Side& s) { return std::vector<std::string>{"report", "--skip", "BLOOD", s.path(japan + "/REAP.fin")}; },
             none, japan},
            {"command mode build", [](const Side&) { return std::vector<std::string>{"build", "SAMPLE"}; }, none, japan},
            // setup.txt beside the program names the game's folder.
            {"command mode map with the game's folder from setup.txt",
             [](const Side& s) {
                 return std::vector<std::string>{"map", s.path(game_folder + "/scenario/SAMPLE.MAP"), "--tiles", "desert",
                                                 "--png", s.path(lodz + "/map.png")};
             },
             none, ""},
        };
        for (const Step& step : steps) {
            const auto on_linux = linux_side.run(step.arguments(linux_side), step.input(linux_side), step.folder, locale);
            const auto on_windows = windows_side.run(step.arguments(windows_side), step.input(windows_side), step.folder, locale);
            EXPECT_EQ(on_linux.exit_status, 0) << step.what << "\n" << on_linux.output << on_linux.errors;
            expect_same_run(on_linux, on_windows, linux_side, windows_side, step.what);
        }

        const auto linux_files = test::file_tree(linux_side.data, false);
        const auto windows_files = test::file_tree(windows_side.data, false);
        EXPECT_GT(linux_files.size(), 40u);
        EXPECT_EQ(linux_files.size(), windows_files.size());
        for (const auto& [name, bytes] : linux_files) {
            const auto found = windows_files.find(name);
            ASSERT_NE(found, windows_files.end()) << name << " is missing from the Windows run";
            EXPECT_TRUE(found->second == bytes) << name << " differs";
        }
        // What the steps are there to show: -p took the image's colours
        // (both ways of naming it), the rebuild is the archive, the map was drawn.
        EXPECT_EQ(linux_files.at(japan + "/PAL/palette.bmp"), linux_files.at(lodz + "/SAMPLE/palette.bmp"));
        EXPECT_NE(linux_files.at(japan + "/PAL/palette.bmp"), linux_files.at(japan + "/SAMPLE/palette.bmp"));
        EXPECT_EQ(linux_files.at(japan + "/SAMPLE/SAMPLE_new.spr"), linux_files.at(japan + "/SAMPLE.spr"));
        EXPECT_TRUE(linux_files.count(lodz + "/map.png"));
        EXPECT_TRUE(linux_files.count(greek + "/REAP/REAP.txt"));
        EXPECT_TRUE(linux_files.count(greek + "/TILES/1/0001.png"));
    }
}

TEST(WindowsUnicodePaths, ANameThatCannotBeConvertedGetsALineAndIsNotFound) {
    REQUIRE_WINDOWS_BUILD();
    test::TempDir dir;
    const std::string long_part = std::string(300, 'x') + ".spr";
    const auto expect_refused = [](const test::ProgramRun& run, const std::string& reason, const std::string& what) {
        EXPECT_EQ(run.exit_status, 0) << what;
        EXPECT_NE(run.output.find("Nazwa nie do uzycia (" + reason + ") | the system cannot take this name: "),
                  std::string::npos)
            << what << "\n" << run.output;
        EXPECT_NE(run.output.find("No file found! Nie ma takiego pliku!\r\nNo setup file!\r\nNacisnij dowolny klawisz.\r\n"),
                  std::string::npos)
            << what << "\n" << run.output;
    };
    expect_refused(run_windows("quarnel", {long_part}, "", dir.path()), "a part longer than 255 characters",
                   "a name of 300 letters as the argument");
    // Typed at the question: bytes that are not UTF-8, and the three-byte
    // form of half a surrogate pair, as a Windows name may hold it.
    expect_refused(run_windows("quarnel", {}, "\xFFq.spr\n", dir.path()), "bytes that are not UTF-8", "a byte 0xFF");
    expect_refused(run_windows("quarnel", {}, "a\xED\xA0\x80.spr\n", dir.path()), "an unpaired surrogate",
                   "half a surrogate pair");
    // Command mode: the file's failure line, and status 1.
    const auto command = run_windows("quarnel", {"extract", long_part}, "", dir.path());
    EXPECT_EQ(command.exit_status, 1);
    EXPECT_NE(command.errors.find("failed " + long_part +
                                  ": the system cannot take this name (a part longer than 255 characters); no such "
                                  "file | nie ma takiego pliku\n"),
              std::string::npos)
        << command.errors;
    // Nothing was written anywhere.
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

}  // namespace
}  // namespace quarnel
