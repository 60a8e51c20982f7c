// quarnel run end to end, headless, with answers on standard input. The
// setup file lives beside the program, so each test runs its own copy of
// the built program in a fresh folder.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/run_program.h"

using namespace quarnel::test;

namespace {

const std::string banner = ".spr to .bmp converter for Dark Colony.. author: tarnwicker\r\n";
const std::string closing = "Nacisnij dowolny klawisz.\r\n";

// A folder holding a copy of quarnel (and, when asked, a setup.txt).
struct ProgramFolder {
    TempDir dir;
    std::string program;
    std::string real_path;  // the folder without links in its path
    ProgramFolder() {
        program = dir.file("quarnel");
        std::filesystem::copy_file(quarnel_path(), program);
        chmod(program.c_str(), 0755);
        real_path = std::filesystem::canonical(dir.path()).string();
    }
    ProgramRun run(const std::vector<std::string>& words, const std::string& input = "",
                   const std::string& working_dir = "") const {
        return run_program(program, words, input, working_dir.empty() ? dir.path() : working_dir);
    }
};

bool ends_with(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

TEST(Startup, UnrecognisedTypeRunsNoJob) {
    ProgramFolder folder;
    write_file(folder.dir.file("data.raw"), "raw");
    const auto run = folder.run({"data.raw"});
    expect_clean_end(run);
    const std::string name = std::filesystem::path(folder.real_path).filename().string();
    EXPECT_EQ(run.output, banner + "katalog: '" + folder.real_path + "/'\r\n" + "koncowka: '" + name + "'\r\n" +
                              "plik: 'data.raw'\r\n" + "Unrecognized file type!\r\n" + "No setup file!\r\n" + closing);
}

TEST(Startup, MissingFileAndOptionWordAsInput) {
    ProgramFolder folder;
    const std::string expected = banner + "No file found! Nie ma takiego pliku!\r\n" + "No setup file!\r\n" + closing;
    auto run = folder.run({"missing.spr"});
    expect_clean_end(run);
    EXPECT_EQ(run.output, expected);
    run = folder.run({"-r"});  // the word is taken as the input's name
    expect_clean_end(run);
    EXPECT_EQ(run.output, expected);
    std::filesystem::create_directories(folder.dir.file("folder.spr"));
    run = folder.run({"folder.spr"});  // a folder is no input file
    expect_clean_end(run);
    EXPECT_EQ(run.output, expected);
}

TEST(Startup, NoInputAndEmptyDialogAnswer) {
    ProgramFolder folder;
    for (const std::string input : {"", "\n"}) {
        const auto run = folder.run({}, input);
        expect_clean_end(run);
        ASSERT_EQ(run.output.rfind(banner + "Wybierz plik spr/bts: ", 0), 0u) << run.output;
        EXPECT_TRUE(ends_with(run.output, "\r\nNo input .spr file! | Nie podales pliku .spr!\r\nNo setup file!\r\n" + closing))
            << run.output;
    }
}

TEST(Startup, DialogAnswerIsTheInputAndOptionsAreIgnored) {
    ProgramFolder folder;
    write_file(folder.dir.file("typed.xyz"), "x");
    const auto run = folder.run({}, "typed.xyz\n");
    expect_clean_end(run);
    EXPECT_NE(run.output.find("plik: 'typed.xyz'\r\nUnrecognized file type!\r\n"), std::string::npos) << run.output;
}

// With a display, the dialog is zenity's file selection: a stand-in zenity
// on PATH records how it was called and answers for the user.
TEST(Startup, DialogWithADisplayIsZenity) {
    ProgramFolder folder;
    TempDir tools;
    write_file(folder.dir.file("chosen.fin.txt"), "x");
    const std::string zenity = tools.file("zenity");
    write_file(zenity, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/called\"\n"
                       "[ -f \"$(dirname \"$0\")/cancel\" ] && exit 1\n"
                       "echo '" + folder.dir.file("chosen.fin.txt") + "'\n");
    chmod(zenity.c_str(), 0755);
    const std::vector<std::string> environment = {"DISPLAY=:77", "PATH=" + tools.path() + ":/usr/bin:/bin"};

    auto run = run_program(folder.program, {}, "", folder.dir.path(), 60, environment);
    expect_clean_end(run);
    EXPECT_NE(run.output.find("plik: 'chosen.fin.txt'\r\nUnrecognized file type!\r\n"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("Wybierz plik spr/bts: "), std::string::npos);  // no terminal question
    EXPECT_EQ(read_file(tools.file("called")),
              "--file-selection\n--title=Wybierz plik spr/bts\n--filename=" + folder.real_path + "/\n");

    write_file(tools.file("cancel"), "");
    run = run_program(folder.program, {}, "", folder.dir.path(), 60, environment);
    expect_clean_end(run);
    EXPECT_NE(run.output.find("No input .spr file! | Nie podales pliku .spr!\r\n"), std::string::npos) << run.output;
}

TEST(Startup, NameBesideTheProgramIsTheSecondTry) {
    ProgramFolder folder;
    TempDir elsewhere;
    write_file(folder.dir.file("beside.txt"), "x");
    const auto run = folder.run({"beside.txt"}, "", elsewhere.path());
    expect_clean_end(run);
    EXPECT_NE(run.output.find("katalog: '" + folder.real_path + "/'\r\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("plik: 'beside.txt'\r\n"), std::string::npos);
}

TEST(Startup, AbsoluteNameIsNotLookedForBesideTheProgram) {
    ProgramFolder folder;
    write_file(folder.dir.file("only-here.txt"), "x");
    const auto run = folder.run({"/no-such-folder-" + std::to_string(getpid()) + "/only-here.txt"});
    expect_clean_end(run);
    EXPECT_EQ(run.output, banner + "No file found! Nie ma takiego pliku!\r\n" + "No setup file!\r\n" + closing);
}

TEST(Startup, RecognisedInputOpensItsScreenAndRunsItsJob) {
    ProgramFolder folder;
    std::filesystem::create_directories(folder.dir.file("mods"));
    write_file(folder.dir.file("mods/a.SPR"), "");
    // Whatever the job says about an empty archive, the run reaches the end.
    const auto run = folder.run({"mods/a.SPR"}, "t\npng\n");
    expect_clean_end(run);
    EXPECT_EQ(run.output.rfind(banner + "katalog: '" + folder.real_path + "/mods/'\r\nkoncowka: 'mods'\r\nplik: 'a.SPR'\r\n", 0),
              0u)
        << run.output;
    EXPECT_EQ(run.output.find("Unrecognized"), std::string::npos);
    EXPECT_TRUE(ends_with(run.output, closing)) << run.output;
}

TEST(Startup, RawOptionTurnsAnUnknownFileIntoAnArchive) {
    ProgramFolder folder;
    write_file(folder.dir.file("data.raw"), std::string(64, '\x05'));
    const std::string lines = "plik: 'data.raw'\r\n";
    auto run = folder.run({"data.raw", "-p", "pal.bmp", "-r"}, "png\n1\n8\n8\n");
    expect_clean_end(run);
    EXPECT_NE(run.output.find(lines), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("Unrecognized file type!"), std::string::npos) << run.output;
    EXPECT_TRUE(ends_with(run.output, closing)) << run.output;
    // Without the option the same file is not recognised, whatever follows.
    run = folder.run({"data.raw", "-p", "pal.bmp"});
    expect_clean_end(run);
    EXPECT_NE(run.output.find(lines + "Unrecognized file type!\r\n"), std::string::npos) << run.output;
}

TEST(Startup, FileInTheRootFolderHasNoFolderName) {
    const std::string name = "/quarnel-startup-test-" + std::to_string(getpid()) + ".xyz";
    if (access("/", W_OK) != 0) GTEST_SKIP() << "the root folder is not writable here";
    write_file(name, "x");
    ProgramFolder folder;
    const auto run = folder.run({name});
    std::filesystem::remove(name);
    expect_clean_end(run);
    EXPECT_NE(run.output.find("katalog: '/'\r\nkoncowka: ''\r\nplik: '" + name.substr(1) + "'\r\n"), std::string::npos)
        << run.output;
}

TEST(Startup, SetupFileBesideTheProgramIsRead) {
    ProgramFolder folder;
    write_file(folder.dir.file("setup.txt"), "DCpath=/games/dc\r\n");
    TempDir elsewhere;
    write_file(elsewhere.file("setup.txt"), "not this one");
    const auto run = folder.run({}, "", elsewhere.path());
    expect_clean_end(run);
    EXPECT_EQ(run.output.find("No setup file!"), std::string::npos) << run.output;
}

TEST(Startup, HostileSetupFilesAndArguments) {
    ProgramFolder folder;
    std::string binary;
    for (int i = 0; i < 100000; ++i) binary.push_back(static_cast<char>((i * 131) >> 3));
    for (const std::string& setup : {binary, std::string(1 << 20, 'y'), std::string("DCpath=/x"), std::string("=\n,,,\"\n")}) {
        write_file(folder.dir.file("setup.txt"), setup);
        const auto run = folder.run({"nothing.here", std::string(5000, 'a'), "\xff\xfe"});
        expect_clean_end(run);
        EXPECT_TRUE(ends_with(run.output, "No file found! Nie ma takiego pliku!\r\n" + closing)) << run.output.substr(0, 300);
    }
    // A setup.txt that is a folder counts as missing.
    std::filesystem::remove(folder.dir.file("setup.txt"));
    std::filesystem::create_directories(folder.dir.file("setup.txt"));
    const auto run = folder.run({std::string(300, '/') + "x"});
    expect_clean_end(run);
    EXPECT_NE(run.output.find("No setup file!"), std::string::npos);
}

TEST(Startup, KeyWaitTakesOneKeyAfterTheClosingLine) {
    ProgramFolder folder;
    write_file(folder.dir.file("x.txt"), "x");
    // A key is waiting when the closing line is written: the run still ends.
    const auto run = folder.run({"x.txt"}, "k");
    expect_clean_end(run);
    EXPECT_TRUE(ends_with(run.output, closing));
}
