// BMP image files.
//
// Writing: one variant only, a 14-byte file header and a 40-byte info header,
// uncompressed, bottom row first; 8 bits per pixel with the screen palette
// for 8-bit sources, 24 bits for 16- and 32-bit sources.
//
// Reading: info headers of 12 bytes (OS/2) and of 16 bytes or more (40-byte
// BITMAPINFOHEADER up to the 124-byte V5 header), 1, 2, 4, 8, 16, 24 and 32
// bits per pixel, uncompressed, bit fields and run-length coded (RLE8, RLE4)
// pixel data, bottom-up and top-down rows. The file is read in ranges: the
// headers, the palette and masks, then only the rows that reach the
// destination, each range through a ByteReader, after every size has been
// checked against the file and against the cap below.
#include "runtime/image/bmp.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "runtime/image/shown_page.h"
#include "runtime/platform/files.h"
#include "runtime/platform/native_files.h"
#include "runtime/utility/byte_reader.h"

namespace quarnel {

namespace {

constexpr int bmp_ok = 0;
constexpr int bmp_bad_call = 1;
constexpr int bmp_cannot_open = 2;
constexpr int bmp_bad_file = 3;

constexpr std::uint16_t bmp_signature = 0x4D42;  // "BM"
constexpr std::uint32_t file_header_size = 14;
constexpr std::uint32_t written_info_header_size = 40;
constexpr std::uint32_t largest_info_header_read = 124;
constexpr std::uint32_t pixels_per_metre = 2834;

// A picture whose declared width x height would take more than this at 32
// bits per pixel is refused before anything is allocated.
constexpr std::uint64_t max_declared_picture_bytes = std::uint64_t{256} << 20;

constexpr std::uint32_t compression_none = 0;
constexpr std::uint32_t compression_rle8 = 1;
constexpr std::uint32_t compression_rle4 = 2;
constexpr std::uint32_t compression_bit_fields = 3;

// ---------------------------------------------------------------- reading

// A file opened for reading in ranges; closed by the destructor, so every
// way out of load_bmp closes it.
class BmpInput {
public:
    explicit BmpInput(const std::string& name) {
        fd_ = native::open_file(name, native::Access::read);
        if (fd_ == native::no_file) return;
        const native::FileInfo info = native::file_info(fd_);
        if (!info.known || !info.plain) {
            native::close_file(fd_);
            fd_ = native::no_file;
            return;
        }
        size_ = static_cast<std::uint64_t>(info.size);
    }
    ~BmpInput() {
        if (fd_ != native::no_file) native::close_file(fd_);
    }
    BmpInput(const BmpInput&) = delete;
    BmpInput& operator=(const BmpInput&) = delete;

    bool is_open() const { return fd_ != native::no_file; }
    std::uint64_t size() const { return size_; }

