#include "mapview/unit_animation_set.h"

#include "anim/animation_description.h"
#include "runtime/platform/files.h"
#include "runtime/utility/byte_reader.h"
#include "runtime/utility/text.h"

namespace quarnel {

namespace {

constexpr int vertical_drop_limit = 0x60;  // larger drops are taken as 0
constexpr std::int32_t turned_reference_base = 242;
constexpr std::int32_t unturned_offset_base = 144;

}  // namespace

FramePlacement place_frame(const FrameRecord& record, const UnitSpriteSet& sprites) {
    FramePlacement placement;
    placement.picture_slot = 2 * std::int32_t{record.image_number} + (record.turned() ? 1 : 0);
    const std::int32_t drop = record.vertical_drop > vertical_drop_limit ? 0 : record.vertical_drop;
    placement.y_placement = (sprites.height(placement.picture_slot) - 32) - drop;
    placement.x_placement = record.turned() ? turned_reference_base - record.horizontal_reference
                                            : unturned_offset_base - sprites.x_offset(record.image_number);
    return placement;
}

const UnitAnimation* UnitAnimationSet::animation(std::int32_t index) const {
    if (index < 0 || index >= static_cast<std::int32_t>(animations.size())) return nullptr;
    return &animations[static_cast<std::size_t>(index)];
}

const FramePlacement* UnitAnimationSet::frame(std::int32_t number) const {
    if (number < 0 || number >= max_frames) return nullptr;
    return &frames[static_cast<std::size_t>(number)];
}

void UnitAnimationSet::clear() {
    unit_name.clear();
    animation_count = 0;
    animations.clear();
    frames.fill(FramePlacement{});
    current_animation = 0;
    current_frame = 0;
}

std::string skip_word_for_unit(std::string_view unit_name) {
    if (unit_name == "REAP" || unit_name == "BARR") return "BLOOD";
    if (unit_name == "TRSC") return "SMOKEY";
    return "DUPA";
}

UnitAnimationSet build_unit_animation_set(std::span<const std::uint8_t> bytes, std::string_view unit_name,
                                          const UnitSpriteSet& sprites) {
    UnitAnimationSet set;
    set.unit_name = std::string(unit_name);
    const std::string skip_word = skip_word_for_unit(unit_name);

    // The viewer looks for the skip word in the name with its zero bytes
    // dropped, and passes over overlays only while another whole record
    // follows them.
    DescriptionReading reading;
    reading.is_left_out = [&](const AnimationRecord& record) {
        return text_find(1, record.name_without_zero_bytes(), skip_word) != 0;
    };
    reading.overlay_scan = OverlayScan::before_last_record;
    const AnimationDescription description = read_animation_description(bytes, reading);

    set.animation_count = description.header.animation_count;
    for (const Animation& animation : description.animations) {
        if (static_cast<int>(set.animations.size()) >= UnitAnimationSet::max_animations) break;
        set.animations.push_back(UnitAnimation{animation.record.name_without_zero_bytes(),
                                               animation.record.first_frame, animation.record.last_frame});
        // A frame number shared by several animations is filled by each in
        // turn, so the last one read wins.
        for (const AnimationFrame& frame : animation.frames)
            if (frame.frame_number < UnitAnimationSet::max_frames)
                set.frames[frame.frame_number] = place_frame(frame.record, sprites);
    }

    // When the frame records end early the walk stops there; the records of
    // the later animations are still names and ranges the loop can choose.
    ByteReader records(bytes);
    for (std::size_t i = description.animations.size();
         i < description.header.animation_count && set.animations.size() < UnitAnimationSet::max_animations; ++i) {
        records.seek(static_cast<std::size_t>(description.header.animation_records_start() +
                                              animation_record_size * i));
        const AnimationRecord record = read_animation_record(records);
        if (records.ended()) break;
        set.animations.push_back(
            UnitAnimation{record.name_without_zero_bytes(), record.first_frame, record.last_frame});
    }

    set.current_animation = UnitAnimationSet::start_animation;
    const UnitAnimation* start = set.animation(set.current_animation);
    set.current_frame = start ? start->first_frame : 0;
    return set;
}

std::optional<UnitAnimationSet> load_unit_animation_set(std::string_view path, std::string_view unit_name,
                                                        const UnitSpriteSet& sprites, const LineSink& say) {
    const auto bytes = read_whole_file(path);
    if (!bytes) {
        say_read_failure(bytes.error(), say);
        return std::nullopt;
    }
    say("wielkosc: " + decimal_text(static_cast<std::int64_t>(bytes->size())));
    return build_unit_animation_set(*bytes, unit_name, sprites);
}

}  // namespace quarnel
