// The build file and tile listing readers on any text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "archive/build_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto settings = quarnel::parse_build_file(text);
    (void)settings;
    // A build file the checks take reads as parse_build_file reads it.
    const quarnel::BuildFileReading reading = quarnel::check_build_file(text);
    if (reading.readable() && (reading.settings.tile_set_flag != settings.tile_set_flag ||
                               reading.settings.storage_flag != settings.storage_flag ||
                               reading.settings.row_split_flag != settings.row_split_flag))
        __builtin_trap();
    auto tiles = quarnel::parse_tile_listing(text, size % 300);
    if (tiles.size() > size % 300) __builtin_trap();
    return 0;
}
