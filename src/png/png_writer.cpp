#include "png/png_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "png/rgba_order.h"
#include "runtime/files.h"

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

// Deflates the filtered rows of the image into file, after idat_data_at,
// growing the file as the stream needs; the number of compressed bytes, or
// nothing when zlib fails. The stream is the one zlib's compress makes at
// the default level: deflate's output does not depend on how its input is
// divided, so the whole filtered image never has to exist at once.
std::optional<std::size_t> deflate_rows(const Image& image, const ImageLayout& layout, std::vector<std::uint8_t>& file) {
    const std::size_t row_size = 1 + std::size_t{layout.width} * 4;
    const std::uint32_t rows_per_block =
        static_cast<std::uint32_t>(std::min<std::size_t>(layout.height, std::max<std::size_t>(1, staging_bytes / row_size)));
    std::unique_ptr<std::uint8_t[]> staging(new std::uint8_t[row_size * rows_per_block]);

    DeflateStream deflater;
    if (!deflater.open) return std::nullopt;
    z_stream& zs = deflater.stream;
    std::size_t produced = 0;
    // Room for the compressed bytes: a guess from the filtered size, doubled
    // whenever deflate fills it.
    const std::size_t filtered_size = row_size * layout.height;
    std::size_t capacity = std::min<std::size_t>(compressBound(static_cast<uLong>(filtered_size)), filtered_size / 8 + 4096);
    file.resize(idat_data_at + capacity);

    for (std::uint32_t y = 0; y < layout.height;) {
        const std::uint32_t count = std::min(rows_per_block, layout.height - y);
        fill_filtered_rows(image, layout, y, count, staging.get());
        y += count;
        const int flush = y == layout.height ? Z_FINISH : Z_NO_FLUSH;
        std::size_t block_left = std::size_t{count} * row_size;
        zs.next_in = staging.get();
        for (;;) {
            if (produced == capacity) {
                capacity *= 2;
                file.resize(idat_data_at + capacity);
            }
            std::uint8_t* out_at = file.data() + idat_data_at + produced;
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

std::optional<std::vector<std::uint8_t>> png_encode(const Image& image) {
    const auto layout = image_layout(image);
    if (!layout || layout->bytes_per_pixel != 4) return std::nullopt;
    if (!png_writable_size(layout->width, layout->height)) return std::nullopt;

    try {
        std::vector<std::uint8_t> file;
        const auto compressed = deflate_rows(image, *layout, file);
        // A chunk length is a 31-bit number; a longer stream cannot be one IDAT.
        if (!compressed || *compressed > png_max_chunk_length) return std::nullopt;
        const std::size_t data_size = *compressed;
        file.resize(idat_data_at + data_size + tail_size);
        std::uint8_t* out = file.data();

        std::memcpy(out, png_signature, sizeof png_signature);
        std::uint8_t* ihdr = out + ihdr_chunk_at;
        store_u32be(ihdr, 13);
        std::memcpy(ihdr + 4, "IHDR", 4);
        store_u32be(ihdr + 8, layout->width);
        store_u32be(ihdr + 12, layout->height);
        ihdr[16] = 8;  // bit depth
        ihdr[17] = 6;  // colour type: truecolour with alpha
        ihdr[18] = 0;  // compression method
        ihdr[19] = 0;  // filter method
        ihdr[20] = 0;  // interlace method: none
        store_u32be(ihdr + 21, chunk_crc(ihdr + 4, 17));

        store_u32be(out + idat_chunk_at, static_cast<std::uint32_t>(data_size));
        std::memcpy(out + idat_chunk_at + 4, "IDAT", 4);
        std::uint8_t* tail = out + idat_data_at + data_size;
        store_u32be(tail, chunk_crc(out + idat_chunk_at + 4, 4 + data_size));
        store_u32be(tail + 4, 0);
        std::memcpy(tail + 8, "IEND", 4);
        store_u32be(tail + 12, chunk_crc(tail + 8, 4));
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

}  // namespace quarnel
