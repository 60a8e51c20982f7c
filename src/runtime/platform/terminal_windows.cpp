// The console's system side on Windows.
//
// Standard input and output are in binary mode: CR LF, 0x1A and every other
// byte pass unchanged both ways. A console input (told by GetConsoleMode;
// _isatty is also true for NUL) is read in key mode with ReadConsoleInputA
// (keys in the Windows-1250 code page) and in line mode, with the console's
// own echo, with ReadConsoleW: a typed line arrives in UTF-8, as a path
// does from the rest of the system. A console output is written with
// WriteConsoleW, each line read as shown_text reads it, so that a path in
// any letters and the program's Windows-1250 texts both show as they are.
// Any other input (a pipe, a file, NUL) is read by a thread of its own with
// blocking reads, since a pipe cannot be polled reliably; its end is a read
// of no bytes or a broken pipe. Its bytes, like those written to a pipe or
// a file, pass unchanged (UTF-8 names, as on Linux).
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "runtime/platform/terminal.h"
#include "runtime/utility/text_encoding.h"

namespace quarnel::terminal {

namespace {

constexpr UINT polish_code_page = 1250;

HANDLE input_handle() { return GetStdHandle(STD_INPUT_HANDLE); }
HANDLE output_handle() { return GetStdHandle(STD_OUTPUT_HANDLE); }

bool is_console(HANDLE h) {
    DWORD mode = 0;
    return h != nullptr && h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) != 0;
}

struct ConsoleState {
    bool saved = false;
    DWORD saved_mode = 0;
    UINT saved_input_cp = 0;
    UINT saved_output_cp = 0;
    bool line_mode = false;
};
ConsoleState g_console;

constexpr DWORD key_mode_flags(DWORD mode) {
    return (mode & ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT)) | ENABLE_PROCESSED_INPUT;
}
constexpr DWORD line_mode_flags(DWORD mode) {
    return mode | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_PROCESSED_INPUT;
}

void restore_at_exit() { restore(); }

// ---------------------------------------------------------------------------
// A pipe or file on standard input: a reader thread fills a shared buffer.

struct PipeInput {
    std::mutex mutex;
    std::condition_variable arrived;
    std::string bytes;
    bool ended = false;
    bool started = false;
};

PipeInput& pipe_input() {
    static PipeInput* input = new PipeInput;  // never destroyed: the thread may outlive main
    return *input;
}

void read_pipe(HANDLE h) {
    PipeInput& in = pipe_input();
    char buffer[4096];
    for (;;) {
        DWORD got = 0;
        const BOOL ok = ReadFile(h, buffer, sizeof buffer, &got, nullptr);
        std::lock_guard lock(in.mutex);
        if (!ok || got == 0) {
            in.ended = true;
            in.arrived.notify_all();
            return;
        }
        in.bytes.append(buffer, got);
        in.arrived.notify_all();
    }
}

Read read_pipe_input(std::string& pending, int timeout_ms) {
    PipeInput& in = pipe_input();
    std::unique_lock lock(in.mutex);
    if (!in.started) {
        in.started = true;
        const HANDLE h = input_handle();
        if (h == nullptr || h == INVALID_HANDLE_VALUE) {
            in.ended = true;
        } else {
            std::thread(read_pipe, h).detach();
        }
    }
    const auto ready = [&] { return !in.bytes.empty() || in.ended; };
    if (timeout_ms < 0) in.arrived.wait(lock, ready);
    else in.arrived.wait_for(lock, std::chrono::milliseconds(timeout_ms), ready);
    if (!in.bytes.empty()) {
        pending += in.bytes;
        in.bytes.clear();
        return Read::bytes;
    }
    return in.ended ? Read::ended : Read::nothing;
}

// ---------------------------------------------------------------------------
// The console in key mode: key presses as bytes.

void append_key(const KEY_EVENT_RECORD& key, std::string& pending) {
    const char* arrow = nullptr;
    switch (key.wVirtualKeyCode) {
        case VK_UP: arrow = "\x1b[A"; break;
        case VK_DOWN: arrow = "\x1b[B"; break;
        case VK_RIGHT: arrow = "\x1b[C"; break;
        case VK_LEFT: arrow = "\x1b[D"; break;
        default: break;
    }
    for (WORD i = 0; i < (key.wRepeatCount == 0 ? 1 : key.wRepeatCount); ++i) {
        if (arrow != nullptr) pending += arrow;
        else if (key.uChar.AsciiChar != 0) pending.push_back(key.uChar.AsciiChar);
    }
}

