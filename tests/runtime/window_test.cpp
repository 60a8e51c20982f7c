// The screen in a real window: each test starts its own X server (Xvfb) on
// a free display, opens the screen there, draws, and reads the window's
// pixels back from a screenshot taken by ImageMagick's import. Keys and the
// pointer are sent with xdotool. Tests skip when those programs are not
// installed (tools/debian-packages.txt lists them).
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <SDL.h>
#include <gtest/gtest.h>

#include "runtime/image/image.h"
#include "runtime/screen/console.h"
#include "runtime/screen/font8x16.h"
#include "runtime/screen/screen.h"
#include "runtime/screen/window.h"
#include "runtime/screen/window_input.h"
#include "support/run_program.h"
#include "support/x_display.h"

using namespace quarnel;

namespace {

using test::command_output;
using test::find_program;
using test::Rgb;
using test::Screenshot;
using test::wait_until;

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string missing = test::XDisplay::missing_programs(false);
        if (!missing.empty()) GTEST_SKIP() << missing;
        server_ = std::make_unique<test::XDisplay>();
        ASSERT_TRUE(server_->started()) << "Xvfb did not start";
        display_ = server_->name();
        setenv("DISPLAY", display_.c_str(), 1);
        unsetenv("SDL_VIDEODRIVER");
        unsetenv("WAYLAND_DISPLAY");
    }

    void TearDown() override {
        close_screen();
        server_.reset();
        unsetenv("DISPLAY");
    }

    // Opens the screen in a window on this test's display.
    void open_screen(int depth) {
        ASSERT_EQ(set_screen(18, depth, 2), 0);
        ASSERT_TRUE(screen_has_window()) << "no window on " << display_;
        ASSERT_NE(window_system_id(), 0u);
    }

    std::string window_id() const { return std::to_string(window_system_id()); }

    std::string x_command(const std::string& command) const { return "DISPLAY=" + display_ + " " + command; }

    // A screenshot of the window once everything drawn so far is shown.
    Screenshot screenshot() {
        Screenshot shot;
        EXPECT_TRUE(window_wait_presented(10000));
        shot = server_->screenshot(window_id());
        EXPECT_EQ(shot.width, screen_width);
        EXPECT_EQ(shot.height, screen_height);
        return shot;
    }

    bool has_xdotool() const { return !find_program("xdotool").empty(); }

    void xdotool(const std::string& arguments) {
        const int status = std::system(x_command("xdotool " + arguments + " 2>/dev/null").c_str());
        ASSERT_EQ(status, 0) << "xdotool " << arguments;
    }

    std::unique_ptr<test::XDisplay> server_;
    std::string display_;
};

// Where the top-left lit pixel of a glyph is within its cell.
bool first_lit_pixel(std::uint8_t byte, int& gx, int& gy) {
    for (gy = 0; gy < cell_height; ++gy)
        for (gx = 0; gx < cell_width; ++gx)
            if (font8x16[byte][static_cast<std::size_t>(gy)] & (0x80 >> gx)) return true;
    return false;
}

}  // namespace

TEST_F(WindowTest, EightBitScreenThroughThePalette) {
    open_screen(8);
    // A filled rectangle in colour 4 (VGA red, 42/63 of full: 170).
    draw_line(nullptr, 100, 100, 299, 199, 4, 2);
    // A 20 x 20 image, index 0 (transparent) around a 10 x 10 square of
    // colour 2 (VGA green), drawn transparently over the rectangle.
    ImagePtr picture = create_image(20, 20, 0, 8);
    ASSERT_TRUE(picture);
    draw_line(picture.get(), 5, 5, 14, 14, 2, 2);
    draw_image(nullptr, 150, 120, *picture, true);
    print_text(0, "Hej", true);

    Screenshot shot = screenshot();
    EXPECT_EQ(shot.at(100, 100), (Rgb{170, 0, 0}));
    EXPECT_EQ(shot.at(299, 199), (Rgb{170, 0, 0}));
    EXPECT_EQ(shot.at(300, 199), (Rgb{0, 0, 0}));
    EXPECT_EQ(shot.at(150, 120), (Rgb{170, 0, 0}));  // transparent corner of the image
    EXPECT_EQ(shot.at(155, 125), (Rgb{0, 170, 0}));
    EXPECT_EQ(shot.at(164, 134), (Rgb{0, 170, 0}));
    EXPECT_EQ(shot.at(165, 135), (Rgb{170, 0, 0}));
    int gx = 0, gy = 0;
    ASSERT_TRUE(first_lit_pixel('H', gx, gy));
    EXPECT_EQ(shot.at(gx, gy), (Rgb{255, 255, 255}));  // text colour 15

    // A palette change shows at once, without drawing anything.
    set_palette_entry(4, 0, 0, 255);
    shot = screenshot();
    EXPECT_EQ(shot.at(100, 100), (Rgb{0, 0, 255}));
    EXPECT_EQ(shot.at(155, 125), (Rgb{0, 170, 0}));
}

