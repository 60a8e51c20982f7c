// The extraction job: every image of an archive out to PNG or BMP, with the
// build file, palette images and tile listing.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/utility/job.h"

namespace quarnel {

// The kinds of archive extraction takes, told by the file's extension (raw
// data by option -r or --raw).
enum class ArchiveKind : std::uint8_t {
    sprite_set,  // .spr
    tile_set,    // .bts
    raw_data,    // any file, images of one size one after another
    trs,         // .trs
    trc,         // .trc, an item container with names
    trw,         // .trw, an item container with numbers
};

struct ExtractionRequest {
    std::string input_path;     // the archive (absolute)
    ArchiveKind kind = ArchiveKind::sprite_set;
    // The folder that takes everything, ending in a separator: the archive's
    // name less its extension, beside it.
    std::string output_folder;
    std::string base_name;      // the archive's file name less its extension (tile listing, palette files)
    bool centre = false;        // a sprite set's pictures placed by their offsets
    bool bmp = false;           // BMP pictures instead of PNG
    // Raw data: how many images, and their size; asked after the header's lines.
    Answer<std::uint32_t> raw_count;
    Answer<std::uint32_t> raw_width;
    Answer<std::uint32_t> raw_height;
    // Option -p: the BMP picture whose top row is the palette, as it is to be
    // opened; empty: the archive's own palette.
    std::string palette_image;
    bool keep_indices = false;  // option -i: indexed pictures and a side file, for an exact rebuild
    bool palette_files = false; // option -c: the palette also for paint programs (.gpl, .pal, .act)
    unsigned threads = 1;       // threads that code and write pictures (the front-ends give QUARNEL_THREADS or the cores)
};

// Extracts the archive; every line goes to say, in order, on the calling
// thread.
JobOutcome extract_archive(const ExtractionRequest& request, const LineSink& say);

}  // namespace quarnel
