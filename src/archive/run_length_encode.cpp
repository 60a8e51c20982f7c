#include "archive/run_length_encode.h"

namespace quarnel {

namespace {

// The coder's state between pixels. Every pixel is handled by the same
// straight-line steps, without a branch that depends on the pixels: the
// header byte of the token in progress is rewritten after every pixel, so
// it always states the run as it stands, and a pixel that starts a new token
// reserves that token's header byte first.
struct TokenWriter {
    std::uint8_t* base;         // first byte of the picture's tokens
    std::size_t out = 0;        // next free byte
    std::size_t header = 0;     // header byte of the token in progress
    std::uint32_t count = 0;    // pixels in the token in progress
    std::uint32_t kind = 2;     // 0 skip, 1 literal, 2 none yet (the next pixel starts a token)

    void add(std::uint8_t index) {
        const std::uint32_t literal = index != 0 ? 1u : 0u;
        const std::uint32_t starts = static_cast<std::uint32_t>(literal != kind) | static_cast<std::uint32_t>(count == longest_run);
        // Masks instead of conditions: a branch here would follow the
        // pixels and be mispredicted at every run boundary.
        const std::size_t start_mask = std::size_t{0} - starts;
        header = (header & ~start_mask) | (out & start_mask);
        out += starts;
        count = (count & (starts - 1u)) + 1u;
        kind = literal;
        // The index is stored in any case; only a literal keeps it.
        base[out] = index;
        out += literal;
        // Skip: 256 - k transparent pixels (0xFF one, 0x80 128). Literal:
        // k - 1, then the k indices (0x00 one, 0x7F 128).
        const std::uint32_t literal_mask = 0u - literal;
        base[header] = static_cast<std::uint8_t>(((count - 1u) & literal_mask) | ((256u - count) & ~literal_mask));
    }

    // A cut: the next pixel starts a new token whatever its kind.
    void cut() { kind = 2; }
};

}  // namespace

std::size_t encode_run_length(std::span<const std::uint8_t> indices, std::uint32_t width, std::uint32_t height,
                              bool row_split, std::vector<std::uint8_t>& out) {
    const std::uint64_t pixels = std::uint64_t{width} * height;
    if (pixels == 0 || indices.size() < pixels) return 0;
    const std::size_t before = out.size();
    // One byte more than the worst case: a skip pixel's index is stored
    // (and then dropped) one byte past the token.
    out.resize(before + static_cast<std::size_t>(run_length_worst_case(pixels)) + 1);
    std::uint8_t* const start = out.data() + before;
    TokenWriter writer{start};
    const std::uint8_t* index = indices.data();
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) writer.add(*index++);
        if (row_split) writer.cut();
    }
    const std::size_t written = writer.out;
    out.resize(before + written);
    return written;
}

}  // namespace quarnel
