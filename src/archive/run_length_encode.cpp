#include "archive/run_length_encode.h"

namespace quarnel {

void RunLengthEncoder::emit() {
    if (run_is_skip_) {
        // 256 - k for k transparent pixels: 0xFF is one, 0x80 is 128.
        out_.push_back(static_cast<std::uint8_t>(256u - count_));
    } else {
        out_.push_back(static_cast<std::uint8_t>(count_ - 1u));
        out_.insert(out_.end(), literal_.begin(), literal_.begin() + count_);
    }
    count_ = 0;
}

std::size_t encode_run_length(std::span<const std::uint8_t> indices, std::uint32_t width, std::uint32_t height,
                              bool row_split, std::vector<std::uint8_t>& out) {
    const std::size_t before = out.size();
    const std::uint64_t pixels = std::uint64_t{width} * height;
    if (pixels == 0 || indices.size() < pixels) return 0;
    RunLengthEncoder encoder(out);
    std::size_t at = 0;
    for (std::uint32_t y = 0; y < height; ++y) {
        const bool last_row = y + 1 == height;
        for (std::uint32_t x = 0; x < width; ++x) {
            const bool row_end = x + 1 == width;
            encoder.add(indices[at++], row_end && (row_split || last_row));
        }
    }
    return out.size() - before;
}

}  // namespace quarnel
