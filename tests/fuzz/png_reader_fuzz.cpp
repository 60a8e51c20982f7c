// The PNG reader on any bytes: a refusal or a picture whose size matches
// its header, never a crash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "png/png_reader.h"
#include "runtime/image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto image = quarnel::png_decode(std::span<const std::uint8_t>(data, size));
    if (image && !quarnel::image_layout(*image)) __builtin_trap();
    return 0;
}
