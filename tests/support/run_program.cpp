#include "support/run_program.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace quarnel::test {

std::string quarnel_path() { return std::string(QUARNEL_BINARY_DIR) + "/quarnel"; }
std::string bytediff_path() { return std::string(QUARNEL_BINARY_DIR) + "/bytediff"; }

void exec_program(const std::string& program, const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
}

void expect_clean_end(const ProgramRun& run) {
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.errors.find("runtime error"), std::string::npos) << run.errors;
    EXPECT_EQ(run.errors.find("Sanitizer"), std::string::npos) << run.errors;
}

namespace {

ProgramRun run_child(const std::string& program, const std::vector<std::string>& arguments, const std::string& input,
                     bool input_held_open, const std::string& display, const std::string& working_dir,
                     int timeout_seconds, const std::vector<std::string>& extra_environment) {
    int in_pipe[2], out_pipe[2], err_pipe[2];
    if (pipe(in_pipe) != 0 || pipe(out_pipe) != 0 || pipe(err_pipe) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(in_pipe[0], 0);
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) close(fd);
        if (chdir(working_dir.c_str()) != 0) _exit(126);
        unsetenv("WAYLAND_DISPLAY");
        if (display.empty()) {
            setenv("SDL_VIDEODRIVER", "dummy", 1);
            unsetenv("DISPLAY");
        } else {
            unsetenv("SDL_VIDEODRIVER");
            setenv("DISPLAY", display.c_str(), 1);
        }
        for (const auto& entry : extra_environment) putenv(strdup(entry.c_str()));
        exec_program(program, arguments);
    }
    close(in_pipe[0]);
    close(out_pipe[1]);
    close(err_pipe[1]);
    signal(SIGPIPE, SIG_IGN);
    fcntl(in_pipe[1], F_SETFL, O_NONBLOCK);

    ProgramRun run;
    std::size_t written = 0;
    bool in_open = true;
    if (input_held_open) {
        in_open = false;  // never written, closed only at the end
    } else if (input.empty()) {
        close(in_pipe[1]);
        in_open = false;
    }
    bool out_open = true, err_open = true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
    char buffer[65536];
    int status = 0;
    bool reaped = false;
    while (out_open || err_open) {
        // A program that has ended has written all it will; processes it
        // left behind (Wine's services and desktop inherit the pipes) may
        // hold them open long after, so once it has ended only what is
        // already in the pipes is read.
        if (!reaped && waitpid(pid, &status, WNOHANG) == pid) {
            reaped = true;
            fcntl(out_pipe[0], F_SETFL, O_NONBLOCK);
            fcntl(err_pipe[0], F_SETFL, O_NONBLOCK);
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            run.timed_out = true;
            if (!reaped) kill(pid, SIGKILL);
            break;
        }
        std::vector<pollfd> fds;
        if (out_open) fds.push_back({out_pipe[0], POLLIN, 0});
        if (err_open) fds.push_back({err_pipe[0], POLLIN, 0});
        if (in_open) fds.push_back({in_pipe[1], POLLOUT, 0});
        const int left_ms = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count());
        const int ready = poll(fds.data(), fds.size(), reaped ? 0 : std::min(left_ms, 200));
        if (ready < 0) continue;
        if (reaped && ready == 0) break;
        for (const auto& p : fds) {
            if (p.revents == 0) continue;
            if (p.fd == in_pipe[1]) {
                const ssize_t n = write(in_pipe[1], input.data() + written, input.size() - written);
                if (n > 0) written += static_cast<std::size_t>(n);
                if (n < 0 && errno != EAGAIN) written = input.size();
                if (written >= input.size()) {
                    close(in_pipe[1]);
                    in_open = false;
                }
                continue;
            }
            const ssize_t n = read(p.fd, buffer, sizeof buffer);
            std::string& sink = p.fd == out_pipe[0] ? run.output : run.errors;
            if (n > 0) {
                sink.append(buffer, static_cast<std::size_t>(n));
            } else if (n < 0 && errno == EAGAIN) {
                continue;
            } else {
                (p.fd == out_pipe[0] ? out_open : err_open) = false;
            }
        }
    }
    if (in_open || input_held_open) close(in_pipe[1]);
    close(out_pipe[0]);
    close(err_pipe[0]);
    if (!reaped) waitpid(pid, &status, 0);
    if (WIFEXITED(status)) run.exit_status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
    return run;
}

}  // namespace

ProgramRun run_program(const std::string& program, const std::vector<std::string>& arguments,
                       const std::string& input, const std::string& working_dir, int timeout_seconds,
                       const std::vector<std::string>& extra_environment) {
    return run_child(program, arguments, input, false, "", working_dir, timeout_seconds, extra_environment);
}

ProgramRun run_program_input_open(const std::string& program, const std::vector<std::string>& arguments,
                                  const std::string& working_dir, const std::string& display, int timeout_seconds,
                                  const std::vector<std::string>& extra_environment) {
    return run_child(program, arguments, "", true, display, working_dir, timeout_seconds, extra_environment);
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quarnel-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::map<std::string, std::string> file_tree(const std::string& folder, bool with_folders) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), folder).string()] = read_file(entry.path().string());
        else if (with_folders)
            files[fs::relative(entry.path(), folder).string()] = "<folder>";
    return files;
}

}  // namespace quarnel::test
