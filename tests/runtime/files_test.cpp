// The file-number table, its open modes, reads past the end, the input
// context and directory listings.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "runtime/platform/files.h"
#include "support/run_program.h"

using namespace quarnel;
using quarnel::test::read_file;
using quarnel::test::TempDir;
using quarnel::test::write_file;

namespace {
// Every test leaves the table empty for the next.
struct FilesTest : ::testing::Test {
    void TearDown() override { close_file(0); }
    TempDir dir;
};

std::span<const std::uint8_t> bytes_of(const std::string& s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}
}  // namespace

TEST_F(FilesTest, BinaryOpenOfMissingNameCreatesEmptyFile) {
    const std::string name = dir.file("new.bin");
    const int n = free_file_number();
    ASSERT_EQ(n, 1);
    EXPECT_EQ(open_file(name, OpenMode::binary, n), 0);
    EXPECT_EQ(file_size(name), 0);
    EXPECT_TRUE(file_exists(name));
    EXPECT_TRUE(end_of_file(n));  // nothing to read
    EXPECT_EQ(close_file(n), 0);
}

TEST_F(FilesTest, ReadPastTheEndDeliversZeros) {
    const std::string name = dir.file("six.bin");
    write_file(name, "ABCDEF");
    ASSERT_EQ(open_file(name, OpenMode::binary, 3), 0);
    std::array<std::uint8_t, 4> got{9, 9, 9, 9};
    EXPECT_EQ(get_bytes(3, 5, got.data(), got.size()), 0);  // 2 bytes before the end
    EXPECT_EQ(got, (std::array<std::uint8_t, 4>{'E', 'F', 0, 0}));
    EXPECT_TRUE(end_of_file(3));
}

TEST_F(FilesTest, CurrentPositionAdvancesAndEndOfFileFollows) {
    const std::string name = dir.file("abc.bin");
    write_file(name, "abc");
    ASSERT_EQ(open_file(name, OpenMode::binary, 1), 0);
    std::uint8_t b = 0;
    get_bytes(1, 0, &b, 1);
    EXPECT_EQ(b, 'a');
    EXPECT_FALSE(end_of_file(1));
    get_bytes(1, 0, &b, 1);
    EXPECT_EQ(b, 'b');
    get_bytes(1, 0, &b, 1);
    EXPECT_EQ(b, 'c');
    EXPECT_TRUE(end_of_file(1));
    get_bytes(1, 1, &b, 1);  // an explicit position moves back
    EXPECT_EQ(b, 'a');
    EXPECT_FALSE(end_of_file(1));
}

TEST_F(FilesTest, PutBytesGrowsTheFile) {
    const std::string name = dir.file("grow.bin");
    ASSERT_EQ(open_file(name, OpenMode::binary, 1), 0);
    EXPECT_EQ(put_bytes(1, 5, bytes_of("XY")), 0);  // a gap of 4 zero bytes first
    EXPECT_EQ(put_bytes(1, 0, bytes_of("Z")), 0);   // then at the current position
    close_file(1);
    EXPECT_EQ(read_file(name), std::string("\0\0\0\0XYZ", 7));
    std::vector<std::uint16_t> words = {0x0201, 0x0403};
    ASSERT_EQ(open_file(name, OpenMode::binary, 1), 0);
    EXPECT_EQ(put_array(1, 1, words), 0);
    std::vector<std::uint16_t> back(2);
    EXPECT_EQ(get_array(1, 1, back), 0);
    EXPECT_EQ(back, words);
}

TEST_F(FilesTest, BinaryFallsBackToReadOnly) {
    if (geteuid() == 0) GTEST_SKIP() << "root can write any file";
    const std::string name = dir.file("ro.bin");
    write_file(name, "R");
    chmod(name.c_str(), 0444);
    ASSERT_EQ(open_file(name, OpenMode::binary, 1), 0);
    std::uint8_t b = 0;
    get_bytes(1, 1, &b, 1);
    EXPECT_EQ(b, 'R');
    EXPECT_NE(put_bytes(1, 1, bytes_of("W")), 0);
}

