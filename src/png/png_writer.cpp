#include "png/png_writer.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <span>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "png/rgba_order.h"
#include "runtime/platform/files.h"

namespace quarnel {

namespace {

constexpr std::uint8_t png_signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// Offsets within the file this writer produces: signature, the 25-byte IHDR
// chunk, then the IDAT length and type; the compressed data starts at 41.
constexpr std::size_t ihdr_chunk_at = 8;
constexpr std::size_t idat_chunk_at = 33;
constexpr std::size_t idat_data_at = 41;
// IDAT CRC (4) and the whole IEND chunk (12).
constexpr std::size_t tail_size = 16;

void store_u32be(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value >> 24);
    at[1] = static_cast<std::uint8_t>(value >> 16);
    at[2] = static_cast<std::uint8_t>(value >> 8);
    at[3] = static_cast<std::uint8_t>(value);
}

// CRC-32 of a chunk: its 4 type bytes followed by its data, which lie
// together in the file buffer.
std::uint32_t chunk_crc(const std::uint8_t* type_and_data, std::size_t count) {
    return static_cast<std::uint32_t>(crc32_z(0L, type_and_data, count));
}

// Filter byte 0 (None) and the pixels as R, G, B, A, for rows first_row to
// first_row + row_count - 1.
void fill_filtered_rows(const Image& image, const ImageLayout& layout, std::uint32_t first_row, std::uint32_t row_count,
                        std::uint8_t* filtered) {
    const std::size_t row_size = 1 + std::size_t{layout.width} * 4;
    for (std::uint32_t r = 0; r < row_count; ++r) {
        std::uint8_t* out = filtered + std::size_t{r} * row_size;
        out[0] = 0;
        copy_swapping_red_blue(image_row(image, layout, first_row + r), out + 1, layout.width);
    }
}

// Ends a deflate stream on every way out.
struct DeflateStream {
    z_stream stream{};
    bool open = false;
    DeflateStream() { open = deflateInit(&stream, Z_DEFAULT_COMPRESSION) == Z_OK; }
    ~DeflateStream() {
        if (open) deflateEnd(&stream);
    }
    DeflateStream(const DeflateStream&) = delete;
    DeflateStream& operator=(const DeflateStream&) = delete;
};

// Rows are filtered into a small staging block of about this many bytes
// (at least one row) and fed to deflate block by block.
constexpr std::size_t staging_bytes = 64 * 1024;

// Deflates the filtered rows of a picture into file, after data_at,
// growing the file as the stream needs; the number of compressed bytes, or
// nothing when zlib fails. The stream is the one zlib's compress makes at
// the default level: deflate's output does not depend on how its input is
// divided, so the whole filtered image never has to exist at once.
// fill(first_row, row_count, out) writes the filtered bytes of those rows
// (row_size bytes each, the filter byte first).
template <typename FillRows>
std::optional<std::size_t> deflate_rows(std::uint32_t height, std::size_t row_size, std::size_t data_at,
                                        FillRows&& fill, std::vector<std::uint8_t>& file) {
    const std::uint32_t rows_per_block =
        static_cast<std::uint32_t>(std::min<std::size_t>(height, std::max<std::size_t>(1, staging_bytes / row_size)));
    std::unique_ptr<std::uint8_t[]> staging(new std::uint8_t[row_size * rows_per_block]);

    DeflateStream deflater;
    if (!deflater.open) return std::nullopt;
    z_stream& zs = deflater.stream;
    std::size_t produced = 0;
    // Room for the compressed bytes: a guess from the filtered size, doubled
    // whenever deflate fills it.
    const std::size_t filtered_size = row_size * height;
    std::size_t capacity = std::min<std::size_t>(compressBound(static_cast<uLong>(filtered_size)), filtered_size / 8 + 4096);
    file.resize(data_at + capacity);

    for (std::uint32_t y = 0; y < height;) {
        const std::uint32_t count = std::min(rows_per_block, height - y);
        fill(y, count, staging.get());
        y += count;
        const int flush = y == height ? Z_FINISH : Z_NO_FLUSH;
        std::size_t block_left = std::size_t{count} * row_size;
        zs.next_in = staging.get();
        for (;;) {
            if (produced == capacity) {
                capacity *= 2;
                file.resize(data_at + capacity);
            }
            std::uint8_t* out_at = file.data() + data_at + produced;
            const std::size_t out_room = std::min<std::size_t>(capacity - produced, 0xFFFFFFFFu);
            const std::size_t in_now = std::min<std::size_t>(block_left, 0xFFFFFFFFu);
            zs.next_out = out_at;
            zs.avail_out = static_cast<uInt>(out_room);
            zs.avail_in = static_cast<uInt>(in_now);
            const int result = deflate(&zs, flush);
            if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) return std::nullopt;
            produced += out_room - zs.avail_out;
            block_left -= in_now - zs.avail_in;
            if (result == Z_STREAM_END) break;
            if (flush == Z_NO_FLUSH && block_left == 0 && zs.avail_out != 0) break;
        }
    }
    return produced;
}

}  // namespace

