#include "mapview/unit_animation_set.h"

#include <gtest/gtest.h>

#include "mapview_bytes.h"

namespace quarnel {
namespace {

using test::AnimationBytes;
using test::animation_file_bytes;
using test::FrameBytes;

// Image 0: 8 x 40, x offset 10; image 1: 8 x 50, x offset 20; image 2: 4 x 32.
const UnitSpriteSet& sprites() {
    static const UnitSpriteSet set = build_unit_sprite_set(test::sprite_set_bytes(
        1, {{8, 40, 10, 0, test::Bytes(320, 1)}, {8, 50, 20, 0, test::Bytes(400, 2)}, {4, 32, 0, 0, test::Bytes(128, 3)}}));
    return set;
}

UnitAnimationSet build(const std::vector<AnimationBytes>& animations, const std::vector<FrameBytes>& frames,
                       std::string_view unit = "UNIT", std::uint8_t block_1 = 0, std::uint16_t block_3 = 0) {
    return build_unit_animation_set(animation_file_bytes(animations, frames, block_1, block_3), unit, sprites());
}

TEST(UnitAnimationSet, NamesDropTheirZeroBytes) {
    const UnitAnimationSet set = build({{std::string("MOVE\0\0" "12", 8), 0, 0}}, {{}});
    ASSERT_EQ(set.animations.size(), 1u);
    EXPECT_EQ(set.animations[0].name, "MOVE12");
    EXPECT_EQ(set.animation_count, 1);
}

TEST(UnitAnimationSet, UnturnedAndTurnedFramesArePlaced) {
    const UnitAnimationSet set = build({{"A", 0, 2}}, {{1, 99, 5, 1, 0}, {1, 230, 5, 1, 1}, {0, 0, 0, 0, 0}});
    // Not turned: slot 2 x image, x = 144 - x offset, y = (height - 32) - drop.
    EXPECT_EQ(set.frames[0].picture_slot, 2);
    EXPECT_EQ(set.frames[0].x_placement, 144 - 20);
    EXPECT_EQ(set.frames[0].y_placement, (50 - 32) - 5);
    // Turned: the mirrored slot, x = 242 - horizontal reference.
    EXPECT_EQ(set.frames[1].picture_slot, 3);
    EXPECT_EQ(set.frames[1].x_placement, 242 - 230);
    EXPECT_EQ(set.frames[1].y_placement, (50 - 32) - 5);
    EXPECT_EQ(set.frames[2].picture_slot, 0);
    EXPECT_EQ(set.frames[2].x_placement, 144 - 10);
    EXPECT_EQ(set.frames[2].y_placement, 8);
    // On screen an unturned frame's last row is 191 + drop.
    EXPECT_EQ(160 - set.frames[0].y_placement + 50 - 1, 191 + 5);
}

TEST(UnitAnimationSet, DropsAbove0x60CountAsZero) {
    const UnitAnimationSet set = build({{"A", 0, 2}}, {{2, 0, 0x70, 1, 0}, {2, 0, 0x60, 1, 0}, {2, 0, 0x61, 1, 0}});
    EXPECT_EQ(set.frames[0].y_placement, 0);
    EXPECT_EQ(set.frames[1].y_placement, -96);
    EXPECT_EQ(set.frames[2].y_placement, 0);
}

TEST(UnitAnimationSet, LeftOutAnimationsConsumeNoRecords) {
    const std::vector<AnimationBytes> animations = {
        {"REAPMOVE0", 0, 1}, {"REAPBLOOD1", 2, 3}, {std::string("REAPBL\0OOD", 10), 4, 4}, {"REAPFIRE0", 5, 6}};
    const std::vector<FrameBytes> frames = {{0, 0, 1}, {0, 0, 2}, {1, 0, 3}, {1, 0, 4}, {2, 0, 5}};
    const UnitAnimationSet reap = build(animations, frames, "REAP");
    EXPECT_EQ(reap.frames[0].y_placement, 8 - 1);
    EXPECT_EQ(reap.frames[1].y_placement, 8 - 2);
    // Frames 2 to 4 belong to left-out animations: nothing is filled.
    for (int f = 2; f <= 4; ++f) {
        EXPECT_EQ(reap.frames[f].picture_slot, 0) << f;
        EXPECT_EQ(reap.frames[f].x_placement, 0) << f;
        EXPECT_EQ(reap.frames[f].y_placement, 0) << f;
    }
    // FIRE reads the records the left-out animations would have used.
    EXPECT_EQ(reap.frames[5].picture_slot, 2);
    EXPECT_EQ(reap.frames[5].y_placement, 18 - 3);
    EXPECT_EQ(reap.frames[6].y_placement, 18 - 4);
    // Another unit's skip word does not occur: every animation takes records.
    const UnitAnimationSet other = build(animations, frames, "TANK");
    EXPECT_EQ(other.frames[2].y_placement, 18 - 3);
    EXPECT_EQ(other.frames[4].picture_slot, 4);
    EXPECT_EQ(other.frames[5].picture_slot, 0);  // no record was left for it
}

TEST(UnitAnimationSet, SkipWordsByUnit) {
    EXPECT_EQ(skip_word_for_unit("REAP"), "BLOOD");
    EXPECT_EQ(skip_word_for_unit("BARR"), "BLOOD");
    EXPECT_EQ(skip_word_for_unit("TRSC"), "SMOKEY");
    EXPECT_EQ(skip_word_for_unit("reap"), "DUPA");
    EXPECT_EQ(skip_word_for_unit(""), "DUPA");
    const UnitAnimationSet trsc = build({{"SMOKEY", 0, 0}, {"TRSCMOVE0", 1, 1}}, {{1, 0, 0}}, "TRSC");
    EXPECT_EQ(trsc.frames[0].picture_slot, 0);
    EXPECT_EQ(trsc.frames[1].picture_slot, 2);
}

TEST(UnitAnimationSet, OverlayRecordsArePassedOver) {
    // Frame 0, two overlays, then frame 1 from the fourth record.
    const UnitAnimationSet set =
        build({{"A", 0, 1}}, {{0, 0, 0, 1}, {2, 0, 0, 2}, {2, 0, 0, 7}, {1, 0, 0, 1}, {2, 0, 0, 0}});
    EXPECT_EQ(set.frames[0].picture_slot, 0);
    EXPECT_EQ(set.frames[1].picture_slot, 2);
}

TEST(UnitAnimationSet, AnOverlayThatIsTheLastRecordIsReadAsTheNextFrame) {
    // The viewer passes over a record only while another whole record
    // follows it (p + 22 below the size).
    const UnitAnimationSet set = build({{"A", 0, 1}}, {{0, 0, 0, 1}, {2, 0, 0, 2}});
    EXPECT_EQ(set.frames[0].picture_slot, 0);
    EXPECT_EQ(set.frames[1].picture_slot, 4);
}

TEST(UnitAnimationSet, BackwardRangesHaveNoFrames) {
    const UnitAnimationSet set = build({{"A", 5, 3}, {"B", 0, 0}}, {{1, 0, 0}});
    EXPECT_EQ(set.frames[0].picture_slot, 2);
    for (int f = 3; f <= 5; ++f) EXPECT_EQ(set.frames[f].picture_slot, 0);
}

TEST(UnitAnimationSet, StartsAtAnimation18) {
    const UnitAnimationSet few = build({{"A", 3, 4}}, {{0}, {0}});
    EXPECT_EQ(few.current_animation, 18);
    EXPECT_EQ(few.current_frame, 0);
    EXPECT_EQ(few.animation(18), nullptr);
    std::vector<AnimationBytes> many;
    for (int a = 0; a < 20; ++a) many.push_back({"N" + std::to_string(a), static_cast<std::uint16_t>(a * 2),
                                                 static_cast<std::uint16_t>(a * 2)});
    const UnitAnimationSet set = build(many, std::vector<FrameBytes>(20));
    EXPECT_EQ(set.current_animation, 18);
    EXPECT_EQ(set.current_frame, 36);
}

TEST(UnitAnimationSet, BlocksOneAndThreeAreSteppedOver) {
    const UnitAnimationSet set = build({{"A", 0, 0}}, {{2, 0, 1}}, "UNIT", 3, 7);
    EXPECT_EQ(set.animations[0].name, "A");
    EXPECT_EQ(set.frames[0].picture_slot, 4);
    EXPECT_EQ(set.frames[0].y_placement, -1);
}

TEST(UnitAnimationSet, SharedFrameNumbersTakeTheLastAnimationRead) {
    const UnitAnimationSet set = build({{"A", 0, 0}, {"B", 0, 0}}, {{0}, {1}});
    EXPECT_EQ(set.frames[0].picture_slot, 2);
}

TEST(UnitAnimationSet, SurplusIsIgnoredWithinTheSets) {
    // Frame numbers above 600 consume their records but are not stored.
    const UnitAnimationSet high = build({{"A", 599, 602}, {"B", 0, 0}}, {{0}, {1}, {2}, {2}, {1}});
    EXPECT_EQ(high.frames[599].picture_slot, 0);
    EXPECT_EQ(high.frames[600].picture_slot, 2);
    EXPECT_EQ(high.frames[0].picture_slot, 2);
    EXPECT_EQ(high.frame(601), nullptr);
    EXPECT_EQ(high.frame(-1), nullptr);
    // More than 101 animations: the first 101 are held.
    std::vector<AnimationBytes> many(130, AnimationBytes{"X", 65535, 65535});
    many[100] = {"LAST", 1, 1};
    const UnitAnimationSet set = build(many, {{1}});
    EXPECT_EQ(set.animations.size(), 101u);
    EXPECT_EQ(set.animation_count, 130);
    EXPECT_EQ(set.animations[100].name, "LAST");
    // Records that run past the end: the frames that exist are placed.
    // Later animations keep their names and ranges.
    const UnitAnimationSet cut = build({{"A", 0, 9}, {"B", 20, 21}}, {{1}, {1}, {1}});
    EXPECT_EQ(cut.frames[2].picture_slot, 2);
    EXPECT_EQ(cut.frames[3].picture_slot, 0);
    ASSERT_EQ(cut.animations.size(), 2u);
    EXPECT_EQ(cut.animations[1].name, "B");
    EXPECT_EQ(cut.animations[1].first_frame, 20);
    // A file cut inside the animation records, and an empty one.
    test::Bytes bytes = animation_file_bytes({{"A", 0, 0}, {"B", 1, 1}}, {{1}, {1}});
    bytes.resize(8 + 20 + 5);
    const UnitAnimationSet partial = build_unit_animation_set(bytes, "UNIT", sprites());
    EXPECT_LE(partial.animations.size(), 1u);
    const UnitAnimationSet empty = build_unit_animation_set({}, "UNIT", sprites());
    EXPECT_TRUE(empty.animations.empty());
    EXPECT_EQ(empty.current_frame, 0);
}

TEST(UnitAnimationSet, FramesOfImagesTheSetLacksArePlacedWithoutAPicture) {
    const UnitAnimationSet set = build({{"A", 0, 0}}, {{200, 0, 4}});
    EXPECT_EQ(set.frames[0].picture_slot, 400);
    EXPECT_EQ(set.frames[0].x_placement, 144);
    EXPECT_EQ(set.frames[0].y_placement, -32 - 4);
    EXPECT_EQ(sprites().picture(400), nullptr);
}

TEST(UnitAnimationSet, ClearEmptiesTheSet) {
    UnitAnimationSet set = build({{"A", 0, 0}}, {{1}}, "REAP");
    set.clear();
    EXPECT_TRUE(set.unit_name.empty());
    EXPECT_TRUE(set.animations.empty());
    EXPECT_EQ(set.animation_count, 0);
    EXPECT_EQ(set.frames[0].picture_slot, 0);
    EXPECT_EQ(set.current_animation, 0);
}

}  // namespace
}  // namespace quarnel
