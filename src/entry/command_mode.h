// quarnel's command mode, for scripts and batches: chosen when argument 1 is
// a command word. The jobs run on each file in turn with their answers taken
// from the options; nothing is asked, no key is waited for and no window is
// opened (but for "view").
#pragma once

#include <string_view>

namespace quarnel {

// True when the word chooses command mode.
bool is_command_word(std::string_view word);

// Runs the command of arguments 1 onward. Returns the exit status: 0 when
// every file succeeded, 1 when any failed, 2 on a usage error.
int run_command_mode(int argc, char** argv);

// The usage of both modes, as --help prints it (also the man page's text).
std::string_view usage_text();

}  // namespace quarnel
