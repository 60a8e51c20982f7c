#include "archive/exact_rebuild_file.h"

#include <algorithm>
#include <charconv>
#include <system_error>

#include "runtime/utility/text.h"

namespace quarnel {

namespace {

constexpr char first_line[] = "quarnel-exact-rebuild 1";

// The line's words, split at blanks and tabs.
std::vector<std::string_view> words_of(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
        const std::size_t start = at;
        while (at < line.size() && line[at] != ' ' && line[at] != '\t') ++at;
        if (at > start) words.push_back(line.substr(start, at - start));
    }
    return words;
}

// A decimal number of nothing but digits, at most `largest`.
std::optional<std::uint64_t> whole_number(std::string_view word, std::uint64_t largest) {
    if (word.empty() || word.size() > 20) return std::nullopt;
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size() || value > largest) return std::nullopt;
    return value;
}

// "n:" with n from 1 up.
std::optional<std::uint64_t> numbered(std::string_view word, std::uint64_t largest) {
    if (word.size() < 2 || word.back() != ':') return std::nullopt;
    const auto value = whole_number(word.substr(0, word.size() - 1), largest);
    if (!value || *value == 0) return std::nullopt;
    return value;
}

}  // namespace

void ExactRebuildRecord::canvas_size(std::size_t i, std::uint32_t& width, std::uint32_t& height) const {
    const Picture& p = pictures[i];
    const std::uint64_t w = std::uint64_t{p.width} + (centred ? p.x_offset : 0u);
    const std::uint64_t h = std::uint64_t{p.height} + (centred ? p.y_offset : 0u);
    if (w == 0 || h == 0 || w > 0xFFFFFFFFu || h > 0xFFFFFFFFu) {
        width = 1;
        height = 1;
        return;
    }
    width = static_cast<std::uint32_t>(w);
    height = static_cast<std::uint32_t>(h);
}

std::string exact_rebuild_text(const ExactRebuildRecord& record) {
    std::string text;
    auto line = [&](const std::string& content) { text += content + "\r\n"; };
    line(first_line);
    line("# What the pictures cannot carry, for an exact rebuild (extraction with -i).");
    line("# Lines starting with # are comments. The builder reads this file when it");
    line("# builds from this folder; a line it cannot read makes it build from the pictures alone.");
    line("archive " + record.archive_name);
    line(std::string("kind ") + (record.tile_set ? "tile-set" : "sprite-set"));
    std::string header = "header";
    for (std::uint8_t b : record.header) header += " " + decimal_text(b);
    line("# the archive's first eight bytes");
    line(header);
    line("# 1: the pictures are placed by their offsets (the centring answer)");
    line(std::string("centred ") + (record.centred ? "1" : "0"));
    line("# the flags written to build.txt, and the coding style that recodes every picture as stored");
    line("build " + decimal_text(record.build_flags.tile_set_flag) + " " + decimal_text(record.build_flags.storage_flag) + " " +
         decimal_text(record.build_flags.row_split_flag));
    line(std::string("row-split ") + (record.row_split ? "1" : "0"));
    line("# palette block as stored: index: red green blue (0 to 63 in the game; larger bytes kept)");
    for (std::size_t i = 0; i < palette_entries; ++i)
        line("colour " + decimal_text(i) + ": " + decimal_text(record.palette_block[3 * i]) + " " +
             decimal_text(record.palette_block[3 * i + 1]) + " " + decimal_text(record.palette_block[3 * i + 2]));
    if (record.tile_set) {
        line("# tile number: the 32-bit tile value");
        for (std::size_t i = 0; i < record.tile_values.size(); ++i)
            line("tile " + decimal_text(i + 1) + ": " + decimal_text(record.tile_values[i]));
    } else {
        line("# picture number: width height x-offset y-offset, as stored");
        for (std::size_t i = 0; i < record.pictures.size(); ++i) {
            const auto& p = record.pictures[i];
            line("picture " + decimal_text(i + 1) + ": " + decimal_text(p.width) + " " + decimal_text(p.height) + " " +
                 decimal_text(p.x_offset) + " " + decimal_text(p.y_offset));
        }
    }
    return text;
}

