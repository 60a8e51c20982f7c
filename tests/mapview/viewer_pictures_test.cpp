#include "mapview/viewer_pictures.h"

#include <gtest/gtest.h>

#include "mapview_bytes.h"

namespace quarnel {
namespace {

using test::Bytes;
using test::SpriteBytes;
using test::TileBytes;

int pixel(const Image* image, std::uint32_t x, std::uint32_t y) {
    if (!image) return -1;
    const auto layout = image_layout(*image);
    if (!layout || x >= layout->width || y >= layout->height) return -1;
    return image_row(*image, *layout, y)[x];
}

std::vector<int> row(const Image* image, std::uint32_t y, std::uint32_t width) {
    std::vector<int> out;
    for (std::uint32_t x = 0; x < width; ++x) out.push_back(pixel(image, x, y));
    return out;
}

TEST(UnitSpriteSet, RunLengthImageFillsRowsAndTheNextImageFollows) {
    // Image 0, 3 x 2: FE (two transparent pixels), 03 then four indices;
    // the literal run crosses the row end. Image 1, 1 x 1: 00 09.
    const Bytes archive = test::sprite_set_bytes(0x81, {{3, 2, 0, 0, {0xFE, 0x03, 11, 12, 13, 14}},
                                                        {1, 1, 0, 0, {0x00, 9}}});
    const UnitSpriteSet set = build_unit_sprite_set(archive);
    ASSERT_EQ(set.slot_count(), 4);
    EXPECT_EQ(row(set.picture(0), 0, 3), (std::vector<int>{0, 0, 11}));
    EXPECT_EQ(row(set.picture(0), 1, 3), (std::vector<int>{12, 13, 14}));
    EXPECT_EQ(row(set.picture(1), 0, 3), (std::vector<int>{11, 0, 0}));
    EXPECT_EQ(row(set.picture(1), 1, 3), (std::vector<int>{14, 13, 12}));
    EXPECT_EQ(pixel(set.picture(2), 0, 0), 9);
    EXPECT_EQ(pixel(set.picture(3), 0, 0), 9);
}

TEST(UnitSpriteSet, RawImageAndItsMirror) {
    const Bytes archive = test::sprite_set_bytes(1, {{4, 2, 0x0134, 7, {1, 2, 3, 4, 5, 6, 7, 8}}});
    const UnitSpriteSet set = build_unit_sprite_set(archive);
    ASSERT_EQ(set.slot_count(), 2);
    EXPECT_EQ(row(set.picture(0), 0, 4), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(row(set.picture(1), 0, 4), (std::vector<int>{4, 3, 2, 1}));
    EXPECT_EQ(row(set.picture(1), 1, 4), (std::vector<int>{8, 7, 6, 5}));
    EXPECT_EQ(set.widths, (std::vector<std::int32_t>{4, 4}));
    EXPECT_EQ(set.heights, (std::vector<std::int32_t>{2, 2}));
    // Only the low byte of the x offset is kept.
    EXPECT_EQ(set.x_offset(0), 0x34);
    EXPECT_EQ(set.image_count, 1);
}

TEST(UnitSpriteSet, TwoHundredFiftyImagesFillEverySlotAndMoreAreIgnored) {
    std::vector<SpriteBytes> images;
    for (int i = 0; i < 252; ++i) images.push_back({1, 1, static_cast<std::uint16_t>(i), 0, {static_cast<std::uint8_t>(i)}});
    const UnitSpriteSet full = build_unit_sprite_set(test::sprite_set_bytes(1, {images.begin(), images.begin() + 250}));
    ASSERT_EQ(full.slot_count(), 500);
    EXPECT_EQ(pixel(full.picture(498), 0, 0), 249);
    EXPECT_EQ(pixel(full.picture(499), 0, 0), 249);
    const UnitSpriteSet over = build_unit_sprite_set(test::sprite_set_bytes(1, images));
    EXPECT_EQ(over.image_count, 252);
    EXPECT_EQ(over.slot_count(), 500);
    EXPECT_EQ(over.picture(500), nullptr);
    EXPECT_EQ(over.height(500), 0);
    EXPECT_EQ(over.x_offset(250), 0);
    EXPECT_EQ(pixel(over.picture(499), 0, 0), 249);
}

TEST(UnitSpriteSet, CutShortDataKeepsThePixelsThatExist) {
    Bytes archive = test::sprite_set_bytes(1, {{4, 2, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8}}, {2, 2, 0, 0, {9, 9, 9, 9}}});
    archive.resize(archive.size() - 5);  // image 0 loses its last pixel, image 1 all of its
    const UnitSpriteSet set = build_unit_sprite_set(archive);
    ASSERT_GE(set.slot_count(), 2);
    EXPECT_EQ(row(set.picture(0), 1, 4), (std::vector<int>{5, 6, 7, 0}));
    EXPECT_EQ(row(set.picture(1), 1, 4), (std::vector<int>{0, 7, 6, 5}));
    // A run-length image whose tokens run out.
    Bytes coded = test::sprite_set_bytes(0x81, {{8, 8, 0, 0, {0x03, 1, 2, 3, 4, 0x7F, 5}}});
    const UnitSpriteSet cut = build_unit_sprite_set(coded);
    ASSERT_EQ(cut.slot_count(), 2);
    EXPECT_EQ(row(cut.picture(0), 0, 6), (std::vector<int>{1, 2, 3, 4, 5, 0}));
    // A table that runs past the end: no image is invented.
    Bytes header_only = test::sprite_set_bytes(1, {}, 40);
    EXPECT_EQ(build_unit_sprite_set(header_only).slot_count(), 0);
    EXPECT_EQ(build_unit_sprite_set(Bytes{}).slot_count(), 0);
}

TEST(UnitSpriteSet, EmptyAndHugeImagesGetNoPicture) {
    // 0 x 5 has no pixels; 60000 x 60000 run-length would take gigabytes.
    const Bytes archive =
        test::sprite_set_bytes(0x81, {{0, 5, 0, 0, {}}, {1, 1, 0, 0, {0x00, 4}}, {60000, 60000, 0, 0, {0x80}}});
    const UnitSpriteSet set = build_unit_sprite_set(archive);
    ASSERT_EQ(set.slot_count(), 6);
    EXPECT_EQ(set.picture(0), nullptr);
    EXPECT_EQ(set.height(0), 5);
    EXPECT_EQ(pixel(set.picture(2), 0, 0), 4);
    EXPECT_EQ(set.picture(4), nullptr);
    EXPECT_EQ(set.height(4), 60000);
}

TEST(ViewerTileSet, TilesKeysMirrorsAndPalette) {
    TileBytes first;
    first.tile_value = 0xABCD0102;  // key 0x0102; the high half is not read
    first.pixels[0] = 1;
    first.pixels[32 * 31 + 5] = 77;
    TileBytes second;
    second.tile_value = 0x00000102;  // the same key again
    second.pixels[40] = 3;
    Bytes palette(768, 0);
    palette[0] = 0;
    palette[1] = 1;
    palette[2] = 63;
    palette[3 * 201] = 32;
    palette[3 * 255 + 2] = 64;  // wraps to 0
    palette[3 * 255 + 1] = 65;  // wraps to 7
    const ViewerTileSet set = build_tile_pictures(test::tile_set_bytes({first, second}, palette));
    EXPECT_EQ(set.tile_count, 2);
    EXPECT_EQ(set.keys, (std::vector<std::int32_t>{0x0102, 0x0102, 0x0102, 0x0102}));
    ASSERT_EQ(set.pictures.size(), 4u);
    EXPECT_EQ(pixel(set.picture(0), 0, 0), 1);
    EXPECT_EQ(pixel(set.picture(1), 31, 0), 1);
    EXPECT_EQ(pixel(set.picture(1), 0, 0), 0);
    EXPECT_EQ(pixel(set.picture(0), 5, 31), 77);
    EXPECT_EQ(pixel(set.picture(1), 26, 31), 77);
    EXPECT_EQ(pixel(set.picture(2), 8, 1), 3);
    EXPECT_EQ(pixel(set.picture(3), 23, 1), 3);
    EXPECT_EQ(set.picture(4), nullptr);
    EXPECT_EQ(set.picture(-1), nullptr);
    EXPECT_EQ(set.palette[0], (PaletteColour{0, 7, 255}));
    EXPECT_EQ(set.palette[201].red, 131);
    EXPECT_EQ(set.palette[255], (PaletteColour{0, 7, 0}));
}

TEST(ViewerTileSet, TilesPastTheDataAreIgnored) {
    TileBytes tile;
    tile.tile_value = 7;
    for (auto& p : tile.pixels) p = 5;
    Bytes bytes = test::tile_set_bytes({tile, tile}, Bytes(768, 0), 300);
    bytes.resize(bytes.size() - 1000);  // the second tile keeps 24 pixels
    const ViewerTileSet set = build_tile_pictures(bytes);
    EXPECT_EQ(set.tile_count, 300);
    ASSERT_EQ(set.pictures.size(), 4u);
    EXPECT_EQ(set.keys.size(), 4u);
    EXPECT_EQ(pixel(set.picture(2), 23, 0), 5);
    EXPECT_EQ(pixel(set.picture(2), 24, 0), 0);
    // Only a header: no tiles, black palette.
    const ViewerTileSet bare = build_tile_pictures(Bytes{0, 0, 0, 0, 9, 0});
    EXPECT_TRUE(bare.pictures.empty());
    EXPECT_EQ(bare.palette[10], (PaletteColour{0, 0, 0}));
}

}  // namespace
}  // namespace quarnel
