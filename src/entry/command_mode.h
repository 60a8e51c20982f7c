// quarnel's command mode, for scripts and batches: chosen when argument 1 is
// a command word. The jobs run on each file with their requests filled from
// the options; nothing is asked, no key is waited for and no window is
// opened (but for "view"). The archives of one extract command run side by
// side on the cores, each one's lines printed together in the order given.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/utility/job.h"

namespace quarnel {

// True when the word chooses command mode.
bool is_command_word(std::string_view word);

// Where command mode's output goes: lines to standard output, and text (a
// failed file's line, a usage error) to standard error as it is.
struct CommandConsole {
    LineSink line;
    std::function<void(std::string_view text)> error;
};

// Runs the command of words[0] on the words after it. Returns the exit
// status: 0 when every file succeeded, 1 when any failed, 2 on a usage
// error.
int run_command(const std::vector<std::string>& words, const CommandConsole& console);

// The program's command mode on its command line (argument 1 onward).
int run_command_mode(int argc, char** argv);

// The usage of both modes, as --help prints it (also the man page's text).
std::string_view usage_text();

}  // namespace quarnel
