// The animation description (.fin): a unit's animations, the frames of each
// and, per frame, the sprite archive and image it shows.
//
// Layout (little-endian, offsets from the start of the file):
//
//   header, 8 bytes:
//     +0 u16  not interpreted
//     +2 u16  block 3 count     (164-byte records of block 3)
//     +4 u16  animation count   (20-byte animation records of block 2)
//     +6 u8   block 1 count     (8-byte records of block 1)
//     +7 u8   not interpreted
//   block 1           at 8,                                 8 bytes a record
//   block 2           at 8 + 8*b1,                          20 bytes a record (animations)
//   block 3           at 8 + 8*b1 + 20*anims,               164 bytes a record
//   frame records     at 8 + 8*b1 + 20*anims + 164*b3,      22 bytes a record
//
//   animation record, 20 bytes:
//     +0  12 bytes  name, padded with zero bytes
//     +12 4 bytes   not interpreted
//     +16 u16       first frame number
//     +18 u16       last frame number (inclusive; below the first means no frames)
//
//   frame record, 22 bytes:
//     +0  4 bytes   source sprite archive name (file name less ".spr")
//     +4  4 bytes   not interpreted
//     +8  u8        image number in that archive, from 0
//     +9  u8        not interpreted
//     +10 u8        horizontal reference (placement of turned frames)
//     +11 u8        not interpreted
//     +12 u8        vertical drop
//     +13 5 bytes   not interpreted
//     +18 u8        record kind: 0 or 1 starts a frame, 2 or more is an
//                   overlay of the frame before it
//     +19 u8        not interpreted
//     +20 u8        turning flag: 1 shows the picture turned (mirrored)
//     +21 u8        not interpreted
//
// Frame records are consumed in order: each frame of each animation (in
// animation order, first to last frame number) takes one record of kind 0
// or 1 and every directly following record of kind 2 or more. A left-out
// animation takes no records at all. Frame number k also names record k of
// block 3.
//
// Reading never goes past the data: when a record the walk needs is not
// there in full, reading stops and the description says where it ended.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/utility/byte_reader.h"

namespace quarnel {

inline constexpr std::size_t animation_header_size = 8;
inline constexpr std::size_t block_1_record_size = 8;
inline constexpr std::size_t animation_record_size = 20;
inline constexpr std::size_t block_3_record_size = 164;
inline constexpr std::size_t frame_record_size = 22;
inline constexpr std::size_t animation_name_size = 12;
inline constexpr std::size_t archive_name_size = 4;

// Offsets of the fields the program reads within their records.
namespace frame_field {
inline constexpr std::size_t archive_name = 0;
inline constexpr std::size_t image_number = 8;
inline constexpr std::size_t horizontal_reference = 10;
inline constexpr std::size_t vertical_drop = 12;
inline constexpr std::size_t record_kind = 18;
inline constexpr std::size_t turning_flag = 20;
}  // namespace frame_field

struct AnimationHeader {
    std::uint16_t block_3_count = 0;
    std::uint16_t animation_count = 0;
    std::uint8_t block_1_count = 0;

    std::uint64_t animation_records_start() const;
    std::uint64_t block_3_start() const;
    std::uint64_t frame_records_start() const;
    // Position of record k of block 3 (frame number k names it).
    std::uint64_t block_3_record_position(std::uint64_t k) const;
};

struct AnimationRecord {
    std::uint64_t position = 0;   // offset of the record in the file
    std::string name;             // the 12 name bytes as stored, zero bytes included
    std::uint16_t first_frame = 0;
    std::uint16_t last_frame = 0;

    // The name with every zero byte dropped (a zero byte does not end it):
    // M O V E 0 0 1 2 0 0 0 0 reads as MOVE12.
    std::string name_without_zero_bytes() const;
    bool has_frames() const { return last_frame >= first_frame; }
    // Number of frame numbers first..last (0 when last is below first).
    std::uint32_t frame_count() const;
};

struct FrameRecord {
    std::uint64_t position = 0;   // offset of the record in the file
    std::string archive_name;     // 4 bytes in file order
    std::uint8_t image_number = 0;
    std::uint8_t horizontal_reference = 0;
    std::uint8_t vertical_drop = 0;
    std::uint8_t record_kind = 0;
    std::uint8_t turning_flag = 0;

    bool is_overlay() const { return record_kind >= 2; }
    bool turned() const { return turning_flag == 1; }
};

// One frame of an animation: its starting record and its overlays.
struct AnimationFrame {
    std::uint16_t frame_number = 0;
    FrameRecord record;
    std::vector<FrameRecord> overlays;
};

struct Animation {
    std::uint32_t index = 0;
    AnimationRecord record;
    bool left_out = false;
    // The frames read; empty for a left-out animation. Shorter than the
    // range when the data ended inside this animation.
    std::vector<AnimationFrame> frames;
};

// Where the data ran out, if it did.
enum class DescriptionEnd : std::uint8_t {
    complete,          // every record the walk needed was there
    in_header,         // fewer than 8 bytes
    in_animations,     // an animation record is cut short or missing
    in_frame,          // a frame's starting record is cut short or missing
    in_overlay,        // a record of overlay kind is cut short
};

struct AnimationDescription {
    std::uint64_t data_size = 0;
    AnimationHeader header;
    // Every animation whose record was read, in file order. When the data
    // ended inside the frames, the last one holds the frames read so far.
    std::vector<Animation> animations;
    // Offset just past the last frame record consumed.
    std::uint64_t frame_records_end = 0;
    DescriptionEnd end = DescriptionEnd::complete;

    bool ended_early() const { return end != DescriptionEnd::complete; }
};

// How the overlay records after a frame are recognised at the very end of
// the data.
enum class OverlayScan : std::uint8_t {
    // Every following record of kind 2 or more is an overlay; a record cut
    // short whose kind byte is there and says overlay ends the data early.
    to_end_of_data,
    // A following record counts only while it is not the last whole record
    // of the data (p + 22 below the size); the map viewer reads this way.
    before_last_record,
};

struct DescriptionReading {
    // Decides whether an animation is left out; none leaves nothing out.
    std::function<bool(const AnimationRecord&)> is_left_out;
    OverlayScan overlay_scan = OverlayScan::to_end_of_data;
};

// True when word occurs in the 12 stored name bytes (zero bytes included);
// an empty word occurs nowhere.
bool stored_name_contains(const AnimationRecord& record, std::string_view word);

// The header; reader left past it (ended when the data is shorter).
AnimationHeader read_animation_header(ByteReader& reader);
// The record at the reader's position; the reader is marked ended when it
// is not there in full.
AnimationRecord read_animation_record(ByteReader& reader);
FrameRecord read_frame_record(ByteReader& reader);

// Walks the whole description: header, animation records and the frame
// records that the animations consume.
AnimationDescription read_animation_description(std::span<const std::uint8_t> data,
                                                const DescriptionReading& reading = {});

}  // namespace quarnel
