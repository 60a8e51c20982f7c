// The console on the terminal side (standard input a pipe, or a terminal
// made with a pseudo-terminal) and the text grid of the screen.
//
// Each terminal case runs in a child process whose standard input and
// output are pipes, so that what the console reads and writes is exactly
// what a script would see.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "runtime/image/image.h"
#include "runtime/platform/files.h"
#include "runtime/screen/console.h"
#include "runtime/screen/font8x16.h"
#include "runtime/screen/screen.h"
#include "runtime/screen/window_text.h"
#include "support/run_program.h"

using namespace quarnel;

namespace {

struct ChildRun {
    std::string output;
    int exit_status = -1;
};

// Runs body in a child whose standard input holds input (then ends, unless
// keep_input_open) and whose standard output is collected. The child ends
// with status 0 after body returns.
ChildRun run_console(const std::string& input, const std::function<void()>& body, bool keep_input_open = false) {
    int in_pipe[2], out_pipe[2];
    if (pipe(in_pipe) != 0 || pipe(out_pipe) != 0) return {};
    // The input is in the pipe before the child starts, since key passes do
    // not wait for bytes that have not arrived. Inputs here are small: they
    // fit in the pipe whole.
    if (!input.empty() && write(in_pipe[1], input.data(), input.size()) != static_cast<ssize_t>(input.size())) {
        ADD_FAILURE() << "could not write the input";
    }
    // Closed before the child starts too, so that the child meets the end
    // of the input right after the last byte.
    if (!keep_input_open) {
        close(in_pipe[1]);
        in_pipe[1] = -1;
    }
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in_pipe[0], 0);
        dup2(out_pipe[1], 1);
        close(in_pipe[0]);
        if (in_pipe[1] >= 0) close(in_pipe[1]);
        close(out_pipe[0]);
        close(out_pipe[1]);
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        body();
        std::fflush(stdout);
        _exit(0);
    }
    close(in_pipe[0]);
    close(out_pipe[1]);
    ChildRun run;
    char buffer[4096];
    ssize_t n;
    while ((n = read(out_pipe[0], buffer, sizeof buffer)) > 0) run.output.append(buffer, static_cast<std::size_t>(n));
    close(out_pipe[0]);
    if (keep_input_open) close(in_pipe[1]);
    int status = 0;
    waitpid(pid, &status, 0);
    run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