TEST_F(FilesTest, OpenModesAndErrorCodes) {
    const std::string name = dir.file("text.txt");
    EXPECT_EQ(open_file(name, OpenMode::input, 1), 2);  // missing
    EXPECT_EQ(open_file(name, OpenMode::output, 0), 1);
    EXPECT_EQ(open_file(name, OpenMode::output, 255), 1);
    EXPECT_FALSE(file_exists(name));  // nothing was opened above

    ASSERT_EQ(open_file(name, OpenMode::output, 1), 0);
    EXPECT_EQ(open_file(name, OpenMode::output, 1), 1);  // number in use
    EXPECT_EQ(write_file_text(1, "one\r\n"), 0);
    close_file(1);
    ASSERT_EQ(open_file(name, OpenMode::append, 1), 0);
    EXPECT_EQ(write_file_text(1, "two\r\n"), 0);
    close_file(1);
    EXPECT_EQ(read_file(name), "one\r\ntwo\r\n");
    ASSERT_EQ(open_file(name, OpenMode::output, 1), 0);  // output truncates
    close_file(1);
    EXPECT_EQ(file_size(name), 0);

    EXPECT_EQ(close_file(7), 1);
    std::uint8_t b = 5;
    EXPECT_EQ(get_bytes(7, 1, &b, 1), 1);  // unopened: does nothing
    EXPECT_EQ(b, 5);
    EXPECT_TRUE(end_of_file(7));
    EXPECT_EQ(write_file_text(7, "x"), 1);
}

TEST_F(FilesTest, TableHoldsExactly254Files) {
    for (int i = 1; i <= max_file_number; ++i) {
        const int n = free_file_number();
        ASSERT_EQ(n, i);
        ASSERT_EQ(open_file(dir.file("f" + std::to_string(i)), OpenMode::binary, n), 0);
    }
    EXPECT_EQ(free_file_number(), 0);
    close_file(100);
    EXPECT_EQ(free_file_number(), 100);
    close_file(0);
    EXPECT_EQ(free_file_number(), 1);
}

TEST_F(FilesTest, FoldersAreNotFiles) {
    const std::string folder = dir.file("sub");
    EXPECT_TRUE(make_directory(folder));
    EXPECT_FALSE(make_directory(folder));  // exists: fails harmlessly
    EXPECT_FALSE(file_exists(folder));
    EXPECT_EQ(file_size(folder), 0);
    EXPECT_EQ(open_file(folder, OpenMode::binary, 1), 2);
    EXPECT_EQ(open_file(folder, OpenMode::input, 1), 2);
    EXPECT_FALSE(read_whole_file(folder).has_value());
    EXPECT_FALSE(make_directory(dir.file("no/such/parent")));
}

TEST_F(FilesTest, DeleteFile) {
    const std::string name = dir.file("gone.txt");
    write_file(name, "x");
    EXPECT_EQ(delete_file(name), 0);
    EXPECT_FALSE(file_exists(name));
    EXPECT_NE(delete_file(name), 0);
}

TEST_F(FilesTest, InputContextReadsItemsUntilTheEnd) {
    const std::string name = dir.file("setup.txt");
    write_file(name, "  DCpath=/games/dc\r\n'comment,x\r\n\"q,1\"\r\nlast");
    ASSERT_EQ(open_file(name, OpenMode::input, 2), 0);
    ASSERT_EQ(input_from_file(2), 0);
    std::vector<std::string> items;
    while (!end_of_file(2)) items.push_back(input_item());
    EXPECT_EQ(items, (std::vector<std::string>{"DCpath=/games/dc", "'comment", "x", "q,1", "last"}));
    EXPECT_EQ(input_item(), "");
    EXPECT_EQ(input_from_file(9), 1);
}

TEST_F(FilesTest, InputContextEndsWhenItsFileCloses) {
    const std::string name = dir.file("items.txt");
    write_file(name, "a,b,c");
    ASSERT_EQ(open_file(name, OpenMode::binary, 4), 0);  // any open file can be read as items
    ASSERT_EQ(input_from_file(4), 0);
    EXPECT_EQ(input_item(), "a");
    EXPECT_FALSE(end_of_file(4));
    close_file(4);
    EXPECT_EQ(input_item(), "");
    EXPECT_EQ(input_from_file(4), 1);
}

TEST_F(FilesTest, AppendWritesAtTheEndWhateverThePosition) {
    const std::string name = dir.file("log.txt");
    write_file(name, "start");
    ASSERT_EQ(open_file(name, OpenMode::append, 1), 0);
    EXPECT_EQ(put_bytes(1, 1, bytes_of("+")), 0);
    EXPECT_EQ(write_file_text(1, "end"), 0);
    close_file(1);
    EXPECT_EQ(read_file(name), "start+end");
    EXPECT_EQ(file_length(1), -1);
}

TEST_F(FilesTest, InputContextFromTypedLine) {
    input_from_line(" a ,b");
    EXPECT_EQ(input_item(), "a ");
    EXPECT_EQ(input_item(), "b");
    EXPECT_EQ(input_item(), "");
}

