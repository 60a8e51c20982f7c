// Provisional terminal-only console; the window and raw terminal keys come next.
#include "runtime/console.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>

#include "runtime/files.h"
#include "runtime/text.h"

namespace quarnel {

namespace {
bool g_input_ended = false;
}

void init_runtime(int argc, char** argv) { set_command_arguments(argc, argv); }

void print_text(int file_number, std::string_view text, bool newline) {
    if (file_number != 0) {
        write_file_text(file_number, text);
        if (newline) write_file_text(file_number, "\r\n");
        return;
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (newline) std::fwrite("\r\n", 1, 2, stdout);
    std::fflush(stdout);
}

void print_integer(int file_number, std::int32_t value, bool newline) {
    print_text(file_number, (value >= 0 ? " " : "") + decimal_text(value), newline);
}

void print_byte(int file_number, std::uint8_t value, bool newline) {
    print_text(file_number, decimal_text(static_cast<std::uint32_t>(value)), newline);
}

void clear_screen() {}

void ask_answer(std::string_view prompt, bool question, std::string& destination) {
    print_text(0, prompt, false);
    if (question) print_text(0, "? ", false);
    std::string line;
    int c;
    while ((c = std::getchar()) != EOF && c != '\n') line.push_back(static_cast<char>(c));
    if (c == EOF) g_input_ended = true;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    print_text(0, line, true);
    std::size_t pos = 0;
    destination = take_input_item(line, pos);
}

std::string ask_answer(std::string_view prompt, bool question) {
    std::string out;
    ask_answer(prompt, question, out);
    return out;
}

std::string poll_key() {
    if (g_input_ended) return "\x1b";
    const int c = std::getchar();
    if (c == EOF) {
        g_input_ended = true;
        return "\x1b";
    }
    return std::string(1, static_cast<char>(c));
}

int key_down(int) { return 0; }

void sleep_ms(int milliseconds) {
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

double timer_seconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

int mouse_state(int& x, int& y, int& wheel, int& buttons) {
    x = y = wheel = buttons = -1;
    return 1;
}

bool input_has_ended() { return g_input_ended; }

}  // namespace quarnel

namespace quarnel {
void begin_key_pass() {}
}  // namespace quarnel
