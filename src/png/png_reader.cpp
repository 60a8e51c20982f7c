#include "png/png_reader.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "png/rgba_order.h"
#include "runtime/platform/files.h"
#include "runtime/utility/byte_reader.h"

namespace quarnel {

namespace {

constexpr std::uint8_t png_signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
// Signature, IHDR chunk (25 bytes), the smallest IDAT chunk (12) and IEND (12)
// come to 57; a file of fewer than 49 bytes cannot hold the three chunks.
constexpr std::size_t png_min_file_size = 49;
// The decoded picture may take at most this much memory (4 bytes a pixel).
constexpr std::uint64_t png_max_pixel_bytes = std::uint64_t{256} << 20;
// Deflate cannot produce more than 258 bytes from two bits of code; a stream
// of n bytes therefore inflates to at most about 1032 n bytes. Anything that
// would need more cannot be complete and is refused before memory is taken.
constexpr std::uint64_t deflate_max_ratio = 1100;
constexpr std::uint64_t deflate_max_slack = 4096;

constexpr std::uint32_t chunk_type(const char (&name)[5]) {
    return (static_cast<std::uint32_t>(static_cast<std::uint8_t>(name[0])) << 24) |
           (static_cast<std::uint32_t>(static_cast<std::uint8_t>(name[1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<std::uint8_t>(name[2])) << 8) |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(name[3]));
}
constexpr std::uint32_t type_ihdr = chunk_type("IHDR");
constexpr std::uint32_t type_plte = chunk_type("PLTE");
constexpr std::uint32_t type_idat = chunk_type("IDAT");
constexpr std::uint32_t type_iend = chunk_type("IEND");
constexpr std::uint32_t type_trns = chunk_type("tRNS");

struct ChunkRecord {
    std::uint32_t length = 0;
    std::uint32_t type = 0;
    const std::uint8_t* data = nullptr;  // inside the file buffer
    std::uint32_t crc = 0;
};

// One Adam7 pass: where its first pixel is and how far apart its pixels are.
struct Pass {
    std::uint32_t start_column;
    std::uint32_t column_step;
    std::uint32_t start_row;
    std::uint32_t row_step;
};
constexpr std::array<Pass, 7> adam7_passes = {{
    {0, 8, 0, 8}, {4, 8, 0, 8}, {0, 4, 4, 8}, {2, 4, 0, 4}, {0, 2, 2, 4}, {1, 2, 0, 2}, {0, 1, 1, 2},
}};
constexpr Pass whole_image_pass = {0, 1, 0, 1};

std::uint32_t pass_columns(const Pass& pass, std::uint32_t width) {
    if (pass.start_column >= width) return 0;
    return static_cast<std::uint32_t>((std::uint64_t{width} + pass.column_step - pass.start_column - 1) / pass.column_step);
}

std::uint32_t pass_rows(const Pass& pass, std::uint32_t height) {
    if (pass.start_row >= height) return 0;
    return static_cast<std::uint32_t>((std::uint64_t{height} + pass.row_step - pass.start_row - 1) / pass.row_step);
}

struct png_decoder_state {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint8_t bit_depth = 0;
    std::uint8_t colour_type = 0;
    std::uint8_t compression_method = 0;
    std::uint8_t filter_method = 0;
    std::uint8_t interlace_method = 0;

    std::array<std::array<std::uint8_t, 3>, 256> palette{};
    std::uint32_t palette_entries = 0;

    std::span<const std::uint8_t> idat_data;         // the compressed stream
    std::vector<std::uint8_t> idat_concatenation;    // when it spans several chunks
    std::unique_ptr<std::uint8_t[]> image_data;      // the inflated rows
    std::size_t image_data_size = 0;

    bool transparency_present = false;
    std::array<std::uint8_t, 256> palette_alpha{};
    std::uint16_t grey_key = 0;
    std::uint16_t red_key = 0;
    std::uint16_t green_key = 0;
    std::uint16_t blue_key = 0;

    std::span<const std::uint8_t> file_data;
    std::uint32_t filter_bytes_per_pixel = 0;
    std::vector<ChunkRecord> chunks;
    bool ready = false;

    std::uint32_t channels() const {
        switch (colour_type) {
        case 2: return 3;
        case 4: return 2;
        case 6: return 4;
        default: return 1;
        }
    }
    // Bytes of one row of n pixels, without its filter-type byte.
    std::uint64_t row_bytes(std::uint32_t n) const {
        return (std::uint64_t{n} * bit_depth * channels() + 7) / 8;
    }
    const ChunkRecord* first_chunk(std::uint32_t type) const {
        for (const auto& chunk : chunks)
            if (chunk.type == type) return &chunk;
        return nullptr;
    }
};

// Splits the file into chunks, each checked against its CRC. The file must
// consist of whole chunks after the signature, the last one IEND.
bool read_chunk_list(png_decoder_state& state) {
    ByteReader reader(state.file_data, sizeof png_signature);
    while (reader.remaining() > 0) {
        if (!reader.has(8)) return false;
        ChunkRecord chunk;
        chunk.length = reader.u32be();
        const std::uint8_t* type_at = state.file_data.data() + reader.position();
        chunk.type = reader.u32be();
        if (!reader.has(std::size_t{chunk.length} + 4)) return false;
        chunk.data = state.file_data.data() + reader.position();
        reader.skip(chunk.length);
        chunk.crc = reader.u32be();
        const auto computed = static_cast<std::uint32_t>(crc32_z(0L, type_at, std::size_t{chunk.length} + 4));
        if (computed != chunk.crc) return false;
        state.chunks.push_back(chunk);
    }
    return state.chunks.size() >= 3 && state.chunks.back().type == type_iend;
}

bool valid_depth_for_colour_type(std::uint8_t colour_type, std::uint8_t depth) {
    switch (colour_type) {
    case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6: return depth == 8 || depth == 16;
    default: return false;
    }
}

bool read_header(png_decoder_state& state) {
    const ChunkRecord& first = state.chunks.front();
    if (first.type != type_ihdr || first.length != 13) return false;
    ByteReader reader(std::span<const std::uint8_t>(first.data, first.length));
    state.width = reader.u32be();
    state.height = reader.u32be();
    state.bit_depth = reader.u8();
    state.colour_type = reader.u8();
    state.compression_method = reader.u8();
    state.filter_method = reader.u8();
    state.interlace_method = reader.u8();
    if (state.width == 0 || state.height == 0) return false;
    if (!valid_depth_for_colour_type(state.colour_type, state.bit_depth)) return false;
    if (state.compression_method != 0 || state.filter_method != 0) return false;
    if (state.interlace_method > 1) return false;
    // The picture's memory is checked before any is taken.
    return std::uint64_t{state.width} * state.height * 4 <= png_max_pixel_bytes;
}

bool read_palette(png_decoder_state& state) {
    if (state.colour_type != 3) return true;
    const ChunkRecord* plte = state.first_chunk(type_plte);
    if (!plte) return false;
    // Whole entries only; a remainder of one or two bytes is ignored.
    const std::uint32_t entries = plte->length / 3;
    if (entries > 256) return false;
    for (std::uint32_t i = 0; i < entries; ++i)
        for (std::uint32_t c = 0; c < 3; ++c) state.palette[i][c] = plte->data[i * 3 + c];
    state.palette_entries = entries;
    return true;
}

bool read_transparency(png_decoder_state& state) {
    const ChunkRecord* trns = state.first_chunk(type_trns);
    if (!trns) return true;
    ByteReader reader(std::span<const std::uint8_t>(trns->data, trns->length));
    switch (state.colour_type) {
    case 0:
        if (trns->length != 2) return false;
        state.grey_key = reader.u16be();
        break;
    case 2:
        if (trns->length != 6) return false;
        state.red_key = reader.u16be();
        state.green_key = reader.u16be();
        state.blue_key = reader.u16be();
        break;
    case 3:
        if (trns->length > 256) return false;
        for (std::uint32_t i = 0; i < 256; ++i) state.palette_alpha[i] = i < trns->length ? trns->data[i] : 255;
        break;
    default:
        return false;  // grey and truecolour with alpha carry their own alpha
    }
    state.transparency_present = true;
    return true;
}

std::uint64_t expected_raw_size(const png_decoder_state& state) {
    if (state.interlace_method == 0) return std::uint64_t{state.height} * (1 + state.row_bytes(state.width));
    std::uint64_t total = 0;
    for (const Pass& pass : adam7_passes) {
        const std::uint32_t columns = pass_columns(pass, state.width);
        if (columns == 0) continue;
        total += std::uint64_t{pass_rows(pass, state.height)} * (1 + state.row_bytes(columns));
    }
    return total;
}

bool collect_image_data(png_decoder_state& state) {
    std::uint64_t total = 0;
    std::size_t idat_count = 0;
    const ChunkRecord* single = nullptr;
    for (const auto& chunk : state.chunks) {
        if (chunk.type != type_idat) continue;
        total += chunk.length;
        ++idat_count;
        single = &chunk;
    }
    if (total == 0) return false;
    if (idat_count == 1) {
        // One chunk needs no copy: inflate straight from the file buffer.
        state.idat_data = std::span<const std::uint8_t>(single->data, single->length);
        return true;
    }
    state.idat_concatenation.reserve(static_cast<std::size_t>(total));
    for (const auto& chunk : state.chunks)
        if (chunk.type == type_idat) state.idat_concatenation.insert(state.idat_concatenation.end(), chunk.data, chunk.data + chunk.length);
    state.idat_data = state.idat_concatenation;
    return true;
}

// Inflates into a buffer one byte larger than the rows need, so that a
// stream that yields even one byte too many is seen and refused.
bool inflate_image_data(png_decoder_state& state) {
    const std::uint64_t expected = expected_raw_size(state);
    if (expected > std::uint64_t{state.idat_data.size()} * deflate_max_ratio + deflate_max_slack) return false;
    const std::size_t capacity = static_cast<std::size_t>(expected) + 1;
    state.image_data.reset(new std::uint8_t[capacity]);
    uLongf produced = static_cast<uLongf>(capacity);
    const int result = uncompress(state.image_data.get(), &produced, state.idat_data.data(),
                                  static_cast<uLong>(state.idat_data.size()));
    state.idat_concatenation = {};
    state.idat_data = {};
    if (result != Z_OK || produced != expected) return false;
    state.image_data_size = static_cast<std::size_t>(expected);
    return true;
}

// The standard's Paeth predictor; ties go to left, then up, then upper-left.
inline std::uint8_t paeth_predictor(int left, int up, int upper_left) {
    const int estimate = left + up - upper_left;
    const int to_left = estimate > left ? estimate - left : left - estimate;
    const int to_up = estimate > up ? estimate - up : up - estimate;
    const int to_upper_left = estimate > upper_left ? estimate - upper_left : upper_left - estimate;
    if (to_left <= to_up && to_left <= to_upper_left) return static_cast<std::uint8_t>(left);
    if (to_up <= to_upper_left) return static_cast<std::uint8_t>(up);
    return static_cast<std::uint8_t>(upper_left);
}

// Undoes one row's filter in place. previous is the row above in the same
// pass, or nothing for the pass's first row (then "up" bytes count as 0).
bool unfilter_row(std::uint8_t filter_type, std::uint8_t* row, const std::uint8_t* previous, std::size_t count,
                  std::size_t bpp) {
    switch (filter_type) {
    case 0:
        return true;
    case 1:
        for (std::size_t i = bpp; i < count; ++i) row[i] = static_cast<std::uint8_t>(row[i] + row[i - bpp]);
        return true;
    case 2:
        if (previous)
            for (std::size_t i = 0; i < count; ++i) row[i] = static_cast<std::uint8_t>(row[i] + previous[i]);
        return true;
    case 3:
        if (previous) {
            for (std::size_t i = 0; i < bpp && i < count; ++i) row[i] = static_cast<std::uint8_t>(row[i] + previous[i] / 2);
            for (std::size_t i = bpp; i < count; ++i)
                row[i] = static_cast<std::uint8_t>(row[i] + ((row[i - bpp] + previous[i]) >> 1));
        } else {
            for (std::size_t i = bpp; i < count; ++i) row[i] = static_cast<std::uint8_t>(row[i] + row[i - bpp] / 2);
        }
        return true;
    case 4:
        if (previous) {
            for (std::size_t i = 0; i < bpp && i < count; ++i) row[i] = static_cast<std::uint8_t>(row[i] + previous[i]);
            for (std::size_t i = bpp; i < count; ++i)
                row[i] = static_cast<std::uint8_t>(row[i] + paeth_predictor(row[i - bpp], previous[i], previous[i - bpp]));
        } else {
            // With nothing above, Paeth always picks the left byte.
            for (std::size_t i = bpp; i < count; ++i) row[i] = static_cast<std::uint8_t>(row[i] + row[i - bpp]);
        }
        return true;
    default:
        return false;
    }
}

inline void store_pixel(std::uint8_t* at, std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t alpha) {
    at[0] = blue;
    at[1] = green;
    at[2] = red;
    at[3] = alpha;
}

inline std::uint16_t sample16(const std::uint8_t* at) { return static_cast<std::uint16_t>((at[0] << 8) | at[1]); }

// Converts one unfiltered row of `columns` pixels to 0xAARRGGBB, storing
// pixel k at out + k * out_step (bytes).
void convert_row(const png_decoder_state& state, const std::uint8_t* row, std::uint32_t columns, std::uint8_t* out,
                 std::size_t out_step) {
    const bool keyed = state.transparency_present;
    const std::uint32_t depth = state.bit_depth;
    switch (state.colour_type) {
    case 0:
        if (depth == 16) {
            for (std::uint32_t k = 0; k < columns; ++k, out += out_step) {
                const std::uint8_t* s = row + std::size_t{k} * 2;
                const std::uint8_t alpha = keyed && sample16(s) == state.grey_key ? 0 : 255;
                store_pixel(out, s[0], s[0], s[0], alpha);
            }
        } else {
            // Samples packed most significant first; grey scaled by 255 / (2^depth - 1).
            const std::uint32_t mask = (1u << depth) - 1;
            const std::uint32_t factor = 255 / mask;
            for (std::uint32_t k = 0; k < columns; ++k, out += out_step) {
                const std::size_t bit = std::size_t{k} * depth;
                const std::uint32_t sample = (row[bit / 8] >> (8 - depth - bit % 8)) & mask;
                const auto grey = static_cast<std::uint8_t>(sample * factor);
                const std::uint8_t alpha = keyed && sample == state.grey_key ? 0 : 255;
                store_pixel(out, grey, grey, grey, alpha);
            }
        }
        break;
    case 2:
        if (depth == 16) {
            for (std::uint32_t k = 0; k < columns; ++k, out += out_step) {
                const std::uint8_t* s = row + std::size_t{k} * 6;
                const bool hidden = keyed && sample16(s) == state.red_key && sample16(s + 2) == state.green_key &&
                                    sample16(s + 4) == state.blue_key;
                store_pixel(out, s[0], s[2], s[4], hidden ? 0 : 255);
            }
        } else {
            for (std::uint32_t k = 0; k < columns; ++k, out += out_step) {
                const std::uint8_t* s = row + std::size_t{k} * 3;
                const bool hidden = keyed && s[0] == state.red_key && s[1] == state.green_key && s[2] == state.blue_key;
                store_pixel(out, s[0], s[1], s[2], hidden ? 0 : 255);
            }
        }
        break;
    case 3: {
        const std::uint32_t mask = (1u << depth) - 1;
        for (std::uint32_t k = 0; k < columns; ++k, out += out_step) {
            const std::size_t bit = std::size_t{k} * depth;
            const std::uint32_t index = (row[bit / 8] >> (8 - depth - bit % 8)) & mask;
            const std::uint8_t alpha = keyed ? state.palette_alpha[index] : 255;
            if (index < state.palette_entries) {
                const auto& entry = state.palette[index];
                store_pixel(out, entry[0], entry[1], entry[2], alpha);
            } else {
                store_pixel(out, 0, 0, 0, alpha);  // an index past the palette is black
            }
        }
        break;
    }
    case 4: {
        const std::size_t sample_size = depth / 8;
        for (std::uint32_t k = 0; k < columns; ++k, out += out_step) {
            const std::uint8_t* s = row + std::size_t{k} * 2 * sample_size;
            store_pixel(out, s[0], s[0], s[0], s[sample_size]);
        }
        break;
    }
    case 6: {
        if (depth == 8 && out_step == 4) {
            copy_swapping_red_blue(row, out, columns);  // the common case, whole rows at once
            break;
        }
        const std::size_t sample_size = depth / 8;
        for (std::uint32_t k = 0; k < columns; ++k, out += out_step) {
            const std::uint8_t* s = row + std::size_t{k} * 4 * sample_size;
            store_pixel(out, s[0], s[sample_size], s[2 * sample_size], s[3 * sample_size]);
        }
        break;
    }
    default:
        break;
    }
}

ImagePtr produce_image(png_decoder_state& state, PngIndices* indices) {
    if (!state.ready) return nullptr;
    ImagePtr image = new_image_buffer(state.width, state.height, 4);
    if (!image) return nullptr;
    const auto layout = image_layout(*image);
    if (!layout) return nullptr;

    const Pass* passes = state.interlace_method == 1 ? adam7_passes.data() : &whole_image_pass;
    const std::size_t pass_count = state.interlace_method == 1 ? adam7_passes.size() : 1;
    std::uint8_t* data = state.image_data.get();
    std::size_t offset = 0;
    for (std::size_t p = 0; p < pass_count; ++p) {
        const Pass& pass = passes[p];
        const std::uint32_t columns = pass_columns(pass, state.width);
        const std::uint32_t rows = pass_rows(pass, state.height);
        if (columns == 0 || rows == 0) continue;
        const auto count = static_cast<std::size_t>(state.row_bytes(columns));
        const std::uint8_t* previous = nullptr;
        for (std::uint32_t r = 0; r < rows; ++r) {
            // The expected size was checked after inflation; stay inside it anyway.
            if (state.image_data_size - offset < count + 1) return nullptr;
            const std::uint8_t filter_type = data[offset];
            std::uint8_t* row = data + offset + 1;
            if (!unfilter_row(filter_type, row, previous, count, state.filter_bytes_per_pixel)) return nullptr;
            const std::uint32_t y = pass.start_row + r * pass.row_step;
            std::uint8_t* out = image_row(*image, *layout, y) + std::size_t{pass.start_column} * 4;
            convert_row(state, row, columns, out, std::size_t{pass.column_step} * 4);
            if (indices) {
                std::uint8_t* kept = indices->indices.data() + std::size_t{y} * state.width + pass.start_column;
                for (std::uint32_t k = 0; k < columns; ++k) kept[std::size_t{k} * pass.column_step] = row[k];
            }
            previous = row;
            offset += count + 1;
        }
    }
    return image;
}

}  // namespace

ImagePtr png_decode(std::span<const std::uint8_t> file_bytes, PngIndices* indices) {
    if (indices) *indices = PngIndices{};
    try {
        png_decoder_state state;
        state.file_data = file_bytes;
        if (file_bytes.size() < png_min_file_size) return nullptr;
        if (std::memcmp(file_bytes.data(), png_signature, sizeof png_signature) != 0) return nullptr;
        if (!read_chunk_list(state)) return nullptr;
        if (!read_header(state)) return nullptr;
        // Palette and transparency are cheap to check; do it before inflating.
        if (!read_palette(state)) return nullptr;
        if (!read_transparency(state)) return nullptr;
        if (!collect_image_data(state)) return nullptr;
        if (!inflate_image_data(state)) return nullptr;
        state.filter_bytes_per_pixel = std::max<std::uint32_t>(1, state.bit_depth / 8u) * state.channels();
        state.ready = true;
        // The indices themselves are kept only for 8-bit indexed files.
        const bool keep = indices && state.colour_type == 3 && state.bit_depth == 8;
        if (keep) {
            indices->indices.assign(std::size_t{state.width} * state.height, 0);
            indices->palette_entries = state.palette_entries;
            for (std::uint32_t i = 0; i < 256; ++i) {
                const auto& entry = state.palette[i];
                const std::uint8_t alpha = state.transparency_present ? state.palette_alpha[i] : 255;
                indices->colours[i] = (std::uint32_t{alpha} << 24) | (std::uint32_t{entry[0]} << 16) |
                                      (std::uint32_t{entry[1]} << 8) | entry[2];
            }
        }
        ImagePtr image = produce_image(state, keep ? indices : nullptr);
        if (keep) {
            if (image) {
                indices->width = state.width;
                indices->height = state.height;
            } else {
                *indices = PngIndices{};
            }
        }
        return image;
    } catch (const std::bad_alloc&) {
        if (indices) *indices = PngIndices{};
        return nullptr;
    }
}

ImagePtr png_decode(std::span<const std::uint8_t> file_bytes) { return png_decode(file_bytes, nullptr); }

ImagePtr png_load(std::string_view file_name) {
    if (file_name.empty()) return nullptr;
    const auto file = read_whole_file(file_name);
    if (!file || file->empty()) return nullptr;
    return png_decode(*file);
}

}  // namespace quarnel
