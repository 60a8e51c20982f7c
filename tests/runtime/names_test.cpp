// Names in any letters: the UTF-8 and UTF-16 forms, the one rule for what
// is absolute, and (on Windows, run through Wine) the file services on
// folders named in Polish, Greek and Japanese, with names that cannot be
// converted refused instead of turned into other names.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/item_container.h"
#include "runtime/platform/files.h"
#include "runtime/platform/native_files.h"
#include "runtime/utility/paths.h"
#include "runtime/utility/text_encoding.h"

using namespace quarnel;

namespace {

const std::string lodz = "\xC5\x81\xC3\xB3" "d\xC5\xBA";                       // Łódź
const std::string greek = "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC";  // Ελληνικά
const std::string japan = "\xE6\x97\xA5\xE6\x9C\xAC";                          // 日本
const std::string lone_surrogate = "\xED\xA0\x80";                             // U+D800 alone, as the system may name a file

}  // namespace

TEST(Utf8, WellFormedTextConvertsBothWaysAndAnythingElseIsRefused) {
    for (const std::string& text : {lodz, greek, japan, std::string("plain"), std::string("\xF0\x9F\x98\x80")}) {
        ASSERT_TRUE(is_utf8(text)) << text;
        const auto utf16 = utf16_from_utf8(text);
        ASSERT_TRUE(utf16.has_value()) << text;
        EXPECT_EQ(utf8_from_utf16(*utf16), text);
    }
    EXPECT_EQ(*utf16_from_utf8(lodz), u"\u0141\u00F3d\u017A");
    EXPECT_EQ(*utf16_from_utf8("\xF0\x9F\x98\x80"), std::u16string({0xD83D, 0xDE00}));  // a pair of halves
    // A stray continuation byte, a cut sequence, the overlong forms of "/"
    // and of NUL, a surrogate, a byte never used, and beyond U+10FFFF.
    const std::vector<std::string> bad_texts = {"\x80", "\xC5", "a\xE6\x97", "\xC0\xAF", "\xE0\x80\xAF",
                                                std::string("\xC0\x80", 2), lone_surrogate, "\xFF", "\xF4\x90\x80\x80",
                                                "\x9Fr\xF3" "d\xB3o"};
    for (const std::string& bad : bad_texts) {
        EXPECT_FALSE(is_utf8(bad)) << bad;
        EXPECT_FALSE(utf16_from_utf8(bad).has_value()) << bad;
    }
    EXPECT_EQ(utf8_sequence_length(japan, 0), 3u);
    EXPECT_EQ(utf8_sequence_length(japan, 1), 0u);
    EXPECT_EQ(utf8_sequence_length("a", 0), 1u);
}

TEST(Utf8, AnUnpairedSurrogateKeepsAFormThatNeverConvertsBack) {
    // A Windows name may hold half a pair: it is kept, shown, and refused.
    const std::u16string name = {u'a', 0xD800, u'b', 0xDC00};
    const std::string held = utf8_from_utf16(name);
    EXPECT_EQ(held, "a" + lone_surrogate + "b\xED\xB0\x80");
    EXPECT_FALSE(utf16_from_utf8(held).has_value());
    EXPECT_NE(held, utf8_from_utf16(u"a\uFFFDb\uFFFD"));  // never the name with replacement characters
}

TEST(Utf8, AConsoleShowsPathsInUtf8AndTheProgramsTextsInWindows1250) {
    // "źródło" in Windows-1250, as the report's own labels hold it.
    EXPECT_EQ(shown_text("\x9Fr\xF3" "d\xB3o"), u"\u017Ar\u00F3d\u0142o");
    EXPECT_EQ(shown_text("katalog: '" + lodz + "\\'"), u"katalog: '\u0141\u00F3d\u017A\\'");
    EXPECT_EQ(shown_text("plik: " + japan + " \xB3"), u"plik: \u65E5\u672C \u0142");
    EXPECT_EQ(shown_text("\x81"), u"\uFFFD");  // a byte Windows-1250 leaves undefined
}

