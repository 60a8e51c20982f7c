// Pictures, palette images and random archives for the builder's tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "archive/palette.h"
#include "builder/archive_layout.h"
#include "builder/picture_coding.h"
#include "png/png_writer.h"
#include "runtime/image/image.h"

namespace quarnel::test {

// A picture of 32-bit pixels 0xAARRGGBB; 0 is blank.
struct TestPicture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> bytes;  // little-endian pixels, row after row

    TestPicture() = default;
    TestPicture(std::uint32_t w, std::uint32_t h) : width(w), height(h), bytes(std::size_t{w} * h * 4, 0) {}

    void set(std::uint32_t x, std::uint32_t y, std::uint32_t colour) {
        const std::size_t at = (std::size_t{y} * width + x) * 4;
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(colour >> (8 * i));
    }
    PictureView view() const { return PictureView{bytes.data(), width, height, std::size_t{width} * 4}; }
};

// A picture whose rows are given as palette indices (0 blank, else the
// palette's colour of that index).
inline TestPicture picture_of_indices(const std::vector<std::vector<int>>& rows, const Palette& palette) {
    TestPicture picture(static_cast<std::uint32_t>(rows.front().size()), static_cast<std::uint32_t>(rows.size()));
    for (std::uint32_t y = 0; y < picture.height; ++y)
        for (std::uint32_t x = 0; x < picture.width; ++x)
            if (rows[y][x] != 0) picture.set(x, y, palette[static_cast<std::size_t>(rows[y][x])]);
    return picture;
}

inline std::string png_file_bytes(const TestPicture& picture) {
    ImagePtr image = new_image_buffer(picture.width, picture.height, 4);
    const auto layout = image_layout(*image);
    for (std::uint32_t y = 0; y < picture.height; ++y)
        std::copy_n(picture.bytes.begin() + static_cast<std::ptrdiff_t>(std::size_t{y} * picture.width * 4),
                    std::size_t{picture.width} * 4, image_row(*image, *layout, y));
    const auto encoded = png_encode(*image);
    return encoded ? std::string(encoded->begin(), encoded->end()) : std::string();
}

// palette.bmp as a 256 x 1 24-bit BMP, pixel i in colour i.
inline std::string palette_bmp_bytes(const Palette& palette) {
    std::string bmp;
    auto u16 = [&](std::uint32_t v) { bmp += static_cast<char>(v & 0xFF); bmp += static_cast<char>((v >> 8) & 0xFF); };
    auto u32 = [&](std::uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); };
    const std::uint32_t row_bytes = 256 * 3;
    bmp += "BM";
    u32(54 + row_bytes); u32(0); u32(54);
    u32(40); u32(256); u32(1); u16(1); u16(24); u32(0); u32(row_bytes); u32(2835); u32(2835); u32(0); u32(0);
    for (std::uint32_t colour : palette) {
        bmp += static_cast<char>(colour & 0xFF);
        bmp += static_cast<char>((colour >> 8) & 0xFF);
        bmp += static_cast<char>((colour >> 16) & 0xFF);
    }
    return bmp;
}

inline std::string build_file_text(int tile_set, int storage, int row_split) {
    return "''build file for vintelo converter, ver 30.04.2011\r\n" + std::to_string(tile_set) + "\r\n" +
           std::to_string(storage) + "\r\n" + std::to_string(row_split) + "\r\n";
}

// A palette of 256 different colours, each the expansion of a 6-bit
// triple, as extraction shows an archive's palette.
inline Palette random_palette(std::mt19937& random) {
    std::set<std::uint32_t> seen;
    std::vector<std::uint8_t> block;
    std::uniform_int_distribution<int> component(0, 63);
    while (seen.size() < 256) {
        const int r = component(random), g = component(random), b = component(random);
        if (!seen.insert(static_cast<std::uint32_t>(r << 16 | g << 8 | b)).second) continue;
        block.push_back(static_cast<std::uint8_t>(r));
        block.push_back(static_cast<std::uint8_t>(g));
        block.push_back(static_cast<std::uint8_t>(b));
    }
    return palette_from_block_bytes(block);
}

enum class SampleKind { sprite_raw, sprite_run_length, sprite_run_length_row_split, tile_set };

// What a random archive is made of: the pictures as an editor would leave
// them, and how they are stored.
struct SampleArchive {
    Palette palette{};
    std::vector<TestPicture> pictures;
    std::vector<std::uint32_t> tile_values;
    bool tile_set = false;
    PixelStorage storage = PixelStorage::raw;
    bool row_split = false;
    std::string folder_name;
};