    // The bytes [offset, offset + count) that the file holds: fewer (maybe
    // none) when the range runs past its end. Nothing when a read fails.
    std::optional<std::vector<std::uint8_t>> read(std::uint64_t offset, std::uint64_t count) const {
        std::vector<std::uint8_t> bytes;
        if (offset >= size_) return bytes;
        count = std::min(count, size_ - offset);
        bytes.resize(static_cast<std::size_t>(count));
        std::size_t done = 0;
        while (done < bytes.size()) {
            const std::int64_t n = native::read_bytes(fd_, static_cast<std::int64_t>(offset + done),
                                                      bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n == 0) {
                break;
            } else {
                return std::nullopt;
            }
        }
        bytes.resize(done);
        return bytes;
    }

private:
    native::FileHandle fd_ = native::no_file;
    std::uint64_t size_ = 0;
};

struct BmpHeader {
    std::uint32_t data_offset = 0;
    std::uint32_t info_size = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;  // rows, always positive here
    bool top_down = false;
    std::uint32_t planes = 0;
    std::uint32_t bit_count = 0;
    std::uint32_t compression = compression_none;
    std::uint32_t colours_used = 0;
    bool masks_in_header = false;  // red, green, blue (and alpha) from the info header
    bool alpha_mask_in_header = false;
    std::uint32_t red_mask = 0, green_mask = 0, blue_mask = 0, alpha_mask = 0;
};

// Reads and checks the file header and the info header. Error 3 for
// anything that is not a BMP this reader can take apart.
int read_header(const BmpInput& input, BmpHeader& h) {
    const auto head = input.read(0, file_header_size + largest_info_header_read);
    if (!head) return bmp_bad_file;
    ByteReader r(*head);
    const std::uint16_t signature = r.u16le();
    r.u32le();  // file size: writers disagree about it, so it is not used
    r.u16le();  // reserved
    r.u16le();  // reserved
    h.data_offset = r.u32le();
    h.info_size = r.u32le();
    if (r.ended() || signature != bmp_signature) return bmp_bad_file;
    // The whole info header has to be in the file.
    if (std::uint64_t{file_header_size} + h.info_size > input.size()) return bmp_bad_file;

    if (h.info_size == 12) {
        // OS/2 1.x: 16-bit width and height, always bottom-up.
        h.width = r.u16le();
        h.height = r.u16le();
        h.planes = r.u16le();
        h.bit_count = r.u16le();
    } else if (h.info_size >= 16) {
        h.width = r.i32le();
        h.height = r.i32le();
        h.planes = r.u16le();
        h.bit_count = r.u16le();
        if (h.info_size >= 20) h.compression = r.u32le();
        if (h.info_size >= 24) r.u32le();  // image size: recomputed from the rows
        if (h.info_size >= 36) {
            r.u32le();  // horizontal resolution
            r.u32le();  // vertical resolution
            h.colours_used = r.u32le();
        }
        if (h.info_size >= 52) {
            // V2 and later headers carry the bit-field masks at offset 40.
            r.seek(file_header_size + 40);
            h.red_mask = r.u32le();
            h.green_mask = r.u32le();
            h.blue_mask = r.u32le();
            h.masks_in_header = true;
            if (h.info_size >= 56) {
                h.alpha_mask = r.u32le();
                h.alpha_mask_in_header = true;
            }
        }
    } else {
        return bmp_bad_file;
    }
    if (r.ended()) return bmp_bad_file;

    if (h.planes > 1 || h.width <= 0 || h.height == 0 || h.compression > compression_bit_fields)
        return bmp_bad_file;
    if (h.height < 0) {
        // Top row first; run-length coded pixel data has no top-down form.
        if (h.compression == compression_rle8 || h.compression == compression_rle4) return bmp_bad_file;
        h.top_down = true;
        h.height = -h.height;
    }
    switch (h.bit_count) {
    case 1: case 2: case 4: case 8: case 16: case 24: case 32: break;
    default: return bmp_bad_file;
    }
    if (h.compression == compression_rle8 && h.bit_count != 8) return bmp_bad_file;
    if (h.compression == compression_rle4 && h.bit_count != 4) return bmp_bad_file;

    if (static_cast<std::uint64_t>(h.width) * static_cast<std::uint64_t>(h.height) * 4 > max_declared_picture_bytes)
        return bmp_bad_file;
    return bmp_ok;
}

// Bytes of one stored row: the pixel bits rounded up to whole 32-bit words.
std::uint64_t stored_row_size(const BmpHeader& h) {
    return (static_cast<std::uint64_t>(h.width) * h.bit_count + 31) / 32 * 4;
}

// One colour channel of a bit-field mask, scaled to 8 bits.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint64_t top = 0;  // the channel's largest value
};

Channel make_channel(std::uint32_t mask) {
    Channel c;
    if (mask == 0) return c;
    c.mask = mask;
    c.shift = std::countr_zero(mask);
    c.top = mask >> c.shift;
    return c;
}

std::uint32_t channel_value(std::uint32_t pixel, const Channel& c, std::uint32_t when_absent) {
    if (c.mask == 0) return when_absent;
    const std::uint64_t v = (pixel & c.mask) >> c.shift;
    return static_cast<std::uint32_t>((v * 255 + c.top / 2) / c.top);
}

// Palette entries, red in bits 0-7, green 8-15, blue 16-23.
std::uint32_t palette_to_colour(std::uint32_t entry) {
    return 0xFF000000u | ((entry & 0xFFu) << 16) | (entry & 0xFF00u) | ((entry >> 16) & 0xFFu);
}

std::uint32_t colour_to_565(std::uint32_t colour) {
    const std::uint32_t r = (colour >> 16) & 0xFFu, g = (colour >> 8) & 0xFFu, b = colour & 0xFFu;
    return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
}

// The picture's rows that reach the destination, as palette indices or as
// 32-bit colours, top row first, `columns` pixels each.
struct DecodedRows {
    std::uint32_t columns = 0;
    std::uint32_t rows = 0;
    bool indexed = false;
    std::vector<std::uint32_t> pixels;  // rows x columns
};

// Uncompressed and bit-field rows.
int decode_plain_rows(const BmpInput& input, const BmpHeader& h, const std::array<Channel, 4>& channels,
                      DecodedRows& out) {
    const std::uint64_t row_size = stored_row_size(h);
    const std::uint64_t rows_total = static_cast<std::uint64_t>(h.height);
    // Every row the header announces must be in the file.
    if (row_size * rows_total > input.size() || h.data_offset > input.size() - row_size * rows_total)
        return bmp_bad_file;

    // The rows needed are contiguous in the file: the first ones when rows
    // are stored top first, the last ones otherwise.
    const std::uint64_t first_stored = h.top_down ? 0 : rows_total - out.rows;
    const auto block = input.read(h.data_offset + first_stored * row_size, row_size * out.rows);
    if (!block || block->size() != row_size * out.rows) return bmp_bad_file;

    ByteReader r(*block);
    const std::uint32_t bits = h.bit_count;
    for (std::uint32_t y = 0; y < out.rows; ++y) {
        const std::uint64_t stored = h.top_down ? y : out.rows - 1 - y;
        r.seek(static_cast<std::size_t>(stored * row_size));
        const auto row = r.bytes(static_cast<std::size_t>(row_size));
        if (r.ended()) return bmp_bad_file;
        std::uint32_t* dst = out.pixels.data() + std::size_t{y} * out.columns;
        for (std::uint32_t x = 0; x < out.columns; ++x) {
            std::uint32_t value = 0;
            switch (bits) {
            case 1: case 2: case 4: {
                // Most significant bits first.
                const std::size_t bit = std::size_t{x} * bits;
                const unsigned shift = 8u - bits - static_cast<unsigned>(bit % 8);
                value = (row[bit / 8] >> shift) & ((1u << bits) - 1u);
                break;
            }
            case 8: value = row[x]; break;
            case 16: {
                const std::uint32_t p = static_cast<std::uint32_t>(row[2 * std::size_t{x}] | (row[2 * std::size_t{x} + 1] << 8));
                value = (channel_value(p, channels[3], 255) << 24) | (channel_value(p, channels[0], 0) << 16) |
                        (channel_value(p, channels[1], 0) << 8) | channel_value(p, channels[2], 0);
                break;
            }
            case 24: {
                const std::uint8_t* p = row.data() + 3 * std::size_t{x};
                value = 0xFF000000u | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
                break;
            }
            default: {
                const std::uint8_t* q = row.data() + 4 * std::size_t{x};
                const std::uint32_t p = std::uint32_t{q[0]} | (std::uint32_t{q[1]} << 8) |
                                        (std::uint32_t{q[2]} << 16) | (std::uint32_t{q[3]} << 24);
                value = (channel_value(p, channels[3], 255) << 24) | (channel_value(p, channels[0], 0) << 16) |
                        (channel_value(p, channels[1], 0) << 8) | channel_value(p, channels[2], 0);
                break;
            }
            }
            dst[x] = value;
        }
    }
    return bmp_ok;
}

// Run-length coded rows (RLE8 and RLE4), always stored bottom row first.
// Pixels the code skips, or never reaches, are index 0. Runs are clamped to
// the row; a code that ends early leaves the rest at 0, a code that runs
// past the end of the file is refused.
int decode_run_length_rows(const BmpInput& input, const BmpHeader& h, DecodedRows& out) {
    if (h.data_offset >= input.size()) return bmp_bad_file;
    // The code runs to its end mark, wherever that is; writers may code row
    // padding as pixels, so its length is not tied to the picture's size.
    // It is read up to the end of the file, at most as much as the size cap.
    const auto code = input.read(h.data_offset, max_declared_picture_bytes);
    if (!code) return bmp_bad_file;
    ByteReader r(*code);
    const bool four_bit = h.compression == compression_rle4;
    const std::int64_t width = h.width;
    const std::int64_t height = h.height;
    std::int64_t x = 0;
    std::int64_t stored_row = 0;  // 0 = the bottom row
    auto put = [&](std::uint32_t index) {
        if (x < width && stored_row < height) {
            const std::int64_t y = height - 1 - stored_row;  // top-based
            if (y < out.rows && x < out.columns)
                out.pixels[static_cast<std::size_t>(y) * out.columns + static_cast<std::size_t>(x)] = index;
        }
        ++x;
    };
    while (stored_row < height) {
        const std::uint8_t count = r.u8();
        const std::uint8_t value = r.u8();
        if (r.ended()) return bmp_bad_file;
        if (count > 0) {
            // A run of `count` pixels; RLE4 alternates the two nibbles.
            for (std::uint32_t i = 0; i < count && x < width; ++i)
                put(four_bit ? ((i % 2 == 0) ? (value >> 4) : (value & 0x0Fu)) : value);
            continue;
        }
        switch (value) {
        case 0:  // end of row
            x = 0;
            ++stored_row;
            break;
        case 1:  // end of picture
            return bmp_ok;
        case 2: {  // move right and up
            const std::uint8_t dx = r.u8();
            const std::uint8_t dy = r.u8();
            if (r.ended()) return bmp_bad_file;
            x += dx;
            stored_row += dy;
            break;
        }
        default: {  // `value` literal pixels, padded to a 16-bit boundary
            const std::uint32_t literal = value;
            const std::size_t bytes = four_bit ? (literal + 1) / 2 : literal;
            const auto data = r.bytes(bytes);
            if (r.ended()) return bmp_bad_file;
            for (std::uint32_t i = 0; i < literal && x < width; ++i)
                put(four_bit ? ((i % 2 == 0) ? (data[i / 2] >> 4) : (data[i / 2] & 0x0Fu)) : data[i]);
            if (bytes % 2 == 1) r.skip(1);
            break;
        }
        }
    }
    return bmp_ok;
}

}  // namespace

