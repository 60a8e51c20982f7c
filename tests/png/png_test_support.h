// Helpers for the PNG tests: an independent decoder (libpng), pngcheck, a
// small PNG file maker and pixel access for image buffers.
#pragma once

#include <png.h>
#include <unistd.h>
#include <zlib.h>

#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/image/image.h"
#include "support/run_program.h"

namespace quarnel::test {

using Bytes = std::vector<std::uint8_t>;

// A decoded picture as 0xAARRGGBB values, row by row.
struct Pixels {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint32_t> argb;
    bool operator==(const Pixels&) const = default;
};

// The pixels of an image buffer, read by its layout (either header form).
inline std::optional<Pixels> image_pixels(const Image& image) {
    const auto layout = image_layout(image);
    if (!layout || layout->bytes_per_pixel != 4) return std::nullopt;
    Pixels out{layout->width, layout->height, {}};
    out.argb.reserve(std::size_t{layout->width} * layout->height);
    for (std::uint32_t y = 0; y < layout->height; ++y) {
        const std::uint8_t* row = image_row(image, *layout, y);
        for (std::uint32_t x = 0; x < layout->width; ++x) out.argb.push_back(read_pixel_value(row + std::size_t{x} * 4, 4));
    }
    return out;
}

// A 32-bit image from pixel values: compact header when it fits, or the full
// header with `extra_pitch` padding bytes per row (filled with 0xAB, which
// must never reach a PNG file).
inline ImagePtr make_image(const Pixels& pixels, bool full_header = false, std::uint32_t extra_pitch = 0) {
    auto image = std::make_unique<Image>();
    if (!full_header) {
        image = new_image_buffer(pixels.width, pixels.height, 4);
    } else {
        const std::uint32_t pitch = pixels.width * 4 + extra_pitch;
        image->bytes.assign(full_header_size + std::size_t{pitch} * pixels.height, 0xAB);
        const std::uint32_t fields[5] = {full_header_type, 4, pixels.width, pixels.height, pitch};
        std::memset(image->bytes.data(), 0, full_header_size);
        for (int i = 0; i < 5; ++i) write_pixel_value(image->bytes.data() + 4 * i, 4, fields[i]);
    }
    const auto layout = image_layout(*image);
    if (!layout) return nullptr;
    for (std::uint32_t y = 0; y < pixels.height; ++y)
        for (std::uint32_t x = 0; x < pixels.width; ++x)
            write_pixel_value(image_row(*image, *layout, y) + std::size_t{x} * 4, 4,
                              pixels.argb[std::size_t{y} * pixels.width + x]);
    return image;
}

// libpng, asked for 8-bit RGBA by the same rules as the reader: palettes
// expanded, low depths scaled up, tRNS turned into alpha (255 elsewhere),
// 16-bit samples cut to their high byte, no gamma handling.
inline std::optional<Pixels> libpng_decode(const Bytes& file) {
    struct Source {
        const Bytes* bytes;
        std::size_t at;
    } source{&file, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr,
                                             [](png_structp p, png_const_charp) { png_longjmp(p, 1); },
                                             [](png_structp, png_const_charp) {});
    if (!png) return std::nullopt;
    png_infop info = png_create_info_struct(png);
    Pixels* result = new Pixels;
    std::vector<png_bytep>* rows = new std::vector<png_bytep>;
    std::vector<std::uint8_t>* rgba = new std::vector<std::uint8_t>;
    volatile bool ok = false;
    if (info && setjmp(png_jmpbuf(png)) == 0) {
        png_set_read_fn(png, &source, [](png_structp p, png_bytep out, png_size_t n) {
            auto* s = static_cast<Source*>(png_get_io_ptr(p));
            if (s->bytes->size() - s->at < n) png_error(p, "short");
            std::memcpy(out, s->bytes->data() + s->at, n);
            s->at += n;
        });
        png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
        png_read_info(png, info);
        png_set_expand(png);
        png_set_strip_16(png);
        png_set_gray_to_rgb(png);
        png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
        png_set_interlace_handling(png);
        png_read_update_info(png, info);
        result->width = png_get_image_width(png, info);
        result->height = png_get_image_height(png, info);
        const std::size_t row_bytes = png_get_rowbytes(png, info);
        if (row_bytes == std::size_t{result->width} * 4) {
            rgba->resize(row_bytes * result->height);
            rows->resize(result->height);
            for (std::uint32_t y = 0; y < result->height; ++y) (*rows)[y] = rgba->data() + row_bytes * y;
            png_read_image(png, rows->data());
            png_read_end(png, nullptr);
            ok = true;
        }
    }
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    std::optional<Pixels> out;
    if (ok) {
        for (std::size_t i = 0; i + 3 < rgba->size(); i += 4) {
            const std::uint8_t* p = rgba->data() + i;
            result->argb.push_back((std::uint32_t{p[3]} << 24) | (std::uint32_t{p[0]} << 16) |
                                   (std::uint32_t{p[1]} << 8) | p[2]);
        }
        out = *result;
    }
    delete result;
    delete rows;
    delete rgba;
    return out;
}

// The pngcheck program, or empty when it is not installed.
inline std::string pngcheck_path() {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = dirs.find(':', start);
        const std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const std::string candidate = (dir.empty() ? std::string(".") : dir) + "/pngcheck";
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return {};
}

inline void put_be32(Bytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

inline Bytes be16s(std::initializer_list<std::uint16_t> values) {
    Bytes out;
    for (auto v : values) {
        out.push_back(static_cast<std::uint8_t>(v >> 8));
        out.push_back(static_cast<std::uint8_t>(v));
    }
    return out;
}

// Appends one chunk with its length and a correct CRC.
inline void add_chunk(Bytes& file, std::string_view type, const Bytes& data) {
    put_be32(file, static_cast<std::uint32_t>(data.size()));
    const std::size_t type_at = file.size();
    file.insert(file.end(), type.begin(), type.end());
    file.insert(file.end(), data.begin(), data.end());
    put_be32(file, static_cast<std::uint32_t>(crc32(0L, file.data() + type_at, static_cast<uInt>(4 + data.size()))));
}

inline Bytes signature() { return {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}; }

inline Bytes ihdr(std::uint32_t width, std::uint32_t height, std::uint8_t depth, std::uint8_t colour_type,
                  std::uint8_t interlace = 0) {
    Bytes data;
    put_be32(data, width);
    put_be32(data, height);
    data.insert(data.end(), {depth, colour_type, 0, 0, interlace});
    return data;
}

inline Bytes zlib_compress(const Bytes& raw) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes out(size);
    if (compress(out.data(), &size, raw.data(), static_cast<uLong>(raw.size())) != Z_OK) return {};
    out.resize(size);
    return out;
}

inline Bytes zlib_inflate(const Bytes& stream, std::size_t capacity) {
    Bytes out(capacity);
    uLongf size = static_cast<uLongf>(capacity);
    if (uncompress(out.data(), &size, stream.data(), static_cast<uLong>(stream.size())) != Z_OK) return {};
    out.resize(size);
    return out;
}

// A whole PNG: signature, IHDR, the extra chunks before the data, one IDAT
// of the compressed raw rows, IEND.
inline Bytes make_png(const Bytes& header, const Bytes& raw_rows,
                      const std::vector<std::pair<std::string, Bytes>>& before_data = {}) {
    Bytes file = signature();
    add_chunk(file, "IHDR", header);
    for (const auto& [type, data] : before_data) add_chunk(file, type, data);
    add_chunk(file, "IDAT", zlib_compress(raw_rows));
    add_chunk(file, "IEND", {});
    return file;
}

// True when pngcheck finds no error in the file.
inline bool pngcheck_accepts(const std::string& pngcheck, const std::string& path) {
    const ProgramRun run = run_program(pngcheck, {"-q", path}, "", ".", 60);
    return run.exit_status == 0;
}

}  // namespace quarnel::test
