// Layouts of the archives and the run-length code, with damaged inputs.
#include "archive/sprite_archive.h"

#include <gtest/gtest.h>

#include "runtime/utility/byte_reader.h"
#include "samples/sample_archive.h"

namespace quarnel {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A .spr header: storage byte, byte 1, count, data size, then a zero palette.
Bytes sprite_header(std::uint8_t storage, std::uint16_t count) {
    Bytes b{storage, 0};
    put_u16le(b, count);
    put_u32le(b, 0);
    b.resize(archive_header_size, 0);
    return b;
}

void add_record(Bytes& b, std::uint16_t w, std::uint16_t h, std::uint16_t xo = 0, std::uint16_t yo = 0) {
    put_u16le(b, w);
    put_u16le(b, h);
    put_u16le(b, xo);
    put_u16le(b, yo);
}

void add_coded(Bytes& b, const Bytes& tokens) {
    put_u32le(b, static_cast<std::uint32_t>(tokens.size()));
    b.insert(b.end(), tokens.begin(), tokens.end());
}

TEST(RunLength, LiteralCrossesTheRowEnd) {
    Bytes file = sprite_header(0x81, 1);
    add_record(file, 3, 2);
    add_coded(file, {0xFE,               // two transparent pixels
                     0x02, 0x0A, 0x0B, 0x0C,  // three indices: row 0 col 2, row 1 cols 0-1
                     0xFF});             // one transparent pixel ends the image
    const SpriteSet set = parse_sprite_set(file);
    ASSERT_EQ(set.images.size(), 1u);
    EXPECT_TRUE(set.run_length_coded);
    EXPECT_FALSE(set.data_ended);
    EXPECT_EQ(set.images[0].end, file.size());
    const IndexedPicture p = decode_picture(file, set.pixel_storage(), set.images[0]);
    EXPECT_EQ(p.indices, (Bytes{0, 0, 10, 11, 12, 0}));
    EXPECT_EQ(p.opaque, (Bytes{0, 0, 1, 1, 1, 0}));
}

TEST(RunLength, ExtremeTokenLengths) {
    // 0x80 skips 128, 0x7F gives 128 indices, 0x00 one index, 0xFF one skip.
    Bytes tokens{0x80, 0x7F};
    for (int i = 0; i < 128; ++i) tokens.push_back(static_cast<std::uint8_t>(i + 1));
    tokens.push_back(0x00);
    tokens.push_back(0xEE);
    tokens.push_back(0xFF);
    Bytes file = sprite_header(0x81, 1);
    add_record(file, 258, 1);
    add_coded(file, tokens);
    const SpriteSet set = parse_sprite_set(file);
    ASSERT_EQ(set.images.size(), 1u);
    const IndexedPicture p = decode_picture(file, set.pixel_storage(), set.images[0]);
    ASSERT_EQ(p.indices.size(), 258u);
    EXPECT_EQ(p.opaque[127], 0);
    EXPECT_EQ(p.indices[128], 1);
    EXPECT_EQ(p.indices[255], 128);
    EXPECT_EQ(p.indices[256], 0xEE);
    EXPECT_EQ(p.opaque[257], 0);
}

TEST(RunLength, NextImageFollowsAClosingSkipAtOnce) {
    Bytes file = sprite_header(0x00, 2);  // any storage byte but 1 is run-length
    add_record(file, 2, 2);
    add_record(file, 1, 1);
    add_coded(file, {0x00, 0x05, 0xFD});  // index 5, then three transparent
    add_coded(file, {0x00, 0x09});
    const SpriteSet set = parse_sprite_set(file);
    ASSERT_EQ(set.images.size(), 2u);
    EXPECT_EQ(set.images[1].start, set.images[0].end);
    EXPECT_EQ(decode_picture(file, set.pixel_storage(), set.images[1]).indices, (Bytes{9}));
}

TEST(SpriteSet, RawStorageHasNoLengthPrefix) {
    Bytes file = sprite_header(0x01, 2);
    add_record(file, 2, 1, 3, 4);
    add_record(file, 1, 2);
    file.insert(file.end(), {7, 8, 9, 10});
    const SpriteSet set = parse_sprite_set(file);
    ASSERT_EQ(set.images.size(), 2u);
    EXPECT_FALSE(set.run_length_coded);
    EXPECT_EQ(set.images[0].x_offset, 3);
    EXPECT_EQ(set.images[0].y_offset, 4);
    EXPECT_EQ(decode_picture(file, set.pixel_storage(), set.images[0]).indices, (Bytes{7, 8}));
    EXPECT_EQ(decode_picture(file, set.pixel_storage(), set.images[1]).indices, (Bytes{9, 10}));
    EXPECT_EQ(set.data_start, archive_header_size + 16);
}

TEST(SpriteSet, RecordsPastTheEndAreCut) {
    Bytes file = sprite_header(0x01, 500);  // 500 stated, one record present
    add_record(file, 1, 1);
    file.push_back(42);
    const SpriteSet set = parse_sprite_set(file);
    EXPECT_EQ(set.image_count, 500);
    EXPECT_TRUE(set.data_ended);
    EXPECT_LE(set.images.size(), 1u);
}

TEST(SpriteSet, ImageCutShortKeepsWhatExists) {
    Bytes file = sprite_header(0x81, 2);
    add_record(file, 4, 2);
    add_record(file, 4, 2);
    put_u32le(file, 9);
    file.insert(file.end(), {0x03, 1, 2});  // a literal of four, only two indices left
    const SpriteSet set = parse_sprite_set(file);
    ASSERT_EQ(set.images.size(), 1u);
    EXPECT_TRUE(set.images[0].cut_short);
    EXPECT_TRUE(set.data_ended);
    const IndexedPicture p = decode_picture(file, set.pixel_storage(), set.images[0]);
    EXPECT_EQ(p.indices, (Bytes{1, 2, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(p.opaque, (Bytes{1, 1, 0, 0, 0, 0, 0, 0}));
}

TEST(SpriteSet, RunsPastTheLastPixelAreDropped) {
    Bytes file = sprite_header(0x81, 2);
    add_record(file, 2, 1);
    add_record(file, 1, 1);
    add_coded(file, {0x03, 1, 2, 3, 4});  // four indices for two pixels: the run is consumed whole
    add_coded(file, {0x80});             // 128 skips for one pixel
    const SpriteSet set = parse_sprite_set(file);
    ASSERT_EQ(set.images.size(), 2u);
    EXPECT_EQ(decode_picture(file, set.pixel_storage(), set.images[0]).indices, (Bytes{1, 2}));
    EXPECT_EQ(set.images[1].start, set.images[0].end);
    EXPECT_EQ(set.images[1].end, file.size());
}

TEST(SpriteSet, EmptyImageMovesOnlyPastItsPrefix) {
    Bytes file = sprite_header(0x81, 2);
    add_record(file, 0, 5, 7, 7);
    add_record(file, 1, 1);
    put_u32le(file, 0);
    add_coded(file, {0x00, 3});
    const SpriteSet set = parse_sprite_set(file);
    ASSERT_EQ(set.images.size(), 2u);
    EXPECT_EQ(set.images[0].end, set.images[0].start + 4);
    EXPECT_EQ(decode_picture(file, set.pixel_storage(), set.images[0]).width, 0u);
    EXPECT_EQ(decode_picture(file, set.pixel_storage(), set.images[1]).indices, (Bytes{3}));
}

TEST(TileSet, TilesCarryTheirValueAndStopAtTheEnd) {
    std::vector<SampleTile> tiles = sample_tiles(2);
    tiles[1].tile_value = 0x0001FFFF;
    Bytes file = write_tile_set(0x13EC, sample_palette_block(), tiles);
    file[4] = 5;  // five tiles stated, two present
    file.resize(file.size() - 1000);  // and the second cut short
    const TileSet set = parse_tile_set(file);
    EXPECT_EQ(set.tile_set_code, 0x13EC);
    EXPECT_EQ(set.tile_count, 5);
    ASSERT_EQ(set.tiles.size(), 2u);
    EXPECT_EQ(set.tiles[0].tile_value, 300u);
    EXPECT_EQ(set.tiles[1].tile_value, 0x0001FFFFu);
    EXPECT_TRUE(set.tiles[1].cut_short);
    EXPECT_TRUE(set.data_ended);
    const IndexedPicture first = decode_picture(file, PixelStorage::raw, set.tiles[0]);
    EXPECT_TRUE(std::equal(first.indices.begin(), first.indices.end(), tiles[0].indices.begin()));
    const IndexedPicture cut = decode_picture(file, PixelStorage::raw, set.tiles[1]);
    EXPECT_EQ(cut.opaque[23], 1);
    EXPECT_EQ(cut.opaque[24], 0);  // 4 + 24 bytes of the second tile remain
}

Bytes container_header(std::uint16_t count) {
    Bytes b(8, 0);
    put_u16le(b, count);
    b.resize(container_header_size, 0);
    return b;
}

TEST(RawImageSet, RecordsGiveWidthAndHeight) {
    Bytes file = container_header(2);
    for (auto [w, h] : {std::pair{2, 2}, std::pair{3, 1}}) {
        put_u32le(file, 0xDEADBEEF);  // not read
        put_u16le(file, static_cast<std::uint16_t>(w));
        put_u16le(file, static_cast<std::uint16_t>(h));
        file.resize(file.size() + 8, 0xAA);  // not read
    }
    file.insert(file.end(), {1, 2, 3, 4, 5, 6, 7});
    const RawImageSet set = parse_raw_image_set(file);
    ASSERT_EQ(set.images.size(), 2u);
    EXPECT_EQ(decode_picture(file, PixelStorage::raw, set.images[0]).indices, (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(decode_picture(file, PixelStorage::raw, set.images[1]).indices, (Bytes{5, 6, 7}));
}

TEST(RawData, ImagesBackToBackFromTheStart) {
    Bytes file(768);
    for (std::size_t i = 0; i < file.size(); ++i) file[i] = static_cast<std::uint8_t>(i);
    const RawImageSet set = parse_raw_data(file, 3, 16, 16);
    ASSERT_EQ(set.images.size(), 3u);
    EXPECT_FALSE(set.data_ended);
    EXPECT_EQ(set.images[2].pixels, 512u);
    // A typed count far beyond the data lists only the images the data starts.
    const RawImageSet many = parse_raw_data(file, 2000000000u, 16, 16);
    EXPECT_EQ(many.images.size(), 3u);
    EXPECT_TRUE(many.data_ended);
    const RawImageSet none = parse_raw_data(file, 5, 0, 16);
    EXPECT_TRUE(none.images.empty());
}

TEST(ItemContainer, NamesKeepOnlyTheirLettersUntilAZeroAfterTheDot) {
    const Bytes name{'A', 'B', 0, 'X', 'Y', '.', 'S', 'P', 'R', 0, 'Z', 0, 0, 0, 0, 0};
    EXPECT_EQ(item_name_from_record(name), "ABXY.SPR");
    const Bytes odd{'a', '/', 'b', 0x7B, ' ', '[', '.', 'p', 0xC3, 'a', 'l', 0, 0, 0, 0, 0};
    EXPECT_EQ(item_name_from_record(odd), "ab [.pal");
    EXPECT_EQ(item_kind("TITLE.SCR"), ItemKind::screen_picture);
    EXPECT_EQ(item_kind("x.spr"), ItemKind::sprite_picture);
    EXPECT_EQ(item_kind("x.dat"), ItemKind::data);
    EXPECT_EQ(name_before_dot("TITLE.SCR"), "TITLE");
    EXPECT_EQ(name_before_dot("plain"), "plain");
}

void add_trc_record(Bytes& b, const std::string& name, std::uint32_t size) {
    Bytes record(trc_record_size, 0);
    std::copy(name.begin(), name.end(), record.begin());
    record[20] = static_cast<std::uint8_t>(size);
    record[21] = static_cast<std::uint8_t>(size >> 8);
    record[22] = static_cast<std::uint8_t>(size >> 16);
    b.insert(b.end(), record.begin(), record.end());
}

TEST(ItemContainer, PicturesTakeWhatTheirHeadSaysNotTheirRecord) {
    Bytes file = container_header(3);
    add_trc_record(file, "x.spr", 999);   // the record's size is not used for pictures
    add_trc_record(file, "notes.dat", 3);
    add_trc_record(file, "TITLE.SCR", 5);
    put_u16le(file, 4);  // width
    put_u16le(file, 2);  // height
    file.resize(file.size() + 8, 0);
    for (std::uint8_t i = 1; i <= 8; ++i) file.push_back(i);
    file.insert(file.end(), {'a', 'b', 'c'});
    file.resize(file.size() + 307200, 6);
    const ItemContainer c = parse_item_container(file, true);
    ASSERT_EQ(c.items.size(), 3u);
    EXPECT_EQ(c.items[0].kind, ItemKind::sprite_picture);
    EXPECT_EQ(c.items[0].place.end - c.items[0].place.start, 12u + 8u);
    EXPECT_EQ(decode_picture(file, PixelStorage::raw, c.items[0].place).indices, (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(c.items[1].kind, ItemKind::data);
    EXPECT_EQ(c.items[1].place.end - c.items[1].place.pixels, 3u);
    EXPECT_EQ(c.items[2].kind, ItemKind::screen_picture);
    EXPECT_EQ(c.items[2].place.width, 640u);
    EXPECT_EQ(c.items[2].place.end, file.size());
    EXPECT_FALSE(c.data_ended);
}

TEST(ItemContainer, NumberedItemsAreNeverPictures) {
    Bytes file = container_header(2);
    for (std::uint32_t size : {2u, 0x010000u}) {
        Bytes record(trw_record_size, 0);
        record[4] = static_cast<std::uint8_t>(size);
        record[5] = static_cast<std::uint8_t>(size >> 8);
        record[6] = static_cast<std::uint8_t>(size >> 16);
        file.insert(file.end(), record.begin(), record.end());
    }
    file.insert(file.end(), {9, 9, 1, 2, 3});  // the second item is cut short
    const ItemContainer c = parse_item_container(file, false);
    ASSERT_EQ(c.items.size(), 2u);
    EXPECT_EQ(c.items[0].name, "1");
    EXPECT_EQ(c.items[1].name, "2");
    EXPECT_EQ(c.items[1].size, 0x010000u);
    EXPECT_TRUE(c.items[1].place.cut_short);
    EXPECT_EQ(c.items[1].place.end, file.size());
    EXPECT_TRUE(c.data_ended);
}

// Every small archive of each kind, cut at every length and with every byte
// flipped: parsing and decoding stay inside the data (the sanitizer build
// reports any stray access).
void parse_everything(std::span<const std::uint8_t> data) {
    const SpriteSet s = parse_sprite_set(data);
    for (const auto& image : s.images) {
        EXPECT_LE(image.end, data.size());
        decode_picture(data, s.pixel_storage(), image);
    }
    const TileSet t = parse_tile_set(data);
    for (const auto& tile : t.tiles) decode_picture(data, PixelStorage::raw, tile);
    const RawImageSet r = parse_raw_image_set(data);
    for (const auto& image : r.images) decode_picture(data, PixelStorage::raw, image);
    for (bool named : {true, false}) {
        const ItemContainer c = parse_item_container(data, named);
        for (const auto& item : c.items) {
            EXPECT_LE(item.place.pixels, item.place.end);
            EXPECT_LE(item.place.end, data.size());
            if (item.kind != ItemKind::data) decode_picture(data, PixelStorage::raw, item.place);
        }
    }
}

TEST(ArchiveMutations, TruncatedAndFlippedInputsStayInBounds) {
    std::vector<SamplePicture> pictures = sample_sprites();
    pictures.resize(2);
    const std::vector<Bytes> samples = {
        write_sprite_set(sample_palette_block(), pictures, true),
        write_sprite_set(sample_palette_block(), pictures, false),
        write_tile_set(0x1770, sample_palette_block(), sample_tiles(1)),
    };
    for (const Bytes& sample : samples) {
        for (std::size_t length = 0; length <= sample.size(); length += (length < 800 ? 7 : 1)) {
            const Bytes cut(sample.begin(), sample.begin() + static_cast<std::ptrdiff_t>(length));
            parse_everything(cut);
        }
        for (std::size_t at = 0; at < sample.size(); at += 3) {
            Bytes flipped = sample;
            flipped[at] = static_cast<std::uint8_t>(~flipped[at]);
            parse_everything(flipped);
            flipped[at] = 0xFF;
            parse_everything(flipped);
        }
    }
}

}  // namespace
}  // namespace quarnel
