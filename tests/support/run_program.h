// Runs one of the built programs the way a user's script would: headless
// (SDL_VIDEODRIVER=dummy, no DISPLAY), answers on standard input, and
// collects what it prints.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace quarnel::test {

struct ProgramRun {
    int exit_status = -1;   // exit status, or -1 when it did not exit normally
    int signal = 0;         // the signal that ended it, if any
    bool timed_out = false;
    std::string output;     // standard output
    std::string errors;     // standard error
};

// Runs program with arguments in working_dir, feeding input on standard
// input (then closing it). Kills it after timeout_seconds.
ProgramRun run_program(const std::string& program, const std::vector<std::string>& arguments,
                       const std::string& input, const std::string& working_dir = ".",
                       int timeout_seconds = 60,
                       const std::vector<std::string>& extra_environment = {});

// As run_program, but standard input stays open and nothing is ever written
// to it (a terminal nobody types on). With a display named (":N"), the
// program sees that X display (DISPLAY set, SDL_VIDEODRIVER unset) instead
// of running headless.
ProgramRun run_program_input_open(const std::string& program, const std::vector<std::string>& arguments,
                                  const std::string& working_dir, const std::string& display = "",
                                  int timeout_seconds = 60,
                                  const std::vector<std::string>& extra_environment = {});

// In a forked child: replaces it with program and its arguments; the child
// ends with status 127 when the program cannot be started.
[[noreturn]] void exec_program(const std::string& program, const std::vector<std::string>& arguments);

// The run ended by itself with status 0, and no sanitizer spoke.
void expect_clean_end(const ProgramRun& run);

// Paths of the built programs.
std::string quarnel_path();
std::string bytediff_path();

// A fresh empty folder under the system's temporary folder, removed by the
// destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Whole-file helpers for tests.
std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);
// Every file and folder under folder by its path within it: a file with its
// bytes, a folder as "<folder>" (left out without with_folders).
std::map<std::string, std::string> file_tree(const std::string& folder, bool with_folders = true);

}  // namespace quarnel::test
