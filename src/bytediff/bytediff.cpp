// bytediff: asks for two file names and lists, position by position from the
// first byte, where the two files differ, up to 31 differences and up to the
// end of the shorter file.
//
// The comparison behaves as if it read one byte of each file per step; the
// bytes themselves are read in blocks of a mebibyte and compared with
// memcmp, so large identical files go by at the speed of the disk.
#include "bytediff/bytediff.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "entry/version.h"
#include "runtime/platform/files.h"
#include "runtime/platform/native_files.h"
#include "runtime/screen/console.h"
#include "runtime/utility/text.h"

namespace quarnel {

namespace {

constexpr std::size_t block_size = std::size_t{1} << 20;

// Fills the block from the file at the 1-based position; a file that is
// not open reads as zeros.
void read_block(int file_number, bool is_open, std::int64_t position, std::uint8_t* block, std::size_t count) {
    if (is_open) get_bytes(file_number, position, block, count);
    else std::memset(block, 0, count);
}

}  // namespace

ByteScan scan_files(int first_file, int second_file) {
    ByteScan scan;
    const std::int64_t first_length = file_length(first_file);
    const std::int64_t second_length = file_length(second_file);
    const bool first_open = first_length >= 0;
    const bool second_open = second_length >= 0;
    // A file that is not open counts as ended after the first step.
    const std::int64_t first_size = first_open ? first_length : 0;
    const std::int64_t second_size = second_open ? second_length : 0;

    // Each step reads one position of both files and then asks whether
    // either file has been read to its end, so the scan stops after step
    // max(1, size) of the shorter file, or earlier at the 31st difference.
    const std::int64_t last_possible_step = std::min(std::max<std::int64_t>(1, first_size), std::max<std::int64_t>(1, second_size));
    std::int64_t last_step = last_possible_step;

    std::vector<std::uint8_t> first_block(block_size), second_block(block_size);
    bool limit_reached = false;
    for (std::int64_t start = 1; start <= last_possible_step && !limit_reached;) {
        const std::size_t count = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(block_size), last_possible_step - start + 1));
        read_block(first_file, first_open, start, first_block.data(), count);
        read_block(second_file, second_open, start, second_block.data(), count);
        if (std::memcmp(first_block.data(), second_block.data(), count) != 0) {
            for (std::size_t i = 0; i < count; ++i) {
                if (first_block[i] == second_block[i]) continue;
                const std::int64_t position = start + static_cast<std::int64_t>(i);
                scan.differences.push_back({position, first_block[i], second_block[i]});
                if (scan.differences.size() >= max_listed_differences) {
                    last_step = position;
                    limit_reached = true;
                    break;
                }
            }
        }
        start += static_cast<std::int64_t>(count);
    }
    scan.first_ended = last_step >= first_size;
    scan.second_ended = last_step >= second_size;
    return scan;
}