bool png_writable_size(std::uint64_t width, std::uint64_t height) {
    if (width == 0 || height == 0) return false;
    if (width > png_max_dimension || height > png_max_dimension) return false;
    const std::uint64_t row_size = 1 + width * 4;
    // The filtered size (filter bytes and pixels) is counted in size_t and
    // in zlib's uLong; keep it well clear of wrapping in either.
    const std::uint64_t limit = std::min<std::uint64_t>(SIZE_MAX, static_cast<uLong>(-1)) / 2;
    return row_size <= limit / height;
}

namespace {

// Writes one chunk (length, type, data, CRC) at out; returns the end.
std::uint8_t* store_chunk(std::uint8_t* out, const char (&type)[5], std::span<const std::uint8_t> data) {
    store_u32be(out, static_cast<std::uint32_t>(data.size()));
    std::memcpy(out + 4, type, 4);
    if (!data.empty()) std::memcpy(out + 8, data.data(), data.size());
    store_u32be(out + 8 + data.size(), chunk_crc(out + 4, 4 + data.size()));
    return out + 12 + data.size();
}

// The whole file: signature, IHDR, the chunks given (PLTE, tRNS), one IDAT
// of the rows that fill writes, IEND.
template <typename FillRows>
std::optional<std::vector<std::uint8_t>> encode_file(std::uint32_t width, std::uint32_t height, std::uint8_t colour_type,
                                                     std::size_t row_size, std::span<const std::uint8_t> palette,
                                                     std::span<const std::uint8_t> transparency, FillRows&& fill) {
    const std::size_t extra = (palette.empty() ? 0 : 12 + palette.size()) +
                              (transparency.empty() ? 0 : 12 + transparency.size());
    const std::size_t idat_at = idat_chunk_at + extra;
    const std::size_t data_at = idat_data_at + extra;
    try {
        std::vector<std::uint8_t> file;
        const auto compressed = deflate_rows(height, row_size, data_at, fill, file);
        // A chunk length is a 31-bit number; a longer stream cannot be one IDAT.
        if (!compressed || *compressed > png_max_chunk_length) return std::nullopt;
        const std::size_t data_size = *compressed;
        file.resize(data_at + data_size + tail_size);
        std::uint8_t* out = file.data();

        std::memcpy(out, png_signature, sizeof png_signature);
        std::uint8_t header[13];
        store_u32be(header, width);
        store_u32be(header + 4, height);
        header[8] = 8;             // bit depth
        header[9] = colour_type;   // 6 truecolour with alpha, 3 indexed
        header[10] = 0;            // compression method
        header[11] = 0;            // filter method
        header[12] = 0;            // interlace method: none
        std::uint8_t* at = store_chunk(out + ihdr_chunk_at, "IHDR", header);
        if (!palette.empty()) at = store_chunk(at, "PLTE", palette);
        if (!transparency.empty()) at = store_chunk(at, "tRNS", transparency);

        store_u32be(out + idat_at, static_cast<std::uint32_t>(data_size));
        std::memcpy(out + idat_at + 4, "IDAT", 4);
        std::uint8_t* tail = out + data_at + data_size;
        store_u32be(tail, chunk_crc(out + idat_at + 4, 4 + data_size));
        store_chunk(tail + 4, "IEND", {});
        return file;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

}  // namespace

std::optional<std::vector<std::uint8_t>> png_encode(const Image& image) {
    const auto layout = image_layout(image);
    if (!layout || layout->bytes_per_pixel != 4) return std::nullopt;
    if (!png_writable_size(layout->width, layout->height)) return std::nullopt;
    const ImageLayout rows = *layout;
    return encode_file(rows.width, rows.height, 6, 1 + std::size_t{rows.width} * 4, {}, {},
                       [&](std::uint32_t first_row, std::uint32_t row_count, std::uint8_t* out) {
                           fill_filtered_rows(image, rows, first_row, row_count, out);
                       });
}

namespace {

// PLTE of the 256 colours (0xAARRGGBB, alpha not written).
std::array<std::uint8_t, 768> palette_chunk_data(const std::array<std::uint32_t, 256>& colours) {
    std::array<std::uint8_t, 768> palette{};
    for (std::size_t i = 0; i < colours.size(); ++i) {
        palette[3 * i] = static_cast<std::uint8_t>(colours[i] >> 16);
        palette[3 * i + 1] = static_cast<std::uint8_t>(colours[i] >> 8);
        palette[3 * i + 2] = static_cast<std::uint8_t>(colours[i]);
    }
    return palette;
}

// tRNS of one entry: index 0 fully transparent, every other index opaque.
constexpr std::uint8_t zero_transparent[1] = {0};
std::span<const std::uint8_t> transparency_chunk_data(bool index_0_transparent) {
    return index_0_transparent ? std::span<const std::uint8_t>(zero_transparent) : std::span<const std::uint8_t>();
}

// Filter byte 0 (None) and the indices as they stand.
void fill_index_rows(const Image& image, const ImageLayout& rows, std::uint32_t first_row, std::uint32_t row_count,
                     std::uint8_t* out) {
    const std::size_t row_size = 1 + std::size_t{rows.width};
    for (std::uint32_t r = 0; r < row_count; ++r) {
        std::uint8_t* row = out + std::size_t{r} * row_size;
        row[0] = 0;
        std::memcpy(row + 1, image_row(image, rows, first_row + r), rows.width);
    }
}

}  // namespace

std::optional<std::vector<std::uint8_t>> png_encode_indexed(const Image& image, const std::array<std::uint32_t, 256>& colours,
                                                            bool index_0_transparent) {
    const auto layout = image_layout(image);
    if (!layout || layout->bytes_per_pixel != 1) return std::nullopt;
    if (!png_writable_size(layout->width, layout->height)) return std::nullopt;
    const std::array<std::uint8_t, 768> palette = palette_chunk_data(colours);
    const ImageLayout rows = *layout;
    const std::size_t row_size = 1 + std::size_t{rows.width};
    return encode_file(rows.width, rows.height, 3, row_size, palette, transparency_chunk_data(index_0_transparent),
                       [&](std::uint32_t first_row, std::uint32_t row_count, std::uint8_t* out) {
                           fill_index_rows(image, rows, first_row, row_count, out);
                       });
}

std::optional<std::vector<std::uint8_t>> png_encode_animated_indexed(std::uint32_t frame_count, const FrameSource& frame,
                                                                     const std::array<std::uint32_t, 256>& colours,
                                                                     bool index_0_transparent,
                                                                     const PngAnimationTiming& timing) {
    // Sequence numbers run over fcTL and fdAT chunks together, from 0; two
    // per frame, so the count must leave them within 31 bits.
    if (frame_count == 0 || frame_count > 0x3FFFFFFF || !frame) return std::nullopt;
    try {
        std::vector<std::uint8_t> file(png_signature, png_signature + sizeof png_signature);
        auto append_chunk = [&file](const char (&type)[5], std::span<const std::uint8_t> data) {
            const std::size_t at = file.size();
            file.resize(at + 12 + data.size());
            store_chunk(file.data() + at, type, data);
        };
        std::uint32_t width = 0, height = 0, sequence = 0;
        std::vector<std::uint8_t> compressed, with_sequence;
        for (std::uint32_t i = 0; i < frame_count; ++i) {
            const Image* picture = frame(i);
            if (!picture) return std::nullopt;
            const auto layout = image_layout(*picture);
            if (!layout || layout->bytes_per_pixel != 1) return std::nullopt;
            if (i == 0) {
                if (!png_writable_size(layout->width, layout->height)) return std::nullopt;
                width = layout->width;
                height = layout->height;
                std::uint8_t header[13];
                store_u32be(header, width);
                store_u32be(header + 4, height);
                header[8] = 8;   // bit depth
                header[9] = 3;   // indexed colour
                header[10] = header[11] = header[12] = 0;
                append_chunk("IHDR", header);
                std::uint8_t control[8];
                store_u32be(control, frame_count);
                store_u32be(control + 4, timing.plays);
                append_chunk("acTL", control);
                append_chunk("PLTE", palette_chunk_data(colours));
                if (index_0_transparent) append_chunk("tRNS", transparency_chunk_data(true));
            } else if (layout->width != width || layout->height != height) {
                return std::nullopt;
            }
            // The frame's control: the whole canvas, its delay, nothing
            // disposed and its pixels (transparent ones too) replacing the
            // canvas.
            std::uint8_t control[26]{};
            store_u32be(control, sequence++);
            store_u32be(control + 4, width);
            store_u32be(control + 8, height);
            control[20] = static_cast<std::uint8_t>(timing.delay_numerator >> 8);
            control[21] = static_cast<std::uint8_t>(timing.delay_numerator);
            control[22] = static_cast<std::uint8_t>(timing.delay_denominator >> 8);
            control[23] = static_cast<std::uint8_t>(timing.delay_denominator);
            control[24] = 0;  // dispose: none
            control[25] = 0;  // blend: source
            append_chunk("fcTL", control);

            const ImageLayout rows = *layout;
            compressed.clear();
            const auto size = deflate_rows(rows.height, 1 + std::size_t{rows.width}, 0,
                                           [&](std::uint32_t first_row, std::uint32_t row_count, std::uint8_t* out) {
                                               fill_index_rows(*picture, rows, first_row, row_count, out);
                                           },
                                           compressed);
            if (!size || *size > png_max_chunk_length - 4) return std::nullopt;
            compressed.resize(*size);
            if (i == 0) {
                append_chunk("IDAT", compressed);
            } else {
                // fdAT: the sequence number, then the frame's zlib stream.
                with_sequence.resize(4 + compressed.size());
                store_u32be(with_sequence.data(), sequence++);
                std::memcpy(with_sequence.data() + 4, compressed.data(), compressed.size());
                append_chunk("fdAT", with_sequence);
            }
        }
        append_chunk("IEND", {});
        return file;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

int png_save(std::string_view file_name, const Image* image) {
    if (file_name.empty() || !image) return 1;
    // The whole file is made in memory first, so a refused image leaves no
    // file behind and an existing one untouched.
    const auto file = png_encode(*image);
    if (!file) return 1;
    return write_whole_file(file_name, std::span<const std::uint8_t>(*file)) ? 0 : 1;
}

int png_save_indexed(std::string_view file_name, const Image* image, const std::array<std::uint32_t, 256>& colours,
                     bool index_0_transparent) {
    if (file_name.empty() || !image) return 1;
    const auto file = png_encode_indexed(*image, colours, index_0_transparent);
    if (!file) return 1;
    return write_whole_file(file_name, std::span<const std::uint8_t>(*file)) ? 0 : 1;
}

}  // namespace quarnel
