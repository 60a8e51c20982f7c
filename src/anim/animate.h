// quarnel's command "animate": every animation of a unit's animation
// description as one animated picture (APNG, or GIF), each frame drawn as
// the map viewer draws it. The frames of an animation are its frame records
// in order (overlay records left out, as the viewer leaves them): the
// picture of the record's image number, mirrored when the record is turned,
// placed by the viewer's x and y rules, on one canvas that holds every
// frame's rectangle, transparent around the unit, in the unit's own colours,
// 0.1 s a frame (the viewer's tick), looping. No animation is left out.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/platform/files.h"
#include "runtime/utility/job.h"

namespace quarnel {

// The largest canvas of one animation, scale included: as many pixels as
// extraction draws in one picture (4096 x 4096).
inline constexpr std::uint64_t animation_canvas_pixel_limit = std::uint64_t{4096} * 4096;
// The most pixels of all frames of one animation together (frames x
// canvas), which bounds the time and the file of one animation.
inline constexpr std::uint64_t animation_pixel_limit = std::uint64_t{256} << 20;
inline constexpr int animation_scale_limit = 16;
inline constexpr std::string_view animation_index_file_name = "animations.txt";

using OutputWriter = std::function<WriteResult(const std::string& path, std::span<const std::uint8_t> bytes)>;

struct AnimateRequest {
    std::string description_path;  // UNIT.fin
    std::string sprites_path;      // empty: UNIT.spr beside the description, else in ../sprites/
    std::string output_folder;     // empty: UNIT_animations/ beside the description
    int scale = 1;                 // 1 to animation_scale_limit
    bool gif = false;              // GIF89a instead of APNG
    // Writes one output file; by default whole or not at all.
    OutputWriter write;
};

// One animation of the description and what became of it.
struct AnimationPicture {
    std::uint32_t number = 0;
    std::string name;               // the stored name, zero bytes dropped
    std::uint32_t frame_count = 0;  // frames drawn
    std::string file_name;          // within the output folder; empty when none was written
    // The canvas in the viewer's screen pixels, before scaling.
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

struct AnimateOutcome {
    bool ok = true;                // every animation with frames was written, no frame lacked its picture
    bool read = false;             // the description and the sprite set could be read
    std::string sprites_path;      // the sprite set used
    std::string output_folder;
    std::string index_path;        // the index file, once written
    std::vector<AnimationPicture> animations;
    std::uint32_t written = 0;     // pictures written
    std::vector<std::string> problem_lines;  // the lines that said something went wrong
};

// The sprite set of a description: UNIT.spr beside it, else in the folder
// "sprites" beside the description's folder (names matched ignoring case);
// empty when there is none.
std::string find_unit_sprites(std::string_view description_path);

// The file name of an animation's picture: its number (two digits, or as
// many as the largest number needs), "_", its name with every character but
// letters, digits, "-" and "_" made "_", and the extension.
std::string animation_file_name(std::uint32_t number, std::uint32_t animation_count, std::string_view name,
                                std::string_view extension);

// Runs the job; every line (progress and problems) goes to say.
AnimateOutcome animate_unit(const AnimateRequest& request, const LineSink& say);

}  // namespace quarnel
