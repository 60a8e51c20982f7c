// quarnel's command "catalogue": a static site of a whole game folder, to be
// opened from the disk in a browser (no server, no network, no script):
//   index.html          the counts and a link to every page;
//   a page per archive  (.spr .bts .trs .trc .trw found under the folder,
//                       names matched ignoring case) with its pictures as a
//                       sheet, each with its number, size and offsets; a
//                       tile set's sheet plays its colour cycling (an APNG
//                       of the seven passes);
//   a page per unit     (.fin) with its animations playing (as "animate"
//                       makes them) and its animation report;
//   a page per map      (.map) drawn whole as the "map" command draws it,
//                       with the tile set that knows the most of its ground
//                       keys;
//   palettes.html       every palette as swatches with their indices.
// A damaged or refused file gets its line on its page and on the console
// and the catalogue goes on. In an existing folder only what the catalogue
// wrote there before is replaced (see SiteFolder).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "runtime/utility/job.h"

namespace quarnel {

struct CatalogueRequest {
    std::string game_folder;    // absolute
    std::string output_folder;  // absolute; empty: GAME_FOLDER-catalogue beside the game folder
};

struct CatalogueOutcome {
    bool ok = true;              // every file was read and every page written
    std::uint32_t files = 0;     // game files catalogued
    std::string front_page;      // index.html, once written
    std::uint32_t problems = 0;  // lines that said something went wrong
    std::string first_problem;
};

// The largest sheet of pictures (one PNG file): as many pixels as
// extraction draws in one picture, at most 4096 pixels wide and high. A
// picture larger than that is left out with a line, as extraction does.
inline constexpr std::uint32_t sheet_side_limit = 4096;

CatalogueOutcome make_catalogue(const CatalogueRequest& request, const LineSink& say);

}  // namespace quarnel
