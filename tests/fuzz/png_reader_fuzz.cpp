// The PNG reader on any bytes: a refusal or a picture whose size matches
// its header, never a crash. Each input is read twice: as it is, and with
// the CRC of every whole chunk set right, so that changed bytes inside a
// chunk reach the code behind the checksum.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include <zlib.h>

#include "png/png_reader.h"
#include "runtime/image/image.h"

namespace {

// Rewrites the CRC of every chunk that lies whole in the bytes.
void set_chunk_crcs(std::vector<std::uint8_t>& bytes) {
    std::size_t at = 8;  // past the signature
    while (at <= bytes.size() && bytes.size() - at >= 12) {
        const std::uint32_t length = (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
                                     (std::uint32_t{bytes[at + 2]} << 8) | bytes[at + 3];
        if (length > bytes.size() - at - 12) break;
        const auto crc = static_cast<std::uint32_t>(crc32_z(0L, bytes.data() + at + 4, std::size_t{length} + 4));
        const std::size_t crc_at = at + 8 + length;
        for (int i = 0; i < 4; ++i) bytes[crc_at + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
        at = crc_at + 4;
    }
}

void decode(std::span<const std::uint8_t> bytes) {
    auto image = quarnel::png_decode(bytes);
    if (image && !quarnel::image_layout(*image)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    decode(std::span<const std::uint8_t>(data, size));
    if (size < 8) return 0;
    std::vector<std::uint8_t> mended(data, data + size);
    set_chunk_crcs(mended);
    decode(mended);
    return 0;
}
