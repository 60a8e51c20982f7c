// PNG reader: every colour type and bit depth, both interlace methods,
// converted to 32-bit pixels 0xAARRGGBB.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "runtime/image/image.h"

namespace quarnel {

// The image (compact header when the size fits it, else the full header),
// or nothing on any failure. Prints nothing.
ImagePtr png_load(std::string_view file_name);
ImagePtr png_decode(std::span<const std::uint8_t> file_bytes);

// What an 8-bit indexed file (colour type 3, depth 8) holds beyond its
// colours: the indices as stored and the palette with the tRNS alpha.
// Empty (width 0) for every other file and on failure.
struct PngIndices {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> indices;           // row by row
    std::uint32_t palette_entries = 0;           // PLTE entries
    std::array<std::uint32_t, 256> colours{};    // 0xAARRGGBB; entries past PLTE black
};
// png_decode that also fills indices (when not null) for 8-bit indexed files.
ImagePtr png_decode(std::span<const std::uint8_t> file_bytes, PngIndices* indices);

}  // namespace quarnel
