// Running the Windows programs (build-windows/*.exe) through Wine beside
// the Linux ones, for the tests that compare the two builds.
//
// tools/run-tests.sh builds the Windows programs, makes a Wine prefix and
// starts its wineserver (Wine started from inside a test keeps the test's
// output open through its own services), then runs these tests with
// QUARNEL_WINE_TESTS=required, which makes a missing Windows build a
// failure. Without QUARNEL_WINE_TESTS they are skipped.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "support/run_program.h"

namespace quarnel::test {

inline const std::string wine_loader = "/usr/lib/wine/wine64";

inline std::string windows_build_dir() {
    const char* dir = std::getenv("QUARNEL_WINDOWS_BUILD");
    return dir != nullptr && *dir != '\0' ? dir : std::string(QUARNEL_SOURCE_DIR) + "/build-windows";
}
inline std::string windows_program(const std::string& name) { return windows_build_dir() + "/" + name + ".exe"; }

// Why the Windows programs cannot run here; empty when they can.
inline std::string missing_windows_build() {
    if (!std::filesystem::exists(wine_loader)) return "Wine is not installed (" + wine_loader + ")";
    for (const char* name : {"quarnel", "bytediff"})
        if (!std::filesystem::exists(windows_program(name)))
            return "no " + windows_program(name) + " (tools/build-windows.sh)";
    return {};
}

#define REQUIRE_WINDOWS_BUILD()                                                        \
    do {                                                                               \
        const char* wanted = std::getenv("QUARNEL_WINE_TESTS");                        \
        if (wanted == nullptr || *wanted == '\0')                                      \
            GTEST_SKIP() << "QUARNEL_WINE_TESTS is not set (tools/run-tests.sh sets it)"; \
        const std::string missing = ::quarnel::test::missing_windows_build();          \
        if (!missing.empty()) {                                                        \
            if (std::string(wanted) == "required") FAIL() << missing;                  \
            GTEST_SKIP() << missing;                                                   \
        }                                                                              \
    } while (false)

// The path under which a Windows program run by Wine sees a Linux path.
inline std::string wine_path(const std::string& path) {
    std::string out = "Z:" + path;
    std::replace(out.begin(), out.end(), '/', '\\');
    return out;
}

// The Unix locale a Wine program runs in decides its ANSI code page; it
// must use UTF-8 for Wine to pass names outside ASCII at all. The default
// gives code page 1252; see polish_wine_locale for 1250.
inline std::vector<std::string> wine_environment(std::vector<std::string> locale = {"LC_ALL=C.UTF-8"}) {
    locale.insert(locale.begin(), "WINEDEBUG=-all");
    return locale;
}

// Runs a Windows program given by its path (an .exe anywhere).
inline ProgramRun run_windows_exe(const std::string& exe, const std::vector<std::string>& arguments,
                                  const std::string& input, const std::string& dir,
                                  const std::vector<std::string>& environment = wine_environment()) {
    std::vector<std::string> words{exe};
    words.insert(words.end(), arguments.begin(), arguments.end());
    return run_program(wine_loader, words, input, dir, 120, environment);
}

inline ProgramRun run_windows(const std::string& name, const std::vector<std::string>& arguments,
                              const std::string& input, const std::string& dir,
                              const std::vector<std::string>& environment = wine_environment()) {
    return run_windows_exe(windows_program(name), arguments, input, dir, environment);
}

inline ProgramRun run_linux(const std::string& name, const std::vector<std::string>& arguments,
                            const std::string& input, const std::string& dir) {
    return run_program(std::string(QUARNEL_BINARY_DIR) + "/" + name, arguments, input, dir);
}

// A Linux transcript as the Windows build writes it: each Linux folder
// replaced by the path under which Wine shows its Windows twin, and every
// "/" taken as "\" (also in the Windows transcript given to compare).
inline std::string as_windows_transcript(std::string text,
                                         const std::vector<std::pair<std::string, std::string>>& folders) {
    for (const auto& [linux_dir, windows_dir] : folders)
        for (std::size_t at = 0; (at = text.find(linux_dir, at)) != std::string::npos;) {
            text.replace(at, linux_dir.size(), wine_path(windows_dir));
            at += wine_path(windows_dir).size();
        }
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}


}  // namespace quarnel::test
