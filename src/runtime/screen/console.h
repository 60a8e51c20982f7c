// Text output, line input, keys, the pointer and time.
//
// Before set_screen, and for bytediff always, the screen is the terminal:
// text goes to standard output, lines and keys come from standard input.
// With a window open, text is drawn in its 80 x 30 grid and keys, held keys
// and the pointer come from the window. In headless mode (no window could be
// opened) the terminal stays the screen for text and keys.
//
// Standard input that is not a terminal: each question reads one line and
// echoes it after the prompt; each key wait takes the next byte as one key;
// at the end of such input every key wait ends (see input_has_ended).
// Every line written to the screen ends with CR LF.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quarnel {

// Initialises the runtime services: remembers the command line, puts a
// terminal standard input into raw mode (restored on every way out).
void init_runtime(int argc, char** argv);
// Gives a terminal standard input its own mode back (init_runtime arranges
// this for a normal exit and for signals; end_program may call it first).
void restore_terminal();

// File number 0 is the screen; 1 to 254 are open files.
void print_text(int file_number, std::string_view text, bool newline);
void print_integer(int file_number, std::int32_t value, bool newline);
void print_byte(int file_number, std::uint8_t value, bool newline);
// Writes the text to standard error as it is (no line end added), shown on
// a console as print_text shows text on the terminal.
void print_error_text(std::string_view text);
void clear_screen();

// Writes the prompt (and "? " when question is set), reads one typed line
// with echo, ends the screen line and takes the line's first input item.
void ask_answer(std::string_view prompt, bool question, std::string& destination);
std::string ask_answer(std::string_view prompt, bool question);

// Answers given beforehand (quarnel's command mode). Once given, every
// question takes the next of them, through the same item rule as a typed
// line, without printing its prompt and without reading standard input; a
// question past the last answer gets the empty answer. Key waits
// (wait_for_key) end at once from then on.
void give_answers(std::vector<std::string> answers);
bool answers_are_given();

// The wait for any key that ends a run or a stage of a job: polls with 10 ms
// sleeps until a key comes or standard input has ended; returns at once
// when answers are given.
void wait_for_key();

// Oldest waiting key as text; empty when none waits. Never waits.
std::string poll_key();
// True while the key with that PC scan code (set 1) is held.
bool key_down(int scan_code);
// Waits; waits of 100 ms or more run in 50 ms steps and end early when a
// key is waiting (the key stays queued).
void sleep_ms(int milliseconds);
double timer_seconds();
// Pointer position, wheel and buttons; 0, or 1 with every output -1 when no
// window is open or the pointer is not over it.
int mouse_state(int& x, int& y, int& wheel, int& buttons);

// The map viewer calls this once per pass of its loop. In headless mode it
// takes the next key from standard input (a letter, a digit, ESC, or an
// arrow-key sequence ESC [ A/B/C/D) and holds it for this pass only, so that
// key_down reports it; with a window it does nothing (the window keeps the
// held keys).
void begin_key_pass();

// True once standard input, when it is not a terminal, has been read to its
// end: key waits end and the map viewer's loop ends as on Escape.
bool input_has_ended();

// PC scan codes (set 1) the program uses.
namespace scan {
inline constexpr int escape = 1;
inline constexpr int digit1 = 2, digit2 = 3, digit3 = 4, digit4 = 5;
inline constexpr int digit6 = 7, digit7 = 8, digit8 = 9, digit9 = 10;
inline constexpr int q = 16, w = 17, d = 32, f = 33, m = 50;
inline constexpr int up = 72, left = 75, right = 77, down = 80;
}  // namespace scan

}  // namespace quarnel
