// The archives' run-length code, writing side: the one encoder, the twin of
// decode_run_length in run_length.h.
//
// Pixels arrive one by one in row order as palette indices; index 0 is
// transparent and goes into skip runs, every other index into literal runs.
// A run ends when a pixel of the other kind arrives, when it reaches 128
// pixels, or when the caller marks a pixel as a cut (the picture's last
// pixel, and with the row split also the last pixel of every row). Tokens:
// a skip run of k pixels is the byte 256 - k; a literal run of k pixels is
// the byte k - 1 followed by its k indices.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace quarnel {

inline constexpr std::uint32_t longest_run = 128;

class RunLengthEncoder {
public:
    // Tokens are appended to out, which must outlive the encoder.
    explicit RunLengthEncoder(std::vector<std::uint8_t>& out) : out_(out) {}

    // Adds one pixel. at_cut: the run in progress ends with this pixel.
    void add(std::uint8_t index, bool at_cut) {
        const bool skip = index == 0;
        if (skip != run_is_skip_) {
            if (count_ > 0) emit();
            run_is_skip_ = skip;
        }
        if (!skip) literal_[count_] = index;
        ++count_;
        if (count_ == longest_run || at_cut) emit();
    }

    // Emits a run still in progress. A caller that marks the last pixel as a
    // cut never leaves one; this is for callers that stop elsewhere.
    void flush() {
        if (count_ > 0) emit();
    }

    // The encoder starts each picture with an empty skip run.
    void start_picture() {
        count_ = 0;
        run_is_skip_ = true;
    }

private:
    void emit();

    std::vector<std::uint8_t>& out_;
    std::array<std::uint8_t, longest_run> literal_{};
    std::uint32_t count_ = 0;
    bool run_is_skip_ = true;
};

// Codes a whole picture of width x height indices (row order, row after
// row) and appends its tokens to out. With row_split every row ends a run;
// without it only the 128 limit and the picture's last pixel do. Returns the
// number of bytes appended. Nothing is appended for an empty picture.
std::size_t encode_run_length(std::span<const std::uint8_t> indices, std::uint32_t width, std::uint32_t height,
                              bool row_split, std::vector<std::uint8_t>& out);

}  // namespace quarnel
