#include "archive/build_file.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

#include "runtime/platform/files.h"
#include "runtime/utility/paths.h"
#include "runtime/utility/text.h"

namespace quarnel {

std::string picture_base_name(std::uint32_t number) {
    std::string digits = decimal_text(number);
    if (digits.size() < 4) digits.insert(0, 4 - digits.size(), '0');
    return digits;
}

void BuildFileWriter::write_flag(std::uint8_t value) { text_.line(decimal_text(std::uint32_t{value})); }

void TileListingWriter::write_tile(std::uint16_t value, std::uint32_t number) {
    text_.line(decimal_text(std::uint32_t{value}) + " ; " + decimal_text(number));
}

std::int32_t build_value(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const double value = number_value(line.substr(i));
    if (!std::isfinite(value)) return 0;
    // Nearest integer, ties to even (the default rounding mode), then the
    // low 32 bits of it.
    const double rounded = std::nearbyint(value);
    double wrapped = std::fmod(rounded, 4294967296.0);
    if (wrapped < 0) wrapped += 4294967296.0;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(wrapped));
}

std::vector<std::string> split_lines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = start;
        while (end < text.size() && text[end] != '\n' && text[end] != '\r') ++end;
        lines.emplace_back(text.substr(start, end - start));
        if (end < text.size()) {
            // CR LF is one line end; a lone CR or LF is one too.
            end += (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1;
        }
        start = end;
    }
    return lines;
}

BuildSettings parse_build_file(std::string_view text) {
    const std::vector<std::string> lines = split_lines(text);
    auto flag = [&](std::size_t line_number) -> std::uint8_t {
        if (lines.size() < line_number) return 0;
        return static_cast<std::uint8_t>(static_cast<std::uint32_t>(build_value(lines[line_number - 1])) & 0xFFu);
    };
    BuildSettings settings;
    settings.tile_set_flag = flag(2);
    settings.storage_flag = flag(3);
    settings.row_split_flag = flag(4);
    return settings;
}

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool starts_with_number(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i + 1 < line.size() && line[i] == '&') {
        const char base = line[i + 1];
        return base == 'H' || base == 'h' || base == 'O' || base == 'o' || base == 'B' || base == 'b';
    }
    if (i < line.size() && (line[i] == '+' || line[i] == '-')) ++i;
    if (i < line.size() && is_digit(line[i])) return true;
    return i + 1 < line.size() && line[i] == '.' && is_digit(line[i + 1]);
}

bool is_blank_line(std::string_view line) {
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

}  // namespace

BuildFileReading check_build_file(std::string_view text) {
    std::vector<std::string> lines = split_lines(text);
    while (!lines.empty() && is_blank_line(lines.back())) lines.pop_back();
    BuildFileReading reading;
    if (lines.empty()) {
        reading.state = BuildFileState::empty;
        return reading;
    }
    if (lines.size() == 1) {
        reading.state = BuildFileState::header_only;
        return reading;
    }
    for (std::size_t line = 2; line <= 4 && line <= lines.size(); ++line) {
        if (!starts_with_number(lines[line - 1])) {
            reading.state = BuildFileState::not_a_number;
            reading.bad_line = line;
            return reading;
        }
    }
    reading.state = BuildFileState::readable;
    reading.flag_lines = std::min<std::size_t>(lines.size() - 1, 3);
    reading.settings = parse_build_file(text);
    return reading;
}

BuildFileReading read_checked_build_file(std::string_view folder) {
    const std::string path = join_path(folder, build_file_name);
    BuildFileReading reading;
    if (!name_exists(path)) {
        reading.state = BuildFileState::missing;
        return reading;
    }
    // A folder of that name, or a file that cannot be opened or read.
    const auto bytes = read_whole_file(path);
    if (!bytes) {
        reading.state = BuildFileState::unreadable;
        say_read_failure(bytes.error(), [&reading](std::string_view line) { reading.unread_line = line; });
        return reading;
    }
    return check_build_file(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

std::string build_file_problem(const BuildFileReading& reading) {
    switch (reading.state) {
    case BuildFileState::readable: return "can be read";
    case BuildFileState::missing: return "is missing";
    case BuildFileState::unreadable: return "cannot be read";
    case BuildFileState::empty: return "is empty";
    case BuildFileState::header_only: return "holds its header line but no flags";
    case BuildFileState::not_a_number: break;
    }
    return "line " + std::to_string(reading.bad_line) + " does not start with a number";
}

std::vector<std::int32_t> parse_tile_listing(std::string_view text, std::size_t count) {
    const std::vector<std::string> lines = split_lines(text);
    std::vector<std::int32_t> values(count, 0);
    for (std::size_t i = 0; i < count && i < lines.size(); ++i) values[i] = build_value(lines[i]);
    return values;
}

}  // namespace quarnel
