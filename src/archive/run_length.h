// The archives' run-length code, the one decoder used wherever archives are
// read (extraction and the map viewer).
//
// A picture is a stream of tokens that fill its pixels in row order; runs go
// on across row ends. A byte b of 0x80 or more skips 256 - b transparent
// pixels (1 to 128); a byte b below 0x80 is followed by b + 1 indices. The
// stream ends exactly when the last pixel is filled; there is no end marker.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

#include "runtime/utility/byte_reader.h"

namespace quarnel {

struct RunLengthDecode {
    std::size_t next_offset = 0;  // first byte after the picture's tokens
    bool data_ended = false;      // the data ran out before the last pixel
};

// One token as the decoder met it.
struct RunLengthToken {
    bool skip = false;              // a skip token (else a literal)
    std::uint32_t length = 0;       // pixels the token stands for, 1 to 128
    bool completes_image = false;   // the picture's last pixel was filled by it
};

// Decodes one picture of width x height from data at start, calling
// put(x, y, index) for every pixel a literal sets and on_token(token) after
// every token; skipped pixels are left alone. A run is consumed whole; pixels
// that would fall below the last row are dropped. When the data ends first,
// decoding stops there with what was decoded (a literal cut short is not
// reported as a token). Nothing is decoded when width or height is 0.
template <typename PutPixel, typename OnToken>
RunLengthDecode decode_run_length_tokens(std::span<const std::uint8_t> data, std::size_t start, std::uint32_t width,
                                         std::uint32_t height, PutPixel&& put, OnToken&& on_token) {
    ByteReader in(data, start);
    RunLengthDecode result;
    if (width == 0 || height == 0) {
        result.next_offset = in.position();
        return result;
    }
    std::uint32_t x = 0, y = 0;
    auto step = [&] {
        if (++x == width) {
            x = 0;
            ++y;
        }
    };
    while (y < height) {
        const std::uint8_t token = in.u8();
        if (in.ended()) {
            result.data_ended = true;
            break;
        }
        if (token >= 0x80) {
            // Skip: 256 - token transparent pixels, at most to the end.
            const std::uint64_t left = std::uint64_t{height - y} * width - x;
            std::uint64_t count = 256u - token;
            if (count > left) count = left;
            const std::uint64_t linear = std::uint64_t{y} * width + x + count;
            y = static_cast<std::uint32_t>(linear / width);
            x = static_cast<std::uint32_t>(linear % width);
            on_token(RunLengthToken{true, 256u - token, y >= height});
            continue;
        }
        const std::uint32_t count = token + 1u;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint8_t index = in.u8();
            if (in.ended()) {
                result.data_ended = true;
                break;
            }
            if (y < height) {
                put(x, y, index);
                step();
            }
        }
        if (result.data_ended) break;
        on_token(RunLengthToken{false, count, y >= height});
    }
    result.next_offset = in.position();
    return result;
}

// Decodes one picture of width x height from data at start, calling
// put(x, y, index) for every pixel a literal sets; skipped pixels are left
// alone. A run is consumed whole; pixels that would fall below the last row
// are dropped. When the data ends first, decoding stops there with what was
// decoded. Nothing is decoded when width or height is 0.
template <typename PutPixel>
RunLengthDecode decode_run_length(std::span<const std::uint8_t> data, std::size_t start, std::uint32_t width,
                                  std::uint32_t height, PutPixel&& put) {
    return decode_run_length_tokens(data, start, width, height, std::forward<PutPixel>(put),
                                    [](const RunLengthToken&) {});
}

}  // namespace quarnel
