// The PNG reader past its checksums: the input gives the header fields, an
// optional palette and transparency chunk, and the filtered rows; the target
// compresses the rows and wraps everything in chunks with correct CRCs, so
// that every input reaches the filters, the bit depths, the interlace passes
// and the colour conversion instead of stopping at a checksum.
//
// Input: width and height (1 to 64 each), bit depth choice, colour type
// choice, flags (bit 0 interlace, bit 1 palette, bit 2 transparency, bit 3
// rows split over two IDAT chunks, bit 4 a zero-length IDAT first), then the
// palette and transparency chunk data as parts of stated length, and the
// rest as the rows before compression.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "fuzz_input.h"
#include "png/png_reader.h"
#include "runtime/image/image.h"

namespace {

void put_u32be(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void put_chunk(std::vector<std::uint8_t>& out, std::string_view type, std::span<const std::uint8_t> body) {
    put_u32be(out, static_cast<std::uint32_t>(body.size()));
    const std::size_t type_at = out.size();
    out.insert(out.end(), type.begin(), type.end());
    out.insert(out.end(), body.begin(), body.end());
    const auto crc = crc32_z(0L, out.data() + type_at, out.size() - type_at);
    put_u32be(out, static_cast<std::uint32_t>(crc));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    quarnel::fuzzing::FuzzInput input({data, size});
    static constexpr std::uint8_t depths[] = {1, 2, 4, 8, 16, 3};
    static constexpr std::uint8_t colour_types[] = {0, 2, 3, 4, 6, 5};
    const std::uint32_t width = 1 + input.byte() % 64;
    const std::uint32_t height = 1 + input.byte() % 64;
    const std::uint8_t depth = depths[input.byte() % 6];
    const std::uint8_t colour_type = colour_types[input.byte() % 6];
    const std::uint8_t flags = input.byte();
    const auto palette = input.part();
    const auto transparency = input.part();
    const auto rows = input.rest();

    std::vector<std::uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    put_u32be(header, width);
    put_u32be(header, height);
    header.insert(header.end(), {depth, colour_type, 0, 0, static_cast<std::uint8_t>(flags & 1)});
    put_chunk(file, "IHDR", header);
    if (flags & 2) put_chunk(file, "PLTE", palette);
    if (flags & 4) put_chunk(file, "tRNS", transparency);

    std::vector<std::uint8_t> packed(compressBound(static_cast<uLong>(rows.size())));
    uLongf packed_size = static_cast<uLongf>(packed.size());
    if (compress(packed.data(), &packed_size, rows.data(), static_cast<uLong>(rows.size())) != Z_OK) return 0;
    packed.resize(packed_size);
    if (flags & 16) put_chunk(file, "IDAT", {});
    if (flags & 8) {
        const std::size_t half = packed.size() / 2;
        put_chunk(file, "IDAT", std::span<const std::uint8_t>(packed).first(half));
        put_chunk(file, "IDAT", std::span<const std::uint8_t>(packed).subspan(half));
    } else {
        put_chunk(file, "IDAT", packed);
    }
    put_chunk(file, "IEND", {});

    const quarnel::ImagePtr image = quarnel::png_decode(file);
    if (!image) return 0;
    const auto layout = quarnel::image_layout(*image);
    if (!layout || layout->width != width || layout->height != height || layout->bytes_per_pixel != 4)
        __builtin_trap();
    return 0;
}