TEST(Paths, OneRuleSaysWhatIsAbsolute) {
#ifdef _WIN32
    for (const char* path : {"C:\\mods\\pal.bmp", "c:/mods/pal.bmp", "Z:\\", "\\\\server\\share\\pal.bmp",
                             "//server/share/pal.bmp", "\\\\?\\C:\\pal.bmp"}) {
        EXPECT_TRUE(is_absolute_path(path)) << path;
        EXPECT_FALSE(is_relative_path(path)) << path;
    }
    // On the current drive, or in a drive's current folder: neither.
    for (const char* path : {"\\mods\\pal.bmp", "/mods/pal.bmp", "D:pal.bmp", "C:"}) {
        EXPECT_FALSE(is_absolute_path(path)) << path;
        EXPECT_FALSE(is_relative_path(path)) << path;
    }
    for (const char* path : {"pal.bmp", "mods\\pal.bmp", "..\\pal.bmp", "1:\\pal.bmp", ""}) {
        EXPECT_FALSE(is_absolute_path(path)) << path;
        EXPECT_TRUE(is_relative_path(path)) << path;
    }
#else
    EXPECT_TRUE(is_absolute_path("/home/u/pal.bmp"));
    EXPECT_TRUE(is_absolute_path("//server/share"));
    for (const char* path : {"pal.bmp", "C:\\mods\\pal.bmp", "C:/mods", "\\\\server\\share", ""}) {
        EXPECT_FALSE(is_absolute_path(path)) << path;
        EXPECT_TRUE(is_relative_path(path)) << path;
    }
#endif
}

#ifdef _WIN32

#include <windows.h>

namespace {

// A folder of the test's own in the current folder, removed at the end.
struct TestFolder {
    explicit TestFolder(const std::string& name) : path(name) {
        std::error_code ec;
        std::filesystem::remove_all(native::system_path(path), ec);
        EXPECT_TRUE(make_directory(path))
            << path << " (under Wine the Unix locale must be UTF-8, for instance LC_ALL=C.UTF-8)";
    }
    ~TestFolder() {
        std::error_code ec;
        std::filesystem::remove_all(native::system_path(path), ec);
    }
    std::string path;
};

}  // namespace

TEST(WindowsNames, FilesInFoldersOfAnyLettersAreWrittenReadAndListed) {
    TestFolder top("names_test_" + lodz);
    for (const std::string& name : {lodz, greek, japan}) {
        const std::string folder = join_path(top.path, name);
        ASSERT_TRUE(make_directory(folder)) << folder;
        const std::string file = join_path(folder, name + ".spr");
        ASSERT_TRUE(write_whole_file(file, name));
        EXPECT_TRUE(file_exists(file)) << file;
        EXPECT_EQ(file_size(file), static_cast<std::int64_t>(name.size()));
        const auto bytes = read_whole_file(file);
        ASSERT_TRUE(bytes.has_value());
        EXPECT_EQ(std::string(bytes->begin(), bytes->end()), name);
        EXPECT_EQ(first_match(join_path(folder, "*.spr"), plain_file_mask), name + ".spr");
        // The full path ends as the relative one does, in the same letters.
        const std::string full = absolute_path(file);
        EXPECT_TRUE(is_absolute_path(full)) << full;
        EXPECT_EQ(full.substr(full.size() - file.size()), file);
        // The standard library's calls take the same names.
        std::error_code ec;
        EXPECT_TRUE(std::filesystem::is_regular_file(native::system_path(file), ec));
        EXPECT_EQ(delete_file(file), 0);
        EXPECT_FALSE(file_exists(file));
    }
    EXPECT_EQ(list_files_with_suffix(top.path, ".spr").size(), 0u);
    // The program's own folder is read in the same form.
    EXPECT_TRUE(is_absolute_path(program_directory())) << program_directory();
}

