// The 8 x 16 bitmap font of the screen's text grid: one glyph for each byte
// of the Windows-1250 code page (the code page of the program's texts),
// 16 rows of 8 pixels, bit 7 of a row byte the leftmost pixel. Bytes 0-31,
// 127 and the undefined bytes of the code page have empty glyphs.
// Origin and licence of the glyphs: FONT.md beside this file.
#pragma once

#include <array>
#include <cstdint>

namespace quarnel {

extern const std::array<std::array<std::uint8_t, 16>, 256> font8x16;

}  // namespace quarnel
