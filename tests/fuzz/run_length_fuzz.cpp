// The archives' run-length decoder on any token stream: the first four
// bytes give a width and height of up to 255 each, the rest is the stream.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "archive/run_length.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::uint32_t width = data[0], height = data[1];
    std::vector<std::uint8_t> picture(std::size_t{width} * height, 0);
    const std::span<const std::uint8_t> stream(data, size);
    auto result = quarnel::decode_run_length(stream, 2, width, height, [&](std::uint32_t x, std::uint32_t y, std::uint8_t index) {
        picture.at(std::size_t{y} * width + x) = index;
    });
    if (result.next_offset > size) __builtin_trap();
    return 0;
}
