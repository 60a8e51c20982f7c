// The unit's animations as the viewer plays them: names and frame ranges
// from the unit's animation description, and for every frame the picture
// slot of the unit sprite set and where it is placed.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "anim/animation_description.h"
#include "mapview/viewer_pictures.h"

namespace quarnel {

struct UnitAnimation {
    std::string name;              // the stored name with its zero bytes dropped
    std::int32_t first_frame = 0;
    std::int32_t last_frame = 0;
};

// The picture of frame f is drawn with its top-left corner at
// (160 - x_placement, 160 - y_placement).
struct FramePlacement {
    std::int32_t x_placement = 0;
    std::int32_t y_placement = 0;
    std::int32_t picture_slot = 0;
};

struct UnitAnimationSet {
    static constexpr int max_animations = 101;
    static constexpr int max_frames = 601;
    static constexpr std::int32_t start_animation = 18;

    std::string unit_name;
    std::int32_t animation_count = 0;       // the count the file states
    std::vector<UnitAnimation> animations;  // those read, at most 101
    std::array<FramePlacement, max_frames> frames{};
    std::int32_t current_animation = start_animation;
    std::int32_t current_frame = 0;

    // Null for an animation the set does not hold.
    const UnitAnimation* animation(std::int32_t index) const;
    // Null for a frame number outside 0..600.
    const FramePlacement* frame(std::int32_t number) const;
    void clear();
};

// Where the viewer places the picture of a frame record: the slot of its
// image number (the mirrored twin when the record is turned) and the x and y
// placement from the unit sprite set's heights and x offsets.
FramePlacement place_frame(const FrameRecord& record, const UnitSpriteSet& sprites);

// Animations whose name contains this word are left out: "BLOOD" for REAP
// and BARR, "SMOKEY" for TRSC, "DUPA" (matching nothing real) otherwise.
std::string skip_word_for_unit(std::string_view unit_name);

// Builds the set from the description's bytes; the unit sprite set gives
// picture heights and x offsets. Animations past the 101st and frame numbers
// above 600 are ignored; so are records past the end of the data.
UnitAnimationSet build_unit_animation_set(std::span<const std::uint8_t> bytes, std::string_view unit_name,
                                          const UnitSpriteSet& sprites);

// Reads the file, says the "wielkosc: " line and builds the set; nothing
// when the file cannot be read.
std::optional<UnitAnimationSet> load_unit_animation_set(std::string_view path, std::string_view unit_name,
                                                        const UnitSpriteSet& sprites, const LineSink& say);

}  // namespace quarnel