int load_bmp(std::string_view file_name, Image* destination, std::array<std::uint32_t, 256>* palette) {
    const BmpInput input{std::string(file_name)};
    if (!input.is_open()) return bmp_cannot_open;

    BmpHeader h;
    if (const int error = read_header(input, h); error != bmp_ok) return error;

    // The screen stays locked from the first look at it to the last write.
    std::unique_lock<std::recursive_mutex> screen_lock;
    Image* target = destination;
    if (!target) {
        screen_lock = std::unique_lock(graphics_lock());
        target = shown_page();
        if (!target) return bmp_bad_call;
    }
    const auto layout = image_layout(*target);
    if (!layout) return bmp_bad_call;
    const bool indexed = h.bit_count <= 8;
    if (!indexed && layout->bytes_per_pixel == 1) return bmp_bad_call;

    // Palette: right after the info header, 4 bytes an entry (3 with the
    // 12-byte header). A file that says how many colours it uses stores
    // only those.
    const std::uint64_t after_info = std::uint64_t{file_header_size} + h.info_size;
    std::vector<std::uint32_t> file_palette;  // red in bits 0-7
    if (indexed) {
        std::uint32_t entries = 1u << h.bit_count;
        if (h.colours_used != 0 && h.colours_used < entries) entries = h.colours_used;
        const std::uint32_t entry_size = h.info_size == 12 ? 3 : 4;
        const auto bytes = input.read(after_info, std::uint64_t{entries} * entry_size);
        if (!bytes) return bmp_bad_file;
        ByteReader r(*bytes);
        for (std::uint32_t i = 0; i < entries; ++i) {
            const std::uint32_t blue = r.u8(), green = r.u8(), red = r.u8();
            if (entry_size == 4) r.u8();
            file_palette.push_back(red | (green << 8) | (blue << 16));
        }
        if (r.ended()) return bmp_bad_file;
    }

    // Bit-field masks: given in the header (V2 and later), or, with the
    // shorter headers, as three words right after it; otherwise the
    // standard 5-5-5 and 8-8-8-8 layouts.
    std::uint32_t masks[4] = {0, 0, 0, 0};
    if (h.bit_count == 16 || h.bit_count == 32) {
        if (h.compression == compression_bit_fields) {
            if (h.masks_in_header) {
                masks[0] = h.red_mask;
                masks[1] = h.green_mask;
                masks[2] = h.blue_mask;
                masks[3] = h.alpha_mask_in_header ? h.alpha_mask : 0;
            } else {
                const auto bytes = input.read(after_info, 12);
                if (!bytes) return bmp_bad_file;
                ByteReader r(*bytes);
                masks[0] = r.u32le();
                masks[1] = r.u32le();
                masks[2] = r.u32le();
                if (r.ended()) return bmp_bad_file;
            }
        } else if (h.bit_count == 16) {
            masks[0] = 0x7C00;
            masks[1] = 0x03E0;
            masks[2] = 0x001F;
        } else {
            masks[0] = 0x00FF0000;
            masks[1] = 0x0000FF00;
            masks[2] = 0x000000FF;
            masks[3] = 0xFF000000;
        }
    }
    const std::array<Channel, 4> channels = {make_channel(masks[0]), make_channel(masks[1]), make_channel(masks[2]),
                                             make_channel(masks[3])};

    // Only the top-left corner that fits the destination is written.
    DecodedRows decoded;
    decoded.columns = static_cast<std::uint32_t>(std::min<std::int64_t>(h.width, layout->width));
    decoded.rows = static_cast<std::uint32_t>(std::min<std::int64_t>(h.height, layout->height));
    decoded.indexed = indexed;
    decoded.pixels.assign(std::size_t{decoded.columns} * decoded.rows, 0);
    const int decode_error = (h.compression == compression_rle8 || h.compression == compression_rle4)
                                 ? decode_run_length_rows(input, h, decoded)
                                 : decode_plain_rows(input, h, channels, decoded);
    if (decode_error != bmp_ok) return decode_error;

    // The file has been read whole: now its palette takes the place of the
    // first entries of the caller's palette, or without one of the screen
    // palette; entries past the file's own are that palette's.
    std::array<std::uint32_t, 256> lookup{};
    for (int i = 0; i < 256; ++i)
        lookup[static_cast<std::size_t>(i)] = palette ? (*palette)[static_cast<std::size_t>(i)] : palette_entry(i);
    for (std::size_t i = 0; i < file_palette.size(); ++i) {
        lookup[i] = file_palette[i];
        if (palette) {
            (*palette)[i] = file_palette[i];
        } else {
            const std::uint32_t e = file_palette[i];
            store_palette_entry(static_cast<int>(i), static_cast<std::uint8_t>(e), static_cast<std::uint8_t>(e >> 8),
                                static_cast<std::uint8_t>(e >> 16));
        }
    }

    const std::uint32_t bpp = layout->bytes_per_pixel;
    for (std::uint32_t y = 0; y < decoded.rows; ++y) {
        std::uint8_t* row = image_row(*target, *layout, y);
        const std::uint32_t* src = decoded.pixels.data() + std::size_t{y} * decoded.columns;
        for (std::uint32_t x = 0; x < decoded.columns; ++x) {
            std::uint32_t value = src[x];
            if (bpp == 1) {
                // Only indexed files reach an 8-bit destination.
            } else {
                if (indexed) value = palette_to_colour(lookup[value & 0xFFu]);
                if (bpp == 2) value = colour_to_565(value);
            }
            write_pixel_value(row + std::size_t{x} * bpp, bpp, value);
        }
    }
    if (!destination && decoded.rows > 0) mark_rows(0, static_cast<int>(decoded.rows) - 1);
    return bmp_ok;
}

