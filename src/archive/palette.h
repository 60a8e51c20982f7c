// Palettes of the archives: the 6-bit palette block and its expansion, the
// palette image of option -p, the .pal items of containers, the colour
// rotation of tile sets, and the two palette images written beside the
// extracted pictures (palette.bmp and pal_used.bmp).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/utility/job.h"

namespace quarnel {

inline constexpr std::size_t palette_entries = 256;
using Palette = std::array<std::uint32_t, palette_entries>;  // 0xAARRGGBB per entry

inline constexpr char palette_image_file_name[] = "palette.bmp";
inline constexpr char used_palette_file_name[] = "pal_used.bmp";
inline constexpr std::size_t pal_file_size = 768;

// The tile sets' cycling colours: entries 201 to 207.
inline constexpr int cycle_first_entry = 201;
inline constexpr int cycle_length = 7;

// 6-bit component to 8 bits, in 8-bit arithmetic: 4c, plus 3 when that is
// not 0 (0 -> 0, 1 -> 7, 63 -> 255; 64 and above wrap: 64 -> 0, 65 -> 7).
std::uint8_t expand_component(std::uint8_t component);
// 8-bit component back to 6 bits: above 3 take 3 off, then divide by 4
// rounding to nearest, ties to even. Undoes expand_component; 255 -> 63.
std::uint8_t reduce_component(std::uint8_t value);

// Opaque colour 0xFFRRGGBB.
inline std::uint32_t opaque_colour(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return 0xFF000000u | (std::uint32_t{red} << 16) | (std::uint32_t{green} << 8) | blue;
}

// The 256 colours of a 6-bit palette block (red, green, blue per entry);
// entries the block does not reach (a short file) read as component 0.
Palette palette_from_block_bytes(std::span<const std::uint8_t> block);
// The 768-byte block of 6-bit components for 256 colours (reduce_component).
std::array<std::uint8_t, 768> block_from_palette(const Palette& colours);
// The colours of a .pal file's bytes: 8-bit components used as they are;
// bytes past the end read as 0.
Palette palette_from_pal_bytes(std::span<const std::uint8_t> bytes);

// The working palette of one extraction, with its base copy, the set of
// indices drawn, and the rotation step of a tile set's passes.
class ExtractionPalette {
public:
    Palette working{};
    Palette base{};
    std::array<bool, palette_entries> used{};
    int rotation_step = 0;
    // Names of the empty .pal files palette_from_pal_file left behind.
    std::vector<std::string> empty_pal_files;

    // Source 1: the archive's palette block (offset 8 of the file).
    void palette_from_block(std::span<const std::uint8_t> input_bytes);
    // Source 2: pixels (0, 0) to (255, 0) of a BMP image; returns load_bmp's
    // result code (0 = loaded), which extraction shows. An image that does
    // not load leaves every entry 0.
    int palette_from_image(std::string_view image_path);
    // The working palette (not the base) from the .pal file of that name in
    // dir, found ignoring letter case. A missing file is left behind empty
    // under the name asked for, and every colour becomes opaque black.
    // A file over the limit is said.
    void palette_from_pal_file(std::string_view dir, std::string_view name, const LineSink& say);
    // Sets the rotation step: working entry 201 + ((step + k) mod 7) takes
    // base entry 201 + k, for k = 0 to 6.
    void rotate_cycle_colours(int step);
    // After a pass over a tile set: the step moves on by one, 6 wraps to 0.
    void advance_rotation() { rotate_cycle_colours((rotation_step + 1) % cycle_length); }

    void mark_used(std::uint8_t index) { used[index] = true; }
    // The colours of pal_used.bmp: working colour 0 everywhere, working
    // colour i at pixel i for every index used.
    Palette used_colours() const;
};

// The colours of pixels (0, 0) to (255, 0) of a BMP picture (palette.bmp,
// the picture of option -p), colour i at pixel (i, 0); indices an 8-bit
// file's palette lacks read as the default palette's. Returns load_bmp's
// code, 0 when the picture was read; on any other every colour is 0.
int read_palette_image(std::string_view path, Palette& colours);

// The bytes of a 256 x 1 BMP picture of these colours (palette.bmp,
// pal_used.bmp); nothing when no image buffer can be made.
std::optional<std::vector<std::uint8_t>> palette_image_bytes(const Palette& colours);

}  // namespace quarnel
