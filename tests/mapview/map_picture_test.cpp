// quarnel map: the whole map in one PNG, compared pixel by pixel with the
// view loop's own 20 x 15 drawing at several scroll positions.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "mapview/map_grid.h"
#include "mapview/view_loop.h"
#include "mapview/viewer_pictures.h"
#include "png/png_reader.h"
#include "runtime/screen/screen.h"
#include "samples/sample_game.h"
#include "support/run_program.h"

namespace quarnel {
namespace {

ImagePtr read_png(const std::string& path) {
    const std::string file = test::read_file(path);
    return png_decode(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(file.data()), file.size()));
}

TEST(MapPicture, EqualsTheViewAtEveryScrollPosition) {
    test::TempDir dir;
    const SampleGame game = make_sample_game();
    std::string error;
    ASSERT_TRUE(write_sample_game(dir.file("game"), game, error)) << error;
    std::filesystem::create_directories(dir.file("config/quarnel"));
    test::write_file(dir.file("config/quarnel/setup.txt"), "DCpath=" + dir.file("game") + "\r\n");
    const std::vector<std::string> environment = {"XDG_CONFIG_HOME=" + dir.file("config")};
    // A copy of the program, so that no setup.txt beside the built one is read first.
    const std::string program = dir.file("quarnel");
    std::filesystem::copy_file(test::quarnel_path(), program);
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    const std::string map_path = sample_map_path(dir.file("game"));

    // Markers of plane 2 with the grid, and markers alone (the view draws its
    // grid only to pixel 400, the picture along every cell).
    auto run = test::run_program(program,
                                 {"map", map_path, "--tiles", "desert", "--markers", "2", "--grid", "--png", "grid.png"},
                                 "", dir.path(), 60, environment);
    test::expect_clean_end(run);
    EXPECT_NE(run.output.find("drew " + map_path + ": 40 x 30 cells in grid.png\r\n"), std::string::npos) << run.output;
    run = test::run_program(program, {"map", map_path, "--tiles", "desert", "--markers", "2"}, "",
                            dir.path(), 60, environment);
    test::expect_clean_end(run);
    // Without --png the picture goes beside the map.
    const std::string plain_path = map_path.substr(0, map_path.size() - 4) + ".png";
    const ImagePtr with_grid = read_png(dir.file("grid.png"));
    const ImagePtr plain = read_png(plain_path);
    ASSERT_TRUE(with_grid && plain);
    const auto layout = image_layout(*plain);
    ASSERT_EQ(layout->width, 40u * 32);
    ASSERT_EQ(layout->height, 30u * 32);

    // The view's drawing, in the colours its screen shows.
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    ASSERT_EQ(set_screen(18, 8, 2), 0);
    const ViewerTileSet tiles = build_tile_pictures(game.tile_set);
    for (int i = 0; i < 256; ++i) {
        const PaletteColour& c = tiles.palette[static_cast<std::size_t>(i)];
        set_palette_entry(i, c.red, c.green, c.blue);
    }
    const std::optional<MapGrid> grid = load_map_grid(map_path, tiles.keys, [](std::string_view) {});
    ASSERT_TRUE(grid);
    const UnitSpriteSet no_unit;
    UnitAnimationSet no_animations;
    const ViewerScene scene{*grid, tiles, no_unit, no_animations};
    const ImagePtr view = new_full_header_image(640, 480, 1);
    for (const auto& [column, row] : {std::pair{0, 0}, std::pair{20, 15}, std::pair{7, 11}, std::pair{13, 2}}) {
        for (const bool grid_on : {false, true}) {
            ViewState state;
            state.scroll_column = column;
            state.scroll_row = row;
            state.marker_view = 2;
            state.grid = grid_on ? 1 : 0;
            draw_view(view.get(), state, scene);
            const Image& picture = grid_on ? *with_grid : *plain;
            // A marker box reaches one pixel into the next cell: in the view
            // the cell left of (or above) the first one is not drawn.
            const int first_x = column > 0 ? 1 : 0, first_y = row > 0 ? 1 : 0;
            const int last_x = grid_on ? grid_extent : 639, last_y = grid_on ? grid_extent : 479;
            int differing = 0;
            for (int y = first_y; y <= last_y; ++y)
                for (int x = first_x; x <= last_x; ++x) {
                    const auto index = static_cast<int>(get_pixel(view.get(), x, y));
                    const std::uint32_t c = palette_entry(index);
                    const std::uint32_t shown = 0xFF000000u | ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
                    const auto in_picture = static_cast<std::uint32_t>(get_pixel(&picture, 32 * column + x, 32 * row + y));
                    if (in_picture != shown && ++differing <= 3)
                        ADD_FAILURE() << "scroll " << column << "x" << row << (grid_on ? " grid" : "") << " pixel " << x
                                      << "," << y << ": " << std::hex << in_picture << " != " << shown;
                }
            EXPECT_EQ(differing, 0);
        }
    }
    close_screen();
}

}  // namespace
}  // namespace quarnel
