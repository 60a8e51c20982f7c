// The console's system side on Linux: standard input through poll and
// read, and a terminal input in raw mode (keys without Enter, no echo)
// from init_runtime to every way out of the program.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "runtime/platform/terminal.h"

namespace quarnel::terminal {

namespace {

struct termios g_saved_mode;
volatile std::sig_atomic_t g_raw_mode_on = 0;
bool g_mode_saved = false;
bool g_raw_before_line = false;

void enter_raw_mode() {
    if (!g_mode_saved) return;
    struct termios raw = g_saved_mode;
    // Keys without Enter and without echo; Ctrl-C and Ctrl-Z still signal.
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0) g_raw_mode_on = 1;
}

// Async-signal-safe: only tcsetattr.
void leave_raw_mode() {
    if (g_raw_mode_on) {
        tcsetattr(STDIN_FILENO, TCSANOW, &g_saved_mode);
        g_raw_mode_on = 0;
    }
}

void restore_at_exit() { leave_raw_mode(); }

void on_fatal_signal(int signal_number) {
    leave_raw_mode();
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

void on_stop_signal(int) {
    const int saved_errno = errno;
    const bool was_raw = g_raw_mode_on != 0;
    leave_raw_mode();
    std::signal(SIGTSTP, SIG_DFL);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &stop, nullptr);
    std::raise(SIGTSTP);  // stops here until continued
    std::signal(SIGTSTP, on_stop_signal);
    if (was_raw) enter_raw_mode();
    errno = saved_errno;
}

}  // namespace

long process_id() { return static_cast<long>(getpid()); }

bool input_is_terminal() { return isatty(STDIN_FILENO) == 1; }

bool output_is_terminal() { return isatty(STDOUT_FILENO) == 1; }

Read read_input(std::string& pending, int timeout_ms) {
    for (;;) {
        pollfd p{STDIN_FILENO, POLLIN, 0};
        const int ready = poll(&p, 1, timeout_ms);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return Read::ended;
        }
        if (ready == 0) return Read::nothing;
        if (p.revents & POLLNVAL) return Read::ended;  // no standard input at all
        char buffer[4096];
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return Read::ended;
        pending.append(buffer, static_cast<std::size_t>(n));
        return Read::bytes;
    }
}

void set_up() {
    static bool done = false;
    if (done) return;
    done = true;
    std::signal(SIGPIPE, SIG_IGN);  // a closed output pipe must not kill the program
    if (!input_is_terminal()) return;
    if (tcgetattr(STDIN_FILENO, &g_saved_mode) != 0) return;
    g_mode_saved = true;
    std::atexit(restore_at_exit);
    for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGABRT}) std::signal(s, on_fatal_signal);
    std::signal(SIGTSTP, on_stop_signal);
    enter_raw_mode();
}

void restore() { leave_raw_mode(); }

void begin_line_input() {
    g_raw_before_line = g_raw_mode_on != 0;
    leave_raw_mode();
}

void end_line_input() {
    if (g_raw_before_line) enter_raw_mode();
}

void clear() {
    std::fputs("\x1b[H\x1b[2J", stdout);
    std::fflush(stdout);
}

void write_output(std::string_view bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

void write_error(std::string_view bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
    std::fflush(stderr);
}

}  // namespace quarnel::terminal
