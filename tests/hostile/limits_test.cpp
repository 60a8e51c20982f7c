// Size limits that keep memory bounded whatever a file states, and the
// look-ups that must stay quick on large hostile inputs.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "mapview/map_grid.h"
#include "runtime/platform/files.h"
#include "support/run_program.h"

using namespace quarnel;

namespace {

// Map header: u16 width, 2 unused bytes, u16 height, 2 unused bytes.
std::vector<std::uint8_t> map_header(std::uint16_t width, std::uint16_t height) {
    return {static_cast<std::uint8_t>(width), static_cast<std::uint8_t>(width >> 8), 0, 0,
            static_cast<std::uint8_t>(height), static_cast<std::uint8_t>(height >> 8), 0, 0};
}

}  // namespace

TEST(MapLimits, MoreCellsThanTheLimitAreRefusedBeforeTheFileLengthCounts) {
    for (const auto& [width, height] : {std::pair<int, int>{4097, 4096}, {65535, 65535}, {65535, 257}}) {
        SCOPED_TRACE(testing::Message() << width << "x" << height);
        const MapLoad load = parse_map(map_header(static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height)), {});
        EXPECT_FALSE(load.grid.has_value());
        EXPECT_EQ(load.error, "Error: the map is too large | mapa jest za duza: " + std::to_string(width) + "x" +
                                  std::to_string(height));
    }
}

TEST(MapLimits, TheLargestMapsPassTheLimitAndAreThenMeasuredAgainstTheFile) {
    // 4096 x 4096 and 65535 x 256 are within the limit: a header alone is
    // refused as short, not as too large.
    for (const auto& [width, height] : {std::pair<int, int>{4096, 4096}, {65535, 256}}) {
        const MapLoad load = parse_map(map_header(static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height)), {});
        EXPECT_FALSE(load.grid.has_value());
        EXPECT_EQ(load.error, "Error: the map is shorter than its header says | mapa jest krotsza niz podaje naglowek");
    }
}

TEST(MapLimits, CellsTakeTheFirstPictureOfTheirKeyFromALargeKeyList) {
    // 131070 keys (a tile set of 65535 tiles, two pictures each); key k sits
    // at pictures 2k and 2k + 1, key 7 again near the end, and keys outside
    // the u16 range never match.
    std::vector<std::int32_t> keys;
    for (std::int32_t k = 0; k < 65535; ++k) {
        keys.push_back(k);
        keys.push_back(k);
    }
    keys[131068] = 7;
    keys[10] = -1;
    keys[11] = 0x10005;
    const std::uint16_t width = 3, height = 2;
    std::vector<std::uint8_t> file = map_header(width, height);
    // Cells: ground keys 7, 5, 65534, 0, 1, 65535; the last has overlay key 7.
    const std::uint16_t ground[] = {7, 5, 65534, 0, 1, 65535};
    for (int c = 0; c < 6; ++c) {
        file.push_back(static_cast<std::uint8_t>(ground[c]));
        file.push_back(static_cast<std::uint8_t>(ground[c] >> 8));
        file.push_back(c == 5 ? 7 : 0);
        file.push_back(0);
    }
    file.resize(file.size() + 2 * 6, 0x01);  // values that mirror nothing and mark nothing special
    const MapLoad load = parse_map(file, keys);
    ASSERT_TRUE(load.grid.has_value()) << load.error;
    const MapGrid& grid = *load.grid;
    EXPECT_EQ(grid.cell(1, 1)->ground_picture, 14);      // key 7: first at 14, not 131068
    EXPECT_EQ(grid.cell(2, 1)->ground_picture, 0);       // key 5: its pictures were overwritten
    EXPECT_EQ(grid.cell(3, 1)->ground_picture, 131069);  // key 65534: its first picture now holds key 7
    EXPECT_EQ(grid.cell(1, 2)->ground_picture, 0);
    EXPECT_EQ(grid.cell(2, 2)->ground_picture, 2);
    EXPECT_EQ(grid.cell(3, 2)->ground_picture, 0);       // no tile has key 65535
    EXPECT_EQ(grid.cell(3, 2)->overlay_picture, 14);
    EXPECT_EQ(grid.cell(3, 2)->has_overlay, 1);
    for (std::int32_t y = 1; y <= height; ++y)
        for (std::int32_t x = 1; x <= width; ++x)
            EXPECT_EQ(grid.cell(x, y)->ground_picture,
                      first_picture_with_key(keys, ground[(y - 1) * width + (x - 1)]));
}

// A file one byte over the limit (sparse, so it costs no disk) is refused
// with a line before any of it is read, and a device that never ends is
// refused once the limit has been read.
TEST(FileLimits, WholeFileReadsStopAtTheLimit) {
    quarnel::test::TempDir dir;
    const std::string big = dir.file("big.spr");
    quarnel::test::write_file(big, "");
    ASSERT_EQ(truncate(big.c_str(), static_cast<off_t>(largest_whole_file_bytes + 1)), 0);
    EXPECT_FALSE(read_whole_file(big).has_value());
    EXPECT_EQ(read_whole_file(big).error().kind, Error::Kind::too_large);
    EXPECT_EQ(read_whole_file(big).error().message, "Plik za duzy (najwiecej 268435456 bajtow) - nie wczytany: " + big +
                                                         " | file too large, not read");
    EXPECT_FALSE(read_whole_file("/dev/zero").has_value());
    ASSERT_EQ(truncate(big.c_str(), 1000), 0);
    ASSERT_TRUE(read_whole_file(big).has_value());
    EXPECT_EQ(read_whole_file(big)->size(), 1000u);
}

TEST(FileLimits, JobsOnFilesOverTheLimitSayItAndEndNormally) {
    using namespace quarnel::test;
    const std::string refused = "Plik za duzy (najwiecej 268435456 bajtow) - nie wczytany: ";
    for (const auto& [name, answers] : {std::pair<std::string, std::string>{"BIG.spr", "t\npng\n"},
                                        {"BIG.bts", "png\n"},
                                        {"BIG.fin", "BLOOD\n"}}) {
        SCOPED_TRACE(name);
        TempDir dir;
        write_file(dir.file(name), "");
        ASSERT_EQ(truncate(dir.file(name).c_str(), static_cast<off_t>(largest_whole_file_bytes + 1)), 0);
        const ProgramRun run = run_program(quarnel_path(), {name}, answers, dir.path(), 120);
        expect_clean_end(run);
        EXPECT_NE(run.output.find(refused), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("| file too large, not read"), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("Nacisnij dowolny klawisz."), std::string::npos) << run.output;
        // No picture came out of it.
        std::error_code ec;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path(), ec))
            EXPECT_NE(entry.path().extension(), ".png") << entry.path();
    }
}
