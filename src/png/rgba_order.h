// Pixel byte order shared by the PNG writer and reader: image buffers hold
// 0xAARRGGBB little-endian (bytes B, G, R, A), PNG rows hold R, G, B, A.
// Going either way swaps the first and third byte of every pixel; green and
// alpha stay in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace quarnel {

// Copies count pixels from `from` to `to` with red and blue exchanged. The
// two blocks must not overlap. Two pixels are handled per 64-bit word.
inline void copy_swapping_red_blue(const std::uint8_t* __restrict from, std::uint8_t* __restrict to, std::size_t count) {
    constexpr std::uint64_t keep = 0xFF00FF00FF00FF00u;
    constexpr std::uint64_t low = 0x000000FF000000FFu;
    std::size_t k = 0;
    for (; k + 2 <= count; k += 2) {
        std::uint64_t two;
        std::memcpy(&two, from + k * 4, 8);
        two = (two & keep) | ((two >> 16) & low) | ((two & low) << 16);
        std::memcpy(to + k * 4, &two, 8);
    }
    if (k < count) {
        to[k * 4] = from[k * 4 + 2];
        to[k * 4 + 1] = from[k * 4 + 1];
        to[k * 4 + 2] = from[k * 4];
        to[k * 4 + 3] = from[k * 4 + 3];
    }
}

}  // namespace quarnel
