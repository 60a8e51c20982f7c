// The check of a folder before a build (`quarnel check`): what a build of
// it would pack, leave out or change, said line by line, with nothing
// written. It surveys the folder and builds every picture in memory through
// the builder's own code, so that it tells what the builder would do.
//
// It tells the state of build.txt, the tile listing, palette.bmp and
// exact_rebuild.txt; PNG names left out and gaps in the numbering; per
// picture the colours palette.bmp lacks (colour, pixels, first position,
// what they become), semi-transparent pixels, a size other than the one
// exact_rebuild.txt records, a tile that is not 32 x 32; and for a pass
// folder of a tile set, the other pass folders whose pictures differ from
// this pass's beyond the cycling colours.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "builder/archive_builder.h"

namespace quarnel {

struct CheckOutcome {
    std::uint32_t pictures = 0;  // pictures a build packs
    std::uint32_t findings = 0;  // lines that say a build would change or lose something
    bool keeps_everything() const { return findings == 0; }
};

// Checks the folder of input (as the builder takes it: input_dir and
// input_folder_name; input.nearest as with --nearest). Each line goes to line.
CheckOutcome check_build_folder(const BuilderInput& input, const LineSink& line);

}  // namespace quarnel