TEST_F(WindowTest, ThirtyTwoBitScreen) {
    open_screen(32);
    // 31 line ends scroll the grid once (text first: scrolling moves the
    // whole page).
    print_text(0, std::string(30, '\n'), false);
    print_text(0, "Nacisnij dowolny klawisz.", true);
    draw_line(nullptr, 10, 300, 209, 399, 0xFF204060u, 2);
    ImagePtr picture = create_image(20, 20, 0x00FF00FFu, 32);  // magenta with any alpha is the mask
    ASSERT_TRUE(picture);
    draw_line(picture.get(), 5, 5, 14, 14, 0xFFFFC000u, 2);
    set_pixel(picture.get(), 0, 19, 0xFFFF00FFu);
    draw_image(nullptr, 50, 320, *picture, true);
    draw_image(nullptr, -10, 0, *picture, false);  // cut at the left edge, mask colour drawn plainly

    Screenshot shot = screenshot();
    EXPECT_EQ(shot.at(10, 300), (Rgb{0x20, 0x40, 0x60}));
    EXPECT_EQ(shot.at(50, 320), (Rgb{0x20, 0x40, 0x60}));
    EXPECT_EQ(shot.at(50, 339), (Rgb{0x20, 0x40, 0x60}));
    EXPECT_EQ(shot.at(55, 325), (Rgb{0xFF, 0xC0, 0x00}));
    EXPECT_EQ(shot.at(209, 399), (Rgb{0x20, 0x40, 0x60}));
    EXPECT_EQ(shot.at(0, 0), (Rgb{0xFF, 0x00, 0xFF}));
    EXPECT_EQ(shot.at(9, 9), (Rgb{0xFF, 0x00, 0xFF}));
    EXPECT_EQ(shot.at(10, 0), (Rgb{0, 0, 0}));
    // The closing line went up one row with the scroll.
    int gx = 0, gy = 0;
    ASSERT_TRUE(first_lit_pixel('N', gx, gy));
    EXPECT_EQ(shot.at(gx, 28 * cell_height + gy), (Rgb{255, 255, 255}));
    EXPECT_EQ(text_cursor().row, 29);

    // Palette changes do not recolour a 32-bit screen.
    set_palette_entry(0, 255, 255, 255);
    shot = screenshot();
    EXPECT_EQ(shot.at(300, 100), (Rgb{0, 0, 0}));
}

