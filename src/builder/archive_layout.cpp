#include "builder/archive_layout.h"

#include <utility>

#include "runtime/utility/byte_reader.h"

namespace quarnel {

namespace {

void store_u16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void store_u32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void store_palette_block(std::vector<std::uint8_t>& bytes, const Palette& palette) {
    const auto block = block_from_palette(palette);
    for (std::size_t i = 0; i < block.size(); ++i) bytes[palette_block_offset + i] = block[i];
}

}  // namespace

std::uint16_t tile_set_code(std::string_view folder_name) {
    if (folder_name == "desert") return desert_tile_set_code;
    if (folder_name == "jungle" || folder_name == "htrain" || folder_name == "special2" || folder_name == "trainh")
        return jungle_tile_set_code;
    return other_tile_set_code;
}

SpriteSetWriter::SpriteSetWriter(std::uint32_t picture_count, PixelStorage storage, const Palette& palette)
    : bytes_(archive_header_size + sprite_record_size * std::size_t{picture_count}, 0),
      picture_count_(picture_count),
      storage_(storage) {
    bytes_[0] = run_length_storage_byte;
    store_u16(bytes_, 2, picture_count);
    store_palette_block(bytes_, palette);
}

void SpriteSetWriter::add(std::uint32_t number, const CodedPicture& picture,
                          std::span<const std::uint8_t> coded_bytes) {
    if (number >= 1 && number <= picture_count_) {
        const std::size_t record = archive_header_size + sprite_record_size * (number - 1);
        store_u16(bytes_, record, picture.width);
        store_u16(bytes_, record + 2, picture.height);
        store_u16(bytes_, record + 4, picture.x_offset);
        store_u16(bytes_, record + 6, picture.y_offset);
    }
    if (storage_ == PixelStorage::raw) {
        bytes_[0] = raw_storage_byte;
    } else {
        bytes_[0] = run_length_storage_byte;
        put_u32le(bytes_, static_cast<std::uint32_t>(coded_bytes.size()));
    }
    bytes_.insert(bytes_.end(), coded_bytes.begin(), coded_bytes.end());
}

std::vector<std::uint8_t> SpriteSetWriter::finish() {
    // Data size: raw, the pixels of all pictures plus 12 per picture;
    // run-length, the token bytes of all pictures without their length
    // prefixes. Both come from the archive's size as a 32-bit count.
    const std::uint64_t after_header = bytes_.size() - archive_header_size;
    const std::uint64_t count = picture_count_;
    const std::uint64_t data_size =
        storage_ == PixelStorage::raw ? after_header + 4 * count : after_header - 12 * count;
    store_u32(bytes_, 4, static_cast<std::uint32_t>(data_size));
    return std::move(bytes_);
}

TileSetWriter::TileSetWriter(std::uint32_t tile_count, std::uint16_t code, const Palette& palette)
    : bytes_(archive_header_size, 0) {
    store_u16(bytes_, 0, code);
    store_u16(bytes_, 4, tile_count);
    store_palette_block(bytes_, palette);
}

void TileSetWriter::add(std::uint32_t tile_value, std::span<const std::uint8_t> coded_bytes) {
    put_u32le(bytes_, tile_value);
    bytes_.insert(bytes_.end(), coded_bytes.begin(), coded_bytes.end());
}

std::vector<std::uint8_t> TileSetWriter::finish() { return std::move(bytes_); }

}  // namespace quarnel
