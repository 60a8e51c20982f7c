// PNG reader: every colour type and bit depth, both interlace methods,
// converted to 32-bit pixels 0xAARRGGBB.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "runtime/image.h"

namespace quarnel {

// The image (compact header when the size fits it, else the full header),
// or nothing on any failure. Prints nothing.
ImagePtr png_load(std::string_view file_name);
ImagePtr png_decode(std::span<const std::uint8_t> file_bytes);

}  // namespace quarnel
