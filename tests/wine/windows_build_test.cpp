// The Windows programs (build-windows/quarnel.exe and bytediff.exe) run
// through Wine, headless with the answers piped, beside the Linux programs
// on the same inputs: extraction of every archive kind writes the same
// files byte for byte, the builder rebuilds the sample sprite set, the
// report and bytediff's lines are the same; the path split takes backslash
// and forward-slash paths with a drive letter; item names that Windows
// refuses are written under safe names inside the folder. Under Xvfb the
// window shows the closing line and a key ends the program, and the file
// dialog, started in a program folder named in Polish, gives the chosen
// file's path in those letters.
//
// How they are run and compared: wine_programs.h.
#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "anim/report_fixtures.h"
#include "archive/sprite_archive.h"
#include "runtime/screen/screen.h"
#include "runtime/utility/byte_reader.h"
#include "samples/sample_archive.h"
#include "support/run_program.h"
#include "support/x_display.h"
#include "wine/wine_programs.h"

namespace quarnel {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using test::run_linux;
using test::run_windows;
using test::wine_loader;
using test::wine_path;
using test::windows_program;

std::string text(const Bytes& b) { return std::string(b.begin(), b.end()); }

Bytes container_header(std::uint16_t count) {
    Bytes b(container_count_offset, 0);
    put_u16le(b, count);
    b.resize(container_header_size, 0);
    return b;
}

void add_named_item(Bytes& b, const std::string& name, std::uint32_t size) {
    Bytes record(trc_record_size, 0);
    std::copy(name.begin(), name.end(), record.begin());
    record[20] = static_cast<std::uint8_t>(size);
    record[21] = static_cast<std::uint8_t>(size >> 8);
    b.insert(b.end(), record.begin(), record.end());
}

// One input of every archive kind, with the answers and options it takes.
struct Job {
    std::string file;
    std::string answers;
    std::vector<std::string> options;
};

std::vector<Job> write_every_archive_kind(const std::string& dir) {
    test::write_file(dir + "/SAMPLE.spr", text(write_sprite_set(sample_palette_block(), sample_sprites(), true)));
    test::write_file(dir + "/PLAIN.spr", text(write_sprite_set(sample_palette_block(), sample_sprites(), false)));
    test::write_file(dir + "/TILES.bts", text(write_tile_set(2, sample_palette_block(), sample_tiles(6))));
    Bytes trc = container_header(2);
    add_named_item(trc, "LOGO.PAL", 768);
    add_named_item(trc, "LOGO.SPR", 0);
    Bytes pal(768, 0);
    for (std::size_t i = 0; i < pal.size(); ++i) pal[i] = static_cast<std::uint8_t>(i * 7);
    trc.insert(trc.end(), pal.begin(), pal.end());
    put_u16le(trc, 3);
    put_u16le(trc, 2);
    trc.resize(trc.size() + 8, 0);
    trc.insert(trc.end(), {1, 2, 3, 4, 5, 6});
    test::write_file(dir + "/MENU.trc", text(trc));
    Bytes trw = container_header(2);
    for (const std::uint8_t size : {std::uint8_t{2}, std::uint8_t{3}}) {
        Bytes record(trw_record_size, 0);
        record[4] = size;
        trw.insert(trw.end(), record.begin(), record.end());
    }
    trw.insert(trw.end(), {0x1A, '\r', '\n', 0xFF, 0});
    test::write_file(dir + "/SND.trw", text(trw));
    Bytes trs = container_header(1);
    Bytes record(trs_record_size, 0);
    record[4] = 3;  // width
    record[6] = 2;  // height
    trs.insert(trs.end(), record.begin(), record.end());
    trs.insert(trs.end(), {0, 1, 2, 3, 4, 5});
    trs.resize(800, 9);
    test::write_file(dir + "/S.trs", text(trs));
    Bytes raw(768 + 12);
    for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<std::uint8_t>(i % 11);
    test::write_file(dir + "/DATA.raw", text(raw));
    return {{"SAMPLE.spr", "t\npng\n", {}}, {"PLAIN.spr", "n\nbmp\n", {}}, {"TILES.bts", "png\n", {}},
            {"MENU.trc", "png\n", {}},      {"SND.trw", "png\n", {}},       {"S.trs", "bmp\n", {}},
            {"DATA.raw", "png\n2\n3\n2\n", {"-r"}}};
}

TEST(WindowsBuild, ExtractionWritesTheSameFilesAsTheLinuxBuild) {
    REQUIRE_WINDOWS_BUILD();
    // Folders of the same name, so that only the paths' start differs.
    test::TempDir linux_root, windows_root;
    const std::string linux_dir = linux_root.file("mods"), windows_dir = windows_root.file("mods");
    fs::create_directory(linux_dir);
    fs::create_directory(windows_dir);
    std::vector<Job> jobs = write_every_archive_kind(linux_dir);
    write_every_archive_kind(windows_dir);
    for (const Job& job : jobs) {
        std::vector<std::string> arguments{job.file};
        arguments.insert(arguments.end(), job.options.begin(), job.options.end());
        const auto on_linux = run_linux("quarnel", arguments, job.answers, linux_dir);
        test::expect_clean_end(on_linux);
        const auto on_windows = run_windows("quarnel", arguments, job.answers, windows_dir);
        EXPECT_EQ(on_windows.exit_status, 0) << job.file << "\n" << on_windows.output << on_windows.errors;
        EXPECT_FALSE(on_windows.timed_out) << job.file;
        EXPECT_NE(on_windows.output.find("Nacisnij dowolny klawisz.\r\n"), std::string::npos) << on_windows.output;
        // The transcripts differ only in the separator and the drive of the paths.
        EXPECT_EQ(test::as_windows_transcript(on_windows.output, {}),
                  test::as_windows_transcript(on_linux.output, {{linux_dir, windows_dir}}))
            << job.file;
    }
    const auto linux_files = test::file_tree(linux_dir, false);
    const auto windows_files = test::file_tree(windows_dir, false);
    EXPECT_GT(linux_files.size(), 30u);
    EXPECT_EQ(linux_files.size(), windows_files.size());
    for (const auto& [name, bytes] : linux_files) {
        const auto found = windows_files.find(name);
        ASSERT_NE(found, windows_files.end()) << name << " is missing from the Windows run";
        EXPECT_TRUE(found->second == bytes) << name << " differs";
    }

    // The builder, started on 0001.png, rebuilds the sample sprite set.
    const auto built = run_windows("quarnel", {"0001.png"}, "", windows_dir + "/SAMPLE");
    EXPECT_EQ(built.exit_status, 0) << built.output << built.errors;
    EXPECT_EQ(test::read_file(windows_dir + "/SAMPLE/SAMPLE_new.spr"), test::read_file(windows_dir + "/SAMPLE.spr"));
}

// The one writer on Windows: a changed picture is replaced (the earlier
// one kept in the backup folder), a read-only one is not, and a full disk
// (a small tmpfs, as root) is said and fails the command.
TEST(WindowsBuild, WritesReplaceWholeRefuseReadOnlyFilesAndSayAFullDisk) {
    REQUIRE_WINDOWS_BUILD();
    test::TempDir root;
    const std::string dir = root.file("mods");
    fs::create_directory(dir);
    test::write_file(dir + "/SAMPLE.spr", text(write_sprite_set(sample_palette_block(), sample_sprites(), true)));
    const std::vector<std::string> extract{"extract", wine_path(dir + "/SAMPLE.spr")};
    const auto first = run_windows("quarnel", extract, "", dir);
    ASSERT_EQ(first.exit_status, 0) << first.output << first.errors;
    const std::string fresh = test::read_file(dir + "/SAMPLE/0002.png");
    test::write_file(dir + "/SAMPLE/0002.png", "edited");
    test::write_file(dir + "/SAMPLE/0003.png", "locked");
    fs::permissions(dir + "/SAMPLE/0003.png", fs::perms::owner_read);

    const auto again = run_windows("quarnel", extract, "", dir);
    EXPECT_EQ(again.exit_status, 1) << again.output << again.errors;
    EXPECT_EQ(test::read_file(dir + "/SAMPLE/0002.png"), fresh);
    EXPECT_EQ(test::read_file(dir + "/SAMPLE/0003.png"), "locked");
    EXPECT_NE(again.output.find("0003.png: the file is read-only"), std::string::npos) << again.output;
    EXPECT_NE(again.errors.find("failed "), std::string::npos) << again.errors;
    EXPECT_NE(again.output.find("kept 2 earlier files in "), std::string::npos) << again.output;
    fs::permissions(dir + "/SAMPLE/0003.png", fs::perms::owner_all);

    if (geteuid() != 0) GTEST_SKIP() << "a full disk needs a tmpfs of its own (root)";
    const std::string small = root.file("small");
    fs::create_directory(small);
    ASSERT_EQ(::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k"), 0);
    test::write_file(small + "/SAMPLE.spr", test::read_file(dir + "/SAMPLE.spr"));
    test::write_file(small + "/filler", std::string(64 * 1024, 'f'));
    const auto full = run_windows("quarnel", {"extract", wine_path(small + "/SAMPLE.spr")}, "", small);
    ::umount2(small.c_str(), MNT_DETACH);
    EXPECT_EQ(full.exit_status, 1) << full.output << full.errors;
    EXPECT_NE(full.output.find(": no space left on the device"), std::string::npos) << full.output;
}

TEST(WindowsBuild, ReportAndBytediffMatchTheLinuxBuild) {
    REQUIRE_WINDOWS_BUILD();
    test::TempDir dir;
    for (const char* side : {"linux", "windows"}) {
        fs::create_directory(dir.file(side));
        test::write_file(dir.file(side) + "/REAP.fin", test::make_fin(test::sample_with_blocks()));
        test::write_file(dir.file(side) + "/a.bin", std::string("\x00\x1A\r\nsame\xFF", 9) + "tail");
        test::write_file(dir.file(side) + "/b.bin", std::string("\x01\x1A\n\rsame\x9F", 9));
    }
    const auto report_linux = run_linux("quarnel", {"REAP.fin"}, "BLOOD\n", dir.file("linux"));
    const auto report_windows = run_windows("quarnel", {"REAP.fin"}, "BLOOD\n", dir.file("windows"));
    EXPECT_EQ(report_windows.exit_status, 0) << report_windows.output << report_windows.errors;
    const auto linux_files = test::file_tree(dir.file("linux"), false);
    const auto windows_files = test::file_tree(dir.file("windows"), false);
    EXPECT_TRUE(linux_files == windows_files) << "the report folders differ";
    EXPECT_EQ(test::read_file(dir.file("windows") + "/REAP/REAP.txt"), test::sample_with_blocks_report_skipping_blood());

    // bytediff takes the names typed on its two questions and q at the end.
    const auto diff_linux = run_linux("bytediff", {}, "a.bin\nb.bin\nq", dir.file("linux"));
    const auto diff_windows = run_windows("bytediff", {}, "a.bin\nb.bin\nq", dir.file("windows"));
    test::expect_clean_end(diff_linux);
    EXPECT_EQ(diff_windows.exit_status, 0) << diff_windows.errors;
    EXPECT_EQ(diff_windows.output, diff_linux.output);
    EXPECT_NE(diff_windows.output.find("Please enter second filename: b.bin\r\n"), std::string::npos);
}

TEST(WindowsBuild, PathSplitTakesBackslashesDriveLettersAndForwardSlashes) {
    REQUIRE_WINDOWS_BUILD();
    test::TempDir dir;
    fs::create_directories(dir.file("mods/units"));
    test::write_file(dir.file("mods/units/REAP.fin"), test::make_fin(test::sample_with_blocks()));
    const std::string units = wine_path(dir.file("mods/units"));
    const std::string expected = "katalog: '" + units + "\\'\r\nkoncowka: 'units'\r\nplik: 'REAP.fin'\r\n";
    for (const std::string& given : {units + "\\REAP.fin", "Z:" + dir.file("mods/units/REAP.fin"),
                                     std::string("units/REAP.fin"), std::string("units\\..\\units\\REAP.fin")}) {
        const auto run = run_windows("quarnel", {given}, "\n", dir.file("mods"));
        EXPECT_EQ(run.exit_status, 0) << given;
        EXPECT_NE(run.output.find(expected), std::string::npos) << given << "\n" << run.output;
    }
    // A name found nowhere, and no name at all (the dialog is a console question headless).
    const auto missing = run_windows("quarnel", {"D:\\nowhere\\x.spr"}, "", dir.path());
    EXPECT_NE(missing.output.find("No file found! Nie ma takiego pliku!\r\n"), std::string::npos) << missing.output;
    const auto cancelled = run_windows("quarnel", {}, "\n", dir.path());
    EXPECT_NE(cancelled.output.find("Wybierz plik spr/bts: \r\nNo input .spr file! | Nie podales pliku .spr!\r\n"),
              std::string::npos)
        << cancelled.output;
    EXPECT_EQ(cancelled.exit_status, 0);
}

TEST(WindowsBuild, NamesWindowsRefusesAreWrittenUnderSafeNames) {
    REQUIRE_WINDOWS_BUILD();
    test::TempDir dir;
    // The format keeps letters, digits, "\\" and a few more of a name: "a:b"
    // and "D:x" arrive as "ab" and "Dx".
    const std::vector<std::string> names = {"CON", "aux.pal", "a:b", "end.", "blank ", "..\\up.txt", "D:x", "lpt1.txt"};
    Bytes trc = container_header(static_cast<std::uint16_t>(names.size()));
    for (const std::string& name : names) add_named_item(trc, name, 1);
    for (std::size_t i = 0; i < names.size(); ++i) trc.push_back(static_cast<std::uint8_t>('a' + i));
    fs::create_directory(dir.file("game"));
    test::write_file(dir.file("game/ODD.trc"), text(trc));
    const auto run = run_windows("quarnel", {"ODD.trc"}, "png\n", dir.file("game"));
    EXPECT_EQ(run.exit_status, 0) << run.output << run.errors;
    const std::vector<std::string> safe = {"item1_CON", "item2_aux.pal", "ab", "item4_end_", "item5_blank_",
                                           "item6_.._up.txt", "Dx", "item8_lpt1.txt"};
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(test::read_file(dir.file("game/ODD/" + safe[i])), std::string(1, static_cast<char>('a' + i))) << safe[i];
        if (safe[i].rfind("item", 0) != 0) continue;
        EXPECT_NE(run.output.find("Niebezpieczna nazwa elementu " + std::to_string(i + 1) + ": '" + names[i] +
                                  "' - zapisano jako '" + safe[i] + "'"),
                  std::string::npos)
            << run.output;
    }
    // Nothing beside the folder, nothing outside the game folder.
    std::vector<std::string> written;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path()))
        if (entry.is_regular_file()) written.push_back(fs::relative(entry.path(), dir.path()).string());
    // The items, build.txt, the two palette images and the archive itself.
    EXPECT_EQ(written.size(), names.size() + 4) << ::testing::PrintToString(written);
    for (const std::string& name : written) EXPECT_TRUE(name.rfind("game/", 0) == 0) << name;
}

