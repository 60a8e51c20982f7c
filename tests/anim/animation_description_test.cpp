#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "anim/animation_description.h"
#include "anim/fin_maker.h"

using namespace quarnel;
using namespace quarnel::test;

namespace {

std::vector<std::uint8_t> bytes_of(const std::string& s) { return std::vector<std::uint8_t>(s.begin(), s.end()); }

DescriptionReading skipping(std::string word) {
    DescriptionReading reading;
    reading.is_left_out = [word](const AnimationRecord& r) { return stored_name_contains(r, word); };
    return reading;
}

FinRecord frame(std::string archive, std::uint8_t image, std::uint8_t turned = 0, std::uint8_t kind = 0) {
    FinRecord r;
    r.archive = std::move(archive);
    r.image = image;
    r.turned = turned;
    r.kind = kind;
    return r;
}

}  // namespace

TEST(AnimationDescriptionLayout, BlockPositionsFollowTheCounts) {
    AnimationHeader header;
    header.block_1_count = 2;
    header.animation_count = 3;
    header.block_3_count = 10;
    EXPECT_EQ(header.animation_records_start(), 24u);
    EXPECT_EQ(header.block_3_start(), 84u);
    EXPECT_EQ(header.frame_records_start(), 1724u);
    EXPECT_EQ(header.block_3_record_position(5), 84u + 164u * 5u);

    // The largest counts stay exact in 64 bits.
    header.block_1_count = 255;
    header.animation_count = 65535;
    header.block_3_count = 65535;
    EXPECT_EQ(header.frame_records_start(), 8u + 8u * 255u + 20u * 65535u + 164u * 65535u);
    EXPECT_EQ(header.block_3_record_position(65535), 8u + 8u * 255u + 20u * 65535u + 164u * 65535u);
}

TEST(AnimationDescriptionLayout, FieldsAreReadFromTheirOffsets) {
    FinFile fin;
    fin.block_1_count = 1;
    fin.block_3_count = 2;
    fin.animations = {{std::string("MOVE\0\0" "12", 8), 3, 4}};
    FinRecord first = frame("AB\0D", 7, 1, 1);
    first.archive = std::string("AB\0D", 4);
    first.horizontal_reference = 0x33;
    first.vertical_drop = 0x70;
    fin.records = {first, fin_overlay("OVER", 255, 9), frame("CCCC", 0)};
    const auto data = bytes_of(make_fin(fin));

    const AnimationDescription d = read_animation_description(data);
    EXPECT_FALSE(d.ended_early());
    EXPECT_EQ(d.header.block_1_count, 1);
    EXPECT_EQ(d.header.block_3_count, 2);
    EXPECT_EQ(d.header.animation_count, 1);
    ASSERT_EQ(d.animations.size(), 1u);
    const Animation& a = d.animations[0];
    EXPECT_EQ(a.record.position, 16u);
    EXPECT_EQ(a.record.name, std::string("MOVE\0\0" "12\0\0\0\0", 12));
    EXPECT_EQ(a.record.name_without_zero_bytes(), "MOVE12");
    EXPECT_EQ(a.record.first_frame, 3);
    EXPECT_EQ(a.record.last_frame, 4);
    ASSERT_EQ(a.frames.size(), 2u);

    const std::uint64_t frames_start = 8 + 8 + 20 + 2 * 164;
    const AnimationFrame& f3 = a.frames[0];
    EXPECT_EQ(f3.frame_number, 3);
    EXPECT_EQ(f3.record.position, frames_start);
    EXPECT_EQ(f3.record.archive_name, std::string("AB\0D", 4));
    EXPECT_EQ(f3.record.image_number, 7);
    EXPECT_EQ(f3.record.horizontal_reference, 0x33);
    EXPECT_EQ(f3.record.vertical_drop, 0x70);
    EXPECT_EQ(f3.record.record_kind, 1);
    EXPECT_TRUE(f3.record.turned());
    ASSERT_EQ(f3.overlays.size(), 1u);
    EXPECT_EQ(f3.overlays[0].archive_name, "OVER");
    EXPECT_EQ(f3.overlays[0].image_number, 255);
    EXPECT_EQ(f3.overlays[0].record_kind, 9);
    EXPECT_EQ(f3.overlays[0].position, frames_start + 22);

    const AnimationFrame& f4 = a.frames[1];
    EXPECT_EQ(f4.frame_number, 4);
    EXPECT_EQ(f4.record.position, frames_start + 44);
    EXPECT_FALSE(f4.record.turned());
    EXPECT_TRUE(f4.overlays.empty());
    EXPECT_EQ(d.frame_records_end, frames_start + 66);
    EXPECT_EQ(d.frame_records_end, data.size());
}

