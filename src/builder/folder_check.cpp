#include "builder/folder_check.h"

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "runtime/utility/paths.h"
#include "runtime/utility/text.h"

namespace quarnel {

namespace {

std::string position(std::uint32_t x, std::uint32_t y) { return "(" + decimal_text(x) + ", " + decimal_text(y) + ")"; }

std::string size_text(std::uint32_t width, std::uint32_t height) { return decimal_text(width) + "x" + decimal_text(height); }

// The lines of one check, counting those that tell of a change or a loss.
class CheckReport {
public:
    explicit CheckReport(const LineSink& line) : line_(line) {}
    void note(const std::string& text) const { line_(text); }
    void finding(const std::string& text) {
        ++findings_;
        line_(text);
    }
    std::uint32_t findings() const { return findings_; }

private:
    const LineSink& line_;
    std::uint32_t findings_ = 0;
};

void report_build_file(const BuildFolder& folder, CheckReport& report) {
    const BuildFileReading& reading = folder.build_file;
    if (!reading.readable()) {
        report.finding("build.txt " + build_file_problem(reading) + " (" + folder.build_file_path +
                       "): nothing is built; extract the archive again, or write the three flags after its header line");
        return;
    }
    const BuildSettings& settings = reading.settings;
    std::string text = "build.txt: ";
    text += settings.tile_set() ? "tile set" : "sprite set";
    text += settings.storage_flag == 0 ? ", raw storage" : settings.storage_flag == 1 ? ", run-length storage" : "";
    text += ", row split " + decimal_text(settings.row_split_flag);
    if (reading.flag_lines < 3) text += " (" + decimal_text(reading.flag_lines) + " of 3 flags written, the others read 0)";
    report.note(text);
    if (settings.storage_flag > 1)
        report.finding("build.txt: storage flag " + decimal_text(settings.storage_flag) +
                       " (only 0 raw or 1 run-length): nothing is built");
}

void report_files(const BuildFolder& folder, CheckReport& report) {
    if (folder.tile_set() && folder.build_file.readable()) {
        if (!folder.tile_listing_present)
            report.finding("tile listing missing (" + folder.tile_listing_path +
                           "): nothing is built; extract the tile set again");
        else if (folder.tile_listing_lines < folder.pictures.size())
            report.finding("tile listing " + folder.tile_listing_path + ": " + decimal_text(folder.tile_listing_lines) +
                           " lines for " + decimal_text(folder.pictures.size()) + " tiles: the missing tile values are 0");
        else
            report.note("tile listing " + folder.tile_listing_path + ": " + decimal_text(folder.tile_listing_lines) + " lines");
    }
    if (folder.palette)
        report.note("palette.bmp: " + folder.palette_path);
    else
        report.finding("palette.bmp missing or unreadable (" + folder.palette_path + "): nothing is built");
    const std::string exact = join_path(folder.settings_dir, exact_rebuild_file_name);
    std::string line = exact_rebuild_file_name;
    if (!folder.record_present)
        report.note(line.append(": none (the build goes from the pictures)"));
    else if (folder.record)
        report.note(line.append(": ").append(exact).append(" belongs to these pictures and is used"));
    else if (!folder.record_left_aside.empty())
        report.finding(line.append(" left aside (")
                           .append(folder.record_left_aside)
                           .append("): the build goes from the pictures alone"));
}

void report_pictures(const BuildFolder& folder, CheckReport& report) {
    if (folder.pictures.empty()) {
        if (folder.bmp_pictures > 0)
            report.finding("no PNG pictures, but " + decimal_text(folder.bmp_pictures) +
                           " BMP pictures: the builder reads PNG pictures; extract the archive again with --png");
        else
            report.finding("no PNG pictures: nothing is built");
        return;
    }
    std::string text = "pictures: " + decimal_text(folder.pictures.size());
    if (folder.numbered) text += " (" + folder.pictures.front() + " to " + folder.pictures.back() + ", in number order)";
    report.note(text);
    for (const std::string& name : folder.left_out)
        report.finding("left out: '" + name + "' (not named as extraction numbers pictures)");
    for (const NumberRange& gap : folder.gaps)
        report.finding("missing from the numbering: " + number_range_text(gap) + " (the pictures after it move up)");
    if (folder.pictures.size() > most_pictures)
        report.finding("too many pictures (at most " + decimal_text(most_pictures) + "): nothing is built");
}

// What the build does with one picture, line by line.
void report_picture(const std::string& name, const BuiltPicture& built, const PictureBuilder& builder,
                    const BuildFolder& folder, bool nearest, CheckReport& report) {
    if (built.damaged) {
        report.finding(name + ": cannot be read as a PNG: stored " + (builder.tile_set() ? "as a blank tile" : "empty"));
        return;
    }
    if (built.too_large)
        report.finding(name + ": " + size_text(built.width, built.height) + ", larger than 65535x65535: stored empty");
    if (built.tile_fitted)
        report.finding(name + ": " + size_text(built.width, built.height) +
                       ", not 32x32: cut or filled with blank pixels to 32x32");
    if (built.record_not_kept) {
        const bool same_size = built.width == built.recorded_width && built.height == built.recorded_height;
        report.finding(name + ": " +
                       (same_size ? std::string("drawn on the margin exact_rebuild.txt keeps blank")
                                  : size_text(built.width, built.height) + ", exact_rebuild.txt records " +
                                        size_text(built.recorded_width, built.recorded_height)) +
                       ": trimmed as usual, the recorded offsets are not kept");
    }
    const OffPalettePixels& lost = built.coded.off_palette;
    constexpr std::size_t colours_told = 10;
    std::uint64_t told_pixels = 0;
    for (std::size_t i = 0; i < lost.colours.size() && i < colours_told; ++i) {
        const OffPaletteColour& c = lost.colours[i];
        told_pixels += c.pixels;
        const std::string becomes =
            nearest ? "moved to the nearest palette colour, index " + decimal_text(c.index) + " " +
                          colour_text(folder.mapping[c.index] | 0xFF000000u)
                    : "stored as index 0 (" + builder.index_0_meaning() + ")";
        report.finding(name + ": colour " + colour_text(c.colour) + " not in palette.bmp: " + decimal_text(c.pixels) +
                       (c.pixels == 1 ? " pixel" : " pixels") + ", first at " + position(c.x, c.y) + ": " + becomes);
    }
    if (told_pixels < lost.pixels)
        report.finding(name + ": " + decimal_text(lost.pixels - told_pixels) + " more pixels in " +
                       (lost.colours.size() == OffPalettePixels::most_colours ? "at least " : "") +
                       decimal_text(lost.colours.size() - std::min(lost.colours.size(), colours_told)) +
                       " more colours not in palette.bmp");
    if (lost.semi_transparent > 0)
        report.finding(name + ": " + decimal_text(lost.semi_transparent) +
                       (lost.semi_transparent == 1 ? " semi-transparent pixel, first at " : " semi-transparent pixels, first at ") +
                       position(lost.semi_x, lost.semi_y) +
                       (nearest ? ": moved to the nearest opaque colour (alpha 128 and up)" : ": stored as index 0"));
    if (lost.blanked > 0)
        report.finding(name + ": " + decimal_text(lost.blanked) + " semi-transparent pixels below alpha 128 made blank");
}

// Pixels of two pictures of two passes that differ beyond the cycling
// colours: a pixel the same in both, or drawn in pass a with cycling entry
// j's colour and in pass b with that entry's colour of pass b, is the same
// tile pixel.
struct PassDifference {
    std::uint64_t pixels = 0;
    std::uint32_t x = 0, y = 0;
};
PassDifference pass_difference(const PictureView& a, const Palette& colours_a, const PictureView& b,
                               const Palette& colours_b) {
    PassDifference difference;
    const std::uint32_t width = std::max(a.width, b.width), height = std::max(a.height, b.height);
    auto pixel = [](const PictureView& p, std::uint32_t x, std::uint32_t y) -> std::uint32_t {
        if (x >= p.width || y >= p.height) return 0;
        const std::uint32_t value = p.pixel(x, y);
        return (value >> 24) == 0 ? 0 : value;  // blank whatever its colour bytes
    };
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint32_t in_a = pixel(a, x, y), in_b = pixel(b, x, y);
            if (in_a == in_b) continue;
            bool cycling = false;
            for (int j = cycle_first_entry; j < cycle_first_entry + cycle_length && !cycling; ++j)
                cycling = colours_a[static_cast<std::size_t>(j)] == in_a && colours_b[static_cast<std::size_t>(j)] == in_b;
            if (cycling) continue;
            if (difference.pixels++ == 0) {
                difference.x = x;
                difference.y = y;
            }
        }
    }
    return difference;
}

