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
// build.txt of a folder; a file that cannot be read gives all flags 0.
BuildSettings read_build_file(std::string_view folder);

// count tile values from the text of a tile listing; missing lines read 0.
std::vector<std::int32_t> parse_tile_listing(std::string_view text, std::size_t count);
// The tile listing at that path; a missing file gives count zeros.
std::vector<std::int32_t> read_tile_listing(std::string_view path, std::size_t count);

}  // namespace quarnel
