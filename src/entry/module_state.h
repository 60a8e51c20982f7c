// The state that start-up sets for the jobs, one instance per process.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quarnel {

enum class InputKind : std::uint8_t {
    archive = 0,       // extraction
    none = 1,          // no usable input (a message has been printed)
    scenario_map = 3,  // map viewer
    animation = 4,     // animation report
    picture = 5,       // archive builder
    unknown = 255,     // unrecognised extension
};

// Kinds of archive for extraction.
namespace archive_kinds {
inline constexpr std::uint8_t sprite_set = 0;     // .spr
inline constexpr std::uint8_t tile_set = 1;       // .bts
inline constexpr std::uint8_t raw_data = 3;       // option -r
inline constexpr std::uint8_t trs = 10;           // .trs
inline constexpr std::uint8_t trc = 11;           // .trc
inline constexpr std::uint8_t trw = 12;           // .trw
}  // namespace archive_kinds

struct ModuleState {
    std::string input_path;          // the input file as accepted (absolute)
    std::string input_dir;           // input_path up to and including its last separator
    std::string input_folder_name;   // name of the folder that holds the input
    std::string input_base_name;     // file name less its last four characters
    std::string palette_image_name;  // argument after "-p"
    std::string game_dir;            // from setup.txt, ending in a separator when set
    std::uint8_t palette_source = 1; // 1 archive palette, 2 palette image (-p)
    bool keep_indices = false;       // option -i: indexed pictures and a side file, for an exact rebuild
    bool nearest_colours = false;    // option --nearest: the builder moves colours not in the palette to the nearest
    bool palette_files = false;      // option -c: the palette also for paint programs (.gpl, .pal, .act)
    std::uint8_t archive_kind = 0;
    InputKind input_kind = InputKind::none;
    std::string program_dir;
    std::vector<std::uint8_t> input_bytes;  // the whole file a job works on
};

ModuleState& module_state();

// What a job did, for quarnel's command mode: whether all of it succeeded,
// how many files it wrote and where they went.
struct JobOutcome {
    bool ok = true;
    std::uint32_t written = 0;  // pictures, items or reports written
    std::string output;         // the folder or file written to
    std::uint32_t failed_writes = 0;  // files that could not be written
    std::string first_failure;        // the first of them and why, in plain words

    // A file that could not be written: counted, and the first one named.
    void write_failed(std::string_view path, std::string_view reason) {
        ok = false;
        if (failed_writes++ == 0) first_failure = "cannot write " + std::string(path) + ": " + std::string(reason);
    }
};

}  // namespace quarnel
