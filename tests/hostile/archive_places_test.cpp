// Where an archive's images lie: whatever the counts say, every image's
// bytes run start <= pixels <= end <= the size of the data.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "archive/sprite_archive.h"

using namespace quarnel;

namespace {

void expect_within(const ArchiveImage& image, std::size_t size) {
    EXPECT_LE(image.start, image.pixels);
    EXPECT_LE(image.pixels, image.end);
    EXPECT_LE(image.end, size);
}

}  // namespace

TEST(ArchivePlaces, EmptyImageListedPastTheEndOfTheDataStartsWithinIt) {
    // .trs: 32-byte header stating 100 images (u16 at offset 8), but only
    // one 16-byte record follows (u16 width 0, u16 height 5 at offset 4), so
    // the stated data start (32 + 16 x 100) lies far past the file's end.
    std::vector<std::uint8_t> file(48, 0);
    file[8] = 100;
    file[32 + 6] = 5;
    const RawImageSet set = parse_raw_image_set(file);
    ASSERT_EQ(set.images.size(), 1u);
    EXPECT_EQ(set.images[0].width, 0u);
    expect_within(set.images[0], file.size());
    EXPECT_TRUE(set.data_ended);
}

TEST(ArchivePlaces, EveryImageOfEveryKindStaysWithinCutData) {
    // A .trs of two images of 3 x 2 and 0 x 4 with its data, cut at every length.
    std::vector<std::uint8_t> whole(32 + 2 * 16, 0);
    whole[8] = 2;
    whole[32 + 4] = 3;
    whole[32 + 6] = 2;
    whole[48 + 6] = 4;
    for (std::uint8_t b = 1; b <= 6; ++b) whole.push_back(b);
    for (std::size_t length = 0; length <= whole.size(); ++length) {
        SCOPED_TRACE(length);
        const std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
        for (const ArchiveImage& image : parse_raw_image_set(cut).images) expect_within(image, cut.size());
        for (const ArchiveImage& image : parse_raw_data(cut, 5, 0, 3).images) expect_within(image, cut.size());
        for (const ArchiveImage& image : parse_raw_data(cut, 5, 2, 3).images) expect_within(image, cut.size());
        for (const ArchiveImage& image : parse_sprite_set(cut).images) expect_within(image, cut.size());
        for (const ArchiveImage& image : parse_tile_set(cut).tiles) expect_within(image, cut.size());
        for (const ContainerItem& item : parse_item_container(cut, true).items) expect_within(item.place, cut.size());
        for (const ContainerItem& item : parse_item_container(cut, false).items) expect_within(item.place, cut.size());
    }
}
