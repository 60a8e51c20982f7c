// PNG writer: an image buffer of 32-bit pixels as an 8-bit RGBA PNG
// (filter None, one IDAT chunk, zlib at the default level).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "runtime/image.h"

namespace quarnel {

// The largest width, height and chunk length a PNG file can state.
inline constexpr std::uint32_t png_max_dimension = 0x7FFFFFFF;
inline constexpr std::uint32_t png_max_chunk_length = 0x7FFFFFFF;

// True when an image of that size can be written: width and height from 1
// to png_max_dimension, and the filtered size countable without wrapping.
bool png_writable_size(std::uint64_t width, std::uint64_t height);

// 0 on success, 1 on any failure (empty name, absent image, pixels not
// 32-bit, rows too large for the format, file not writable).
int png_save(std::string_view file_name, const Image* image);

// The PNG file's bytes, or nothing when the image cannot be written.
std::optional<std::vector<std::uint8_t>> png_encode(const Image& image);

}  // namespace quarnel
