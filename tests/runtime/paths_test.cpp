#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "runtime/platform/files.h"
#include "runtime/utility/paths.h"
#include "support/run_program.h"

using namespace quarnel;

TEST(Paths, JoinUsesOneSeparator) {
    EXPECT_EQ(join_path("/home/u/mods", "REAP"), "/home/u/mods/REAP");
    EXPECT_EQ(join_path("/home/u/mods/", "REAP"), "/home/u/mods/REAP");
    EXPECT_EQ(join_path("", "REAP"), "REAP");
    EXPECT_EQ(path_file_name("/a/b/REAP.spr"), "REAP.spr");
    EXPECT_EQ(path_dir_part("/a/b/REAP.spr"), "/a/b/");
    EXPECT_EQ(path_dir_part("REAP.spr"), "");
}

TEST(Paths, LookUpsIgnoreCaseAndPreferTheExactName) {
    test::TempDir dir;
    test::write_file(dir.file("UNIT.SPR"), "x");
    EXPECT_EQ(find_ignoring_case(dir.path(), "unit.spr"), dir.file("UNIT.SPR"));
    EXPECT_EQ(find_ignoring_case(dir.path(), "missing.spr"), "");
    test::write_file(dir.file("unit.spr"), "y");
    EXPECT_EQ(find_ignoring_case(dir.path(), "unit.spr"), dir.file("unit.spr"));
}

TEST(Paths, ListingIsSortedIgnoringCaseAndSkipsFolders) {
    test::TempDir dir;
    for (const char* name : {"0002.png", "0001.PNG", "b.Png", "A.png", "notes.txt"}) test::write_file(dir.file(name), "");
    std::filesystem::create_directory(dir.file("folder.png"));
    const auto names = list_files_with_suffix(dir.path(), ".png");
    const std::vector<std::string> expected = {"0001.PNG", "0002.png", "A.png", "b.Png"};
    EXPECT_EQ(names, expected);
}
