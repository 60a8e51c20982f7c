// The animation description reader on any bytes, in both ways of finding
// overlay records.
#include <cstddef>
#include <cstdint>
#include <span>

#include "anim/animation_description.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    quarnel::DescriptionReading reading;
    auto description = quarnel::read_animation_description(bytes, reading);
    (void)description;
    reading.overlay_scan = quarnel::OverlayScan::before_last_record;
    reading.is_left_out = [](const quarnel::AnimationRecord& record) {
        return quarnel::stored_name_contains(record, "BLOOD");
    };
    description = quarnel::read_animation_description(bytes, reading);
    return 0;
}
