// The viewer in a real window: an X server of its own (Xvfb), the answers
// typed into the window with xdotool, screenshots taken with ImageMagick's
// import and compared with the view computed here from the same files.
// Skipped when those programs are not installed.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>

#include "mapview/view_loop.h"
#include "mapview_bytes.h"
#include "samples/sample_game.h"
#include "support/run_program.h"
#include "support/x_display.h"

namespace quarnel {
namespace {

namespace fs = std::filesystem;

using test::command_output;
using test::Rgb;
using test::Screenshot;
using test::wait_until;

// The unit of this test: one picture of 12 x 40 with the x offset 130, and a
// single frame in "windMOVE12", so that the first view stands still.
test::Bytes window_unit_sprites() {
    test::Bytes pixels(12 * 40, 0);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 12; ++x)
            if ((x - 6) * (x - 6) + (y - 20) * (y - 20) < 36 || x == 6) pixels[static_cast<std::size_t>(y * 12 + x)] = 255;
    return test::sprite_set_bytes(1, {{12, 40, 130, 0, pixels}});
}

test::Bytes window_unit_animations() {
    return test::animation_file_bytes({{"windMOVE12", 0, 0}}, {{0, 0, 0}});
}

class MapViewerWindow : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string missing = test::XDisplay::missing_programs(true);
        if (!missing.empty()) GTEST_SKIP() << missing;
        server = std::make_unique<test::XDisplay>();
        ASSERT_TRUE(server->started()) << "Xvfb did not start";
        display = server->name();

        // The sample's tiles and map with this test's unit.
        game_dir = temp.file("game");
        game = make_sample_game();
        game.unit_sprites = window_unit_sprites();
        game.unit_animations = window_unit_animations();
        std::string error;
        ASSERT_TRUE(write_sample_game(game_dir, game, error)) << error;
        fs::rename(game_dir + "/sprites/REAP.SPR", game_dir + "/sprites/WIND.SPR");
        fs::rename(game_dir + "/animate/REAP.FIN", game_dir + "/animate/wind.fin");
        program = temp.file("bin/quarnel");
        fs::create_directories(temp.file("bin"));
        fs::copy_file(test::quarnel_path(), program);
        test::write_file(temp.file("bin/setup.txt"), "DCpath=" + game_dir + "\r\n");
    }

    void TearDown() override {
        if (viewer_pid > 0) {
            kill(viewer_pid, SIGKILL);
            waitpid(viewer_pid, nullptr, 0);
        }
    }

    void start_viewer() {
        errors_path = temp.file("viewer-errors.txt");
        viewer_pid = server->start_program(program, {sample_map_path(game_dir)}, errors_path);
        ASSERT_GE(viewer_pid, 0);
    }

    std::string x(const std::string& command) const { return server->command(command); }
    int xdotool(const std::string& arguments) const { return server->xdotool(arguments); }
    std::string title() const { return command_output(x("xdotool getwindowname " + window + " 2>/dev/null")); }

    Screenshot screenshot() const { return server->screenshot(window); }

    // The view the loop draws with the given scroll position, as colours.
    std::vector<Rgb> expected_view(std::int32_t scroll_column, std::vector<bool>& cycling) const {
        ViewerTileSet tiles = build_tile_pictures(game.tile_set);
        UnitSpriteSet unit = build_unit_sprite_set(game.unit_sprites);
        UnitAnimationSet animations = build_unit_animation_set(game.unit_animations, "wind", unit);
        MapGrid grid = *parse_map(game.map, tiles.keys).grid;
        ViewerScene scene{grid, tiles, unit, animations};
        ViewState state;
        state.scroll_column = scroll_column;
        choose_animation(state, animations);
        ImagePtr canvas = new_image_buffer(640, 480, 1);
        draw_view(canvas.get(), state, scene);
        const auto layout = *image_layout(*canvas);
        std::vector<Rgb> colours;
        cycling.clear();
        // The screen keeps 6 bits of each component: (c >> 2) x 255 / 63.
        auto screen_component = [](int c) { return (c >> 2) * 255 / 63; };
        for (std::uint32_t y = 0; y < 480; ++y)
            for (std::uint32_t x = 0; x < 640; ++x) {
                const int index = image_row(*canvas, layout, y)[x];
                const PaletteColour c = tiles.palette[static_cast<std::size_t>(index)];
                colours.push_back({screen_component(c.red), screen_component(c.green), screen_component(c.blue)});
                cycling.push_back(index >= 201 && index <= 207);
            }
        return colours;
    }

    // Waits until the window shows the expected view (entries 201 to 207
    // left out); reports the first differing pixel otherwise.
    void expect_view(std::int32_t scroll_column) {
        std::vector<bool> cycling;
        const std::vector<Rgb> expected = expected_view(scroll_column, cycling);
        std::string difference;
        const bool same = wait_until([&] {
            const Screenshot shot = screenshot();
            if (shot.width != 640 || shot.height != 480) {
                difference = "no screenshot of 640 x 480";
                return false;
            }
            for (std::size_t i = 0; i < expected.size(); ++i) {
                if (cycling[i] || shot.pixels[i] == expected[i]) continue;
                std::ostringstream out;
                out << "pixel (" << i % 640 << ", " << i / 640 << ") is " << shot.pixels[i].r << ","
                    << shot.pixels[i].g << "," << shot.pixels[i].b << " instead of " << expected[i].r << ","
                    << expected[i].g << "," << expected[i].b;
                difference = out.str();
                return false;
            }
            return true;
        });
        EXPECT_TRUE(same) << difference;
    }

    test::TempDir temp;
    SampleGame game;
    std::string game_dir, program, display, window, errors_path;
    std::unique_ptr<test::XDisplay> server;
    pid_t viewer_pid = -1;
};