TEST(AnimationDescriptionWalk, LeftOutAndEmptyAnimationsConsumeNoRecords) {
    FinFile fin;
    fin.animations = {
        {"WALK", 0, 1},
        {"BLOODY", 2, 5},   // left out
        {"EMPTY", 9, 8},    // last below first
        {"DIE", 6, 6},
    };
    fin.records = {frame("AAAA", 0), frame("AAAA", 1), fin_overlay("BBBB", 1), fin_overlay("CCCC", 2),
                   frame("DDDD", 3, 0, 1)};
    const auto data = bytes_of(make_fin(fin));
    const AnimationDescription d = read_animation_description(data, skipping("BLOOD"));
    ASSERT_FALSE(d.ended_early());
    ASSERT_EQ(d.animations.size(), 4u);
    EXPECT_FALSE(d.animations[0].left_out);
    EXPECT_TRUE(d.animations[1].left_out);
    EXPECT_TRUE(d.animations[1].frames.empty());
    EXPECT_FALSE(d.animations[2].left_out);
    EXPECT_TRUE(d.animations[2].frames.empty());
    EXPECT_EQ(d.animations[2].record.frame_count(), 0u);
    ASSERT_EQ(d.animations[0].frames.size(), 2u);
    EXPECT_EQ(d.animations[0].frames[1].overlays.size(), 2u);
    ASSERT_EQ(d.animations[3].frames.size(), 1u);
    // DIE takes the record right after the two overlays: the left-out
    // animation's frames did not move the position.
    EXPECT_EQ(d.animations[3].frames[0].record.archive_name, "DDDD");
    EXPECT_EQ(d.animations[3].frames[0].record.position, 8u + 4u * 20u + 4u * 22u);
    EXPECT_EQ(d.frame_records_end, data.size());
}

TEST(AnimationDescriptionWalk, EmptySkipWordLeavesNothingOutAndZeroBytesCountInStoredNames) {
    AnimationRecord record;
    record.name = std::string("BLO\0OD\0\0\0\0\0\0", 12);
    EXPECT_FALSE(stored_name_contains(record, ""));
    EXPECT_FALSE(stored_name_contains(record, "BLOOD"));
    EXPECT_TRUE(stored_name_contains(record, "BLO"));
    EXPECT_EQ(record.name_without_zero_bytes(), "BLOOD");
}

TEST(AnimationDescriptionWalk, ViewerOverlayScanStopsBeforeTheLastRecord) {
    FinFile fin;
    fin.animations = {{"RUN", 0, 1}};
    fin.records = {frame("AAAA", 0), fin_overlay("BBBB", 1)};
    const auto data = bytes_of(make_fin(fin));

    // Read to the end: the overlay belongs to frame 0 and frame 1 has no record.
    const AnimationDescription whole = read_animation_description(data);
    EXPECT_EQ(whole.end, DescriptionEnd::in_frame);
    ASSERT_EQ(whole.animations[0].frames.size(), 1u);
    EXPECT_EQ(whole.animations[0].frames[0].overlays.size(), 1u);

    // The viewer's way: the last record is not taken as an overlay, so it
    // becomes frame 1.
    DescriptionReading viewer;
    viewer.overlay_scan = OverlayScan::before_last_record;
    const AnimationDescription seen = read_animation_description(data, viewer);
    EXPECT_FALSE(seen.ended_early());
    ASSERT_EQ(seen.animations[0].frames.size(), 2u);
    EXPECT_TRUE(seen.animations[0].frames[0].overlays.empty());
    EXPECT_EQ(seen.animations[0].frames[1].record.archive_name, "BBBB");
}

