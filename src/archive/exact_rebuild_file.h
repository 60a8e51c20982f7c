// The exact-rebuild file ("exact_rebuild.txt"): what extraction with option
// -i records beside the pictures of a sprite set or tile set so that the
// builder gives back the archive byte for byte. It holds what a picture
// cannot carry: the archive's first eight header bytes, the palette block as
// stored (6-bit components, bytes of 64 and up included), whether the
// pictures were placed by their offsets, the build file's flags as written,
// the run-length coding style that recodes every picture as stored, each
// picture's full size and 16-bit offsets, and each tile's full 32-bit value.
//
// Plain text, one item a line, CR LF as written (LF read too); "#" starts a
// comment line; numbers are decimal:
//   quarnel-exact-rebuild 1
//   archive REAP.spr
//   kind sprite-set            (or tile-set)
//   header 129 0 2 0 208 0 0 0
//   centred 1                  (1: pictures placed by their offsets)
//   build 0 1 0                (tile-set, storage and row-split flags of build.txt)
//   row-split 1                (the coding style the builder is to use)
//   colour 0: 0 0 0            (256 lines: red green blue as stored)
//   picture 1: 10 8 300 2      (sprite sets: width height x-offset y-offset)
//   tile 1: 4294967295         (tile sets: the tile value)
// Pictures and tiles are numbered from 1 without gaps.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/build_file.h"
#include "archive/palette.h"
#include "archive/sprite_archive.h"

namespace quarnel {

inline constexpr char exact_rebuild_file_name[] = "exact_rebuild.txt";

struct ExactRebuildRecord {
    struct Picture {
        std::uint32_t width = 0;
        std::uint32_t height = 0;
        std::uint16_t x_offset = 0;
        std::uint16_t y_offset = 0;
    };

    bool tile_set = false;
    std::string archive_name;             // the extracted file's name, e.g. REAP.spr
    std::array<std::uint8_t, 8> header{};  // bytes 0-7 of the archive
    std::array<std::uint8_t, 768> palette_block{};
    bool centred = false;
    BuildSettings build_flags;  // as written to build.txt
    bool row_split = false;
    std::vector<Picture> pictures;           // sprite sets
    std::vector<std::uint32_t> tile_values;  // tile sets

    std::size_t count() const { return tile_set ? tile_values.size() : pictures.size(); }

    // The size extraction gave picture i (0-based): placed by its offsets
    // when centred; a picture of no pixels is one pixel.
    void canvas_size(std::size_t i, std::uint32_t& width, std::uint32_t& height) const;
};

std::string exact_rebuild_text(const ExactRebuildRecord& record);

struct ExactRebuildParse {
    std::optional<ExactRebuildRecord> record;
    std::string problem;  // what is wrong, with its line number, when there is no record
};
ExactRebuildParse parse_exact_rebuild(std::string_view text);

// The palette block the builder writes: an entry whose recorded bytes
// expand to palette.bmp's colour keeps those bytes; an entry the user
// changed in palette.bmp is reduced from its new colour.
std::array<std::uint8_t, 768> restored_palette_block(const ExactRebuildRecord& record, const Palette& palette_bmp);

// Puts what the record keeps into an archive the builder made: the palette
// block (as restored_palette_block), and the header bytes the builder does
// not count itself. Sprite set: byte 1, and byte 0 while it tells the same
// storage (1 raw, anything else run-length). Tile set: bytes 0-3 and 6-7
// (the code and the words beside the count).
void restore_recorded_bytes(const ExactRebuildRecord& record, const Palette& palette_bmp, PixelStorage storage,
                            std::vector<std::uint8_t>& archive);

}  // namespace quarnel
