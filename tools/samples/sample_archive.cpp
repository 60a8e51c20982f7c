#include "samples/sample_archive.h"

#include "archive/run_length_encode.h"
#include "archive/sprite_archive.h"
#include "runtime/utility/byte_reader.h"

namespace quarnel {

std::vector<std::uint8_t> write_sprite_set(const std::array<std::uint8_t, 768>& palette_block,
                                           const std::vector<SamplePicture>& pictures, bool run_length,
                                           bool row_split) {
    std::vector<std::uint8_t> data;
    std::vector<std::uint8_t> images;
    std::uint32_t data_size = 0;
    for (const SamplePicture& p : pictures) {
        if (run_length) {
            std::vector<std::uint8_t> tokens;
            encode_run_length(p.indices, p.width, p.height, row_split, tokens);
            put_u32le(images, static_cast<std::uint32_t>(tokens.size()));
            images.insert(images.end(), tokens.begin(), tokens.end());
            data_size += static_cast<std::uint32_t>(tokens.size());
        } else {
            images.insert(images.end(), p.indices.begin(), p.indices.end());
            data_size += static_cast<std::uint32_t>(p.indices.size()) + 12;
        }
    }
    put_u8(data, run_length ? run_length_storage_byte : raw_storage_byte);
    put_u8(data, 0);
    put_u16le(data, static_cast<std::uint16_t>(pictures.size()));
    put_u32le(data, data_size);
    data.insert(data.end(), palette_block.begin(), palette_block.end());
    for (const SamplePicture& p : pictures) {
        put_u16le(data, p.width);
        put_u16le(data, p.height);
        put_u16le(data, p.x_offset);
        put_u16le(data, p.y_offset);
    }
    data.insert(data.end(), images.begin(), images.end());
    return data;
}

std::vector<std::uint8_t> write_tile_set(std::uint16_t tile_set_code, const std::array<std::uint8_t, 768>& palette_block,
                                         const std::vector<SampleTile>& tiles) {
    std::vector<std::uint8_t> data;
    put_u16le(data, tile_set_code);
    put_u16le(data, 0);
    put_u16le(data, static_cast<std::uint16_t>(tiles.size()));
    put_u16le(data, 0);
    data.insert(data.end(), palette_block.begin(), palette_block.end());
    for (const SampleTile& t : tiles) {
        put_u32le(data, t.tile_value);
        data.insert(data.end(), t.indices.begin(), t.indices.end());
    }
    return data;
}

std::array<std::uint8_t, 768> sample_palette_block() {
    std::array<std::uint8_t, 768> block{};
    for (int i = 0; i < 256; ++i) {
        const auto grey = static_cast<std::uint8_t>(i / 4);
        block[static_cast<std::size_t>(3 * i)] = grey;
        block[static_cast<std::size_t>(3 * i + 1)] = grey;
        block[static_cast<std::size_t>(3 * i + 2)] = grey;
    }
    const std::uint8_t bright[6][3] = {{63, 0, 0}, {0, 63, 0}, {0, 0, 63}, {63, 63, 0}, {63, 0, 63}, {0, 63, 63}};
    for (int i = 0; i < 6; ++i)
        for (int c = 0; c < 3; ++c) block[static_cast<std::size_t>(3 * (i + 1) + c)] = bright[i][c];
    for (int k = 0; k < 7; ++k) {
        const std::size_t at = static_cast<std::size_t>(3 * (201 + k));
        block[at] = static_cast<std::uint8_t>(20 + 6 * k);
        block[at + 1] = 4;
        block[at + 2] = 4;
    }
    return block;
}

std::vector<SamplePicture> sample_sprites() {
    std::vector<SamplePicture> sprites;
    auto make = [&](std::uint16_t w, std::uint16_t h, std::uint16_t xo, std::uint16_t yo, auto&& colour_of) {
        SamplePicture p;
        p.width = w;
        p.height = h;
        p.x_offset = xo;
        p.y_offset = yo;
        p.indices.resize(std::size_t{w} * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                p.indices[static_cast<std::size_t>(y * w + x)] = static_cast<std::uint8_t>(colour_of(x, y));
        sprites.push_back(std::move(p));
    };
    // A red square with a yellow frame.
    make(16, 16, 4, 2, [](int x, int y) { return (x == 0 || y == 0 || x == 15 || y == 15) ? 4 : 1; });
    // A green ring touching all four edges, so nothing is left to trim.
    make(24, 24, 0, 0, [](int x, int y) {
        const int dx = 2 * x - 23, dy = 2 * y - 23, r2 = dx * dx + dy * dy;
        return (r2 >= 12 * 12 && r2 <= 23 * 23 + 1) ? 2 : 0;
    });
    // A blue diagonal band over a grey ramp. The sample palette repeats each
    // grey four times; the ramp takes the last index of each group, the one a
    // rebuild of run-length pictures chooses.
    make(32, 12, 8, 6, [](int x, int y) { return (x - 2 * y >= 0 && x - 2 * y < 6) ? 3 : (x % 4 == 0 ? 0 : 67 + 4 * x); });
    // A magenta cross on transparency, wider than 128 pixels so runs split.
    make(140, 9, 2, 0, [](int x, int y) { return (y == 4 || x % 35 == 17) ? 5 : 0; });
    return sprites;
}

std::vector<SampleTile> sample_tiles(std::uint32_t count) {
    std::vector<SampleTile> tiles(count);
    for (std::uint32_t t = 0; t < count; ++t) {
        tiles[t].tile_value = 300 + t;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                int index;
                if (t % 3 == 0) index = ((x / 4 + y / 4) % 2) ? 1 + static_cast<int>(t % 6) : 200;
                else if (t % 3 == 1) index = 201 + (x + y) % 7;  // cycling water
                else index = 16 + (y * 7 + x) % 200;
                tiles[t].indices[static_cast<std::size_t>(y * 32 + x)] = static_cast<std::uint8_t>(index);
            }
    }
    return tiles;
}

}  // namespace quarnel
