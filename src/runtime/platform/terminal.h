// The system's side of the console: standard input and output as a
// terminal (or the Windows console), a pipe or a file. One file per
// platform implements it (console_posix.cpp, console_windows.cpp); the
// console's rules (console.cpp) are built on it.
#pragma once

#include <string>
#include <string_view>

namespace quarnel::terminal {

// Id of the running process (a forked child looks at its input anew).
long process_id();
bool input_is_terminal();
bool output_is_terminal();

enum class Read { bytes, nothing, ended };
// Appends what standard input has to pending, waiting at most timeout_ms
// (-1: until something comes or the input ends). A terminal in key mode
// gives each key as its byte, an arrow key as ESC [ A/B/C/D.
Read read_input(std::string& pending, int timeout_ms);

// Once per process: keys without Enter and without echo on a terminal
// input, restored on every way out of the program.
void set_up();
// The terminal's own mode back.
void restore();
// Around line input on a terminal: ordinary echoed line input between the
// two calls, key mode again after.
void begin_line_input();
void end_line_input();
// Clears a terminal output.
void clear();

// Writes the bytes to standard output, or to standard error, at once. A
// Windows console shows them as shown_text reads them (paths in UTF-8 and
// the program's Windows-1250 texts alike); anything else gets the bytes
// unchanged.
void write_output(std::string_view bytes);
void write_error(std::string_view bytes);

}  // namespace quarnel::terminal
