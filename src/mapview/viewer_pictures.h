// The viewer's pictures: the unit's sprite set and the tile set, decoded once
// into 8-bit pictures, each image twice (as stored and mirrored left to
// right), with the tile keys that the map grid looks up and the tile set's
// palette, which the screen takes (units are drawn with it too).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/image/image.h"
#include "runtime/utility/job.h"

namespace quarnel {

struct PaletteColour {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    bool operator==(const PaletteColour&) const = default;
};
using ViewerPalette = std::array<PaletteColour, 256>;

// Slot 2i holds image i as stored, slot 2i + 1 the same image mirrored.
struct UnitSpriteSet {
    static constexpr int max_images = 250;
    // Upper bound of the pixel bytes the whole set may take (both slots of
    // every image), so that a small run-length file cannot ask for gigabytes.
    static constexpr std::uint64_t max_total_pixels = std::uint64_t{1} << 26;

    std::int32_t image_count = 0;        // the count in the archive's header
    std::vector<ImagePtr> pictures;      // null for an image without pixels
    std::vector<std::int32_t> widths;    // per slot
    std::vector<std::int32_t> heights;   // per slot
    std::vector<std::uint8_t> x_offsets; // per image: low byte of the record's x offset

    std::int32_t slot_count() const { return static_cast<std::int32_t>(pictures.size()); }
    const Image* picture(std::int32_t slot) const;
    std::int32_t height(std::int32_t slot) const;  // 0 for a slot not loaded
    std::uint8_t x_offset(std::int32_t image) const;
};

struct ViewerTileSet {
    std::int32_t tile_count = 0;       // the count in the file's header
    std::vector<std::int32_t> keys;    // two entries per tile loaded
    std::vector<ImagePtr> pictures;    // picture 2j tile j, 2j + 1 its mirror
    ViewerPalette palette{};

    const Image* picture(std::int32_t number) const;
};

// 8-bit picture of width x height filled with index 0; null when a side is 0.
ImagePtr new_viewer_picture(std::uint32_t width, std::uint32_t height);

// Decodes a unit sprite set (.spr) from its bytes. Images past the 250th are
// ignored; an image record or image data cut short by the end of the file
// keeps the pixels that exist.
UnitSpriteSet build_unit_sprite_set(std::span<const std::uint8_t> bytes);
// Decodes a tile set (.bts) from its bytes; tiles that do not begin within
// the data are ignored.
ViewerTileSet build_tile_pictures(std::span<const std::uint8_t> bytes);

// Nothing when the file cannot be read (a file over the limit is said).
std::optional<UnitSpriteSet> load_unit_sprite_set(std::string_view path, const LineSink& say);
// Says "wczytano obrazki: " with the tile count after loading.
std::optional<ViewerTileSet> load_tile_set(std::string_view path, const LineSink& say);

}  // namespace quarnel
