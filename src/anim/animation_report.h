// The animation report job (input kind 4): a text report of an animation
// description's animations and frames, written beside the input in a folder
// named after it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "entry/module_state.h"

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

JobOutcome animation_report_job();

}  // namespace quarnel