TEST_F(FilesTest, ListingIsSortedIgnoringCaseAndSkipsFoldersAndHidden) {
    for (const char* name : {"0002.png", "0001.PNG", "b.png", "A.png", ".hidden.png", "note.txt"})
        write_file(dir.file(name), "x");
    make_directory(dir.file("folder.png"));
    std::vector<std::string> names;
    for (std::string n = first_match(dir.path() + "/*.png", plain_file_mask); !n.empty(); n = next_match())
        names.push_back(n);
    EXPECT_EQ(names, (std::vector<std::string>{"0001.PNG", "0002.png", "A.png", "b.png"}));
    EXPECT_EQ(next_match(), "");

    // A mask that admits folders and hidden entries lists them too.
    names.clear();
    for (std::string n = first_match(dir.path() + "/*.png", 0x33); !n.empty(); n = next_match()) names.push_back(n);
    EXPECT_EQ(names.size(), 6u);

    EXPECT_EQ(first_match(dir.path() + "/?.png", plain_file_mask), "A.png");
    EXPECT_EQ(first_match(dir.path() + "/*.bmp", plain_file_mask), "");
    EXPECT_EQ(first_match(dir.file("missing") + "/*.png", plain_file_mask), "");
}

TEST_F(FilesTest, WholeFileHelpers) {
    const std::string name = dir.file("whole.bin");
    EXPECT_FALSE(read_whole_file(name).has_value());
    std::string big(300000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 31);
    EXPECT_TRUE(write_whole_file(name, big));
    auto back = read_whole_file(name);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(std::string(back->begin(), back->end()), big);
    EXPECT_TRUE(write_whole_file(name, std::string_view("short")));
    EXPECT_EQ(read_file(name), "short");
    EXPECT_FALSE(write_whole_file(dir.file("no/such/dir/x"), std::string_view("x")));
}

// Every output is written whole or not at all, and a failure says why.
TEST_F(FilesTest, WritesReplaceWholeOrLeaveTheEarlierFile) {
    const std::string name = dir.file("kept.txt");
    write_file(name, "earlier");
    const std::string partial = name + std::string(partial_file_suffix);
    // A folder in the way of the partial file: the write fails, the earlier file stays.
    std::filesystem::create_directory(partial);
    const WriteResult blocked = write_whole_file(name, std::string_view("new"));
    EXPECT_FALSE(blocked);
    EXPECT_EQ(blocked.error().message, "a folder of that name is in the way");
    EXPECT_EQ(read_file(name), "earlier");
    std::filesystem::remove(partial);

    // A read-only file is not replaced, also for root.
    std::filesystem::permissions(name, std::filesystem::perms::owner_read);
    EXPECT_EQ(write_whole_file(name, std::string_view("new")).error().message, "the file is read-only");
    EXPECT_EQ(read_file(name), "earlier");
    std::filesystem::permissions(name, std::filesystem::perms::owner_all);

    EXPECT_TRUE(write_whole_file(name, std::string_view("new")));
    EXPECT_EQ(read_file(name), "new");
    EXPECT_FALSE(std::filesystem::exists(partial));
    // A device takes the bytes in place and stays a device.
    EXPECT_TRUE(write_whole_file("/dev/null", std::string_view("x")));
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
    if (std::filesystem::exists("/dev/full")) {
        const WriteResult full = write_whole_file("/dev/full", std::string_view("x"));
        EXPECT_EQ(full.error().message, "no space left on the device");
        EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
    }

    // What a killed run left is removed by the next run's sweep, nothing else.
    write_file(dir.file("0001.png") + std::string(partial_file_suffix), "half");
    remove_partial_files(dir.path());
    EXPECT_FALSE(std::filesystem::exists(dir.file("0001.png") + std::string(partial_file_suffix)));
    EXPECT_TRUE(std::filesystem::exists(name));
}

TEST(ProgramDirectory, IsTheFolderOfTheRunningExecutable) {
    const std::string folder = program_directory();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), '/');
    EXPECT_EQ(folder.front(), '/');
    char exe[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
    EXPECT_EQ(std::string(exe).substr(0, folder.size() + 1), folder + "/");
}

TEST(CommandArgument, ByPositionEmptyWhenAbsent) {
    char prog[] = "prog", one[] = "in.spr", two[] = "-p";
    char* argv[] = {prog, one, two};
    set_command_arguments(3, argv);
    EXPECT_EQ(command_argument(0), "prog");
    EXPECT_EQ(command_argument(1), "in.spr");
    EXPECT_EQ(command_argument(2), "-p");
    EXPECT_EQ(command_argument(3), "");
    EXPECT_EQ(command_argument(-1), "");
}