// ---------------------------------------------------------------- writing

namespace {

// 5- and 6-bit components widened to 8 bits by repeating their top bits, so
// that the largest value becomes 255.
std::uint8_t widen5(std::uint32_t v) { return static_cast<std::uint8_t>((v << 3) | (v >> 2)); }
std::uint8_t widen6(std::uint32_t v) { return static_cast<std::uint8_t>((v << 2) | (v >> 4)); }

}  // namespace

namespace {

// 0xAARRGGBB to the screen palette's order (red in bits 0-7).
std::uint32_t screen_order(std::uint32_t colour) {
    return ((colour >> 16) & 0xFFu) | (colour & 0xFF00u) | ((colour & 0xFFu) << 16);
}

// The file's bytes of the image; an 8-bit one with these colours (red in
// bits 16-23) or, without them, with the screen palette. Nothing when the
// image is empty or too large for the format's 32-bit sizes.
std::optional<std::vector<std::uint8_t>> encode_bmp(const Image& source, const std::array<std::uint32_t, 256>* colours) {
    const auto layout = image_layout(source);
    if (!layout || layout->width == 0 || layout->height == 0) return std::nullopt;

    const std::uint32_t bpp = layout->bytes_per_pixel;
    const bool eight_bit = bpp == 1;
    const std::uint64_t row_size = eight_bit ? (std::uint64_t{layout->width} + 3) / 4 * 4
                                             : (std::uint64_t{layout->width} * 3 + 3) / 4 * 4;
    const std::uint64_t image_size = row_size * layout->height;
    const std::uint32_t data_offset = file_header_size + written_info_header_size + (eight_bit ? 1024u : 0u);
    // The header's sizes are 32-bit fields.
    if (image_size + data_offset > 0xFFFFFFFFu || layout->width > 0x7FFFFFFFu || layout->height > 0x7FFFFFFFu)
        return std::nullopt;

    std::vector<std::uint8_t> header;
    header.reserve(static_cast<std::size_t>(data_offset + image_size));
    put_u16le(header, bmp_signature);
    put_u32le(header, static_cast<std::uint32_t>(data_offset + image_size));
    put_u16le(header, 0);
    put_u16le(header, 0);
    put_u32le(header, data_offset);
    put_u32le(header, written_info_header_size);
    put_u32le(header, layout->width);
    put_u32le(header, layout->height);  // positive: bottom row first
    put_u16le(header, 1);
    put_u16le(header, eight_bit ? 8 : 24);
    put_u32le(header, compression_none);
    put_u32le(header, static_cast<std::uint32_t>(image_size));
    put_u32le(header, pixels_per_metre);
    put_u32le(header, pixels_per_metre);
    put_u32le(header, eight_bit ? 256u : 0u);
    put_u32le(header, eight_bit ? 256u : 0u);
    if (eight_bit) {
        // The palette as blue, green, red, 0.
        for (int i = 0; i < 256; ++i) {
            const std::uint32_t e = colours ? screen_order((*colours)[static_cast<std::size_t>(i)]) : palette_entry(i);
            put_u8(header, static_cast<std::uint8_t>(e >> 16));
            put_u8(header, static_cast<std::uint8_t>(e >> 8));
            put_u8(header, static_cast<std::uint8_t>(e));
            put_u8(header, 0);
        }
    }
    std::vector<std::uint8_t> row(static_cast<std::size_t>(row_size), 0);
    for (std::uint32_t y = layout->height; y-- > 0;) {
        const std::uint8_t* src = image_row(source, *layout, y);
        std::uint8_t* dst = row.data();
        for (std::uint32_t x = 0; x < layout->width; ++x, src += bpp) {
            if (bpp == 1) {
                *dst++ = src[0];
            } else if (bpp == 2) {
                // 5-6-5: red in bits 11-15, green 5-10, blue 0-4.
                const std::uint32_t v = static_cast<std::uint32_t>(src[0] | (src[1] << 8));
                *dst++ = widen5(v & 0x1Fu);
                *dst++ = widen6((v >> 5) & 0x3Fu);
                *dst++ = widen5(v >> 11);
            } else {
                // Blue, green, red; alpha is dropped.
                *dst++ = src[0];
                *dst++ = src[1];
                *dst++ = src[2];
            }
        }
        // The padding bytes stay 0 from the row's allocation.
        header.insert(header.end(), row.begin(), row.end());
    }
    return header;
}

// Made whole in memory, then written whole: a refused image leaves no file
// and a failed write leaves an earlier file as it was.
int write_bmp(std::string_view file_name, const Image& source, const std::array<std::uint32_t, 256>* colours) {
    const auto layout = image_layout(source);
    if (!layout || layout->width == 0 || layout->height == 0) return bmp_bad_call;
    const auto file = encode_bmp(source, colours);
    if (!file) return bmp_bad_file;
    const WriteResult written = write_whole_file(file_name, std::span<const std::uint8_t>(*file));
    return written ? bmp_ok : written.error().kind == Error::Kind::cut_short ? bmp_bad_file : bmp_cannot_open;
}

}  // namespace

int save_bmp(std::string_view file_name, const Image* source) {
    // The screen is copied under the lock, then written without holding it.
    Image screen_copy;
    if (!source) {
        std::lock_guard lock(graphics_lock());
        const Image* page = shown_page();
        if (!page) return bmp_bad_call;
        screen_copy = *page;
        source = &screen_copy;
    }
    return write_bmp(file_name, *source, nullptr);
}

std::optional<std::vector<std::uint8_t>> bmp_encode(const Image& source) { return encode_bmp(source, nullptr); }

std::optional<std::vector<std::uint8_t>> bmp_encode_indexed(const Image& source,
                                                            const std::array<std::uint32_t, 256>& colours) {
    const auto layout = image_layout(source);
    if (!layout || layout->bytes_per_pixel != 1) return std::nullopt;
    return encode_bmp(source, &colours);
}

int save_bmp_indexed(std::string_view file_name, const Image* source, const std::array<std::uint32_t, 256>& colours) {
    if (!source) return bmp_bad_call;
    const auto layout = image_layout(*source);
    if (!layout || layout->bytes_per_pixel != 1) return bmp_bad_call;
    return write_bmp(file_name, *source, &colours);
}

}  // namespace quarnel
