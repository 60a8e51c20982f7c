// Turning one edited picture back into archive pixels: colour-to-index
// matching against palette.bmp's colours, trimming of blank rows and columns
// at the top and left, and raw or run-length coding.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "archive/palette.h"
#include "archive/sprite_archive.h"

namespace quarnel {

// Exact colour match (alpha included) against the palette. Raw storage takes
// the lowest index whose colour equals the pixel, run-length storage the
// highest; a colour in no entry gives 0. The answer is the one a search of
// the 256 entries gives, looked up in a small hash table.
class ColourMatcher {
public:
    ColourMatcher(const Palette& palette, PixelStorage storage);

    struct Match {
        std::uint8_t index = 0;
        bool matched = false;  // some entry holds the colour
    };

    // Open addressing: a slot holds a palette colour, or the marker colour
    // (one that no entry holds) when free. A free slot reached first means
    // no entry holds the colour; the free slots' answer is "0, unmatched",
    // so a pixel of the marker colour itself gets the right answer too.
    Match find(std::uint32_t colour) const {
        std::uint32_t slot = hash(colour);
        for (;;) {
            const Slot& s = slots_[slot];
            if (s.colour == colour) return s.match;
            if (s.colour == free_marker_) return Match{};
            slot = (slot + 1) & (table_size - 1);
        }
    }

private:
    static constexpr std::uint32_t table_size = 2048;  // at most 256 used: short probes
    static std::uint32_t hash(std::uint32_t colour) { return (colour * 0x9E3779B1u) >> 21; }

    struct Slot {
        std::uint32_t colour = 0;
        Match match;
    };
    std::array<Slot, table_size> slots_{};
    std::uint32_t free_marker_ = 0;
};

// The nearest palette colour, for option --nearest: a colour that no entry
// holds is moved to the entry nearest to it, never to index 0 (blank in
// run-length storage, the mask colour elsewhere) and, in a tile set, never
// to the cycling entries 201 to 207 (their colours turn in the game).
//
// Distance: the "redmean" weighted RGB distance,
//   (512 + r) dR^2 + 1024 dG^2 + (767 - r) dB^2,  r the mean of the two reds,
// which is 256 times (2 + r/256) dR^2 + 4 dG^2 + (2 + (255 - r)/256) dB^2.
// It weighs the components about as the eye does (green most, red more in
// reddish colours, blue more in bluish ones) at the cost of a few integer
// products, and is exact and the same on every machine. Of two entries at
// the same distance the one exact matching would prefer wins: the lower
// index in raw storage, the higher in run-length storage.
class NearestColour {
public:
    NearestColour(const Palette& palette, PixelStorage storage, bool tile_set);

    // The index of the candidate nearest to the colour; alpha is ignored.
    std::uint8_t index(std::uint32_t colour) const;
    static std::uint64_t distance(std::uint32_t a, std::uint32_t b);

private:
    std::vector<std::pair<std::uint32_t, std::uint8_t>> candidates_;  // colour, index
    bool higher_wins_ = false;
};

// From this alpha on a semi-transparent pixel takes the nearest colour
// under --nearest; below it the pixel is blank.
inline constexpr std::uint32_t nearest_opaque_from_alpha = 128;

// A picture of 32-bit pixels (0xAARRGGBB, stored little-endian) in memory.
// A pixel is blank when its alpha is 0, whatever its colour bytes (many
// editors keep colour in fully transparent pixels); under --nearest also
// when its alpha is below 128.
struct PictureView {
    const std::uint8_t* top_row = nullptr;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::size_t pitch = 0;  // bytes from one row to the next

    std::uint32_t pixel(std::uint32_t x, std::uint32_t y) const {
        const std::uint8_t* at = top_row + y * pitch + std::size_t{x} * 4;
        return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
               (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
    }
};

// The lowest alpha of a pixel that is not blank: 1, or 128 under --nearest.
inline std::uint32_t blank_below_alpha(const NearestColour* nearest) {
    return nearest ? nearest_opaque_from_alpha : 1;
}

// First column and first row that hold a non-blank pixel (alpha of
// blank_below or more); each is the picture's width (height) when it has
// none. The two are found independently; right and bottom edges are never
// trimmed.
struct TrimOrigin {
    std::uint32_t column = 0;
    std::uint32_t row = 0;
};
TrimOrigin find_trim_origin(const PictureView& picture, std::uint32_t blank_below = 1);

// A colour that no palette entry holds, as one picture uses it.
struct OffPaletteColour {
    std::uint32_t colour = 0;  // as drawn, 0xAARRGGBB
    std::uint64_t pixels = 0;
    std::uint32_t x = 0;       // its first pixel (rows from the top, then
    std::uint32_t y = 0;       // columns from the left), in the picture
    std::uint8_t index = 0;    // the index it is stored as
};

// What matching did to the pixels whose colours palette.bmp lacks.
struct OffPalettePixels {
    // Inline limit on the colours told apart per picture (a photograph may
    // hold millions); the pixels of further colours are only counted.
    static constexpr std::size_t most_colours = 4096;

    std::vector<OffPaletteColour> colours;  // most pixels first, then first seen first
    std::uint64_t pixels = 0;               // all of them, those of untold colours too
    std::uint64_t semi_transparent = 0;     // of them, alpha 1 to 254
    std::uint32_t semi_x = 0, semi_y = 0;   // the first semi-transparent one
    std::uint64_t blanked = 0;              // --nearest: alpha 1 to 127, made blank
};

// One picture as the archive stores it.
struct CodedPicture {
    std::uint32_t width = 0;     // stored width (picture width less the trim column)
    std::uint32_t height = 0;    // stored height
    std::uint32_t x_offset = 0;  // trim column
    std::uint32_t y_offset = 0;  // trim row
    OffPalettePixels off_palette{};  // non-blank pixels whose colour is in no palette entry, by colour
    std::array<bool, palette_entries> matched{};  // indices that some pixel's colour was matched to
};

// Codes the rectangle from the origin to the picture's right and bottom
// edges, row by row, and appends the bytes to out (raw: one index per pixel;
// run-length: tokens, a run ending at each row's end when row_split is set).
// Without nearest a colour no entry holds becomes index 0; with it, the
// nearest entry (semi-transparent pixels: blank below alpha 128, from 128
// their colour's own entry when there is one, else the nearest).
CodedPicture code_picture(const PictureView& picture, TrimOrigin origin, const ColourMatcher& matcher,
                          PixelStorage storage, bool row_split, std::vector<std::uint8_t>& out,
                          const NearestColour* nearest = nullptr);

// A picture of 8-bit palette indices, as an indexed PNG holds them.
struct IndexView {
    const std::uint8_t* top_row = nullptr;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::size_t pitch = 0;

    std::uint8_t index(std::uint32_t x, std::uint32_t y) const { return top_row[std::size_t{y} * pitch + x]; }
};

// The trim origin of an indexed picture: with index 0 transparent, index 0
// is blank; otherwise no pixel is, and nothing is trimmed.
TrimOrigin find_trim_origin(const IndexView& picture, bool index_0_blank);

// Codes the rectangle from the origin to the right and bottom edges with
// the indices as they stand (no colour matching), like code_picture.
CodedPicture code_indices(const IndexView& picture, TrimOrigin origin, PixelStorage storage, bool row_split,
                          std::vector<std::uint8_t>& out);

// Capacity the work buffer starts with for a picture of width x height:
// round(1.128 x width x height). Run-length data may need more and the
// buffer grows past it.
std::size_t work_buffer_capacity(std::uint32_t width, std::uint32_t height);

}  // namespace quarnel
