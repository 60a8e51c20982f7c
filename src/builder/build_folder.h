// The folder a build reads, surveyed before any picture is decoded: where
// its build file, palette and listings are, what state they are in, and
// which pictures it packs in which order. The builder and `quarnel check`
// both start from this one survey, so that the two read a folder alike.
//
// Numbered pictures are named as extraction names them: 0001.png to
// 9999.png, then 10000.png, 10001.png, ... (the number as it is). In a
// folder that holds any such name the pictures are packed in number order,
// and a PNG of another name ("0001 copy.png", "1.png") is left out. A
// folder with no numbered name at all (a container's items) packs every
// PNG in name order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/build_file.h"
#include "archive/exact_rebuild_file.h"
#include "archive/palette.h"
#include "builder/picture_coding.h"
#include "png/png_reader.h"
#include "runtime/image/image.h"

namespace quarnel {

// The name extraction gives picture number n: "0001.png" to "9999.png",
// then "10000.png", ...
std::string picture_file_name(std::uint32_t number);
// The picture number of a file name as extraction writes it ("0001.png"
// gives 1, "10000.png" 10000; the ending in any letter case); 0 for any
// other name.
std::uint32_t picture_number(std::string_view file_name);

// A tile set's pass folder as extraction names it: "1" to "7"; 0 otherwise.
int pass_number(std::string_view folder_name);

// The colours of pass p of a tile set: the palette with the cycling
// colours turned by p - 1 steps, as extraction drew that pass.
Palette pass_colours(const Palette& palette, int pass);

// palette.bmp's 256 colours, pixel (i, 0) being colour i; nothing when the
// file is missing or cannot be read as a BMP.
std::optional<Palette> load_palette(const std::string& path);

// Numbers first to last, both included.
struct NumberRange {
    std::uint32_t first = 0;
    std::uint32_t last = 0;
};

struct BuildFolder {
    std::string picture_dir;   // the pictures' folder, ending in a separator
    std::string settings_dir;  // where build.txt, palette.bmp, the tile listing and exact_rebuild.txt are
    std::string archive_name;  // the folder the archive is named after
    int pass = 0;              // a tile set's pass folder (1 to 7) below settings_dir; 0 otherwise

    // build.txt in settings_dir.
    std::string build_file_path;
    BuildFileReading build_file;

    // The top folder of a tile set's extraction, its tiles in pass folders
    // below and no picture of its own.
    bool tile_set_folder = false;

    // The pictures of picture_dir.
    std::uint32_t png_files = 0;        // every *.png listed (hidden names aside)
    std::vector<std::string> pictures;  // the names packed, in build order
    bool numbered = false;              // named as extraction names them
    std::vector<std::string> left_out;  // PNG names outside the numbering, in name order
    std::vector<NumberRange> gaps;      // numbers missing below the highest
    std::uint32_t bmp_pictures = 0;     // numbered BMP pictures (extracted with the bmp answer)

    // A tile set's tile listing (archive name + ".txt" in settings_dir).
    std::string tile_listing_path;
    bool tile_listing_present = false;
    std::size_t tile_listing_lines = 0;
    std::vector<std::int32_t> tile_values;  // one per picture; 0 past the listing's end

    // palette.bmp in settings_dir: the archive's palette and the key from
    // colours back to indices (mapping: turned for a pass folder).
    std::string palette_path;
    std::optional<Palette> palette;
    Palette mapping{};

    // exact_rebuild.txt in settings_dir, used when it belongs to these
    // pictures; otherwise the reason it is left aside (empty when absent).
    bool record_present = false;
    std::optional<ExactRebuildRecord> record;
    std::string record_left_aside;
    // The lines of files the survey could not read for their length, which
    // the job says right after the survey.
    std::vector<std::string> unread_lines;

    bool tile_set() const { return build_file.settings.tile_set(); }
};

// Surveys the folder of the chosen picture. picture_dir ends in a
// separator; folder_name is its own name. Started in a pass folder ("1" to
// "7") of a tile set's extraction, the build file, palette.bmp, the tile
// listing and exact_rebuild.txt are those of the folder above, and the
// archive is named after it. Reads no picture; prints nothing.
BuildFolder survey_build_folder(const std::string& picture_dir, const std::string& folder_name);

// One picture file of the folder as the builder reads it: the file's bytes
// (nothing when it cannot be read), its 32-bit pixels (no view when it
// cannot be decoded) and, for an 8-bit indexed PNG, its indices.
struct FolderPicture {
    std::optional<std::vector<std::uint8_t>> file;
    std::string unread_line;  // the file could not be read for its length: the line that says so
    ImagePtr image;
    std::optional<PictureView> view;
    PngIndices indices;
};
FolderPicture read_folder_picture(const std::string& path);

// "0005.png", or "0007.png to 0009.png".
std::string number_range_text(const NumberRange& range);

}  // namespace quarnel
