// The palette rules: 6-bit expansion and its inverse, .pal colours, the
// rotation of the cycling colours and the item names that stay in the folder.
#include "archive/palette.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "archive/item_container.h"
#include "support/run_program.h"

namespace quarnel {
namespace {

TEST(Palette, SixBitComponentsExpandInEightBits) {
    EXPECT_EQ(expand_component(0), 0);
    EXPECT_EQ(expand_component(1), 7);
    EXPECT_EQ(expand_component(32), 131);
    EXPECT_EQ(expand_component(62), 251);
    EXPECT_EQ(expand_component(63), 255);
    EXPECT_EQ(expand_component(64), 0);  // wraps
    EXPECT_EQ(expand_component(65), 7);
}

TEST(Palette, ReductionRoundsHalvesToEvenAndUndoesExpansion) {
    EXPECT_EQ(reduce_component(255), 63);
    EXPECT_EQ(reduce_component(7), 1);
    EXPECT_EQ(reduce_component(3), 1);
    EXPECT_EQ(reduce_component(4), 0);
    EXPECT_EQ(reduce_component(2), 0);
    EXPECT_EQ(reduce_component(9), 2);
    EXPECT_EQ(reduce_component(13), 2);
    for (int c = 0; c < 64; ++c)
        EXPECT_EQ(reduce_component(expand_component(static_cast<std::uint8_t>(c))), c) << c;
}

TEST(Palette, BlockGivesOpaqueColoursAndShortBlocksReadZero) {
    std::vector<std::uint8_t> block{63, 32, 1, 0, 0, 1};
    const Palette p = palette_from_block_bytes(block);
    EXPECT_EQ(p[0], 0xFFFF8307u);
    EXPECT_EQ(p[1], 0xFF000007u);
    EXPECT_EQ(p[2], 0xFF000000u);
    EXPECT_EQ(p[255], 0xFF000000u);
    std::array<std::uint8_t, 768> full{};
    for (std::size_t i = 0; i < 768; ++i) full[i] = static_cast<std::uint8_t>(i % 64);
    EXPECT_EQ(block_from_palette(palette_from_block_bytes(full)), full);
}

TEST(Palette, PalBytesAreUsedAsTheyAre) {
    std::vector<std::uint8_t> pal{10, 20, 30, 255};
    const Palette p = palette_from_pal_bytes(pal);
    EXPECT_EQ(p[0], 0xFF0A141Eu);
    EXPECT_EQ(p[1], 0xFFFF0000u);  // bytes past the end read as 0
    EXPECT_EQ(p[2], 0xFF000000u);
}

TEST(Palette, CyclingColoursRotateAndComeBackAfterSevenPasses) {
    ExtractionPalette palette;
    for (std::size_t i = 0; i < 256; ++i) palette.working[i] = palette.base[i] = static_cast<std::uint32_t>(i);
    palette.advance_rotation();  // after pass 1: step 1
    EXPECT_EQ(palette.rotation_step, 1);
    EXPECT_EQ(palette.working[202], 201u);
    EXPECT_EQ(palette.working[201], 207u);
    EXPECT_EQ(palette.working[200], 200u);
    EXPECT_EQ(palette.working[208], 208u);
    for (int pass = 2; pass <= 7; ++pass) palette.advance_rotation();
    EXPECT_EQ(palette.rotation_step, 0);
    for (std::size_t i = 201; i <= 207; ++i) EXPECT_EQ(palette.working[i], i);
}

TEST(Palette, MissingPalFileGivesBlackAndLeavesAnEmptyFile) {
    test::TempDir dir;
    ExtractionPalette palette;
    palette.working.fill(0x12345678u);
    palette.palette_from_pal_file(dir.path(), "GONE.pal", [](std::string_view) {});
    for (std::uint32_t c : palette.working) EXPECT_EQ(c, 0xFF000000u);
    EXPECT_TRUE(std::filesystem::exists(dir.file("GONE.pal")));
    EXPECT_EQ(palette.empty_pal_files, std::vector<std::string>{"GONE.pal"});
    // A file of another letter case is found.
    test::write_file(dir.file("TITLE.PAL"), std::string("\x01\x02\x03", 3));
    palette.palette_from_pal_file(dir.path(), "TITLE.pal", [](std::string_view) {});
    EXPECT_EQ(palette.working[0], 0xFF010203u);
    EXPECT_FALSE(std::filesystem::exists(dir.file("TITLE.pal")));
}

TEST(ItemNames, UnsafeNamesKeepTheirLettersAndNumber) {
    EXPECT_EQ(safe_item_file_name("TITLE.PAL", 1), "TITLE.PAL");
    EXPECT_EQ(safe_item_file_name("...", 2), "...");  // an ordinary file name here
    EXPECT_EQ(safe_item_file_name("..", 3), "item3");
    EXPECT_EQ(safe_item_file_name(".", 4), "item4");
    EXPECT_EQ(safe_item_file_name("", 5), "item5");
    EXPECT_EQ(safe_item_file_name("a/b.dat", 6), "item6_a_b.dat");
    EXPECT_EQ(safe_item_file_name(std::string("x\0y", 3), 7), "item7_x_y");
}

TEST(ItemNames, TheExtractionsOwnFilesAreNotOverwrittenByItems) {
    EXPECT_EQ(safe_item_file_name("build.txt", 8), "item8_build.txt");
    EXPECT_EQ(safe_item_file_name("PALETTE.BMP", 9), "item9_PALETTE.BMP");
    EXPECT_EQ(safe_item_file_name("pal_used.bmp", 10), "item10_pal_used.bmp");
    EXPECT_EQ(safe_item_file_name("build.txt.bak", 11), "build.txt.bak");
}

}  // namespace
}  // namespace quarnel
