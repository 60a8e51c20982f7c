// BMP image files.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "runtime/image/image.h"

namespace quarnel {

// Writes the whole image (null = the screen): 24-bit for 32- and 16-bit
// sources, 8-bit with the screen palette for 8-bit sources; an existing
// file is replaced. Error code: 0 written, 1 no usable image (or no screen),
// 2 the file cannot be created, 3 a write failed.
int save_bmp(std::string_view file_name, const Image* source);
// Writes an image of 8-bit indices as an 8-bit BMP with these 256 colours
// (0xAARRGGBB; alpha not written). Codes as save_bmp; 1 when the image is
// not 8-bit.
int save_bmp_indexed(std::string_view file_name, const Image* source, const std::array<std::uint32_t, 256>& colours);
// The bytes such a file holds, for a caller that writes them itself; nothing
// when the image is empty, too large for the format or (indexed) not 8-bit.
std::optional<std::vector<std::uint8_t>> bmp_encode(const Image& source);
std::optional<std::vector<std::uint8_t>> bmp_encode_indexed(const Image& source,
                                                            const std::array<std::uint32_t, 256>& colours);

// Loads a BMP into an existing image (null = the screen): the top-left
// corner that fits is written, the rest of the image keeps its pixels.
// No screen is needed but for a null destination. Error code: 0 loaded;
// 1 no image (a null destination without an open screen), or a 16/24/32-bit
// file into 8-bit pixels; 2 the file cannot be opened; 3 not a valid BMP,
// cut short, or declaring a picture of more than 256 MiB at 32 bits per
// pixel. On an error nothing has been written. The palette of a file of 8
// bits or fewer replaces the first entries of the palette destination (256
// entries, red in bits 0-7) or, without one, of the screen palette, exactly
// as stored; the indices the file's palette lacks take that palette's
// entries.
int load_bmp(std::string_view file_name, Image* destination, std::array<std::uint32_t, 256>* palette = nullptr);

}  // namespace quarnel
