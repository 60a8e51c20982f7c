#include "builder/build_folder.h"

#include <algorithm>

#include "runtime/image/image.h"
#include "runtime/platform/files.h"
#include "runtime/utility/paths.h"

namespace quarnel {

namespace {

constexpr std::string_view png_ending = ".png";
constexpr std::string_view bmp_ending = ".bmp";

// The picture numbers extraction writes have at most this many digits here;
// a longer run of digits is no picture number.
constexpr std::size_t most_number_digits = 9;

// Where the survey keeps the lines of files it cannot read for their length.
LineSink unread_lines_of(BuildFolder& folder) {
    return [&folder](std::string_view line) { folder.unread_lines.emplace_back(line); };
}

// The folder above a folder path (which may end in a separator), ending in
// a separator; empty at the top.
std::string folder_above(std::string_view dir) {
    if (!dir.empty() && dir.back() == path_separator) dir.remove_suffix(1);
    return path_dir_part(dir);
}

std::string own_name(std::string_view dir) {
    if (!dir.empty() && dir.back() == path_separator) dir.remove_suffix(1);
    return path_file_name(dir);
}

// Listed files of a folder with that ending; hidden names (a leading dot)
// are never pictures of an archive, as the game's own system lists them.
std::vector<std::string> listed_files(std::string_view dir, std::string_view ending) {
    std::vector<std::string> names = list_files_with_suffix(dir, ending);
    std::erase_if(names, [](const std::string& name) { return name.starts_with('.'); });
    return names;
}

std::uint32_t number_with_ending(std::string_view file_name, std::string_view ending) {
    if (file_name.size() <= ending.size() ||
        !equal_ignoring_case(file_name.substr(file_name.size() - ending.size()), ending))
        return 0;
    const std::string_view digits = file_name.substr(0, file_name.size() - ending.size());
    if (digits.size() < 4 || digits.size() > most_number_digits) return 0;
    std::uint32_t number = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return 0;
        number = number * 10 + static_cast<std::uint32_t>(c - '0');
    }
    // Exactly the name extraction gives that number: four digits with
    // leading zeros up to 9999, the plain number from 10000 on.
    if (number == 0) return 0;
    if (digits.size() > 4 && (number < 10000 || digits.front() == '0')) return 0;
    return number;
}

// The exact-rebuild file of the folder, when there is one that reads well
// and belongs to these pictures; otherwise why it is left aside.
void read_exact_rebuild(BuildFolder& folder) {
    const std::string path = join_path(folder.settings_dir, exact_rebuild_file_name);
    if (!file_exists(path)) return;
    folder.record_present = true;
    const auto bytes = read_whole_file(path);
    if (!bytes) {
        say_read_failure(bytes.error(), unread_lines_of(folder));
        folder.record_left_aside = "cannot be read";
        return;
    }
    ExactRebuildParse parsed =
        parse_exact_rebuild(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
    if (!parsed.record) {
        folder.record_left_aside = parsed.problem;
        return;
    }
    const ExactRebuildRecord& record = *parsed.record;
    const bool tile_set = folder.tile_set();
    const auto count = folder.pictures.size();
    // Extraction names the folder after the archive, less its extension.
    const std::string& recorded = record.archive_name;
    const std::string recorded_base = recorded.size() > 4 ? recorded.substr(0, recorded.size() - 4) : recorded;
    if (recorded_base != folder.archive_name) {
        folder.record_left_aside = "written for " + recorded + ", not for " + folder.archive_name;
    } else if (record.tile_set != tile_set) {
        folder.record_left_aside = std::string("written for a ") + (record.tile_set ? "tile set" : "sprite set") +
                                   ", build.txt asks for a " + (tile_set ? "tile set" : "sprite set");
    } else if (record.count() != count) {
        folder.record_left_aside =
            "lists " + std::to_string(record.count()) + " pictures, the folder holds " + std::to_string(count);
    } else {
        folder.record = std::move(parsed.record);
    }
}

// The pictures of the folder: numbered ones in number order with the other
// PNG names left out, or every PNG in name order when none is numbered.
void list_pictures(BuildFolder& folder) {
    const std::vector<std::string> names = listed_files(folder.picture_dir, png_ending);
    folder.png_files = static_cast<std::uint32_t>(names.size());
    std::vector<std::pair<std::uint32_t, std::size_t>> numbered;  // number, place in names
    for (std::size_t i = 0; i < names.size(); ++i)
        if (const std::uint32_t number = picture_number(names[i])) numbered.emplace_back(number, i);
    folder.numbered = !numbered.empty();
    if (!folder.numbered) {
        folder.pictures = names;
    } else {
        // Number order: a sort by name would put 10000.png before 9999.png.
        // Of two names of one number the first in name order comes first.
        std::sort(numbered.begin(), numbered.end());
        std::vector<bool> packed(names.size(), false);
        std::uint32_t expected = 1;
        for (std::size_t i = 0; i < numbered.size(); ++i) {
            const std::uint32_t number = numbered[i].first;
            // A second file of one number (0001.PNG beside 0001.png) is left out.
            if (i > 0 && number == numbered[i - 1].first) continue;
            if (number > expected) folder.gaps.push_back(NumberRange{expected, number - 1});
            expected = number + 1;
            packed[numbered[i].second] = true;
            folder.pictures.push_back(names[numbered[i].second]);
        }
        for (std::size_t i = 0; i < names.size(); ++i)
            if (!packed[i]) folder.left_out.push_back(names[i]);
    }
    for (const std::string& name : listed_files(folder.picture_dir, bmp_ending))
        if (number_with_ending(name, bmp_ending) != 0) ++folder.bmp_pictures;
}

// A tile set's top folder: no picture of its own, a pass folder below that
// holds pictures, and a build file that asks for a tile set (or none).
bool is_tile_set_folder(const BuildFolder& folder) {
    if (folder.pass != 0 || folder.png_files != 0) return false;
    if (folder.build_file.readable() && !folder.tile_set()) return false;
    for (int pass = 1; pass <= cycle_length; ++pass) {
        const std::string pass_dir = join_path(folder.picture_dir, std::to_string(pass));
        if (!listed_files(pass_dir, png_ending).empty()) return true;
    }
    return false;
}

}  // namespace

std::string picture_file_name(std::uint32_t number) { return picture_base_name(number) + std::string(png_ending); }

std::uint32_t picture_number(std::string_view file_name) { return number_with_ending(file_name, png_ending); }

int pass_number(std::string_view folder_name) {
    if (folder_name.size() == 1 && folder_name[0] >= '1' && folder_name[0] <= '0' + cycle_length)
        return folder_name[0] - '0';
    return 0;
}

Palette pass_colours(const Palette& palette, int pass) {
    ExtractionPalette turned;
    turned.working = palette;
    turned.base = palette;
    turned.rotate_cycle_colours(pass - 1);
    return turned.working;
}

std::optional<Palette> load_palette(const std::string& path) {
    Palette palette{};
    if (read_palette_image(path, palette) != 0) return std::nullopt;
    return palette;
}

FolderPicture read_folder_picture(const std::string& path) {
    FolderPicture picture;
    if (auto file = read_whole_file(path))
        picture.file = std::move(*file);
    else
        say_read_failure(file.error(), [&picture](std::string_view line) { picture.unread_line = line; });
    if (picture.file) picture.image = png_decode(*picture.file, &picture.indices);
    if (picture.image) {
        const auto layout = image_layout(*picture.image);
        if (layout && layout->bytes_per_pixel == 4 && layout->width != 0 && layout->height != 0)
            picture.view = PictureView{image_row(*picture.image, *layout, 0), layout->width, layout->height, layout->pitch};
    }
    return picture;
}

std::string number_range_text(const NumberRange& range) {
    if (range.first == range.last) return picture_file_name(range.first);
    return picture_file_name(range.first) + " to " + picture_file_name(range.last);
}

BuildFolder survey_build_folder(const std::string& picture_dir, const std::string& folder_name) {
    BuildFolder folder;
    folder.picture_dir = picture_dir;
    folder.settings_dir = picture_dir;
    folder.archive_name = folder_name;

    // A pass folder takes the files of the folder above when that folder's
    // build file asks for a tile set, or when it has none that can be read
    // while this folder has none at all and the folder above holds what an
    // extraction leaves (then the line names the file above, not this one).
    if (const int pass = pass_number(folder_name)) {
        const std::string above = folder_above(picture_dir);
        if (!above.empty()) {
            const BuildFileReading above_file = read_checked_build_file(above);
            if (!above_file.unread_line.empty()) folder.unread_lines.push_back(above_file.unread_line);
            const std::string above_name = own_name(above);
            const bool extraction_above = above_file.state != BuildFileState::missing ||
                                          file_exists(join_path(above, palette_image_file_name)) ||
                                          file_exists(join_path(above, above_name + ".txt"));
            const bool tile_set_above = above_file.readable() && above_file.settings.tile_set();
            const bool none_here = !file_exists(join_path(picture_dir, build_file_name));
            if (tile_set_above || (!above_file.readable() && none_here && extraction_above)) {
                folder.pass = pass;
                folder.settings_dir = above;
                folder.archive_name = above_name;
                folder.build_file = above_file;
            }
        }
    }
    folder.build_file_path = join_path(folder.settings_dir, build_file_name);
    if (folder.pass == 0) {
        folder.build_file = read_checked_build_file(folder.settings_dir);
        if (!folder.build_file.unread_line.empty()) folder.unread_lines.push_back(folder.build_file.unread_line);
    }

    list_pictures(folder);
    folder.tile_set_folder = is_tile_set_folder(folder);

    if (folder.build_file.readable() && folder.tile_set()) {
        folder.tile_listing_path = join_path(folder.settings_dir, folder.archive_name + ".txt");
        std::optional<std::vector<std::uint8_t>> bytes;
        if (auto read = read_whole_file(folder.tile_listing_path))
            bytes = std::move(*read);
        else
            say_read_failure(read.error(), unread_lines_of(folder));
        folder.tile_listing_present = bytes.has_value();
        const std::string_view text =
            bytes ? std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()) : std::string_view();
        folder.tile_listing_lines = split_lines(text).size();
        folder.tile_values = parse_tile_listing(text, folder.pictures.size());
    }

    folder.palette_path = join_path(folder.settings_dir, palette_image_file_name);
    folder.palette = load_palette(folder.palette_path);
    if (folder.palette) folder.mapping = folder.pass != 0 ? pass_colours(*folder.palette, folder.pass) : *folder.palette;

    if (folder.build_file.readable()) read_exact_rebuild(folder);
    return folder;
}

}  // namespace quarnel