// Random pictures: blank margins at the top and left (the offsets), then a
// mix of long and short runs of blank and coloured pixels; now and then a
// picture with no colour at all or wider than one run.
inline SampleArchive random_sample(std::uint32_t seed, SampleKind kind) {
    std::mt19937 random(seed);
    SampleArchive sample;
    sample.palette = random_palette(random);
    sample.tile_set = kind == SampleKind::tile_set;
    sample.storage = kind == SampleKind::sprite_raw || sample.tile_set ? PixelStorage::raw : PixelStorage::run_length;
    sample.row_split = kind == SampleKind::sprite_run_length_row_split;
    static const char* const folders[] = {"desert", "jungle", "atlantis", "htrain", "Desert"};
    sample.folder_name = sample.tile_set ? folders[seed % 5] : "sprites";
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    // In run-length storage index 0 is transparent, so coloured pixels take
    // indices 1 to 255 there; raw storage has no transparency.
    const int lowest_index = sample.storage == PixelStorage::run_length ? 1 : 0;
    auto colour = [&] { return sample.palette[static_cast<std::size_t>(pick(lowest_index, 255))]; };

    const int count = sample.tile_set ? pick(1, 6) : pick(1, 10);
    for (int n = 0; n < count; ++n) {
        if (sample.tile_set) {
            TestPicture tile(32, 32);
            for (std::uint32_t y = 0; y < 32; ++y)
                for (std::uint32_t x = 0; x < 32; ++x) tile.set(x, y, colour());
            sample.pictures.push_back(tile);
            sample.tile_values.push_back(static_cast<std::uint32_t>(pick(0, 65535)));
            continue;
        }
        const auto width = static_cast<std::uint32_t>(pick(0, 4) == 0 ? pick(129, 300) : pick(1, 40));
        const auto height = static_cast<std::uint32_t>(pick(1, 30));
        const auto left = static_cast<std::uint32_t>(pick(0, 3) == 0 ? pick(1, 20) : 0);
        const auto top = static_cast<std::uint32_t>(pick(0, 3) == 0 ? pick(1, 20) : 0);
        TestPicture picture(width + left, height + top);
        if (picture.width > 255 || picture.height > 255 || pick(0, 12) != 0) {
            const int blank_share = pick(0, 90);
            bool blank = false;
            std::uint32_t run_left = 0;
            for (std::uint32_t y = top; y < picture.height; ++y) {
                for (std::uint32_t x = left; x < picture.width; ++x) {
                    if (run_left == 0) {
                        blank = pick(0, 99) < blank_share;
                        run_left = static_cast<std::uint32_t>(pick(0, 5) == 0 ? pick(1, 200) : pick(1, 6));
                    }
                    --run_left;
                    if (!blank) picture.set(x, y, colour());
                }
            }
            // The margins are exact: a coloured pixel in the first column
            // and the first row of the content.
            picture.set(left, static_cast<std::uint32_t>(pick(static_cast<int>(top), static_cast<int>(picture.height) - 1)), colour());
            picture.set(static_cast<std::uint32_t>(pick(static_cast<int>(left), static_cast<int>(picture.width) - 1)), top, colour());
        }
        sample.pictures.push_back(picture);
    }
    return sample;
}

// The archive the builder makes of a sample, with the row split given.
inline std::vector<std::uint8_t> build_sample(const SampleArchive& sample, bool row_split) {
    const ColourMatcher matcher(sample.palette, sample.storage);
    std::vector<std::uint8_t> work;
    const auto count = static_cast<std::uint32_t>(sample.pictures.size());
    if (sample.tile_set) {
        TileSetWriter writer(count, tile_set_code(sample.folder_name), sample.palette);
        for (std::uint32_t i = 0; i < count; ++i) {
            work.clear();
            code_picture(sample.pictures[i].view(), TrimOrigin{}, matcher, sample.storage, row_split, work);
            writer.add(sample.tile_values[i], work);
        }
        return writer.finish();
    }
    SpriteSetWriter writer(count, sample.storage, sample.palette);
    for (std::uint32_t i = 0; i < count; ++i) {
        work.clear();
        const PictureView view = sample.pictures[i].view();
        const CodedPicture coded = code_picture(view, find_trim_origin(view), matcher, sample.storage, row_split, work);
        writer.add(i + 1, coded, work);
    }
    return writer.finish();
}

}  // namespace quarnel::test
