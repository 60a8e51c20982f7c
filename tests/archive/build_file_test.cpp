// The build file and tile listing: what extraction writes and what the
// builder reads back.
#include "archive/build_file.h"

#include <gtest/gtest.h>

#include "runtime/platform/files.h"
#include "support/run_program.h"

namespace quarnel {
namespace {

TEST(BuildFile, WriterPutsHeaderAndFlagsWithCrLf) {
    BuildFileWriter writer;
    writer.write_flag(0);
    writer.write_flag(1);
    writer.write_flag(0);
    EXPECT_EQ(writer.text(), "''build file for vintelo converter, ver 30.04.2011\r\n0\r\n1\r\n0\r\n");
}

TEST(BuildFile, TileListingLinesAreValueSemicolonNumber) {
    TileListingWriter writer;
    writer.write_tile(300, 1);
    writer.write_tile(65535, 2);
    EXPECT_EQ(writer.text(), "300 ; 1\r\n65535 ; 2\r\n");
}

TEST(BuildFile, ReaderSkipsTheWholeHeaderLineWithItsComma) {
    const BuildSettings s = parse_build_file("''build file for vintelo converter, ver 30.04.2011\r\n1\r\n0\r\n1\r\n");
    EXPECT_EQ(s.tile_set_flag, 1);
    EXPECT_EQ(s.storage_flag, 0);
    EXPECT_EQ(s.row_split_flag, 1);
    EXPECT_TRUE(s.tile_set());
    EXPECT_FALSE(s.run_length());
}

TEST(BuildFile, LfLineEndsReadLikeCrLf) {
    const BuildSettings lf = parse_build_file("header, x\n0\n1\n1\n");
    const BuildSettings crlf = parse_build_file("header, x\r\n0\r\n1\r\n1\r\n");
    EXPECT_EQ(lf.tile_set_flag, crlf.tile_set_flag);
    EXPECT_EQ(lf.storage_flag, 1);
    EXPECT_EQ(crlf.storage_flag, 1);
    EXPECT_EQ(lf.row_split_flag, 1);
    EXPECT_EQ(crlf.row_split_flag, 1);
}

TEST(BuildFile, ValuesKeepTheirLowEightBitsAndMissingLinesReadZero) {
    const BuildSettings s = parse_build_file("h\r\n256\r\n  \t257\r\n");
    EXPECT_EQ(s.tile_set_flag, 0);
    EXPECT_EQ(s.storage_flag, 1);
    EXPECT_EQ(s.row_split_flag, 0);
    // A build file of a .trs holds the header and the row-split flag only.
    const BuildSettings trs = parse_build_file("''build file for vintelo converter, ver 30.04.2011\r\n0\r\n");
    EXPECT_FALSE(trs.tile_set());
    EXPECT_EQ(trs.storage_flag, 0);
    EXPECT_EQ(trs.row_split_flag, 0);
}

TEST(BuildFile, ValuesRoundToEvenAndTextGivesZero) {
    EXPECT_EQ(build_value("2.5"), 2);
    EXPECT_EQ(build_value("3.5"), 4);
    EXPECT_EQ(build_value("  0.6"), 1);
    EXPECT_EQ(build_value("abc"), 0);
    EXPECT_EQ(build_value(""), 0);
    EXPECT_EQ(build_value("300 ; 12"), 300);
    EXPECT_EQ(build_value("1e300"), 0);  // wrapped to 32 bits, never undefined
}

TEST(BuildFile, MissingFileIsToldApartFromAllZero) {
    test::TempDir dir;
    EXPECT_EQ(read_checked_build_file(dir.path()).state, BuildFileState::missing);
    EXPECT_EQ(parse_tile_listing("", 3), (std::vector<std::int32_t>{0, 0, 0}));
}

TEST(BuildFile, WrittenFilesReadBack) {
    test::TempDir dir;
    {
        BuildFileWriter writer;
        writer.write_flag(1);
        writer.write_flag(0);
        writer.write_flag(0);
        ASSERT_TRUE(write_whole_file(dir.file("build.txt"), writer.text()));
        TileListingWriter listing;
        for (std::uint32_t i = 1; i <= 4; ++i) listing.write_tile(static_cast<std::uint16_t>(i == 4 ? 65535 : i * 10), i);
        ASSERT_TRUE(write_whole_file(dir.file("T.txt"), listing.text()));
    }
    const BuildFileReading reading = read_checked_build_file(dir.path() + "/");
    ASSERT_TRUE(reading.readable());
    EXPECT_TRUE(reading.settings.tile_set());
    EXPECT_EQ(reading.settings.storage_flag, 0);
    // Fewer lines than images: the rest read 0.
    EXPECT_EQ(parse_tile_listing(test::read_file(dir.file("T.txt")), 6),
              (std::vector<std::int32_t>{10, 20, 30, 65535, 0, 0}));
}

}  // namespace
}  // namespace quarnel
