// PNG writer: an image buffer of 32-bit pixels as an 8-bit RGBA PNG, or one
// of 8-bit palette indices as an indexed PNG with its 256 colours (option -i
// of extraction); filter None, one IDAT chunk, zlib at the default level.
// Several indexed frames of one size make an animated PNG (APNG: acTL,
// fcTL, fdAT), whose first frame is the ordinary image.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "runtime/image/image.h"

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

// An image of 8-bit indices as an indexed PNG (colour type 3, depth 8): PLTE
// holds the 256 colours (0xAARRGGBB, alpha not written) and, when
// index_0_transparent, a tRNS of one byte 0 makes index 0 transparent. The
// indices are written as they stand. 0 on success, 1 on any failure.
int png_save_indexed(std::string_view file_name, const Image* image, const std::array<std::uint32_t, 256>& colours,
                     bool index_0_transparent);
std::optional<std::vector<std::uint8_t>> png_encode_indexed(const Image& image, const std::array<std::uint32_t, 256>& colours,
                                                            bool index_0_transparent);

// How an animated PNG plays: each frame shows for delay_numerator /
// delay_denominator seconds; plays 0 loops for ever.
struct PngAnimationTiming {
    std::uint16_t delay_numerator = 1;
    std::uint16_t delay_denominator = 10;
    std::uint32_t plays = 0;
};

// An animated PNG of frame_count indexed frames (colour type 3, depth 8,
// PLTE and tRNS as png_encode_indexed writes them). Every frame covers the
// whole canvas and replaces the one before it (dispose none, blend source),
// so a transparent pixel shows the page behind it. The first frame is the
// default image (IDAT), so a viewer that cannot animate shows it. Nothing
// when a frame is missing, not 8-bit or not of the first frame's size.
std::optional<std::vector<std::uint8_t>> png_encode_animated_indexed(std::uint32_t frame_count, const FrameSource& frame,
                                                                     const std::array<std::uint32_t, 256>& colours,
                                                                     bool index_0_transparent,
                                                                     const PngAnimationTiming& timing);

}  // namespace quarnel
