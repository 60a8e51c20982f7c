// The animation report job (input kind 4): a text report of an animation
// description's animations and frames, written beside the input in a folder
// named after it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "runtime/utility/job.h"

namespace quarnel {

// The line that says the data ran out before the frames did; it ends the
// report and is shown on the screen.
inline constexpr std::string_view animation_file_ended_message =
    "The file ended before its frames did! Plik skonczyl sie przed koncem klatek, rozmiar: ";

struct AnimationReport {
    std::string text;                 // the whole report, CR LF line ends
    std::uint64_t start_position = 0; // just past the last frame record consumed
    bool ended_early = false;         // the data ended before the frames did
    std::uint64_t data_size = 0;
};

// The report of one description; animations whose 12 stored name bytes
// contain skip_text are left out (an empty skip_text leaves none out).
AnimationReport make_animation_report(std::span<const std::uint8_t> description, std::string_view skip_text);

// The line for a report that ended early (without its line end).
std::string animation_file_ended_line(std::uint64_t data_size);

struct ReportRequest {
    std::string description_path;  // the animation description (absolute)
    std::string skip_text;         // animations whose stored name holds it are left out
    // The folder that takes the report, ending in a separator (made when
    // missing), and the report's name less ".txt".
    std::string output_folder;
    std::string base_name;
};

// Writes the report (replacing an earlier one) and says where the frame
// records ended; every line goes to say.
JobOutcome write_animation_report(const ReportRequest& request, const LineSink& say);

}  // namespace quarnel
