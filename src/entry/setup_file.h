// setup.txt beside the program, or else in the user's configuration
// folder: the game directory (key DCpath).
#pragma once

#include <string>

#include "runtime/utility/job.h"

namespace quarnel {

// The game directory that setup.txt names, ending in a separator; empty
// when no setup file is found (which is said) or it names none.
std::string read_setup(const std::string& program_dir, const LineSink& say);

}  // namespace quarnel
