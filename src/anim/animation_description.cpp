// Reading the animation description through the bounded byte reader.
#include "anim/animation_description.h"

#include "runtime/utility/text.h"

namespace quarnel {

std::uint64_t AnimationHeader::animation_records_start() const {
    return animation_header_size + block_1_record_size * std::uint64_t{block_1_count};
}

std::uint64_t AnimationHeader::block_3_start() const {
    return animation_records_start() + animation_record_size * std::uint64_t{animation_count};
}

std::uint64_t AnimationHeader::frame_records_start() const {
    return block_3_start() + block_3_record_size * std::uint64_t{block_3_count};
}

std::uint64_t AnimationHeader::block_3_record_position(std::uint64_t k) const {
    return block_3_start() + block_3_record_size * k;
}

std::string AnimationRecord::name_without_zero_bytes() const {
    std::string out;
    for (char c : name)
        if (c != '\0') out.push_back(c);
    return out;
}

std::uint32_t AnimationRecord::frame_count() const {
    return has_frames() ? std::uint32_t{last_frame} - std::uint32_t{first_frame} + 1 : 0;
}

bool stored_name_contains(const AnimationRecord& record, std::string_view word) {
    return text_find(1, record.name, word) != 0;
}

AnimationHeader read_animation_header(ByteReader& reader) {
    AnimationHeader header;
    if (!reader.has(animation_header_size)) {
        reader.skip(animation_header_size);  // marks the reader as ended
        return header;
    }
    reader.skip(2);  // not interpreted
    header.block_3_count = reader.u16le();
    header.animation_count = reader.u16le();
    header.block_1_count = reader.u8();
    reader.skip(1);  // not interpreted
    return header;
}

AnimationRecord read_animation_record(ByteReader& reader) {
    AnimationRecord record;
    record.position = reader.position();
    if (!reader.has(animation_record_size)) {
        reader.skip(animation_record_size);
        return record;
    }
    record.name = reader.text(animation_name_size);
    reader.skip(4);  // not interpreted
    record.first_frame = reader.u16le();
    record.last_frame = reader.u16le();
    return record;
}

FrameRecord read_frame_record(ByteReader& reader) {
    FrameRecord record;
    record.position = reader.position();
    if (!reader.has(frame_record_size)) {
        reader.skip(frame_record_size);
        return record;
    }
    record.archive_name = reader.text(archive_name_size);
    reader.skip(4);  // not interpreted
    record.image_number = reader.u8();
    reader.skip(1);
    record.horizontal_reference = reader.u8();
    reader.skip(1);
    record.vertical_drop = reader.u8();
    reader.skip(5);
    record.record_kind = reader.u8();
    reader.skip(1);
    record.turning_flag = reader.u8();
    reader.skip(1);
    return record;
}

namespace {

// What follows a frame at position p.
enum class NextRecord { overlay, not_overlay, cut_overlay };

NextRecord look_at_next_record(std::span<const std::uint8_t> data, std::uint64_t p, OverlayScan scan) {
    const std::uint64_t size = data.size();
    if (p >= size) return NextRecord::not_overlay;
    const std::uint64_t left = size - p;
    ByteReader kind_reader(data, static_cast<std::size_t>(p));
    kind_reader.skip(frame_field::record_kind);
    const std::uint8_t kind = kind_reader.u8();
    const bool kind_present = !kind_reader.ended();
    if (scan == OverlayScan::before_last_record) {
        // Only a whole record with data after it may be an overlay.
        return (left > frame_record_size && kind >= 2) ? NextRecord::overlay : NextRecord::not_overlay;
    }
    if (!kind_present || kind < 2) return NextRecord::not_overlay;
    return left >= frame_record_size ? NextRecord::overlay : NextRecord::cut_overlay;
}

}  // namespace

AnimationDescription read_animation_description(std::span<const std::uint8_t> data,
                                                const DescriptionReading& reading) {
    AnimationDescription description;
    description.data_size = data.size();

    ByteReader reader(data);
    description.header = read_animation_header(reader);
    if (reader.ended()) {
        // Nothing known: the walk would start where an all-zero header puts
        // the frame records.
        description.end = DescriptionEnd::in_header;
        description.header = AnimationHeader{};
        description.frame_records_end = description.header.frame_records_start();
        return description;
    }
    const AnimationHeader& header = description.header;
    std::uint64_t p = header.frame_records_start();
    description.frame_records_end = p;

    for (std::uint32_t i = 0; i < header.animation_count; ++i) {
        reader.seek(static_cast<std::size_t>(header.animation_records_start() + animation_record_size * i));
        Animation animation;
        animation.index = i;
        animation.record = read_animation_record(reader);
        if (reader.ended()) {
            description.end = DescriptionEnd::in_animations;
            return description;
        }
        animation.left_out = reading.is_left_out && reading.is_left_out(animation.record);
        description.animations.push_back(std::move(animation));
        Animation& current = description.animations.back();
        if (current.left_out || !current.record.has_frames()) continue;

        for (std::uint32_t k = current.record.first_frame; k <= current.record.last_frame; ++k) {
            ByteReader frame_reader(data);
            frame_reader.seek(static_cast<std::size_t>(p));
            AnimationFrame frame;
            frame.frame_number = static_cast<std::uint16_t>(k);
            frame.record = read_frame_record(frame_reader);
            if (frame_reader.ended()) {
                description.end = DescriptionEnd::in_frame;
                return description;
            }
            p += frame_record_size;
            description.frame_records_end = p;
            // A frame keeps its overlays even when the data ends inside
            // one of them: what was read is reported.
            current.frames.push_back(std::move(frame));
            AnimationFrame& stored = current.frames.back();
            for (;;) {
                const NextRecord next = look_at_next_record(data, p, reading.overlay_scan);
                if (next == NextRecord::not_overlay) break;
                if (next == NextRecord::cut_overlay) {
                    description.end = DescriptionEnd::in_overlay;
                    return description;
                }
                frame_reader.seek(static_cast<std::size_t>(p));
                stored.overlays.push_back(read_frame_record(frame_reader));
                p += frame_record_size;
                description.frame_records_end = p;
            }
        }
    }
    return description;
}

}  // namespace quarnel
