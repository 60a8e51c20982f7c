// The file-open dialog on Linux: zenity's file selection when a display and
// zenity are there.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/platform/file_dialog.h"
#include "runtime/utility/paths.h"

namespace quarnel {

namespace {

bool has_display() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

// The full name of an executable found on PATH; empty when there is none.
std::string find_on_path(const std::string& program) {
    const char* path = std::getenv("PATH");
    if (!path) return {};
    std::string folders(path);
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        const std::string candidate = join_path(folders.substr(start, end - start), program);
        if (end > start && ::access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return {};
}

// Runs zenity and returns the chosen path; empty on cancel or failure.
std::string zenity_dialog(const std::string& zenity, std::string_view title, std::string_view start_dir) {
    std::vector<std::string> words = {zenity, "--file-selection", "--title=" + std::string(title)};
    if (!start_dir.empty()) words.push_back("--filename=" + join_path(start_dir, ""));
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return {};
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(out[0]);
        ::close(out[1]);
        return {};
    }
    if (child == 0) {
        ::dup2(out[1], 1);
        const int null_fd = ::open("/dev/null", O_RDWR);
        if (null_fd >= 0) {
            ::dup2(null_fd, 0);
            ::dup2(null_fd, 2);  // keep GTK's chatter off the console
        }
        ::execv(zenity.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    std::string chosen;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n > 0) chosen.append(buffer, static_cast<std::size_t>(n));
        else if (n == 0 || errno != EINTR) break;
    }
    ::close(out[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
    while (!chosen.empty() && (chosen.back() == '\n' || chosen.back() == '\r')) chosen.pop_back();
    return chosen;
}

}  // namespace

std::optional<std::string> open_file_dialog(std::string_view title, std::string_view start_dir) {
    if (has_display()) {
        const std::string zenity = find_on_path("zenity");
        if (!zenity.empty()) return zenity_dialog(zenity, title, start_dir);
    }
    return std::nullopt;
}

}  // namespace quarnel
