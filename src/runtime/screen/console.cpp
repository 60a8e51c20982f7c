// The console: text, questions, keys, the pointer and time, on the terminal
// or in the window that shows the screen.
//
// Which side serves a call is decided per call: while a real window shows
// the screen, text is drawn in its grid and keys come from the window;
// otherwise (before set_screen, in headless mode, and in bytediff) the
// terminal is the screen.
#include "runtime/screen/console.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <iterator>
#include <thread>

#include "runtime/platform/files.h"
#include "runtime/platform/terminal.h"
#include "runtime/screen/screen.h"
#include "runtime/screen/window_input.h"
#include "runtime/screen/window_text.h"
#include "runtime/utility/text.h"

namespace quarnel {

namespace {

// ---------------------------------------------------------------------------
// The terminal side: standard input read through one buffer, so that line
// input, single key bytes and "is a key waiting" all see the same bytes.

struct TerminalInput {
    std::string pending;        // bytes read from standard input, not yet used
    bool at_end = false;        // standard input has been read to its end
    bool is_terminal = false;   // standard input is a terminal
    long checked_in = 0;        // process that looked at standard input
};

TerminalInput& terminal_input() {
    static TerminalInput input;
    // A forked child has standard input of its own: look again.
    if (input.checked_in != terminal::process_id()) {
        input = TerminalInput{};
        input.checked_in = terminal::process_id();
        input.is_terminal = terminal::input_is_terminal();
    }
    return input;
}

// Reads what standard input has, waiting at most timeout_ms (-1: until
// something comes or the input ends). True when bytes were added.
bool fill_input(int timeout_ms) {
    TerminalInput& in = terminal_input();
    if (in.at_end) return false;
    const terminal::Read result = terminal::read_input(in.pending, timeout_ms);
    if (result == terminal::Read::ended) in.at_end = true;
    return result == terminal::Read::bytes;
}

bool terminal_input_ended() {
    TerminalInput& in = terminal_input();
    return in.at_end && in.pending.empty();
}

// A key is waiting on the terminal: a byte, or the end of the input (which
// ends every key wait).
bool terminal_key_waiting() {
    TerminalInput& in = terminal_input();
    if (!in.pending.empty()) return true;
    fill_input(0);
    return !in.pending.empty() || in.at_end;
}

// One line of standard input without its line end (LF or CR LF); whatever
// comes before the end of the input when no line end follows.
std::string read_terminal_line() {
    TerminalInput& in = terminal_input();
    for (;;) {
        const std::size_t end = in.pending.find('\n');
        if (end != std::string::npos) {
            std::string line = in.pending.substr(0, end);
            in.pending.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line;
        }
        if (in.at_end) {
            std::string line = std::move(in.pending);
            in.pending.clear();
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line;
        }
        fill_input(-1);
    }
}

// ---------------------------------------------------------------------------

bool window_shows_screen() { return screen_has_window(); }

// Closing the window ends the program, as closing the console window does.
void end_if_window_closed() {
    if (!window_was_closed()) return;
    end_program(0);
}

// Answers given beforehand, taken by questions from the front.
struct GivenAnswers {
    bool given = false;
    std::deque<std::string> queue;
};

GivenAnswers& given_answers() {
    static GivenAnswers answers;
    return answers;
}

// Key held for this pass of the viewer loop in headless mode (scan code, 0
// for none).
int g_pass_key = 0;

// PC scan code (set 1) of a byte typed on the terminal; 0 for other bytes.
int scan_code_of_byte(std::uint8_t byte) {
    static const char* const rows[] = {"1234567890", "qwertyuiop", "asdfghjkl", "zxcvbnm"};
    static const int first_code[] = {2, 16, 30, 44};
    if (byte == 27) return scan::escape;
    if (byte == ' ') return 57;
    if (byte == '\r' || byte == '\n') return 28;
    const char c = static_cast<char>(byte >= 'A' && byte <= 'Z' ? byte + ('a' - 'A') : byte);
    for (int r = 0; r < 4; ++r)
        for (int i = 0; rows[r][i] != '\0'; ++i)
            if (rows[r][i] == c) return first_code[r] + i;
    return 0;
}

// Takes one key from the terminal. On a terminal an escape sequence (an
// arrow key, a function key) is one key; from a pipe or file every byte is
// one key. Empty when nothing waits.
std::string take_terminal_key() {
    TerminalInput& in = terminal_input();
    if (in.pending.empty()) fill_input(0);
    if (in.pending.empty()) return {};
    std::size_t length = 1;
    if (in.is_terminal && in.pending[0] == '\x1b') {
        if (in.pending.size() < 2) fill_input(5);
        if (in.pending.size() >= 2 && (in.pending[1] == '[' || in.pending[1] == 'O')) {
            length = 2;
            for (;;) {
                if (length >= in.pending.size() && !fill_input(5)) break;
                const auto b = static_cast<unsigned char>(in.pending[length]);
                ++length;
                if (b >= 0x40 && b <= 0x7E) break;  // the sequence's final byte
            }
            length = std::min(length, in.pending.size());
        }
    }
    std::string key = in.pending.substr(0, length);
    in.pending.erase(0, length);
    return key;
}

}  // namespace

void init_runtime(int argc, char** argv) {
    set_command_arguments(argc, argv);
    terminal::set_up();
}

void restore_terminal() { terminal::restore(); }

void print_text(int file_number, std::string_view text, bool newline) {
    if (file_number != 0) {
        write_file_text(file_number, text);
        if (newline) write_file_text(file_number, "\r\n");
        return;
    }
    if (window_shows_screen()) {
        end_if_window_closed();
        grid_print(text);
        if (newline) grid_new_line();
        return;
    }
    terminal::write_output(newline ? std::string(text) + "\r\n" : std::string(text));
}

void print_error_text(std::string_view text) { terminal::write_error(text); }

void print_integer(int file_number, std::int32_t value, bool newline) {
    print_text(file_number, signed_decimal_text(value), newline);
}

void print_byte(int file_number, std::uint8_t value, bool newline) {
    print_text(file_number, decimal_text(static_cast<std::uint32_t>(value)), newline);
}

void clear_screen() {
    if (screen_is_open()) grid_clear();  // the shown page, in a window or in memory
    if (window_shows_screen()) return;
    if (terminal::output_is_terminal()) terminal::clear();
}

void ask_answer(std::string_view prompt, bool question, std::string& destination) {
    GivenAnswers& given = given_answers();
    if (given.given) {
        std::string line;
        if (!given.queue.empty()) {
            line = std::move(given.queue.front());
            given.queue.pop_front();
        }
        input_from_line(line);
        destination = input_item();
        return;
    }
    print_text(0, prompt, false);
    if (question) print_text(0, "? ", false);
    std::string line;
    if (window_shows_screen()) {
        // Line input in the window: printable bytes are echoed, Backspace
        // takes the last one back, Enter ends the line.
        grid_show_cursor(true);
        for (;;) {
            end_if_window_closed();
            std::string key;
            if (!window_take_key(key)) {
                window_wait_key(50);
                continue;
            }
            if (key == "\r") break;
            if (key == "\b") {
                if (!line.empty()) {
                    line.pop_back();
                    grid_show_cursor(false);
                    grid_erase_previous();
                    grid_show_cursor(true);
                }
                continue;
            }
            if (key.size() != 1) continue;
            const auto byte = static_cast<std::uint8_t>(key[0]);
            if (byte < 32 || byte == 127) continue;
            line.push_back(key[0]);
            grid_show_cursor(false);
            grid_print(key);
            grid_show_cursor(true);
        }
        grid_show_cursor(false);
        grid_new_line();
    } else if (terminal_input().is_terminal) {
        // Ordinary line input: the terminal echoes and ends the line itself.
        terminal::begin_line_input();
        line = read_terminal_line();
        terminal::end_line_input();
        if (!terminal::output_is_terminal()) print_text(0, line, true);
    } else {
        // From a pipe or file: the answer is echoed so that the transcript
        // reads like a terminal session.
        line = read_terminal_line();
        print_text(0, line, true);
    }
    input_from_line(line);
    destination = input_item();
}

std::string ask_answer(std::string_view prompt, bool question) {
    std::string answer;
    ask_answer(prompt, question, answer);
    return answer;
}

void give_answers(std::vector<std::string> answers) {
    GivenAnswers& given = given_answers();
    given.given = true;
    given.queue.assign(std::make_move_iterator(answers.begin()), std::make_move_iterator(answers.end()));
}

bool answers_are_given() { return given_answers().given; }

void wait_for_key() {
    if (answers_are_given()) return;
    while (poll_key().empty() && !input_has_ended()) sleep_ms(10);
}

std::string poll_key() {
    if (window_shows_screen()) {
        end_if_window_closed();
        std::string key;
        window_take_key(key);
        return key;
    }
    std::string key = take_terminal_key();
    // At the end of the input every key wait ends: the key is Escape.
    if (key.empty() && terminal_input_ended()) return "\x1b";
    return key;
}

bool key_down(int scan_code) {
    if (window_shows_screen()) {
        end_if_window_closed();
        return window_key_held(scan_code);
    }
    return g_pass_key != 0 && g_pass_key == scan_code;
}

void begin_key_pass() {
    if (window_shows_screen()) {
        end_if_window_closed();
        return;
    }
    g_pass_key = 0;
    TerminalInput& in = terminal_input();
    if (in.pending.empty()) fill_input(0);
    if (in.pending.empty()) {
        if (terminal_input_ended()) g_pass_key = scan::escape;
        return;
    }
    const auto byte = static_cast<std::uint8_t>(in.pending[0]);
    in.pending.erase(0, 1);
    if (byte == 27) {
        // ESC [ A/B/C/D is an arrow key; ESC alone is Escape.
        if (in.pending.size() < 2) fill_input(in.is_terminal ? 5 : 0);
        if (in.pending.size() >= 2 && in.pending[0] == '[') {
            int arrow = 0;
            switch (in.pending[1]) {
                case 'A': arrow = scan::up; break;
                case 'B': arrow = scan::down; break;
                case 'C': arrow = scan::right; break;
                case 'D': arrow = scan::left; break;
                default: break;
            }
            if (arrow != 0) {
                in.pending.erase(0, 2);
                g_pass_key = arrow;
                return;
            }
        }
    }
    g_pass_key = scan_code_of_byte(byte);
}

void sleep_ms(int milliseconds) {
    if (milliseconds <= 0) return;
    if (milliseconds < 100) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        return;
    }
    // Long waits run in 50 ms steps and end once a key waits; the key stays
    // queued for poll_key.
    int left = milliseconds;
    while (left > 0) {
        const int step = std::min(left, 50);
        std::this_thread::sleep_for(std::chrono::milliseconds(step));
        left -= step;
        if (window_shows_screen()) {
            end_if_window_closed();
            if (window_key_waiting()) return;
        } else if (terminal_key_waiting()) {
            return;
        }
    }
}

double timer_seconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

int mouse_state(int& x, int& y, int& wheel, int& buttons) {
    PointerState pointer;
    if (window_shows_screen()) end_if_window_closed();
    const bool over = window_shows_screen() && window_pointer(pointer);
    if (!over) pointer = PointerState{};
    x = pointer.x;
    y = pointer.y;
    wheel = pointer.wheel;
    buttons = pointer.buttons;
    return over ? 0 : 1;
}

bool input_has_ended() {
    if (window_shows_screen()) return false;
    // A key wait sees the end only after the bytes before it are used.
    if (terminal_input().pending.empty()) fill_input(0);
    return terminal_input_ended();
}

}  // namespace quarnel
