// The release files of tools/package.sh (dist/) as a user meets them: the
// Debian package unpacked into a scratch root and the Windows zip unpacked
// into a folder with a Polish name (its programs run through Wine), each
// printing its version and extracting and rebuilding the sample sprite set
// byte for byte.
//
// tools/run-tests.sh makes the files and runs these with
// QUARNEL_PACKAGE_TESTS=required, which makes missing files a failure;
// without it they are skipped.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/sprite_archive.h"
#include "entry/version.h"
#include "samples/sample_archive.h"
#include "support/run_program.h"
#include "wine/wine_programs.h"

namespace quarnel {
namespace {

namespace fs = std::filesystem;

const std::string dist = std::string(QUARNEL_SOURCE_DIR) + "/dist";
const std::string version(program_version);

#define REQUIRE_PACKAGE(path)                                                                     \
    do {                                                                                          \
        const char* wanted = std::getenv("QUARNEL_PACKAGE_TESTS");                                \
        if (wanted == nullptr || *wanted == '\0')                                                 \
            GTEST_SKIP() << "QUARNEL_PACKAGE_TESTS is not set (tools/run-tests.sh sets it)";      \
        if (!fs::exists(path)) {                                                                  \
            if (std::string(wanted) == "required") FAIL() << "no " << (path) << " (tools/package.sh)"; \
            GTEST_SKIP() << "no " << (path) << " (tools/package.sh)";                             \
        }                                                                                         \
    } while (false)

std::string sample_sprite_set() {
    const auto bytes = write_sprite_set(sample_palette_block(), sample_sprites(), true);
    return std::string(bytes.begin(), bytes.end());
}

// True when every LF of the text follows a CR.
bool has_crlf_line_ends(const std::string& text) {
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
        if (at == 0 || text[at - 1] != '\r') return false;
    return text.find('\n') != std::string::npos;
}

TEST(Packages, TheDebianPackageInAScratchRootRunsTheRoundTrip) {
    const std::string deb = dist + "/quarnel_" + version + "_amd64.deb";
    REQUIRE_PACKAGE(deb);
    test::TempDir root, work;
    ASSERT_EQ(std::system(("dpkg -x '" + deb + "' '" + root.path() + "'").c_str()), 0);
    const std::string quarnel = root.file("usr/bin/quarnel"), bytediff = root.file("usr/bin/bytediff");
    for (const std::string& file : {quarnel, bytediff, root.file("usr/share/man/man1/quarnel.1.gz"),
                                    root.file("usr/share/man/man1/bytediff.1.gz"), root.file("usr/share/doc/quarnel/README.md.gz")})
        EXPECT_TRUE(fs::is_regular_file(file)) << file;
    const std::string copyright = test::read_file(root.file("usr/share/doc/quarnel/copyright"));
    EXPECT_NE(copyright.find("License: Expat"), std::string::npos);
    EXPECT_NE(copyright.find("Dmitry Bolkhovityanov"), std::string::npos);
    // Its dependencies: the libraries the programs load.
    const auto depends = test::run_program("/usr/bin/dpkg-deb", {"-f", deb, "Depends"}, "");
    for (const char* package : {"libc6", "libsdl2-2.0-0", "zlib1g", "libstdc++6"})
        EXPECT_NE(depends.output.find(package), std::string::npos) << depends.output;

    EXPECT_EQ(test::run_program(quarnel, {"--version"}, "").output, "quarnel " + version + "\n");
    EXPECT_EQ(test::run_program(bytediff, {"--version"}, "").output, "bytediff " + version + "\n");
    test::write_file(work.file("SAMPLE.spr"), sample_sprite_set());
    const auto extracted = test::run_program(quarnel, {"extract", "SAMPLE.spr"}, "", work.path());
    EXPECT_EQ(extracted.exit_status, 0) << extracted.output << extracted.errors;
    const auto built = test::run_program(quarnel, {"build", "SAMPLE"}, "", work.path());
    EXPECT_EQ(built.exit_status, 0) << built.output << built.errors;
    const auto compared = test::run_program(bytediff, {"SAMPLE.spr", "SAMPLE/SAMPLE_new.spr"}, "", work.path());
    EXPECT_EQ(compared.exit_status, 0) << compared.output;
    EXPECT_EQ(test::read_file(work.file("SAMPLE/SAMPLE_new.spr")), test::read_file(work.file("SAMPLE.spr")));
}

TEST(Packages, TheWindowsZipInAPolishFolderRunsTheRoundTrip) {
    const std::string zip = dist + "/quarnel-" + version + "-windows-x64.zip";
    REQUIRE_PACKAGE(zip);
    ASSERT_TRUE(fs::exists(test::wine_loader)) << "Wine is not installed";
    test::TempDir base;
    const std::string folder = base.file("Narz\xC4\x99" "dzia \xC5\x81\xC3\xB3" "d\xC5\xBA");  // Narzędzia Łódź
    const std::string data = base.file("Gry \xC5\x81\xC3\xB3" "d\xC5\xBA");                    // Gry Łódź
    fs::create_directory(folder);
    fs::create_directory(data);
    ASSERT_EQ(std::system(("unzip -q '" + zip + "' -d '" + folder + "'").c_str()), 0);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"LICENSE", "README.txt", "bytediff.exe", "quarnel.exe", "setup.txt"}));
    for (const char* text : {"README.txt", "LICENSE", "setup.txt"})
        EXPECT_TRUE(has_crlf_line_ends(test::read_file(folder + "/" + text))) << text;
    for (const char* program : {"quarnel.exe", "bytediff.exe"})
        EXPECT_EQ(test::read_file(folder + "/" + program).find(".debug_info"), std::string::npos) << program << " is not stripped";

    const std::string quarnel = folder + "/quarnel.exe", bytediff = folder + "/bytediff.exe";
    EXPECT_EQ(test::run_windows_exe(quarnel, {"--version"}, "", data).output, "quarnel " + version + "\n");
    test::write_file(data + "/SAMPLE.spr", sample_sprite_set());
    // Started on the archive as a dropped file is: its full path.
    const auto extracted = test::run_windows_exe(quarnel, {test::wine_path(data + "/SAMPLE.spr")}, "t\npng\n", data);
    EXPECT_EQ(extracted.exit_status, 0) << extracted.output << extracted.errors;
    EXPECT_NE(extracted.output.find("koncowka: 'Gry \xC5\x81\xC3\xB3" "d\xC5\xBA'\r\n"), std::string::npos) << extracted.output;
    // The example setup.txt beside the program is read.
    EXPECT_EQ(extracted.output.find("No setup file!"), std::string::npos) << extracted.output;
    const auto built = test::run_windows_exe(quarnel, {"0001.png"}, "", data + "/SAMPLE");
    EXPECT_EQ(built.exit_status, 0) << built.output << built.errors;
    EXPECT_EQ(test::read_file(data + "/SAMPLE/SAMPLE_new.spr"), test::read_file(data + "/SAMPLE.spr"));
    const auto compared = test::run_windows_exe(bytediff, {"SAMPLE.spr", "SAMPLE\\SAMPLE_new.spr"}, "", data);
    EXPECT_EQ(compared.exit_status, 0) << compared.output << compared.errors;
}

}  // namespace
}  // namespace quarnel
