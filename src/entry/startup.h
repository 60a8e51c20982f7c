// Start-up of quarnel: banner, input selection, setup file, screen, one job,
// the closing key wait. The interactive front-end: it asks the jobs'
// questions on the console and fills their requests with the answers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/extraction.h"
#include "runtime/utility/job.h"

namespace quarnel {

enum class InputKind : std::uint8_t {
    archive,       // extraction
    none,          // no usable input (a message has been printed)
    scenario_map,  // map viewer
    animation,     // animation report
    picture,       // archive builder
    unknown,       // unrecognised extension
};

// The input file as start-up takes it: the path made absolute and split,
// and the job its extension chooses.
struct InputFile {
    std::string path;         // absolute
    std::string dir;          // path up to and including its last separator
    std::string folder_name;  // name of the folder that holds it
    std::string base_name;    // file name less its last four characters
    InputKind kind = InputKind::none;
    ArchiveKind archive_kind = ArchiveKind::sprite_set;
};

// The options of an interactive start, scanned from argument 1 (the file
// itself) to the first empty argument.
struct StartOptions {
    bool palette_image_given = false;  // -p
    std::string palette_image;         // the word after -p
    bool raw = false;                  // -r: a file of another extension is raw data
    bool keep_indices = false;         // -i: indexed pictures and a side file, for an exact rebuild
    bool nearest = false;              // --nearest: the builder moves colours not in the palette to the nearest
    bool palette_files = false;        // -c: the palette also for paint programs (.gpl, .pal, .act)
};

struct Selection {
    InputFile input;
    StartOptions options;
};

// What an interactive start talks through: the console and the screen in
// the program, a test's own in-process.
struct StartConsole {
    LineSink say;                                                             // one line
    std::function<std::string(std::string_view prompt, bool question)> ask;  // the first item of a typed line
    std::function<void(int depth)> open_screen;                              // 640 x 480 at 8 or 32 bits
    std::function<std::string(std::string_view title, std::string_view start_dir)> choose_file;  // "": cancelled
};

// The program's console, screen and file dialog.
StartConsole program_start_console();

// Input selection: the file of argument 1 (or the dialog's), found as given
// or beside the program, then the options.
Selection select_input(const std::vector<std::string>& arguments, const std::string& program_dir,
                       const StartConsole& console);
// The second half of input selection for a file that has been found: the
// path made absolute and split, its three lines said, and the kind told by
// the extension (raw: option -r, for a file of no known extension).
InputFile take_input(const std::string& found_path, bool raw, const LineSink& say);

// The request for extraction of the input that both front-ends start from:
// the input, its kind, the folder named after it; no answers yet.
ExtractionRequest extraction_request(const InputFile& input);

// The selected job with its questions asked through the console; game_dir
// from the setup file.
void run_selected_job(const Selection& selection, const std::string& program_dir, const std::string& game_dir,
                      const StartConsole& console);

// An interactive start after the banner: input selection, the setup file,
// the screen and the job; arguments[0] is the program.
void run_interactive(const std::vector<std::string>& arguments, const std::string& program_dir,
                     const StartConsole& console);

int quarnel_main(int argc, char** argv);

}  // namespace quarnel
