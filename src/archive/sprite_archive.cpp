#include "archive/sprite_archive.h"

#include <algorithm>

#include "runtime/utility/byte_reader.h"

namespace quarnel {

namespace {

std::span<const std::uint8_t> palette_block_of(std::span<const std::uint8_t> data) {
    if (data.size() <= palette_block_offset) return {};
    return data.subspan(palette_block_offset, std::min(palette_block_size, data.size() - palette_block_offset));
}

// Places a raw image of width x height at pos: its end is cut to the data.
// False when the image needs bytes and none of them is in the file.
bool place_raw(std::span<const std::uint8_t> data, std::size_t pos, ArchiveImage& image) {
    image.start = pos;
    image.pixels = pos;
    const std::uint64_t need = pixel_count(image);
    if (need == 0) {
        // An empty image placed past the end of the data stands at the end.
        image.start = std::min(pos, data.size());
        image.pixels = image.start;
        image.end = image.start;
        return true;
    }
    if (pos >= data.size()) return false;
    const std::uint64_t left = data.size() - pos;
    image.cut_short = need > left;
    image.end = pos + static_cast<std::size_t>(std::min(need, left));
    return true;
}

// Places a run-length coded image at pos (its u32 length prefix first); the
// end is where its tokens end, found by walking them.
bool place_run_length(std::span<const std::uint8_t> data, std::size_t pos, ArchiveImage& image) {
    image.start = pos;
    if (pos >= data.size() || data.size() - pos < run_length_prefix_size) return false;
    image.pixels = pos + run_length_prefix_size;
    const RunLengthDecode walked =
        decode_run_length(data, image.pixels, image.width, image.height, [](std::uint32_t, std::uint32_t, std::uint8_t) {});
    image.end = walked.next_offset;
    image.cut_short = walked.data_ended;
    return true;
}

// The records of a .trs / raw set are read; now the images are laid end to
// end from data_start.
void place_raw_images(std::span<const std::uint8_t> data, RawImageSet& set) {
    std::size_t pos = set.data_start;
    for (std::size_t i = 0; i < set.images.size(); ++i) {
        if (!place_raw(data, pos, set.images[i])) {
            set.images.resize(i);
            set.data_ended = true;
            return;
        }
        if (set.images[i].cut_short) set.data_ended = true;
        pos = set.images[i].end;
        if (set.images[i].cut_short) {
            // Nothing follows an image the file ends inside.
            set.images.resize(i + 1);
            return;
        }
    }
}

}  // namespace

SpriteSet parse_sprite_set(std::span<const std::uint8_t> data) {
    SpriteSet set;
    ByteReader in(data);
    set.storage = in.u8();
    set.second_byte = in.u8();
    set.image_count = in.u16le();
    set.data_size = in.u32le();
    set.run_length_coded = set.storage != raw_storage_byte;
    set.palette_block = palette_block_of(data);
    set.data_start = archive_header_size + sprite_record_size * set.image_count;

    in.seek(archive_header_size);
    set.images.reserve(set.image_count);
    for (std::uint32_t i = 0; i < set.image_count; ++i) {
        if (!in.has(sprite_record_size)) {
            set.data_ended = true;
            break;
        }
        ArchiveImage image;
        image.width = in.u16le();
        image.height = in.u16le();
        image.x_offset = in.u16le();
        image.y_offset = in.u16le();
        set.images.push_back(image);
    }

    std::size_t pos = set.data_start;
    for (std::size_t i = 0; i < set.images.size(); ++i) {
        ArchiveImage& image = set.images[i];
        const bool present = set.run_length_coded ? place_run_length(data, pos, image) : place_raw(data, pos, image);
        if (!present) {
            set.images.resize(i);
            set.data_ended = true;
            break;
        }
        pos = image.end;
        if (image.cut_short) {
            set.data_ended = true;
            set.images.resize(i + 1);
            break;
        }
    }
    return set;
}

TileSet parse_tile_set(std::span<const std::uint8_t> data) {
    TileSet set;
    ByteReader in(data);
    set.tile_set_code = in.u16le();
    in.u16le();
    set.tile_count = in.u16le();
    set.palette_block = palette_block_of(data);

    std::size_t pos = archive_header_size;
    for (std::uint32_t i = 0; i < set.tile_count; ++i) {
        if (pos >= data.size()) {
            set.data_ended = true;
            break;
        }
        ArchiveImage tile;
        tile.width = tile_side;
        tile.height = tile_side;
        tile.start = pos;
        ByteReader value(data, pos);
        tile.tile_value = value.u32le();  // a value cut by the end reads as 0
        tile.pixels = std::min(pos + tile_value_size, data.size());
        const std::size_t left = data.size() - pos;
        tile.cut_short = left < tile_stride;
        tile.end = pos + std::min(left, tile_stride);
        set.tiles.push_back(tile);
        pos = tile.end;
        if (tile.cut_short) {
            set.data_ended = true;
            break;
        }
    }
    return set;
}

RawImageSet parse_raw_image_set(std::span<const std::uint8_t> data) {
    RawImageSet set;
    ByteReader in(data, container_count_offset);
    set.image_count = in.u16le();
    set.data_start = container_header_size + trs_record_size * set.image_count;
    in.seek(container_header_size);
    for (std::uint32_t i = 0; i < set.image_count; ++i) {
        if (!in.has(trs_record_size)) {
            set.data_ended = true;
            break;
        }
        in.skip(4);
        ArchiveImage image;
        image.width = in.u16le();
        image.height = in.u16le();
        in.skip(8);
        set.images.push_back(image);
    }
    const bool records_cut = set.data_ended;
    place_raw_images(data, set);
    set.data_ended = set.data_ended || records_cut;
    return set;
}

RawImageSet parse_raw_data(std::span<const std::uint8_t> data, std::uint32_t count, std::uint32_t width,
                           std::uint32_t height) {
    RawImageSet set;
    set.image_count = count;
    set.data_start = 0;
    const std::uint64_t image_bytes = std::uint64_t{width} * height;
    if (image_bytes == 0) return set;
    // No more images than the data can start.
    const std::uint64_t fit = (data.size() + image_bytes - 1) / image_bytes;
    const std::uint64_t listed = std::min<std::uint64_t>(count, fit);
    set.images.resize(static_cast<std::size_t>(listed));
    for (auto& image : set.images) {
        image.width = width;
        image.height = height;
    }
    place_raw_images(data, set);
    if (listed < count) set.data_ended = true;
    return set;
}

std::string item_name_from_record(std::span<const std::uint8_t> name_bytes) {
    std::string name;
    bool seen_dot = false;
    for (std::size_t j = 0; j < name_bytes.size() && j < trc_name_size; ++j) {
        const std::uint8_t c = name_bytes[j];
        if (c == 0 && seen_dot) break;
        if (c == '.') seen_dot = true;
        const bool kept = (c >= '0' && c <= '9') || (c >= 0x41 && c <= 0x7A) || c == ' ' || c == '.';
        if (kept) name.push_back(static_cast<char>(c));
    }
    return name;
}

ItemKind item_kind(std::string_view name) {
    if (name.size() < 4) return ItemKind::data;
    std::string ext(name.substr(name.size() - 4));
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (ext == ".scr") return ItemKind::screen_picture;
    if (ext == ".spr") return ItemKind::sprite_picture;
    return ItemKind::data;
}

std::string name_before_dot(std::string_view name) {
    const auto dot = name.find('.');
    return std::string(dot == std::string_view::npos ? name : name.substr(0, dot));
}

ItemContainer parse_item_container(std::span<const std::uint8_t> data, bool named) {
    ItemContainer container;
    const std::size_t record_size = named ? trc_record_size : trw_record_size;
    ByteReader in(data, container_count_offset);
    container.item_count = in.u16le();
    container.data_start = container_header_size + record_size * container.item_count;

    in.seek(container_header_size);
    for (std::uint32_t i = 1; i <= container.item_count; ++i) {
        if (!in.has(record_size)) {
            container.data_ended = true;
            break;
        }
        const std::span<const std::uint8_t> record = in.bytes(record_size);
        ContainerItem item;
        const std::size_t size_at = named ? 20 : 4;
        item.size = static_cast<std::uint32_t>(record[size_at]) | (static_cast<std::uint32_t>(record[size_at + 1]) << 8) |
                    (static_cast<std::uint32_t>(record[size_at + 2]) << 16);
        if (named) {
            item.name = item_name_from_record(record.first(trc_name_size));
            item.kind = item_kind(item.name);
        } else {
            item.name = std::to_string(i);
            item.kind = ItemKind::data;  // numbered items are never pictures
        }
        container.items.push_back(std::move(item));
    }

    // Pictures take what their size needs, whatever their record says.
    std::size_t pos = container.data_start;
    for (std::size_t i = 0; i < container.items.size(); ++i) {
        ContainerItem& item = container.items[i];
        ArchiveImage& place = item.place;
        bool present = true;
        switch (item.kind) {
        case ItemKind::screen_picture:
            place.width = screen_picture_width;
            place.height = screen_picture_height;
            present = place_raw(data, pos, place);
            break;
        case ItemKind::sprite_picture: {
            if (pos >= data.size()) {
                present = false;
                break;
            }
            ByteReader head(data, pos);
            place.width = head.u16le();
            place.height = head.u16le();
            if (data.size() - pos < item_sprite_head_size) {
                place.start = pos;
                place.pixels = data.size();
                place.end = data.size();
                place.cut_short = true;
                break;
            }
            if (!place_raw(data, pos + item_sprite_head_size, place)) {
                // The head is there but none of the pixels.
                place.pixels = data.size();
                place.end = data.size();
                place.cut_short = true;
            }
            place.start = pos;
            break;
        }
        case ItemKind::data:
            place.width = item.size;
            place.height = item.size == 0 ? 0 : 1;
            present = place_raw(data, pos, place);
            break;
        }
        if (!present) {
            container.items.resize(i);
            container.data_ended = true;
            break;
        }
        pos = place.end;
        if (place.cut_short) {
            container.data_ended = true;
            container.items.resize(i + 1);
            break;
        }
    }
    return container;
}

IndexedPicture decode_picture(std::span<const std::uint8_t> data, PixelStorage storage, const ArchiveImage& image) {
    IndexedPicture picture;
    const std::uint64_t count = pixel_count(image);
    if (count == 0 || count > picture_pixel_limit) return picture;
    picture.width = image.width;
    picture.height = image.height;
    picture.indices.assign(static_cast<std::size_t>(count), 0);
    picture.opaque.assign(static_cast<std::size_t>(count), 0);
    decode_image(data, storage, image, [&](std::uint32_t x, std::uint32_t y, std::uint8_t index) {
        const std::size_t at = std::size_t{y} * picture.width + x;
        picture.indices[at] = index;
        picture.opaque[at] = 1;
    });
    return picture;
}

}  // namespace quarnel