ExactRebuildParse parse_exact_rebuild(std::string_view text) {
    ExactRebuildParse result;
    ExactRebuildRecord record;
    const std::vector<std::string> lines = split_lines(text);
    std::size_t line_number = 0;
    auto fail = [&](const std::string& what) {
        result.problem = "line " + decimal_text(line_number) + ": " + what;
        return result;
    };
    if (lines.empty() || lines[0] != first_line) {
        line_number = 1;
        return fail("not a quarnel exact-rebuild file");
    }
    bool have_kind = false, have_header = false, have_centred = false, have_build = false, have_style = false,
         have_archive = false;
    std::array<bool, palette_entries> have_colour{};
    for (const std::string& raw_line : lines) {
        ++line_number;
        if (line_number == 1) continue;
        const std::vector<std::string_view> w = words_of(raw_line);
        if (w.empty() || w[0].starts_with('#')) continue;
        const std::string_view key = w[0];
        if (key == "archive") {
            // The name is the rest of the line, blanks included.
            const std::size_t at = raw_line.find("archive") + 7;
            std::string name = raw_line.substr(at);
            while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.erase(0, 1);
            if (name.empty()) return fail("archive without a name");
            record.archive_name = name;
            have_archive = true;
        } else if (key == "kind") {
            if (w.size() != 2 || (w[1] != "sprite-set" && w[1] != "tile-set")) return fail("kind is sprite-set or tile-set");
            record.tile_set = w[1] == "tile-set";
            have_kind = true;
        } else if (key == "header") {
            if (w.size() != 9) return fail("header needs eight bytes");
            for (std::size_t i = 0; i < 8; ++i) {
                const auto b = whole_number(w[i + 1], 255);
                if (!b) return fail("header bytes are 0 to 255");
                record.header[i] = static_cast<std::uint8_t>(*b);
            }
            have_header = true;
        } else if (key == "centred" || key == "row-split") {
            const auto flag = w.size() == 2 ? whole_number(w[1], 1) : std::nullopt;
            if (!flag) return fail(std::string(key) + " is 0 or 1");
            (key == "centred" ? record.centred : record.row_split) = *flag == 1;
            (key == "centred" ? have_centred : have_style) = true;
        } else if (key == "build") {
            if (w.size() != 4) return fail("build needs three flags");
            std::array<std::uint8_t, 3> flags{};
            for (std::size_t i = 0; i < 3; ++i) {
                const auto f = whole_number(w[i + 1], 255);
                if (!f) return fail("build flags are 0 to 255");
                flags[i] = static_cast<std::uint8_t>(*f);
            }
            record.build_flags = BuildSettings{flags[0], flags[1], flags[2]};
            have_build = true;
        } else if (key == "colour") {
            const auto index = w.size() == 5 ? whole_number(w[1].substr(0, w[1].size() - 1), 255) : std::nullopt;
            if (!index || !w[1].ends_with(':')) return fail("colour needs an index, a colon and three bytes");
            if (have_colour[*index]) return fail("colour " + decimal_text(*index) + " given twice");
            for (std::size_t c = 0; c < 3; ++c) {
                const auto b = whole_number(w[c + 2], 255);
                if (!b) return fail("colour bytes are 0 to 255");
                record.palette_block[3 * *index + c] = static_cast<std::uint8_t>(*b);
            }
            have_colour[*index] = true;
        } else if (key == "picture") {
            const auto n = w.size() == 6 ? numbered(w[1], 65535) : std::nullopt;
            if (!n) return fail("picture needs a number, a colon, width, height and two offsets");
            if (*n != record.pictures.size() + 1) return fail("pictures are numbered 1, 2, 3 ... in order");
            const auto width = whole_number(w[2], 0xFFFFFFFFu), height = whole_number(w[3], 0xFFFFFFFFu);
            const auto x = whole_number(w[4], 65535), y = whole_number(w[5], 65535);
            if (!width || !height || !x || !y) return fail("sizes are 32-bit and offsets 16-bit numbers");
            record.pictures.push_back(ExactRebuildRecord::Picture{static_cast<std::uint32_t>(*width),
                                                                  static_cast<std::uint32_t>(*height),
                                                                  static_cast<std::uint16_t>(*x),
                                                                  static_cast<std::uint16_t>(*y)});
        } else if (key == "tile") {
            const auto n = w.size() == 3 ? numbered(w[1], 65535) : std::nullopt;
            if (!n) return fail("tile needs a number, a colon and its value");
            if (*n != record.tile_values.size() + 1) return fail("tiles are numbered 1, 2, 3 ... in order");
            const auto value = whole_number(w[2], 0xFFFFFFFFu);
            if (!value) return fail("a tile value is a 32-bit number");
            record.tile_values.push_back(static_cast<std::uint32_t>(*value));
        } else {
            return fail("unknown item '" + std::string(key) + "'");
        }
    }
    line_number = lines.size();
    if (!have_archive || !have_kind || !have_header || !have_centred || !have_build || !have_style)
        return fail("archive, kind, header, centred, build or row-split missing");
    for (std::size_t i = 0; i < palette_entries; ++i)
        if (!have_colour[i]) return fail("colour " + decimal_text(i) + " missing");
    if (record.tile_set ? !record.pictures.empty() : !record.tile_values.empty())
        return fail(record.tile_set ? "a tile set has no picture lines" : "a sprite set has no tile lines");
    result.record = std::move(record);
    return result;
}

std::array<std::uint8_t, 768> restored_palette_block(const ExactRebuildRecord& record, const Palette& palette_bmp) {
    std::array<std::uint8_t, 768> block = block_from_palette(palette_bmp);
    for (std::size_t i = 0; i < palette_entries; ++i) {
        const std::uint8_t* stored = record.palette_block.data() + 3 * i;
        const std::uint32_t shown = opaque_colour(expand_component(stored[0]), expand_component(stored[1]),
                                                  expand_component(stored[2]));
        if ((shown & 0xFFFFFFu) == (palette_bmp[i] & 0xFFFFFFu))
            for (std::size_t c = 0; c < 3; ++c) block[3 * i + c] = stored[c];
    }
    return block;
}

void restore_recorded_bytes(const ExactRebuildRecord& record, const Palette& palette_bmp, PixelStorage storage,
                            std::vector<std::uint8_t>& archive) {
    if (archive.size() < archive_header_size) return;
    const auto block = restored_palette_block(record, palette_bmp);
    std::copy(block.begin(), block.end(), archive.begin() + palette_block_offset);
    if (record.tile_set) {
        for (const std::size_t at : {0u, 1u, 2u, 3u, 6u, 7u}) archive[at] = record.header[at];
        return;
    }
    if ((record.header[0] == raw_storage_byte) == (storage == PixelStorage::raw)) archive[0] = record.header[0];
    archive[1] = record.header[1];
}

}  // namespace quarnel