TEST(AnimationDescriptionWalk, ShortDataSaysWhereItEnded) {
    FinFile fin;
    fin.block_3_count = 1;
    fin.animations = {{"A", 0, 0}, {"B", 1, 1}};
    fin.records = {frame("AAAA", 0), fin_overlay("OOOO", 1), frame("BBBB", 2)};
    const std::string whole = make_fin(fin);
    const std::size_t animations_at = 8, frames_at = 8 + 40 + 164;

    auto read_cut = [&](std::size_t length) {
        const auto data = bytes_of(whole.substr(0, length));
        return read_animation_description(data);
    };
    EXPECT_EQ(read_cut(0).end, DescriptionEnd::in_header);
    EXPECT_EQ(read_cut(7).end, DescriptionEnd::in_header);
    EXPECT_EQ(read_cut(8).end, DescriptionEnd::in_animations);
    EXPECT_EQ(read_cut(animations_at + 19).end, DescriptionEnd::in_animations);
    EXPECT_TRUE(read_cut(animations_at + 19).animations.empty());
    // Animation A is whole but its frame lies beyond the data.
    EXPECT_EQ(read_cut(animations_at + 39).end, DescriptionEnd::in_frame);
    EXPECT_EQ(read_cut(animations_at + 39).animations.size(), 1u);
    EXPECT_EQ(read_cut(animations_at + 40).end, DescriptionEnd::in_frame);
    EXPECT_EQ(read_cut(frames_at + 21).end, DescriptionEnd::in_frame);
    EXPECT_EQ(read_cut(frames_at + 21).frame_records_end, frames_at);
    // Frame 0 whole; the overlay cut before its kind byte is not known to be one.
    EXPECT_EQ(read_cut(frames_at + 22 + 18).end, DescriptionEnd::in_frame);
    // Its kind byte is there and says overlay.
    const AnimationDescription cut_overlay = read_cut(frames_at + 22 + 19);
    EXPECT_EQ(cut_overlay.end, DescriptionEnd::in_overlay);
    EXPECT_EQ(cut_overlay.frame_records_end, frames_at + 22);
    EXPECT_EQ(read_cut(frames_at + 44 + 21).end, DescriptionEnd::in_frame);
    const AnimationDescription complete = read_cut(whole.size());
    EXPECT_EQ(complete.end, DescriptionEnd::complete);
    EXPECT_EQ(complete.frame_records_end, whole.size());

    // Every length: never past the data, and the position never beyond it.
    for (std::size_t length = 0; length <= whole.size(); ++length) {
        const AnimationDescription d = read_cut(length);
        if (length >= 8) {
            EXPECT_LE(d.frame_records_end, std::max<std::uint64_t>(length, frames_at)) << length;
        }
        EXPECT_EQ(d.end == DescriptionEnd::complete, length == whole.size()) << length;
    }
}

TEST(AnimationDescriptionWalk, HeaderPromisingHugeCountsOnTinyData) {
    std::string data_text = "\0\0\xFF\xFF\xFF\xFF\xFF\0";
    data_text.assign("\0\0\xFF\xFF\xFF\xFF\xFF\0", 8);
    data_text += std::string(20, 'X');  // one animation record of 65535
    const auto data = bytes_of(data_text);
    const AnimationDescription d = read_animation_description(data);
    EXPECT_EQ(d.end, DescriptionEnd::in_animations);
    EXPECT_TRUE(d.animations.empty());  // record 0 lies at 8 + 8 * 255, beyond the data
}