// Wine's first window of a run can take long to come when the machine is
// busy (its services start with it).
constexpr int first_window_ms = 120000;

// A test that opens windows starts from a Wine session of its own: Wine's
// desktop process, left by an earlier run (headless, or on an X server
// since stopped), would otherwise be shared by the new program's windows.
// The new wineserver's output is detached, as tools/run-tests.sh does.
void restart_wine_session() {
    const std::string quiet = " </dev/null >/dev/null 2>&1";
    ASSERT_EQ(std::system(("wineserver -k" + quiet + "; wineserver -w" + quiet + "; wineserver -p" + quiet).c_str()), 0);
}

TEST(WindowsBuild, TheWindowShowsTheClosingLineAndAKeyEndsTheProgram) {
    REQUIRE_WINDOWS_BUILD();
    const std::string missing = test::XDisplay::missing_programs(true);
    if (!missing.empty()) GTEST_SKIP() << missing;
    test::XDisplay display;
    ASSERT_TRUE(display.started()) << "Xvfb did not start";
    restart_wine_session();
    test::TempDir dir;
    test::write_file(dir.file("REAP.fin"), test::make_fin(test::sample_with_blocks()));
    // The report asks one question: its answer is typed into the window.
    const std::string errors = dir.file("errors.txt");
    const pid_t program = display.start_program(wine_loader, {windows_program("quarnel"), dir.file("REAP.fin")}, errors);
    ASSERT_GE(program, 0);
    test::Reaper reaper{program};
    const std::string window = display.focused_window_of(program, first_window_ms);
    ASSERT_FALSE(window.empty()) << "no window took the focus; " << test::read_file(errors);
    ASSERT_EQ(display.xdotool("type --delay 50 BLOOD"), 0);
    ASSERT_EQ(display.xdotool("key Return"), 0);
    const std::string closing_line = "Nacisnij dowolny klawisz.";
    EXPECT_TRUE(test::wait_until([&] {
        const test::Screenshot shot = display.screenshot(window);
        // The client area lies inside whatever frame Wine draws.
        for (int top = 0; top + screen_height <= shot.height; ++top)
            for (int left = 0; left + screen_width <= shot.width; ++left)
                if (test::text_row_showing(shot, closing_line, left, top) >= 0) return true;
        return false;
    })) << "the closing line never showed in the window";
    int status = 0;
    EXPECT_EQ(waitpid(program, &status, WNOHANG), 0) << "the program ended before a key was pressed";
    ASSERT_EQ(display.xdotool("key a"), 0);
    ASSERT_TRUE(test::wait_until([&] { return waitpid(program, &status, WNOHANG) == program; }))
        << "the program did not end on the key";
    reaper.pid = -1;
    ASSERT_TRUE(WIFEXITED(status)) << test::read_file(errors);
    EXPECT_EQ(WEXITSTATUS(status), 0) << test::read_file(errors);
    EXPECT_EQ(test::read_file(dir.file("REAP/REAP.txt")), test::sample_with_blocks_report_skipping_blood());
}

