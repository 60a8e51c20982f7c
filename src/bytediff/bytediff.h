// bytediff: compares two files byte by byte and lists the first differences.
#pragma once

#include <cstdint>
#include <vector>

namespace quarnel {

int bytediff_main(int argc, char** argv);

// One differing position: the 1-based byte position and the two bytes.
struct ByteDifference {
    std::int64_t position = 0;
    std::uint8_t first = 0;
    std::uint8_t second = 0;
};

// What comparing two open files found: at most max_listed_differences
// differences, and which files were read to their end in the last step.
struct ByteScan {
    std::vector<ByteDifference> differences;
    bool first_ended = false;
    bool second_ended = false;
};

inline constexpr std::size_t max_listed_differences = 31;

// Compares the files open under the two numbers from their first byte, one
// step per position, until the 31st difference or until either file ends
// (a file that is not open ends after the first step; bytes past a file's
// end count as zero). Reads both files in large blocks.
ByteScan scan_files(int first_file, int second_file);

}  // namespace quarnel
