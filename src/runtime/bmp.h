// BMP image files.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "runtime/image.h"

namespace quarnel {

// Writes the whole image (null = the screen): 24-bit for 32- and 16-bit
// sources, 8-bit with the screen palette for 8-bit sources. Error code: 0
// written, 2 the file cannot be created, 3 a write failed (1: no image/screen).
int save_bmp(std::string_view file_name, const Image* source);

// Loads a BMP into an existing image (null = the screen). Error code: 0
// loaded; 1 no screen is open, or a 16/24/32-bit file into 8-bit pixels;
// 2 the file cannot be opened; 3 not a valid BMP or cut short. The palette
// destination (256 entries, red in bits 0-7) receives an 8-bit file's
// colours; without one such a file replaces the screen palette.
int load_bmp(std::string_view file_name, Image* destination, std::array<std::uint32_t, 256>* palette = nullptr);

}  // namespace quarnel