TEST(WindowsBuild, TheFileDialogTakesATypedPath) {
    REQUIRE_WINDOWS_BUILD();
    const std::string missing = test::XDisplay::missing_programs(true);
    if (!missing.empty()) GTEST_SKIP() << missing;
    test::XDisplay display;
    ASSERT_TRUE(display.started()) << "Xvfb did not start";
    restart_wine_session();
    test::TempDir dir;
    // The program in a folder named in Polish, the file beside it: the
    // dialog starts there, so the name typed is the file's alone, and the
    // path it gives back holds the folder's letters as they are.
    const std::string folder = dir.file("\xC5\x81\xC3\xB3" "d\xC5\xBA");  // Łódź
    fs::create_directory(folder);
    fs::copy_file(windows_program("quarnel"), folder + "/quarnel.exe");
    test::write_file(folder + "/REAP.fin", test::make_fin(test::sample_with_blocks()));
    setenv("LC_ALL", "C.UTF-8", 1);  // Wine passes such names only in a UTF-8 locale
    const std::string errors = dir.file("errors.txt");
    // No input named: the open-file dialog comes first.
    const pid_t program = display.start_program(wine_loader, {folder + "/quarnel.exe"}, errors);
    ASSERT_GE(program, 0);
    test::Reaper reaper{program};
    const std::string dialog = display.focused_window_of(program, first_window_ms);
    ASSERT_FALSE(dialog.empty()) << "no dialog took the focus; " << test::read_file(errors);
    ASSERT_EQ(display.xdotool("type --delay 20 REAP.fin"), 0);
    ASSERT_EQ(display.xdotool("key Return"), 0);
    // Then the report's window: its question, and the closing key.
    std::string window;
    ASSERT_TRUE(test::wait_until([&] {
        window = display.focused_window_of(program);
        return !window.empty() && window != dialog;
    })) << "no window came after the dialog; " << test::read_file(errors);
    ASSERT_EQ(display.xdotool("type --delay 50 BLOOD"), 0);
    ASSERT_EQ(display.xdotool("key Return a"), 0);
    int status = 0;
    ASSERT_TRUE(test::wait_until([&] { return waitpid(program, &status, WNOHANG) == program; }))
        << "the program did not end";
    reaper.pid = -1;
    ASSERT_TRUE(WIFEXITED(status)) << test::read_file(errors);
    EXPECT_EQ(WEXITSTATUS(status), 0) << test::read_file(errors);
    EXPECT_EQ(test::read_file(folder + "/REAP/REAP.txt"), test::sample_with_blocks_report_skipping_blood());
}

}  // namespace
}  // namespace quarnel