void report_other_passes(const BuildFolder& folder, CheckReport& report) {
    const Palette& palette = *folder.palette;
    const Palette here = pass_colours(palette, folder.pass);
    const std::set<std::string> names_here(folder.pictures.begin(), folder.pictures.end());
    std::string alike;  // the passes whose pictures are all this pass's
    for (int pass = 1; pass <= cycle_length; ++pass) {
        if (pass == folder.pass) continue;
        const std::string pass_dir = join_path(folder.settings_dir, decimal_text(static_cast<std::uint32_t>(pass))) + path_separator;
        const BuildFolder other = survey_build_folder(pass_dir, decimal_text(static_cast<std::uint32_t>(pass)));
        for (const std::string& unread : other.unread_lines) report.note(unread);
        if (other.pictures.empty()) continue;
        const Palette there = pass_colours(palette, pass);
        const std::string shown = "pass folder " + decimal_text(static_cast<std::uint32_t>(pass)) + ": ";
        std::uint32_t same = 0;
        for (const std::string& name : other.pictures) {
            if (!names_here.contains(name)) {
                report.finding(shown + name + " has no picture of that name in pass " +
                               decimal_text(static_cast<std::uint32_t>(folder.pass)) + ": a build of this pass leaves it out");
                continue;
            }
            const FolderPicture mine = read_folder_picture(join_path(folder.picture_dir, name));
            if (!mine.unread_line.empty()) report.note(mine.unread_line);
            const FolderPicture theirs = read_folder_picture(join_path(pass_dir, name));
            if (!theirs.unread_line.empty()) report.note(theirs.unread_line);
            if (!mine.view || !theirs.view) {
                if (mine.view.has_value() != theirs.view.has_value())
                    report.finding(shown + name + " can be read in only one of the two passes");
                continue;
            }
            const PassDifference difference = pass_difference(*mine.view, here, *theirs.view, there);
            if (difference.pixels == 0 && mine.view->width == theirs.view->width &&
                mine.view->height == theirs.view->height) {
                ++same;
                continue;
            }
            report.finding(shown + name + " differs from pass " + decimal_text(static_cast<std::uint32_t>(folder.pass)) +
                           " beyond the cycling colours" +
                           (difference.pixels > 0
                                ? " at " + decimal_text(difference.pixels) + (difference.pixels == 1 ? " pixel" : " pixels") +
                                      ", first at " + position(difference.x, difference.y)
                                : " in size") +
                           ": a build of this pass does not take those edits");
        }
        if (same == other.pictures.size()) alike += " " + decimal_text(static_cast<std::uint32_t>(pass));
    }
    if (!alike.empty())
        report.note("pass folders" + alike + ": the same pictures as this pass, beyond the cycling colours");
}

}  // namespace

