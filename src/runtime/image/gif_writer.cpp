#include "runtime/image/gif_writer.h"

#include <algorithm>
#include <new>

#include "runtime/utility/byte_reader.h"

namespace quarnel {

namespace {

constexpr std::uint32_t clear_code = 256;
constexpr std::uint32_t end_code = 257;
constexpr std::uint32_t first_free_code = 258;
constexpr std::uint32_t code_limit = 4096;  // codes are at most 12 bits
constexpr std::uint32_t first_code_size = 9;

// Codes packed least significant bit first.
class BitPacker {
public:
    explicit BitPacker(std::vector<std::uint8_t>& out) : out_(out) {}
    void put(std::uint32_t code, std::uint32_t size) {
        bits_ |= std::uint64_t{code} << count_;
        count_ += size;
        while (count_ >= 8) {
            out_.push_back(static_cast<std::uint8_t>(bits_));
            bits_ >>= 8;
            count_ -= 8;
        }
    }
    void flush() {
        if (count_ > 0) out_.push_back(static_cast<std::uint8_t>(bits_));
        bits_ = 0;
        count_ = 0;
    }

private:
    std::vector<std::uint8_t>& out_;
    std::uint64_t bits_ = 0;
    std::uint32_t count_ = 0;
};

// The string table: code of (prefix code, next index), by open addressing.
class StringTable {
public:
    StringTable() : keys_(slots, 0), codes_(slots, 0) {}
    void clear() { std::fill(keys_.begin(), keys_.end(), 0u); }
    // The code of prefix + index, or 0 when the table lacks it (no string
    // of two or more indices has a code below 258).
    std::uint32_t find(std::uint32_t prefix, std::uint8_t index) const {
        const std::uint32_t key = (prefix << 8 | index) + 1;
        for (std::uint32_t slot = hash(key);; slot = (slot + 1) & (slots - 1)) {
            if (keys_[slot] == 0) return 0;
            if (keys_[slot] == key) return codes_[slot];
        }
    }
    void add(std::uint32_t prefix, std::uint8_t index, std::uint32_t code) {
        const std::uint32_t key = (prefix << 8 | index) + 1;
        std::uint32_t slot = hash(key);
        while (keys_[slot] != 0) slot = (slot + 1) & (slots - 1);
        keys_[slot] = key;
        codes_[slot] = static_cast<std::uint16_t>(code);
    }

private:
    // Four times the codes a table holds, so that probes stay short.
    static constexpr std::uint32_t slots = 16384;
    static std::uint32_t hash(std::uint32_t key) { return (key * 2654435761u) >> 18; }
    std::vector<std::uint32_t> keys_;
    std::vector<std::uint16_t> codes_;
};

}  // namespace

std::vector<std::uint8_t> gif_lzw_code(const std::vector<std::uint8_t>& indices) {
    std::vector<std::uint8_t> packed;
    BitPacker bits(packed);
    StringTable table;
    std::uint32_t code_size = first_code_size;
    std::uint32_t next_code = first_free_code;
    bits.put(clear_code, code_size);
    if (!indices.empty()) {
        std::uint32_t prefix = indices[0];
        for (std::size_t i = 1; i < indices.size(); ++i) {
            const std::uint8_t index = indices[i];
            if (const std::uint32_t known = table.find(prefix, index); known != 0) {
                prefix = known;
                continue;
            }
            bits.put(prefix, code_size);
            if (next_code < code_limit) {
                table.add(prefix, index, next_code);
                ++next_code;
                // The reader adds its entry one code later than the writer,
                // so it widens its codes once the table holds one more code
                // than the current width can name.
                if (next_code > (1u << code_size) && code_size < 12) ++code_size;
            } else {
                // The table is full: start again.
                bits.put(clear_code, code_size);
                table.clear();
                code_size = first_code_size;
                next_code = first_free_code;
            }
            prefix = index;
        }
        bits.put(prefix, code_size);
        // The reader adds an entry for this last code too before it reads
        // the end code, and may widen its codes for it.
        if (next_code < code_limit) {
            ++next_code;
            if (next_code > (1u << code_size) && code_size < 12) ++code_size;
        }
    }
    bits.put(end_code, code_size);
    bits.flush();
    return packed;
}

std::optional<std::vector<std::uint8_t>> gif_encode_animation(std::uint32_t frame_count, const FrameSource& frame,
                                                              const std::array<std::uint32_t, 256>& colours,
                                                              bool index_0_transparent, const GifAnimationTiming& timing) {
    if (frame_count == 0 || !frame) return std::nullopt;
    try {
        std::vector<std::uint8_t> out;
        std::vector<std::uint8_t> indices;
        std::uint32_t width = 0, height = 0;
        for (std::uint32_t i = 0; i < frame_count; ++i) {
            const Image* picture = frame(i);
            if (!picture) return std::nullopt;
            const auto layout = image_layout(*picture);
            if (!layout || layout->bytes_per_pixel != 1) return std::nullopt;
            if (i == 0) {
                width = layout->width;
                height = layout->height;
                if (width == 0 || height == 0 || width > gif_max_dimension || height > gif_max_dimension)
                    return std::nullopt;
                const char signature[] = "GIF89a";
                out.insert(out.end(), signature, signature + 6);
                // Logical screen: its size, a global table of 256 colours
                // (flag, 8 bits of colour resolution, size 2^(7+1)),
                // background index 0, square pixels.
                put_u16le(out, static_cast<std::uint16_t>(width));
                put_u16le(out, static_cast<std::uint16_t>(height));
                out.push_back(0xF7);
                out.push_back(0);
                out.push_back(0);
                for (const std::uint32_t colour : colours) {
                    out.push_back(static_cast<std::uint8_t>(colour >> 16));
                    out.push_back(static_cast<std::uint8_t>(colour >> 8));
                    out.push_back(static_cast<std::uint8_t>(colour));
                }
                // The looping extension: NETSCAPE2.0, sub-block 1 with the count.
                const std::uint8_t looping[] = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0',
                                                0x03, 0x01};
                out.insert(out.end(), looping, looping + sizeof looping);
                put_u16le(out, timing.loops);
                out.push_back(0);
            } else if (layout->width != width || layout->height != height) {
                return std::nullopt;
            }
            // Graphic control: disposal 2 (the frame's area is cleared to
            // the background before the next) with the transparent flag,
            // the delay, the transparent index.
            const std::uint8_t control[] = {0x21, 0xF9, 0x04,
                                            static_cast<std::uint8_t>((2u << 2) | (index_0_transparent ? 1u : 0u)),
                                            static_cast<std::uint8_t>(timing.delay_hundredths),
                                            static_cast<std::uint8_t>(timing.delay_hundredths >> 8), 0, 0};
            out.insert(out.end(), control, control + sizeof control);
            // Image descriptor: at (0, 0), the whole canvas, no local table.
            out.push_back(0x2C);
            put_u16le(out, 0);
            put_u16le(out, 0);
            put_u16le(out, static_cast<std::uint16_t>(width));
            put_u16le(out, static_cast<std::uint16_t>(height));
            out.push_back(0);
            indices.resize(std::size_t{width} * height);
            for (std::uint32_t y = 0; y < height; ++y) {
                const std::uint8_t* row = image_row(*picture, *layout, y);
                std::copy(row, row + width, indices.begin() + static_cast<std::ptrdiff_t>(std::size_t{y} * width));
            }
            const std::vector<std::uint8_t> coded = gif_lzw_code(indices);
            out.push_back(8);  // minimum code size
            for (std::size_t at = 0; at < coded.size(); at += 255) {
                const std::size_t count = std::min<std::size_t>(255, coded.size() - at);
                out.push_back(static_cast<std::uint8_t>(count));
                out.insert(out.end(), coded.begin() + static_cast<std::ptrdiff_t>(at),
                           coded.begin() + static_cast<std::ptrdiff_t>(at + count));
            }
            out.push_back(0);
        }
        out.push_back(0x3B);  // trailer
        return out;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

}  // namespace quarnel