Read read_console_keys(std::string& pending, int timeout_ms) {
    const HANDLE h = input_handle();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
    for (;;) {
        DWORD wait = INFINITE;
        if (timeout_ms >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            wait = left.count() > 0 ? static_cast<DWORD>(left.count()) : 0;
        }
        const DWORD signalled = WaitForSingleObject(h, wait);
        if (signalled == WAIT_TIMEOUT) return Read::nothing;
        if (signalled != WAIT_OBJECT_0) return Read::ended;
        INPUT_RECORD records[64];
        DWORD count = 0;
        if (!ReadConsoleInputA(h, records, 64, &count)) return Read::ended;
        const std::size_t before = pending.size();
        for (DWORD i = 0; i < count; ++i)
            if (records[i].EventType == KEY_EVENT && records[i].Event.KeyEvent.bKeyDown)
                append_key(records[i].Event.KeyEvent, pending);
        if (pending.size() > before) return Read::bytes;
        if (timeout_ms >= 0 && std::chrono::steady_clock::now() >= deadline) return Read::nothing;
    }
}

// The console in line mode: one typed line with its CR LF, in UTF-8. A
// character in two halves that a read splits keeps its first half for the
// next read.
Read read_console_line(std::string& pending) {
    static std::u16string first_half;
    wchar_t buffer[1024];
    DWORD got = 0;
    if (!ReadConsoleW(input_handle(), buffer, 1024, &got, nullptr) || got == 0) return Read::ended;
    std::u16string typed = first_half;
    first_half.clear();
    typed.append(buffer, buffer + got);
    if (typed.back() >= 0xD800 && typed.back() <= 0xDBFF) {
        first_half = typed.back();
        typed.pop_back();
    }
    pending += utf8_from_utf16(typed);
    return Read::bytes;
}

void write_to(std::FILE* stream, HANDLE h, std::string_view bytes) {
    if (!is_console(h)) {
        std::fwrite(bytes.data(), 1, bytes.size(), stream);
        std::fflush(stream);
        return;
    }
    std::fflush(stream);
    const std::u16string shown = shown_text(bytes);
    const std::wstring wide(shown.begin(), shown.end());
    for (std::size_t at = 0; at < wide.size();) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(wide.size() - at, 8192));
        DWORD written = 0;
        if (!WriteConsoleW(h, wide.data() + at, chunk, &written, nullptr) || written == 0) return;
        at += written;
    }
}

}  // namespace

long process_id() { return static_cast<long>(GetCurrentProcessId()); }

bool input_is_terminal() { return is_console(input_handle()); }

bool output_is_terminal() { return is_console(output_handle()); }

Read read_input(std::string& pending, int timeout_ms) {
    if (!input_is_terminal()) return read_pipe_input(pending, timeout_ms);
    if (g_console.line_mode) return read_console_line(pending);
    return read_console_keys(pending, timeout_ms);
}

void set_up() {
    static bool done = false;
    if (done) return;
    done = true;
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    const bool console_in = input_is_terminal();
    const bool console_out = output_is_terminal();
    if (!console_in && !console_out) return;
    g_console.saved_input_cp = GetConsoleCP();
    g_console.saved_output_cp = GetConsoleOutputCP();
    SetConsoleCP(polish_code_page);
    SetConsoleOutputCP(polish_code_page);
    if (console_in && GetConsoleMode(input_handle(), &g_console.saved_mode)) {
        g_console.saved = true;
        SetConsoleMode(input_handle(), key_mode_flags(g_console.saved_mode));
    }
    std::atexit(restore_at_exit);
}

void restore() {
    if (g_console.saved) SetConsoleMode(input_handle(), g_console.saved_mode);
    if (g_console.saved_input_cp != 0) SetConsoleCP(g_console.saved_input_cp);
    if (g_console.saved_output_cp != 0) SetConsoleOutputCP(g_console.saved_output_cp);
}

void begin_line_input() {
    if (!g_console.saved) return;
    SetConsoleMode(input_handle(), line_mode_flags(g_console.saved_mode));
    g_console.line_mode = true;
}

void end_line_input() {
    if (!g_console.saved) return;
    SetConsoleMode(input_handle(), key_mode_flags(g_console.saved_mode));
    g_console.line_mode = false;
}

void write_output(std::string_view bytes) { write_to(stdout, output_handle(), bytes); }

void write_error(std::string_view bytes) { write_to(stderr, GetStdHandle(STD_ERROR_HANDLE), bytes); }

void clear() {
    const HANDLE h = output_handle();
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(h, &info)) return;
    const DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y);
    const COORD home{0, 0};
    DWORD written = 0;
    FillConsoleOutputCharacterA(h, ' ', cells, home, &written);
    FillConsoleOutputAttribute(h, info.wAttributes, cells, home, &written);
    SetConsoleCursorPosition(h, home);
}

}  // namespace quarnel::terminal
