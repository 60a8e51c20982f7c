// The build file ("build.txt") that ties an extraction to a rebuild, and the
// tile listing of a tile set (the archive's name + ".txt").
//
// build.txt, one value a line, lines ending CR LF as written (LF read too):
//   1  "''build file for vintelo converter, ver 30.04.2011" (never checked)
//   2  tile-set flag: 0 sprite set, anything else tile set
//   3  storage flag: 0 raw, 1 run-length coded
//   4  row-split flag: exactly 1 when every run ends at each row's end
// For .trs, .trc and .trw only the header and the row-split flag are
// written, so the flag stands on line 2.
//
// Tile listing: one line per tile, "value ; number", the value being the low
// 16 bits of the tile's u32 and the number counting from 1.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quarnel {

inline constexpr char build_file_name[] = "build.txt";
inline constexpr char build_file_header[] = "''build file for vintelo converter, ver 30.04.2011";

// Text made line by line with CR LF line ends, to be written whole.
class CrLfText {
public:
    void line(std::string_view text) {
        text_.append(text);
        text_.append("\r\n");
    }
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

// Writer side, used by extraction: the header first, the flags as the
// archive tells them.
class BuildFileWriter {
public:
    BuildFileWriter() { text_.line(build_file_header); }
    void write_flag(std::uint8_t value);
    const std::string& text() const { return text_.text(); }

private:
    CrLfText text_;
};

class TileListingWriter {
public:
    void write_tile(std::uint16_t value, std::uint32_t number);
    const std::string& text() const { return text_.text(); }

private:
    CrLfText text_;
};

// The name extraction gives picture number n, without its ending: "0001"
// to "9999", then "10000", ... (so the builder can read the number back).
std::string picture_base_name(std::uint32_t number);

// The three values the builder reads.
struct BuildSettings {
    std::uint8_t tile_set_flag = 0;
    std::uint8_t storage_flag = 0;
    std::uint8_t row_split_flag = 0;

    bool tile_set() const { return tile_set_flag != 0; }
    bool run_length() const { return storage_flag == 1; }
    bool row_split() const { return row_split_flag == 1; }
};

// One value of a line: blanks and tabs skipped, the leading number (0 when
// none), rounded to the nearest integer with ties to even, then wrapped to
// 32 bits ("300 ; 12" gives 300).
std::int32_t build_value(std::string_view line);
// The line split both readers use: LF, CR LF or CR end a line.
std::vector<std::string> split_lines(std::string_view text);

// From the text of a build file: line 1 skipped, lines 2 to 4 as the three
// flags (low 8 bits each; missing lines read 0).
BuildSettings parse_build_file(std::string_view text);

// Whether a build file can be built from, and why not. The builder never
// takes a file it cannot read for "all flags 0": that would build a raw
// sprite set of whatever the folder held.
enum class BuildFileState : std::uint8_t {
    readable,      // the header line and one to three flag lines, each starting with a number
    missing,       // no build.txt in the folder
    unreadable,    // there, but it cannot be read (a folder, no permission, too large)
    empty,         // nothing but blanks and line ends
    header_only,   // the header line and no flag
    not_a_number,  // a flag line (2 to 4) that does not start with a number
};

struct BuildFileReading {
    BuildFileState state = BuildFileState::missing;
    BuildSettings settings;     // the flags when readable
    std::size_t bad_line = 0;   // not_a_number: the line's number (2 to 4)
    std::size_t flag_lines = 0; // readable: how many flags the file holds (a .trs/.trc/.trw extraction writes 1)
    std::string unread_line;    // unreadable for its length: the line that says so

    bool readable() const { return state == BuildFileState::readable; }
};

// The checks on the text of a build file. The header line is only required
// to be there; trailing blank lines are no lines; a flag line starts with a
// number when, after blanks and tabs, it starts with a sign, a digit, a
// point and a digit, or &H, &O or &B (the forms build_value reads).
BuildFileReading check_build_file(std::string_view text);
// The same for build.txt in a folder, telling a missing file from one that
// cannot be read.
BuildFileReading read_checked_build_file(std::string_view folder);
// What is wrong with a build file that is not readable, in a few words
// ("is empty", "line 3 does not start with a number").
std::string build_file_problem(const BuildFileReading& reading);

// count tile values from the text of a tile listing; missing lines read 0.
std::vector<std::int32_t> parse_tile_listing(std::string_view text, std::size_t count);

}  // namespace quarnel
