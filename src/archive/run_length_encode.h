// The archives' run-length code, writing side: the one encoder, the twin of
// decode_run_length in run_length.h.
//
// Pixels are palette indices in row order; index 0 is transparent and goes
// into skip runs, every other index into literal runs. A run ends when a
// pixel of the other kind follows, when it reaches 128 pixels, and at a cut:
// the picture's last pixel and, with the row split, the last pixel of every
// row. Tokens: a skip run of k pixels is the byte 256 - k; a literal run of
// k pixels is the byte k - 1 followed by its k indices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace quarnel {

inline constexpr std::uint32_t longest_run = 128;

// Codes a whole picture of width x height indices (row after row) and
// appends its tokens to out. With row_split every row ends a run; without
// it only the 128 limit and the picture's last pixel do. Returns the number
// of bytes appended; nothing is appended for an empty picture or when
// indices holds fewer than width x height values.
std::size_t encode_run_length(std::span<const std::uint8_t> indices, std::uint32_t width, std::uint32_t height,
                              bool row_split, std::vector<std::uint8_t>& out);

// The most bytes a picture of that many pixels can code to (a literal of
// one pixel is two bytes).
inline std::uint64_t run_length_worst_case(std::uint64_t pixels) { return 2 * pixels; }

}  // namespace quarnel