TEST_F(MapViewerWindow, ShowsScrollsNamesTheCellAndEnds) {
    start_viewer();
    window = server->focused_window_of(viewer_pid);
    ASSERT_FALSE(window.empty()) << "no window took the focus; the viewer "
                                 << (waitpid(viewer_pid, nullptr, WNOHANG) == 0 ? "still runs" : "has ended")
                                 << "; its errors: " << test::read_file(errors_path);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(xdotool("type --delay 30 wind"), 0);
    ASSERT_EQ(xdotool("key Return"), 0);
    ASSERT_EQ(xdotool("type --delay 30 desert"), 0);
    ASSERT_EQ(xdotool("key Return"), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(xdotool("key x"), 0);

    // The first view.
    expect_view(0);

    // The title names the cell under the pointer.
    ASSERT_EQ(xdotool("mousemove --window " + window + " 33 0"), 0);
    const ViewerTileSet tiles = build_tile_pictures(game.tile_set);
    const MapGrid grid = *parse_map(game.map, tiles.keys).grid;
    const std::string expected_title = pointer_title(ViewState{}, grid, 33, 0);
    ASSERT_EQ(expected_title.rfind("2x1, val: ", 0), 0u);
    EXPECT_TRUE(wait_until([&] { return title() == expected_title + "\n"; })) << title();

    // Right arrow: held until the title shows the view moved, then let go.
    ASSERT_EQ(xdotool("keydown Right"), 0);
    const bool moved = wait_until([&] { return title().rfind("2x1,", 0) != 0; });
    ASSERT_EQ(xdotool("keyup Right"), 0);
    ASSERT_TRUE(moved);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const std::string after = title();
    const int column = std::atoi(after.c_str());
    // Each pass moves the view by one cell while the key is held (how many
    // passes that was depends on how soon xdotool let go); once it is let
    // go the view stays.
    EXPECT_GE(column, 3) << after;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(title(), after) << "the view went on moving after the key was let go";
    expect_view(column - 2);

    // Escape ends the viewer; the program then waits for a key and ends
    // with status 0.
    ASSERT_EQ(xdotool("keydown Escape"), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    ASSERT_EQ(xdotool("keyup Escape"), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    int status = 0;
    EXPECT_EQ(waitpid(viewer_pid, &status, WNOHANG), 0) << "the program ended without its closing key";
    ASSERT_EQ(xdotool("key a"), 0);
    const bool ended = wait_until([&] { return waitpid(viewer_pid, &status, WNOHANG) == viewer_pid; });
    ASSERT_TRUE(ended);
    viewer_pid = -1;
    EXPECT_TRUE(WIFEXITED(status)) << test::read_file(errors_path);
    EXPECT_EQ(WEXITSTATUS(status), 0) << test::read_file(errors_path);
}

}  // namespace
}  // namespace quarnel