namespace {

constexpr std::string_view usage_lines =
    "Usage: bytediff                 asks for two file names, lists their first differences, ends on q\n"
    "       bytediff FILE1 FILE2     compares at once; exit status 0 when the files are equal in content\n"
    "                                and length, 1 when not, 2 when one cannot be read\n"
    "       bytediff --help | --version\n";

// Opens both files, lists their differences and closes them again. True
// when no difference was found up to the end of the shorter file.
struct Comparison {
    bool same_bytes = false;
    std::int64_t first_length = 0;
    std::int64_t second_length = 0;
};

Comparison compare_and_list(const std::string& first_name, const std::string& second_name) {
    // Errors of opening are not looked at: in binary mode a missing name is
    // created empty, and a file that cannot be opened reads as ended.
    const int first_file = free_file_number();
    print_text(0, "scanning...", true);
    open_file(first_name, OpenMode::binary, first_file);
    // When the first file could not be opened its number is still free; the
    // second file takes another, so that the first keeps reading as ended
    // instead of sharing the second file's slot.
    int second_file = free_file_number();
    if (second_file == first_file) {
        second_file = 0;
        for (int n = first_file + 1; n <= max_file_number && second_file == 0; ++n)
            if (file_length(n) < 0) second_file = n;
    }
    open_file(second_name, OpenMode::binary, second_file);

    const ByteScan scan = scan_files(first_file, second_file);
    for (const ByteDifference& d : scan.differences) {
        print_text(0,
                   "roznica, bajt nr: " + decimal_text(d.position) + "  bajty: " + decimal_text(std::uint32_t{d.first}) + " <> " +
                       decimal_text(std::uint32_t{d.second}) + "   chr: " + std::string(1, static_cast<char>(d.first)) + " <> " +
                       std::string(1, static_cast<char>(d.second)),
                   true);
    }
    if (scan.first_ended) print_text(0, "koniec pliku pierwszego", true);
    if (scan.second_ended) print_text(0, "koniec pliku drugiego", true);

    Comparison comparison{scan.differences.empty(), file_length(first_file), file_length(second_file)};
    close_file(second_file);
    close_file(first_file);
    return comparison;
}

void print_heading(const std::string& first_name, const std::string& second_name) {
    print_text(0, "", true);
    print_text(0, "Differences will be show in tis orded:", true);
    // The names as answered, also when empty; the defaults apply only after.
    print_text(0, "actual position in file, bytes from " + first_name + " <> " + second_name + ", then chr() for these bytes",
               true);
}

// bytediff FILE1 FILE2 and the like: no question, no key wait, an exit
// status as cmp gives it. Files that are not there are not created.
int run_command() {
    const int argc = command_argument_count();
    const std::string first_word = command_argument(1);
    if (argc == 2 && first_word == "--help") {
        std::fputs(usage_lines.data(), stdout);
        return 0;
    }
    if (argc == 2 && first_word == "--version") {
        std::printf("bytediff %.*s\n", static_cast<int>(program_version.size()), program_version.data());
        return 0;
    }
    const bool option = first_word.size() > 1 && first_word[0] == '-';
    if (argc != 3 || option) {
        std::fprintf(stderr, "bytediff: %s\nUsage: bytediff [--help | --version] [FILE1 FILE2]\n",
                     option ? ("unknown option '" + first_word + "'").c_str() : "two file names are needed");
        return 2;
    }
    const std::string first_name = command_argument(1);
    const std::string second_name = command_argument(2);
    for (const std::string& name : {first_name, second_name}) {
        if (!is_plain_file(name) || !file_exists(name)) {
            print_error_text("bytediff: cannot read " + name + "\n");
            return 2;
        }
    }
    print_heading(first_name, second_name);
    const Comparison comparison = compare_and_list(first_name, second_name);
    const bool same_length = comparison.first_length == comparison.second_length;
    if (!same_length)
        print_text(0,
                   "Dlugosci rozne | the lengths differ: " + decimal_text(comparison.first_length) + " <> " +
                       decimal_text(comparison.second_length) + " bytes",
                   true);
    const bool equal = comparison.same_bytes && same_length;
    print_text(0, equal ? "Files are identical" : "Files are different", true);
    print_text(0, "zakonczono skanowanie...", true);
    return equal ? 0 : 1;
}

}  // namespace

int bytediff_main(int argc, char** argv) {
    init_runtime(argc, argv);
    if (command_argument_count() > 1) end_program(run_command());
    clear_screen();
    print_text(0, "Hello!", true);
    print_text(0, "This program shows differences between two files", true);
    std::string first_name = ask_answer("Please enter first filename: ", false);
    std::string second_name = ask_answer("Please enter second filename: ", false);
    print_heading(first_name, second_name);
    if (first_name.empty()) first_name = "test.txt";
    if (second_name.empty()) second_name = "wynik_decode.txt";
    // A name the system cannot take gets its line and compares as a missing file.
    for (const std::string& name : {first_name, second_name})
        if (const std::string unusable = unusable_name_line(name); !unusable.empty()) print_text(0, unusable, true);

    const Comparison comparison = compare_and_list(first_name, second_name);

    print_text(0, comparison.same_bytes ? "Files are identical" : "Files are different", true);
    print_text(0, "zakonczono skanowanie...", true);
    print_text(0, "press 'q' to quit", true);

    // Only a lower-case q ends the program; at the end of a piped standard
    // input the wait ends too.
    // The 50 ms sleep comes only when no key was waiting, so a long piped
    // input is taken at once instead of one byte per sleep.
    for (;;) {
        const std::string key = poll_key();
        if (key == "q" || input_has_ended()) break;
        if (key.empty()) sleep_ms(50);
    }
    end_program(0);
}

}  // namespace quarnel
