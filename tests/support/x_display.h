// A private X server (Xvfb) for tests that look at a real window, with the
// helpers those tests share: finding programs, running X clients on the
// display, and reading screenshots taken with ImageMagick's import.
#pragma once

#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace quarnel::test {

// Full path of an executable found on PATH; empty when there is none.
std::string find_program(const std::string& name);
// Standard output of a shell command.
std::string command_output(const std::string& command);
// Polls condition every 20 ms until it holds or the time is up.
bool wait_until(const std::function<bool()>& condition, int timeout_ms = 30000);

// Ends a program a test started, unless the test saw it end (pid -1).
struct Reaper {
    pid_t pid;
    ~Reaper() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
};
// Waits for the child process to end and stores its status; a child still
// running when the time is up is killed (and reaped) and false returned.
bool wait_for_exit(pid_t child, int& status, int timeout_ms = 30000);

struct Rgb {
    int r = -1, g = -1, b = -1;
    bool operator==(const Rgb&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Rgb& c) {
    return out << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

// A screenshot read from a binary PPM file.
struct Screenshot {
    int width = 0, height = 0;
    std::vector<Rgb> pixels;

    // The pixel, or (-1, -1, -1) outside the picture.
    Rgb at(int x, int y) const;
    bool load_ppm(const std::string& bytes);
};

// The text row on which the line stands drawn in white on black, glyph by
// glyph from column 0, on the program's screen whose top-left corner lies
// at (left, top) of the shot; -1 when no row shows it.
int text_row_showing(const Screenshot& shot, const std::string& line, int left = 0, int top = 0);

// An Xvfb server on a display number it chooses itself, stopped by the
// destructor. missing_programs() names what is not installed of Xvfb,
// import and (when asked for) xdotool, so that a test can skip with it.
class XDisplay {
public:
    static std::string missing_programs(bool need_xdotool);

    XDisplay();
    ~XDisplay();
    XDisplay(const XDisplay&) = delete;
    XDisplay& operator=(const XDisplay&) = delete;

    bool started() const { return !name_.empty(); }
    const std::string& name() const { return name_; }  // ":N"
    // The command prefixed with DISPLAY=:N.
    std::string command(const std::string& command) const;
    // Runs xdotool with the arguments on this display; its exit status.
    int xdotool(const std::string& arguments) const;
    // A screenshot of one window (by X id), or an empty one on failure.
    Screenshot screenshot(const std::string& window_id) const;
    // Starts program with its arguments on this display (standard input and
    // output /dev/null, standard error to errors_path); -1 when fork fails.
    // In a sanitizer build leak checks are left off for it: the X libraries
    // that SDL loads and unloads leave allocations behind, and the program's
    // own code is checked for leaks by the headless runs.
    pid_t start_program(const std::string& program, const std::vector<std::string>& arguments,
                        const std::string& errors_path) const;
    // The newest window of a process, once it takes the focus; empty when
    // none does in time.
    std::string focused_window_of(pid_t pid, int timeout_ms = 30000) const;

private:
    pid_t server_ = -1;
    std::string name_;
};

}  // namespace quarnel::test
