// GIF writer: an animation of 8-bit frames as a GIF89a file, looping, with
// one global colour table of 256 colours, each frame the whole canvas,
// LZW-coded. The project writes its own small coder (this file) rather than
// link giflib, which has no build for the Windows programs.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "runtime/image/image.h"

namespace quarnel {

// The largest width and height a GIF file can state.
inline constexpr std::uint32_t gif_max_dimension = 65535;

struct GifAnimationTiming {
    std::uint16_t delay_hundredths = 10;  // each frame's time, in 1/100 s
    std::uint16_t loops = 0;              // 0 loops for ever
};

// colours: 0xAARRGGBB (alpha not written). With index_0_transparent, index 0
// is the transparent colour and each frame is cleared before the next
// (disposal "restore to background"), so a transparent pixel shows the page
// behind it. Nothing when a frame is missing, not 8-bit, not of the first
// frame's size or larger than gif_max_dimension.
std::optional<std::vector<std::uint8_t>> gif_encode_animation(std::uint32_t frame_count, const FrameSource& frame,
                                                              const std::array<std::uint32_t, 256>& colours,
                                                              bool index_0_transparent, const GifAnimationTiming& timing);

// The LZW code of a GIF image's indices (minimum code size 8), as the bytes
// of its data sub-blocks without the leading code-size byte and without the
// closing empty block. Exposed for its tests.
std::vector<std::uint8_t> gif_lzw_code(const std::vector<std::uint8_t>& indices);

}  // namespace quarnel
