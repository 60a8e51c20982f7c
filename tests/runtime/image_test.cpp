#include <gtest/gtest.h>

#include "runtime/image.h"
#include "runtime/screen.h"

using namespace quarnel;

namespace {
struct ScreenFixture : ::testing::Test {
    void SetUp() override { ASSERT_EQ(set_screen(18, 32, 2), 0); }
};
}  // namespace

TEST_F(ScreenFixture, CreateImagePitchRoundsUpTo16) {
    auto wide = create_image(256, 1, 0, 32);
    ASSERT_TRUE(wide);
    EXPECT_EQ(image_layout(*wide)->pitch, 1024u);
    auto narrow = create_image(30, 2, 0, 8);
    ASSERT_TRUE(narrow);
    EXPECT_EQ(image_layout(*narrow)->pitch, 32u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(narrow->bytes.data() + 32) % 16, 0u);
}

TEST_F(ScreenFixture, DefaultPaletteEntries) {
    EXPECT_EQ(get_palette_entry_packed(1), 0x2A0000u);
    EXPECT_EQ(get_palette_entry_packed(18), 0x080808u);
    set_palette_entry(5, 255, 128, 3);
    int r, g, b;
    get_palette_entry(5, r, g, b);
    EXPECT_EQ(r, 255);
    EXPECT_EQ(g, 129);
    EXPECT_EQ(b, 0);
}