CheckOutcome check_build_folder(const BuilderInput& input, const LineSink& line) {
    CheckOutcome outcome;
    CheckReport report(line);
    const BuildFolder folder = survey_build_folder(input.input_dir, input.input_folder_name);
    for (const std::string& unread : folder.unread_lines) line(unread);
    report.note("check " + folder.picture_dir);
    if (folder.pass != 0)
        report.note("pass " + decimal_text(static_cast<std::uint32_t>(folder.pass)) + " of the tile set in " +
                    folder.settings_dir + ": build.txt, palette.bmp and the tile listing from there");
    if (folder.tile_set_folder) {
        report.finding("a tile set's folder: its tiles are in the pass folders 1 to 7; check or build one of them, "
                       "e.g. quarnel check " + join_path(folder.picture_dir, "1"));
        outcome.findings = report.findings();
        return outcome;
    }
    report_build_file(folder, report);
    report_files(folder, report);
    report_pictures(folder, report);
    outcome.pictures = static_cast<std::uint32_t>(folder.pictures.size());

    const bool buildable = folder.build_file.readable() && folder.build_file.settings.storage_flag <= 1 &&
                           folder.palette && !folder.pictures.empty();
    if (buildable) {
        // Every picture as the build takes it; its own lines are not shown.
        const PictureBuilder builder(folder, input.nearest);
        const BuilderConsole silent{[](std::string_view) {}, [](int) {}};
        for (std::uint32_t number = 1; number <= folder.pictures.size(); ++number)
            report_picture(folder.pictures[number - 1], builder.build(number, silent), builder, folder, input.nearest,
                           report);
        if (folder.pass != 0) report_other_passes(folder, report);
    }
    outcome.findings = report.findings();
    return outcome;
}

}  // namespace quarnel