TEST_F(WindowTest, KeysTypedLinesHeldKeysPointerAndTitle) {
    if (!has_xdotool()) GTEST_SKIP() << "xdotool is not installed (apt-get install xdotool)";
    open_screen(32);
    set_window_title("Mapa \xB9");  // a Polish letter of the code page
    ASSERT_TRUE(wait_until([&] {
        return command_output(x_command("xdotool getwindowname " + window_id())) == "Mapa \xC4\x85\n";
    }));
    xdotool("windowfocus --sync " + window_id());

    // Queued key presses: text for printable keys, something non-empty for
    // the others.
    xdotool("key a");
    ASSERT_TRUE(wait_until([] { return window_key_waiting(); }));
    EXPECT_EQ(poll_key(), "a");
    xdotool("key Escape");
    ASSERT_TRUE(wait_until([] { return window_key_waiting(); }));
    EXPECT_EQ(poll_key(), "\x1b");
    xdotool("key Up");
    ASSERT_TRUE(wait_until([] { return window_key_waiting(); }));
    EXPECT_EQ(poll_key(), std::string("\0H", 2));
    EXPECT_EQ(poll_key(), "");

    // A long sleep ends early once a key waits, and the key stays queued.
    xdotool("key q");
    ASSERT_TRUE(wait_until([] { return window_key_waiting(); }));
    const auto start = std::chrono::steady_clock::now();
    sleep_ms(5000);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(4000));
    EXPECT_EQ(poll_key(), "q");

    // Held keys by PC scan code.
    xdotool("keydown w");
    EXPECT_TRUE(wait_until([] { return key_down(scan::w); }));
    EXPECT_FALSE(key_down(scan::q));
    xdotool("keyup w");
    EXPECT_TRUE(wait_until([] { return !key_down(scan::w); }));
    xdotool("keydown Right");
    EXPECT_TRUE(wait_until([] { return key_down(scan::right); }));
    xdotool("keyup Right");
    EXPECT_TRUE(wait_until([] { return !key_down(scan::right); }));
    while (!poll_key().empty()) {
    }

    // A typed line with a correction, echoed in the window.
    xdotool("type --delay 20 'tak,x'");
    xdotool("key BackSpace BackSpace BackSpace Return");
    std::string answer;
    ask_answer("Centrowac", true, answer);
    EXPECT_EQ(answer, "ta");
    Screenshot shot = screenshot();
    int gx = 0, gy = 0;
    ASSERT_TRUE(first_lit_pixel('t', gx, gy));
    const int answer_column = 11;  // after "Centrowac? "
    EXPECT_EQ(shot.at(answer_column * cell_width + gx, gy), (Rgb{255, 255, 255}));
    for (int x = (answer_column + 2) * cell_width; x < (answer_column + 6) * cell_width; ++x)
        for (int y = 0; y < cell_height; ++y) ASSERT_EQ(shot.at(x, y), (Rgb{0, 0, 0})) << x << "," << y;
    EXPECT_EQ(text_cursor().row, 1);
    EXPECT_EQ(text_cursor().column, 0);

    // The pointer over the window.
    xdotool("mousemove --window " + window_id() + " 123 45");
    int x = 0, y = 0, wheel = 0, buttons = 0;
    EXPECT_TRUE(wait_until([&] { return mouse_state(x, y, wheel, buttons) == 0 && x == 123 && y == 45; }));
    EXPECT_EQ(buttons, 0);
    xdotool("mousedown 1");
    EXPECT_TRUE(wait_until([&] { return mouse_state(x, y, wheel, buttons) == 0 && buttons == 1; }));
    xdotool("mouseup 1");
    EXPECT_TRUE(wait_until([&] { return mouse_state(x, y, wheel, buttons) == 0 && buttons == 0; }));
}

TEST_F(WindowTest, HeadlessWhenTheVideoDriverSaysSo) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    ASSERT_EQ(set_screen(18, 32, 2), 0);
    EXPECT_FALSE(screen_has_window());
    EXPECT_EQ(window_system_id(), 0u);
    int x = 0, y = 0, wheel = 0, buttons = 0;
    EXPECT_EQ(mouse_state(x, y, wheel, buttons), 1);
    // The window can still be opened afterwards, and opened again.
    unsetenv("SDL_VIDEODRIVER");
    open_screen(8);
    open_screen(32);
    close_screen();
    EXPECT_FALSE(screen_has_window());
}

TEST_F(WindowTest, ClosingTheWindowEndsTheProgram) {
    // In a child process (forked while this process has no window thread):
    // it opens the window, asks the window to close as the window manager's
    // close button does, and then waits in the console as a job would.
    std::fflush(stdout);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (set_screen(18, 32, 2) != 0 || !screen_has_window()) _exit(2);
        SDL_Event close_request{};
        close_request.type = SDL_QUIT;
        SDL_PushEvent(&close_request);
        for (int i = 0; i < 300; ++i) sleep_ms(100);
        _exit(3);  // never closed
    }
    int status = 0;
    const bool ended = test::wait_for_exit(child, status, 20000);
    ASSERT_TRUE(ended) << "the program went on after its window was closed";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(WindowTest, ALostDisplayEndsTheProgramLikeAClosedWindow) {
    int ready_pipe[2];
    ASSERT_EQ(pipe(ready_pipe), 0);
    std::fflush(stdout);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(ready_pipe[0]);
        // Starts as the programs do: among other things a write to a closed
        // socket (the display's) must not end the process by a signal.
        char name[] = "quarnel";
        char* argv[] = {name, nullptr};
        init_runtime(1, argv);
        if (set_screen(18, 32, 2) != 0 || !screen_has_window()) _exit(2);
        print_text(0, "ready", true);
        if (write(ready_pipe[1], "r", 1) != 1) _exit(4);
        for (int i = 0; i < 300; ++i) sleep_ms(100);
        _exit(3);  // went on without its display
    }
    close(ready_pipe[1]);
    char c = 0;
    ASSERT_EQ(read(ready_pipe[0], &c, 1), 1);
    close(ready_pipe[0]);
    // The X server goes away under the program.
    server_.reset();
    int status = 0;
    const bool ended = test::wait_for_exit(child, status, 20000);
    ASSERT_TRUE(ended) << "the program went on without its display";
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