TEST(WindowsNames, NamesThatCannotBeConvertedReachNoFile) {
    TestFolder top("names_test_bad");
    // A file named with the replacement character, which a careless
    // conversion would give: it may never be opened instead.
    ASSERT_TRUE(write_whole_file(join_path(top.path, "a\xEF\xBF\xBD" "b"), "replacement"));
    const std::string too_long_part(256, 'x');
    for (const std::string& name : {"a" + lone_surrogate + "b", std::string("a\xFF" "b"), std::string("a\xC0\xAF" "b"),
                                    std::string("a\0b", 3), too_long_part, std::string(40000, 'y')}) {
        const std::string path = join_path(top.path, name);
        EXPECT_FALSE(unusable_name_reason(path).empty()) << path;
        EXPECT_FALSE(file_exists(path));
        EXPECT_FALSE(read_whole_file(path).has_value());
        EXPECT_FALSE(write_whole_file(path, "x"));
        EXPECT_FALSE(make_directory(path));
        EXPECT_TRUE(native::system_path(path).empty());
    }
    EXPECT_EQ(unusable_name_reason("a" + lone_surrogate), "an unpaired surrogate");
    EXPECT_EQ(unusable_name_reason("a\xFF"), "bytes that are not UTF-8");
    EXPECT_EQ(unusable_name_reason(too_long_part), "a part longer than 255 characters");
    EXPECT_EQ(unusable_name_reason(join_path(lodz, std::string(255, 'x'))), "");
    // Only the file written is there.
    std::vector<native::FolderEntry> entries;
    ASSERT_TRUE(native::list_folder(top.path, entries));
    EXPECT_EQ(entries.size(), 1u);
}

TEST(WindowsNames, AnArgumentWithHalfASurrogatePairGetsALineAndIsNotFound) {
    // Only another Windows program can give such an argument: quarnel.exe
    // (beside the tests' folder) started with one, its output in a file.
    const std::string quarnel = join_path(path_dir_part(program_directory()), "quarnel.exe");
    ASSERT_TRUE(file_exists(quarnel)) << quarnel;
    const std::string output = "names_test_output.txt";
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const HANDLE out = CreateFileW(L"names_test_output.txt", GENERIC_WRITE, FILE_SHARE_READ, &inherited, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    const HANDLE in = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(out, INVALID_HANDLE_VALUE);
    ASSERT_NE(in, INVALID_HANDLE_VALUE);
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = in;
    start.hStdOutput = out;
    start.hStdError = out;
    const std::u16string program = *utf16_from_utf8(quarnel);
    std::wstring command = L"\"" + std::wstring(program.begin(), program.end()) + L"\" a";
    command += static_cast<wchar_t>(0xD800);
    command += L"b.spr";
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr, nullptr, &start, &process);
    CloseHandle(out);
    CloseHandle(in);
    ASSERT_TRUE(started);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(status, 0u);
    const auto bytes = read_whole_file(output);
    ASSERT_TRUE(bytes.has_value());
    const std::string seen(bytes->begin(), bytes->end());
    EXPECT_NE(seen.find("Nazwa nie do uzycia (an unpaired surrogate) | the system cannot take this name: a" +
                        lone_surrogate + "b.spr\r\nNo file found! Nie ma takiego pliku!\r\n"),
              std::string::npos)
        << seen;
    delete_file(output);
}

TEST(WindowsNames, AnItemNameThatIsNotUtf8IsWrittenUnderASafeName) {
    EXPECT_FALSE(file_name_allowed("LOGO\xB3.PAL"));
    EXPECT_EQ(safe_item_file_name("LOGO\xB3.PAL", 3), "item3_LOGO_.PAL");
    EXPECT_EQ(safe_item_file_name(lodz + ":x", 1), "item1_" + lodz + "_x");
    EXPECT_EQ(safe_item_file_name(lodz + ".pal", 2), lodz + ".pal");
}

TEST(WindowsNames, AValueFromSetupTxtIsUtf8OrTheAnsiCodePage) {
    EXPECT_EQ(native::name_from_file_text("D:\\Gry\\" + lodz), "D:\\Gry\\" + lodz);
    // An "ANSI" file: the code page of the run decides the letters.
    const std::string ansi = native::name_from_file_text("D:\\Gry\\\xF3");
    EXPECT_TRUE(is_utf8(ansi));
    EXPECT_EQ(ansi, "D:\\Gry\\\xC3\xB3");  // o with acute in both 1250 and 1252
}

#endif
