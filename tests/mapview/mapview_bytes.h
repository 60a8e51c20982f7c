// Small builders of the viewer's input files for the map viewer's tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/utility/byte_reader.h"

namespace quarnel::test {

using Bytes = std::vector<std::uint8_t>;

struct MapCellBytes {
    std::uint16_t ground_key = 0;
    std::uint16_t overlay_key = 0;
    std::uint8_t first_value = 0;
    std::uint8_t second_value = 0;
};

// A map of width x height; cells in row order (missing ones are zero).
inline Bytes map_bytes(std::uint16_t width, std::uint16_t height, const std::vector<MapCellBytes>& cells,
                       std::uint16_t unused_2 = 0, std::uint16_t unused_6 = 0) {
    Bytes out;
    put_u16le(out, width);
    put_u16le(out, unused_2);
    put_u16le(out, height);
    put_u16le(out, unused_6);
    const std::size_t count = std::size_t{width} * height;
    for (std::size_t k = 0; k < count; ++k) {
        const MapCellBytes c = k < cells.size() ? cells[k] : MapCellBytes{};
        put_u16le(out, c.ground_key);
        put_u16le(out, c.overlay_key);
    }
    for (std::size_t k = 0; k < count; ++k) {
        const MapCellBytes c = k < cells.size() ? cells[k] : MapCellBytes{};
        put_u8(out, c.first_value);
        put_u8(out, c.second_value);
    }
    return out;
}

struct TileBytes {
    std::uint32_t tile_value = 0;
    Bytes pixels = Bytes(1024, 0);  // 32 rows of 32
};

// A tile set; palette entry i gets the components of palette_for(i).
inline Bytes tile_set_bytes(const std::vector<TileBytes>& tiles, const Bytes& palette_block = Bytes(768, 0),
                            int stated_count = -1) {
    Bytes out;
    put_u16le(out, 5100);
    put_u16le(out, 0);
    put_u16le(out, static_cast<std::uint16_t>(stated_count < 0 ? static_cast<int>(tiles.size()) : stated_count));
    put_u16le(out, 0);
    for (std::size_t i = 0; i < 768; ++i) put_u8(out, i < palette_block.size() ? palette_block[i] : 0);
    for (const TileBytes& t : tiles) {
        put_u32le(out, t.tile_value);
        for (std::size_t i = 0; i < 1024; ++i) put_u8(out, i < t.pixels.size() ? t.pixels[i] : 0);
    }
    return out;
}

struct SpriteBytes {
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint16_t x_offset = 0;
    std::uint16_t y_offset = 0;
    Bytes data;  // raw pixels, or the tokens (the length prefix is added)
};

inline Bytes sprite_set_bytes(std::uint8_t storage, const std::vector<SpriteBytes>& images, int stated_count = -1) {
    Bytes out;
    put_u8(out, storage);
    put_u8(out, 0);
    put_u16le(out, static_cast<std::uint16_t>(stated_count < 0 ? static_cast<int>(images.size()) : stated_count));
    put_u32le(out, 0);
    out.resize(out.size() + 768, 0);
    for (const SpriteBytes& s : images) {
        put_u16le(out, s.width);
        put_u16le(out, s.height);
        put_u16le(out, s.x_offset);
        put_u16le(out, s.y_offset);
    }
    for (const SpriteBytes& s : images) {
        if (storage != 1) put_u32le(out, static_cast<std::uint32_t>(s.data.size()));
        out.insert(out.end(), s.data.begin(), s.data.end());
    }
    return out;
}

struct AnimationBytes {
    std::string name;  // up to 12 bytes, zero bytes allowed
    std::uint16_t first_frame = 0;
    std::uint16_t last_frame = 0;
};

struct FrameBytes {
    std::uint8_t image = 0;
    std::uint8_t reference = 0;
    std::uint8_t drop = 0;
    std::uint8_t kind = 1;
    std::uint8_t turned = 0;
    std::string archive = "UNIT";
};

inline void put_frame(Bytes& out, const FrameBytes& f) {
    for (std::size_t i = 0; i < 4; ++i) put_u8(out, i < f.archive.size() ? static_cast<std::uint8_t>(f.archive[i]) : 0);
    put_u32le(out, 0);
    put_u8(out, f.image);
    put_u8(out, 0);
    put_u8(out, f.reference);
    put_u8(out, 0);
    put_u8(out, f.drop);
    for (int i = 0; i < 5; ++i) put_u8(out, 0);
    put_u8(out, f.kind);
    put_u8(out, 0);
    put_u8(out, f.turned);
    put_u8(out, 0);
}

inline Bytes animation_file_bytes(const std::vector<AnimationBytes>& animations, const std::vector<FrameBytes>& frames,
                                  std::uint8_t block_1_count = 0, std::uint16_t block_3_count = 0,
                                  int stated_animation_count = -1) {
    Bytes out;
    put_u16le(out, 0);
    put_u16le(out, block_3_count);
    put_u16le(out, static_cast<std::uint16_t>(stated_animation_count < 0 ? static_cast<int>(animations.size())
                                                                         : stated_animation_count));
    put_u8(out, block_1_count);
    put_u8(out, 0);
    out.resize(out.size() + 8 * std::size_t{block_1_count}, 0);
    for (const AnimationBytes& a : animations) {
        for (std::size_t i = 0; i < 12; ++i) put_u8(out, i < a.name.size() ? static_cast<std::uint8_t>(a.name[i]) : 0);
        put_u32le(out, 0);
        put_u16le(out, a.first_frame);
        put_u16le(out, a.last_frame);
    }
    out.resize(out.size() + 164 * std::size_t{block_3_count}, 0);
    for (const FrameBytes& f : frames) put_frame(out, f);
    return out;
}

}  // namespace quarnel::test
