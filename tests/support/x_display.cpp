#include "support/x_display.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "runtime/screen/font8x16.h"
#include "runtime/screen/screen.h"
#include "support/run_program.h"

namespace quarnel::test {

std::string find_program(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path != nullptr ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const std::string candidate = folder + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

std::string command_output(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return output;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    pclose(pipe);
    return output;
}

bool wait_until(const std::function<bool()>& condition, int timeout_ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

bool wait_for_exit(pid_t child, int& status, int timeout_ms) {
    if (wait_until([&] { return waitpid(child, &status, WNOHANG) == child; }, timeout_ms)) return true;
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    return false;
}

Rgb Screenshot::at(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return {};
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
}

int text_row_showing(const Screenshot& shot, const std::string& line, int left, int top) {
    const Rgb lit{255, 255, 255}, unlit{0, 0, 0};
    for (int row = 0; row < text_rows; ++row) {
        bool same = true;
        for (std::size_t i = 0; same && i < line.size(); ++i) {
            const auto& glyph = font8x16[static_cast<unsigned char>(line[i])];
            for (int gy = 0; same && gy < cell_height; ++gy)
                for (int gx = 0; same && gx < cell_width; ++gx) {
                    const bool on = (glyph[static_cast<std::size_t>(gy)] & (0x80 >> gx)) != 0;
                    const int x = left + static_cast<int>(i) * cell_width + gx, y = top + row * cell_height + gy;
                    same = shot.at(x, y) == (on ? lit : unlit);
                }
        }
        if (same) return row;
    }
    return -1;
}

bool Screenshot::load_ppm(const std::string& bytes) {
    std::size_t pos = 0;
    auto next_token = [&]() {
        std::string token;
        while (pos < bytes.size()) {
            const char c = bytes[pos];
            if (c == '#') {
                while (pos < bytes.size() && bytes[pos] != '\n') ++pos;
            } else if (std::isspace(static_cast<unsigned char>(c))) {
                if (!token.empty()) break;
                ++pos;
            } else {
                token.push_back(c);
                ++pos;
            }
        }
        return token;
    };
    if (next_token() != "P6") return false;
    const int w = std::atoi(next_token().c_str());
    const int h = std::atoi(next_token().c_str());
    const int max_value = std::atoi(next_token().c_str());
    ++pos;  // the single blank after the header
    if (w <= 0 || h <= 0 || w > 8192 || h > 8192 || max_value <= 0 || max_value > 65535) return false;
    const std::size_t sample = max_value > 255 ? 2 : 1;
    const std::size_t needed = static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3 * sample;
    if (bytes.size() < pos + needed) return false;
    width = w;
    height = h;
    pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    auto read_sample = [&](std::size_t at) {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + at;
        const int v = sample == 2 ? (p[0] << 8 | p[1]) : p[0];
        return v * 255 / max_value;
    };
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        const std::size_t at = pos + i * 3 * sample;
        pixels[i] = {read_sample(at), read_sample(at + sample), read_sample(at + 2 * sample)};
    }
    return true;
}

std::string XDisplay::missing_programs(bool need_xdotool) {
    std::string missing;
    for (const char* program : {"Xvfb", "import", "xdotool"}) {
        if (std::string(program) == "xdotool" && !need_xdotool) continue;
        if (find_program(program).empty()) missing += std::string(missing.empty() ? "" : ", ") + program;
    }
    return missing.empty() ? missing : missing + " not installed (tools/debian-packages.txt lists the packages)";
}

XDisplay::XDisplay() {
    const std::string xvfb = find_program("Xvfb");
    if (xvfb.empty()) return;
    // Xvfb chooses a free display itself and tells its number on a pipe.
    // -noreset: by default the server resets whenever its last client leaves
    // (a test's xdotool or screenshot, or the window library's own probe
    // connection), and a program connecting in that moment loses its
    // connection, which it takes for a lost display.
    int number_pipe[2];
    if (pipe(number_pipe) != 0) return;
    server_ = fork();
    if (server_ < 0) return;
    if (server_ == 0) {
        close(number_pipe[0]);
        const std::string fd = std::to_string(number_pipe[1]);
        const int null_fd = ::open("/dev/null", O_WRONLY);
        if (null_fd >= 0) {
            dup2(null_fd, 1);
            dup2(null_fd, 2);
        }
        execl(xvfb.c_str(), "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
              "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(number_pipe[1]);
    std::string number;
    char c;
    while (read(number_pipe[0], &c, 1) == 1 && c != '\n') number.push_back(c);
    close(number_pipe[0]);
    if (!number.empty()) name_ = ":" + number;
}

XDisplay::~XDisplay() {
    if (server_ > 0) {
        kill(server_, SIGTERM);
        int status = 0;
        waitpid(server_, &status, 0);
    }
}

std::string XDisplay::command(const std::string& text) const { return "DISPLAY=" + name_ + " " + text; }

int XDisplay::xdotool(const std::string& arguments) const {
    return std::system(command("xdotool " + arguments + " >/dev/null 2>&1").c_str());
}

Screenshot XDisplay::screenshot(const std::string& window_id) const {
    Screenshot shot;
    TempDir dir;
    const std::string file = dir.file("shot.ppm");
    if (std::system(command("import -window " + window_id + " -depth 8 ppm:" + file + " 2>/dev/null").c_str()) == 0)
        shot.load_ppm(read_file(file));
    return shot;
}

pid_t XDisplay::start_program(const std::string& program, const std::vector<std::string>& arguments,
                              const std::string& errors_path) const {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    const int null_fd = ::open("/dev/null", O_RDWR);
    const int errors_fd = ::open(errors_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (null_fd >= 0) {
        dup2(null_fd, 0);
        dup2(null_fd, 1);
    }
    if (errors_fd >= 0) dup2(errors_fd, 2);
    setenv("DISPLAY", name_.c_str(), 1);
    unsetenv("SDL_VIDEODRIVER");
    unsetenv("WAYLAND_DISPLAY");
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::string asan_options = std::string(asan ? asan : "") + (asan ? ":" : "") + "detect_leaks=0";
    setenv("ASAN_OPTIONS", asan_options.c_str(), 1);
    exec_program(program, arguments);
}

std::string XDisplay::focused_window_of(pid_t pid, int timeout_ms) const {
    std::string window;
    // The window may be replaced while the program starts: take the newest
    // one until it takes the focus.
    const bool found = wait_until([&] {
        const std::string listed = command_output(command("xdotool search --pid " + std::to_string(pid) + " 2>/dev/null"));
        std::istringstream lines(listed);
        window.clear();
        for (std::string line; std::getline(lines, line);)
            if (!line.empty()) window = line;
        return !window.empty() && xdotool("windowfocus --sync " + window) == 0;
    }, timeout_ms);
    return found ? window : std::string();
}

}  // namespace quarnel::test
