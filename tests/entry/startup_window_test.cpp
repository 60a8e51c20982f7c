// quarnel in a real window on a private X server: started on a picture of
// an extraction folder (the builder asks nothing), it draws its closing line
// in the window's text grid, waits for a key pressed in the window, and
// ends with status 0.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "runtime/screen/screen.h"
#include "support/run_program.h"
#include "support/x_display.h"

namespace quarnel {
namespace {

TEST(StartupWindow, ClosingLineShowsInTheWindowAndAKeyEndsTheProgram) {
    const std::string missing = test::XDisplay::missing_programs(true);
    if (!missing.empty()) GTEST_SKIP() << missing;
    test::XDisplay display;
    ASSERT_TRUE(display.started()) << "Xvfb did not start";

    // An extraction folder made headless from the project's sample archive.
    test::TempDir dir;
    const auto made = test::run_program(std::string(QUARNEL_BINARY_DIR) + "/make_sample_archive", {dir.path()}, "");
    ASSERT_EQ(made.exit_status, 0) << made.errors;
    const auto extracted = test::run_program(test::quarnel_path(), {dir.file("SAMPLE.spr")}, "t\npng\n", dir.path());
    ASSERT_EQ(extracted.exit_status, 0) << extracted.output;

    const std::string errors_path = dir.file("errors.txt");
    const pid_t program = display.start_program(test::quarnel_path(), {dir.file("SAMPLE/0001.png")}, errors_path);
    ASSERT_GE(program, 0);
    test::Reaper reaper{program};

    const std::string window = display.focused_window_of(program);
    ASSERT_FALSE(window.empty()) << "no window took the focus; " << test::read_file(errors_path);

    const std::string closing_line = "Nacisnij dowolny klawisz.";
    int row = -1;
    EXPECT_TRUE(test::wait_until([&] {
        const test::Screenshot shot = display.screenshot(window);
        row = shot.width == screen_width && shot.height == screen_height ? test::text_row_showing(shot, closing_line) : -1;
        return row >= 0;
    })) << "the closing line never showed in the window";
    EXPECT_GT(row, 0);  // below the banner and the job's lines

    int status = 0;
    EXPECT_EQ(waitpid(program, &status, WNOHANG), 0) << "the program ended before a key was pressed";
    ASSERT_EQ(display.xdotool("key a"), 0);
    ASSERT_TRUE(test::wait_until([&] { return waitpid(program, &status, WNOHANG) == program; }))
        << "the program did not end on the key";
    reaper.pid = -1;
    ASSERT_TRUE(WIFEXITED(status)) << test::read_file(errors_path);
    EXPECT_EQ(WEXITSTATUS(status), 0) << test::read_file(errors_path);
    // The builder wrote its archive beside the pictures.
    EXPECT_GT(test::read_file(dir.file("SAMPLE/SAMPLE_new.spr")).size(), 776u);
}

}  // namespace
}  // namespace quarnel