double elapsed_ms(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

TEST(ConsoleOutput, NumbersBytesAndLineEnds) {
    const ChildRun run = run_console("", [] {
        print_integer(0, 5, true);
        print_integer(0, -5, true);
        print_integer(0, 0, false);
        print_byte(0, 200, true);
        print_text(0, "a", false);
        print_text(0, "b", true);
        print_text(0, std::string("\0\xFF", 2), true);  // raw bytes pass unchanged
    });
    EXPECT_EQ(run.output, std::string(" 5\r\n-5\r\n 0200\r\nab\r\n\0\xFF\r\n", 23));
}

TEST(ConsoleOutput, ClearScreenWritesNothingIntoAPipe) {
    const ChildRun run = run_console("", [] {
        print_text(0, "x", true);
        clear_screen();
        print_text(0, "y", true);
    });
    EXPECT_EQ(run.output, "x\r\ny\r\n");
}

TEST(ConsoleOutput, FileNumbersOtherThanZeroGoToTheFile) {
    test::TempDir dir;
    const std::string name = dir.file("out.txt");
    run_console("", [&] {
        const int number = free_file_number();
        open_file(name, OpenMode::output, number);
        print_text(number, "abc", true);
        print_integer(number, 7, false);
        print_byte(number, 9, true);
        close_file(number);
    });
    EXPECT_EQ(test::read_file(name), "abc\r\n 79\r\n");
}

TEST(ConsoleQuestions, PromptEchoAndFirstItem) {
    std::string transcript;
    const ChildRun run = run_console("  tak, nie\r\npng\n", [] {
        const std::string first = ask_answer("Centrowac", true);
        const std::string rest = input_item();  // the typed line stays the input context
        const std::string second = ask_answer("Format: ", false);
        print_text(0, "[" + first + "][" + rest + "][" + second + "]", true);
    });
    EXPECT_EQ(run.output, "Centrowac?   tak, nie\r\nFormat: png\r\n[tak][nie][png]\r\n");
}

TEST(ConsoleQuestions, QuotedItemsAndLongLines) {
    const std::string long_line(5000, 'x');
    const ChildRun run = run_console("\"a, b\" rest\n" + long_line + "\n", [] {
        const std::string quoted = ask_answer("", false);
        const std::string cut = ask_answer("", false);
        print_text(0, "[" + quoted + "]", true);
        print_integer(0, static_cast<std::int32_t>(cut.size()), true);
    });
    EXPECT_NE(run.output.find("[a, b]\r\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find(" 4096\r\n"), std::string::npos);
}

TEST(ConsoleQuestions, EndOfInputGivesEmptyAnswersAndEndsKeyWaits) {
    const ChildRun run = run_console("last", [] {
        const std::string a = ask_answer("A", true);
        const bool ended_after_first = input_has_ended();
        const std::string b = ask_answer("B", true);
        const std::string key = poll_key();
        print_text(0, "[" + a + "][" + b + "]", false);
        print_text(0, ended_after_first ? " ended" : " open", false);
        print_text(0, input_has_ended() ? " ended" : " open", false);
        print_text(0, key.empty() ? " nokey" : " key", true);
    });
    EXPECT_EQ(run.output, "A? last\r\nB? \r\n[last][] ended ended key\r\n");
}

TEST(ConsoleKeys, EachByteIsOneKeyThenEveryWaitEnds) {
    const ChildRun run = run_console("xQ\x1b[A", [] {
        std::string seen;
        for (int i = 0; i < 6; ++i) {
            const std::string key = poll_key();
            seen += "[" + key + "]";
        }
        print_text(0, seen, false);
        print_text(0, input_has_ended() ? " ended" : " open", true);
    });
    EXPECT_EQ(run.output, "[x][Q][\x1b][[][A][\x1b] ended\r\n");
}

TEST(ConsoleKeys, PollKeyNeverWaits) {
    const ChildRun run = run_console(
        "",
        [] {
            const auto start = std::chrono::steady_clock::now();
            const std::string key = poll_key();
            const bool quick = elapsed_ms(start) < 2000;
            print_text(0, key.empty() && quick && !input_has_ended() ? "empty" : "wrong", true);
        },
        true);
    EXPECT_EQ(run.output, "empty\r\n");
}

TEST(ConsoleKeys, HeldKeysForOnePassInTheViewerLoop) {
    // w, up arrow, Q, digit 1, a lone Escape, z; then the end of the input.
    const ChildRun run = run_console("w\x1b[AQ1\x1bz", [] {
        set_screen(18, 8, 2);
        const int watched[] = {scan::w, scan::up, scan::q, scan::digit1, scan::escape, 44};
        std::string seen;
        for (int pass = 0; pass < 8; ++pass) {
            begin_key_pass();
            std::string held;
            for (const int code : watched)
                if (key_down(code)) held += std::to_string(code) + ",";
            seen += "[" + held + "]";
        }
        print_text(0, seen, true);
    });
    EXPECT_EQ(run.output, "[17,][72,][16,][2,][1,][44,][1,][1,]\r\n");
}

TEST(ConsoleKeys, NoKeyHeldWhileInputStaysOpenAndEmpty) {
    const ChildRun run = run_console(
        "",
        [] {
            set_screen(18, 8, 2);
            begin_key_pass();
            print_text(0, !key_down(scan::escape) && !key_down(scan::q) ? "none" : "held", true);
        },
        true);
    EXPECT_EQ(run.output, "none\r\n");
}

TEST(ConsoleSleep, LongWaitEndsEarlyOnAWaitingKeyAndKeepsIt) {
    const ChildRun run = run_console(
        "k",
        [] {
            const auto start = std::chrono::steady_clock::now();
            sleep_ms(3000);
            const double waited = elapsed_ms(start);
            const std::string key = poll_key();
            print_text(0, waited < 2000 ? "early" : "full", false);
            print_text(0, "[" + key + "]", true);
        },
        true);
    EXPECT_EQ(run.output, "early[k]\r\n");
}

TEST(ConsoleSleep, WaitsRunTheirTimeWithoutAKey) {
    const ChildRun run = run_console(
        "",
        [] {
            auto start = std::chrono::steady_clock::now();
            sleep_ms(300);
            const bool long_full = elapsed_ms(start) >= 290;
            start = std::chrono::steady_clock::now();
            sleep_ms(50);
            const bool short_full = elapsed_ms(start) >= 45;
            print_text(0, long_full && short_full ? "full" : "cut", true);
        },
        true);
    EXPECT_EQ(run.output, "full\r\n");
}

TEST(ConsoleSleep, ShortWaitIsNotCutByAWaitingKey) {
    const ChildRun run = run_console(
        "k",
        [] {
            const auto start = std::chrono::steady_clock::now();
            sleep_ms(80);
            print_text(0, elapsed_ms(start) >= 75 ? "full" : "cut", true);
        },
        true);
    EXPECT_EQ(run.output, "full\r\n");
}

TEST(ConsoleMisc, PointerAndTimerWithoutAWindow) {
    int x = 0, y = 0, wheel = 0, buttons = 0;
    EXPECT_EQ(mouse_state(x, y, wheel, buttons), 1);
    EXPECT_EQ(x, -1);
    EXPECT_EQ(y, -1);
    EXPECT_EQ(wheel, -1);
    EXPECT_EQ(buttons, -1);
    const double a = timer_seconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const double b = timer_seconds();
    EXPECT_GT(b - a, 0.015);
    EXPECT_LT(b - a, 5.0);
}

// --- A terminal standard input: raw mode and its restoring -----------------

namespace {

struct TerminalChild {
    pid_t pid = -1;
    int master = -1;
    std::string seen;

    // Reads the terminal until text appears; false after 10 s.
    bool wait_for(const std::string& text) {
        const auto start = std::chrono::steady_clock::now();
        while (seen.find(text) == std::string::npos) {
            if (elapsed_ms(start) > 10000) return false;
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            char buffer[512];
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n <= 0) {  // nothing to read yet (or the program has ended): look again
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            }
            seen.append(buffer, static_cast<std::size_t>(n));
        }
        return true;
    }
    bool canonical() const {
        termios mode{};
        tcgetattr(master, &mode);
        return (mode.c_lflag & ICANON) != 0 && (mode.c_lflag & ECHO) != 0;
    }
    int finish() {
        int status = 0;
        waitpid(pid, &status, 0);
        return status;
    }
};

TerminalChild start_on_terminal(const std::function<void()>& body) {
    TerminalChild child;
    std::fflush(stdout);
    child.pid = forkpty(&child.master, nullptr, nullptr, nullptr);
    if (child.pid == 0) {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        unsetenv("DISPLAY");
        static char program[] = "console_test";
        char* argv[] = {program, nullptr};
        init_runtime(1, argv);
        body();
        end_program(0);
    }
    return child;
}

}  // namespace

TEST(ConsoleTerminal, KeysWithoutEnterAndLinesWithEcho) {
    TerminalChild child = start_on_terminal([] {
        print_text(0, "ready", true);
        std::string key;
        while ((key = poll_key()).empty()) sleep_ms(10);
        print_text(0, "key[" + key + "]", true);
        const std::string answer = ask_answer("Name", true);
        print_text(0, "answer[" + answer + "]", true);
        while ((key = poll_key()).empty()) sleep_ms(10);
        print_text(0, "arrow[" + std::to_string(key.size()) + "]", true);
    });
    ASSERT_GT(child.pid, 0);
    ASSERT_TRUE(child.wait_for("ready"));
    EXPECT_FALSE(child.canonical());  // raw while the program runs
    ASSERT_EQ(write(child.master, "k", 1), 1);  // no Enter
    ASSERT_TRUE(child.wait_for("key[k]"));
    ASSERT_TRUE(child.wait_for("Name? "));
    // The question switches to ordinary line input; typing before that would
    // not be echoed (keys typed ahead in raw mode are not).
    const auto start = std::chrono::steady_clock::now();
    while (!child.canonical() && elapsed_ms(start) < 10000) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(child.canonical());
    ASSERT_EQ(write(child.master, "ab,c\n", 5), 5);
    ASSERT_TRUE(child.wait_for("answer[ab]"));
    EXPECT_NE(child.seen.find("ab,c"), std::string::npos);  // the terminal echoed the line
    ASSERT_EQ(write(child.master, "\x1b[A", 3), 3);  // one key, not three
    ASSERT_TRUE(child.wait_for("arrow[3]"));
    const int status = child.finish();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(child.canonical());  // restored by the normal end
    close(child.master);
}

TEST(ConsoleTerminal, ModeRestoredWhenKilledBySignal) {
    for (const int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
        TerminalChild child = start_on_terminal([] {
            print_text(0, "ready", true);
            for (;;) sleep_ms(1000);
        });
        ASSERT_GT(child.pid, 0);
        ASSERT_TRUE(child.wait_for("ready"));
        EXPECT_FALSE(child.canonical());
        kill(child.pid, signal_number);
        const int status = child.finish();
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << signal_number;
        EXPECT_TRUE(child.canonical()) << "signal " << signal_number;
        close(child.master);
    }
}

// --- The text grid of the screen -------------------------------------------

namespace {

struct GridFixture : ::testing::TestWithParam<int> {
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        ASSERT_EQ(set_screen(18, GetParam(), 2), 0);
    }
    void TearDown() override { close_screen(); }

    // True when the cell at column, row shows exactly the glyph of byte.
    static bool cell_shows(int column, int row, std::uint8_t byte) {
        const std::uint32_t ink = grid_text_colour();
        for (int gy = 0; gy < cell_height; ++gy)
            for (int gx = 0; gx < cell_width; ++gx) {
                const bool on = (font8x16[byte][static_cast<std::size_t>(gy)] & (0x80 >> gx)) != 0;
                const std::int64_t pixel = get_pixel(nullptr, column * cell_width + gx, row * cell_height + gy);
                if (pixel != (on ? static_cast<std::int64_t>(ink) : 0)) return false;
            }
        return true;
    }
};

}  // namespace

TEST_P(GridFixture, GlyphsDrawnAtTheCursorAndRowsMarked) {
    std::vector<bool> rows;
    take_marked_rows(rows);
    grid_print("Ab");
    EXPECT_TRUE(cell_shows(0, 0, 'A'));
    EXPECT_TRUE(cell_shows(1, 0, 'b'));
    EXPECT_FALSE(cell_shows(0, 0, 'B'));
    EXPECT_EQ(text_cursor().column, 2);
    ASSERT_TRUE(take_marked_rows(rows));
    EXPECT_TRUE(rows[0] && rows[15]);
    EXPECT_FALSE(rows[16]);
    grid_new_line();
    grid_print("\xB9");  // a Polish letter of the code page has its glyph
    EXPECT_TRUE(cell_shows(0, 1, 0xB9));
    int lit = 0;
    for (int y = 16; y < 32; ++y)
        for (int x = 0; x < 8; ++x) lit += get_pixel(nullptr, x, y) != 0;
    EXPECT_GT(lit, 10);
}

TEST_P(GridFixture, LongLinesWrapAndTheGridScrolls) {
    grid_print(std::string(80, 'x'));
    EXPECT_EQ(text_cursor().row, 0);  // a full row waits for the next character
    grid_new_line();
    EXPECT_EQ(text_cursor().row, 1);  // ... so a line end after it adds no blank row
    grid_print(std::string(81, 'y'));
    EXPECT_EQ(text_cursor().row, 2);
    EXPECT_EQ(text_cursor().column, 1);
    EXPECT_TRUE(cell_shows(0, 2, 'y'));
    grid_clear();
    grid_print("top");
    for (int i = 0; i < 29; ++i) grid_new_line();
    grid_print("bottom");
    EXPECT_EQ(text_cursor().row, 29);
    EXPECT_TRUE(cell_shows(0, 0, 't'));
    grid_new_line();  // past row 30: everything moves up one row
    EXPECT_EQ(text_cursor().row, 29);
    EXPECT_TRUE(cell_shows(0, 28, 'b'));
    EXPECT_FALSE(cell_shows(0, 0, 't'));
    EXPECT_TRUE(cell_shows(0, 29, ' '));
}

TEST_P(GridFixture, ControlBytesBackspaceAndClear) {
    grid_print("ab\rc\td");
    EXPECT_TRUE(cell_shows(0, 0, 'c'));
    EXPECT_TRUE(cell_shows(1, 0, ' '));  // the tab writes blanks up to column 8
    EXPECT_TRUE(cell_shows(8, 0, 'd'));
    grid_erase_previous();
    EXPECT_TRUE(cell_shows(8, 0, ' '));
    EXPECT_EQ(text_cursor().column, 8);
    grid_new_line();
    grid_erase_previous();  // from column 0 back to the end of the row above
    EXPECT_EQ(text_cursor().row, 0);
    EXPECT_EQ(text_cursor().column, 79);
    set_pixel(nullptr, 600, 400, 3);
    clear_screen();  // in headless mode it clears the page in memory too
    EXPECT_EQ(get_pixel(nullptr, 600, 400), 0);
    EXPECT_EQ(get_pixel(nullptr, 0, 5), 0);
    EXPECT_EQ(text_cursor().column, 0);
    EXPECT_EQ(text_cursor().row, 0);
}

INSTANTIATE_TEST_SUITE_P(Depths, GridFixture, ::testing::Values(8, 32));

TEST(ConsoleHeadless, ADisplayThatCannotBeReachedLeavesTheScreenInMemory) {
    const ChildRun run = run_console("", [] {
        setenv("DISPLAY", ":32123", 1);  // no X server there
        unsetenv("SDL_VIDEODRIVER");
        const int result = set_screen(18, 32, 2);
        print_text(0, result == 0 && screen_is_open() && !screen_has_window() ? "headless" : "window", true);
        set_pixel(nullptr, 3, 4, 0xFF010203u);
        print_text(0, get_pixel(nullptr, 3, 4) == 0xFF010203 ? "drawn" : "lost", true);
    });
    EXPECT_EQ(run.output, "headless\r\ndrawn\r\n");
}
