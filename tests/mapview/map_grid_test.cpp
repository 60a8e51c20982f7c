#include "mapview/map_grid.h"

#include <gtest/gtest.h>

#include <set>

#include "mapview_bytes.h"

namespace quarnel {
namespace {

using test::map_bytes;
using test::MapCellBytes;

// Tile 0 key 10, tile 1 key 20, tile 2 key 10 again, tile 3 key 30; both
// pictures of a tile carry its key.
const std::vector<std::int32_t> keys = {10, 10, 20, 20, 10, 10, 30, 30};

MapGrid one_cell(MapCellBytes cell) {
    MapLoad load = parse_map(map_bytes(1, 1, {cell}), keys);
    EXPECT_TRUE(load.grid.has_value()) << load.error;
    return load.grid ? *load.grid : MapGrid();
}

std::set<int> range(int first, int last) {
    std::set<int> s;
    for (int v = first; v <= last; ++v) s.insert(v);
    return s;
}

TEST(MapGrid, GroundPictureIsTheFirstTileWithTheKey) {
    EXPECT_EQ(one_cell({20, 0, 0x80, 0}).cell(1, 1)->ground_picture, 2);
    // Two tiles with key 10: the first one is used.
    EXPECT_EQ(one_cell({10, 0, 0x80, 0}).cell(1, 1)->ground_picture, 0);
    EXPECT_EQ(one_cell({30, 0, 0x80, 0}).cell(1, 1)->ground_picture, 6);
    // A key no tile carries selects picture 0, before mirroring adds 1.
    EXPECT_EQ(one_cell({99, 0, 0x80, 0}).cell(1, 1)->ground_picture, 0);
    EXPECT_EQ(one_cell({99, 0, 0x20, 0}).cell(1, 1)->ground_picture, 1);
}

TEST(MapGrid, MirroringWithoutOverlayFollowsTheListedCodes) {
    std::set<int> mirrored = range(0x60, 0x63);
    for (int v : range(0xA0, 0xA2)) mirrored.insert(v);
    for (int v : range(0xE0, 0xE3)) mirrored.insert(v);
    mirrored.insert(0x20);
    mirrored.insert(0xC1);
    for (int v = 0; v < 256; ++v) {
        const MapGrid grid = one_cell({20, 0, static_cast<std::uint8_t>(v), 0});
        const MapCell* cell = grid.cell(1, 1);
        ASSERT_NE(cell, nullptr);
        EXPECT_EQ(cell->ground_picture, mirrored.count(v) ? 3 : 2) << "first value " << v;
        EXPECT_EQ(cell->has_overlay, 0);
        EXPECT_EQ(cell->overlay_picture, 0);
    }
}

TEST(MapGrid, MirroringWithOverlayFollowsTheListedCodes) {
    std::set<int> both = range(0x61, 0x63);
    for (int v : range(0xE0, 0xE3)) both.insert(v);
    for (int v : range(0x40, 0x43)) both.insert(v);
    both.insert(0xC1);
    for (int v = 0; v < 256; ++v) {
        const MapGrid grid = one_cell({20, 30, static_cast<std::uint8_t>(v), 0});
        const MapCell* cell = grid.cell(1, 1);
        ASSERT_NE(cell, nullptr);
        const int ground_extra = (both.count(v) ? 1 : 0) + (v == 0xA1 ? 1 : 0);
        EXPECT_EQ(cell->ground_picture, 2 + ground_extra) << "first value " << v;
        EXPECT_EQ(cell->overlay_picture, 6 + (both.count(v) ? 1 : 0)) << "first value " << v;
        EXPECT_EQ(cell->has_overlay, 1);
    }
}

TEST(MapGrid, TheTwoRuleSetsDifferAsListed) {
    EXPECT_EQ(one_cell({20, 0, 0x20, 0}).cell(1, 1)->ground_picture, 3);
    EXPECT_EQ(one_cell({20, 0, 0x40, 0}).cell(1, 1)->ground_picture, 2);
    const MapGrid with_40 = one_cell({20, 30, 0x40, 0});
    EXPECT_EQ(with_40.cell(1, 1)->ground_picture, 3);
    EXPECT_EQ(with_40.cell(1, 1)->overlay_picture, 7);
    const MapGrid with_a1 = one_cell({20, 30, 0xA1, 0});
    EXPECT_EQ(with_a1.cell(1, 1)->ground_picture, 3);
    EXPECT_EQ(with_a1.cell(1, 1)->overlay_picture, 6);
    const MapGrid with_60 = one_cell({20, 30, 0x60, 0});
    EXPECT_EQ(with_60.cell(1, 1)->ground_picture, 2);
    EXPECT_EQ(with_60.cell(1, 1)->overlay_picture, 6);
    EXPECT_EQ(one_cell({20, 0, 0x60, 0}).cell(1, 1)->ground_picture, 3);
}

TEST(MapGrid, MarkerColoursFollowTheTable) {
    const std::set<int> blocked = {0x02, 0x06, 0x0E, 0x12, 0x1E, 0x2A, 0x2E, 0x32,
                                   0x36, 0x3A, 0x3E, 0x42, 0x46, 0x4E, 0x52, 0x5A};
    for (int second = 0; second < 256; ++second) {
        for (int first : {0x00, 0x7F, 0x80, 0x90, 0xFF}) {
            int expected;
            if (second == 0x31 || second == 0x4D || second == 0x59)
                expected = 200;
            else if (blocked.count(second))
                expected = first < 0x80 ? 72 : 103;
            else
                expected = first < 0x80 ? 121 : 0;
            const MapGrid grid = one_cell({20, 0, static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(second)});
            EXPECT_EQ(grid.plane(2, 1, 1), expected) << "first " << first << " second " << second;
            EXPECT_EQ(grid.plane(0, 1, 1), first);
            EXPECT_EQ(grid.plane(1, 1, 1), second);
        }
    }
    EXPECT_EQ(marker_colour(0x90, 0x00), 0);
}

TEST(MapGrid, CellsAreInRowOrderWithValuesAfterTheRecords) {
    // 3 x 2: keys 10, 20, 30 on the top row, 30, 20, 10 below; the value
    // pairs follow all six records in the same order.
    std::vector<MapCellBytes> cells = {{10, 0, 0x80, 1}, {20, 0, 0x80, 2}, {30, 0, 0x80, 3},
                                       {30, 0, 0x80, 4}, {20, 20, 0x80, 5}, {10, 0, 0x20, 6}};
    MapLoad load = parse_map(map_bytes(3, 2, cells), keys);
    ASSERT_TRUE(load.grid);
    const MapGrid& g = *load.grid;
    EXPECT_EQ(g.width(), 3);
    EXPECT_EQ(g.height(), 2);
    EXPECT_EQ(g.cell(1, 1)->ground_picture, 0);
    EXPECT_EQ(g.cell(2, 1)->ground_picture, 2);
    EXPECT_EQ(g.cell(3, 1)->ground_picture, 6);
    EXPECT_EQ(g.cell(1, 2)->ground_picture, 6);
    EXPECT_EQ(g.cell(2, 2)->overlay_picture, 2);
    EXPECT_EQ(g.cell(3, 2)->ground_picture, 1);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(g.plane(1, k % 3 + 1, k / 3 + 1), k + 1);
}

TEST(MapGrid, UnreadHeaderBytesDoNotMatter) {
    std::vector<MapCellBytes> cells = {{20, 30, 0x41, 0x02}, {10, 0, 0x20, 0x31}};
    const MapLoad plain = parse_map(map_bytes(2, 1, cells), keys);
    const MapLoad noisy = parse_map(map_bytes(2, 1, cells, 0xBEEF, 0xFFFF), keys);
    ASSERT_TRUE(plain.grid && noisy.grid);
    for (int x = 1; x <= 2; ++x) {
        EXPECT_EQ(plain.grid->cell(x, 1)->ground_picture, noisy.grid->cell(x, 1)->ground_picture);
        EXPECT_EQ(plain.grid->cell(x, 1)->overlay_picture, noisy.grid->cell(x, 1)->overlay_picture);
        for (int p = 0; p < 3; ++p) EXPECT_EQ(plain.grid->plane(p, x, 1), noisy.grid->plane(p, x, 1));
    }
}

TEST(MapGrid, ShortFilesAreRefused) {
    test::Bytes bytes = map_bytes(4, 3, {});
    ASSERT_EQ(bytes.size(), 8u + 6u * 12u);
    EXPECT_TRUE(parse_map(bytes, keys).grid);
    bytes.push_back(0xAB);  // bytes past the value pairs are not read
    EXPECT_TRUE(parse_map(bytes, keys).grid);
    bytes.resize(8 + 6 * 12 - 1);
    const MapLoad short_load = parse_map(bytes, keys);
    EXPECT_FALSE(short_load.grid);
    EXPECT_NE(short_load.error.find("shorter"), std::string::npos);
    // A map of no cells is complete with its header alone.
    EXPECT_TRUE(parse_map(map_bytes(0, 0, {}), keys).grid);
    // A header that promises 65535 x 65535 cells over a few bytes.
    test::Bytes huge = {0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0, 0, 1, 2, 3};
    EXPECT_FALSE(parse_map(huge, keys).grid);
    // Fewer than 8 bytes: no header at all.
    for (std::size_t n = 0; n < 8; ++n) EXPECT_FALSE(parse_map(test::Bytes(n, 0), keys).grid) << n;
}

TEST(MapGrid, QueriesOutsideTheMapAreEmpty) {
    MapLoad load = parse_map(map_bytes(2, 2, {{10, 0, 0, 0x31}}), keys);
    ASSERT_TRUE(load.grid);
    const MapGrid& g = *load.grid;
    EXPECT_EQ(g.cell(0, 1), nullptr);
    EXPECT_EQ(g.cell(3, 1), nullptr);
    EXPECT_EQ(g.cell(1, 3), nullptr);
    EXPECT_EQ(g.cell(-5, -5), nullptr);
    EXPECT_EQ(g.plane(2, 1, 1), 200);
    EXPECT_EQ(g.plane(2, 3, 1), 0);
    EXPECT_EQ(g.plane(3, 1, 1), 0);
    EXPECT_EQ(g.plane(-1, 1, 1), 0);
}

TEST(MapGrid, AnEmptyKeyListSelectsPictureZero) {
    MapLoad load = parse_map(map_bytes(1, 1, {{10, 20, 0x40, 0}}), {});
    ASSERT_TRUE(load.grid);
    EXPECT_EQ(load.grid->cell(1, 1)->ground_picture, 1);
    EXPECT_EQ(load.grid->cell(1, 1)->overlay_picture, 1);
}

}  // namespace
}  // namespace quarnel
