#include "mapview/viewer_pictures.h"

#include <algorithm>

#include "archive/palette.h"
#include "archive/sprite_archive.h"
#include "runtime/platform/files.h"
#include "runtime/utility/byte_reader.h"
#include "runtime/utility/text.h"

namespace quarnel {

namespace {

// Writes one decoded pixel into a picture and its mirror.
class PicturePair {
public:
    PicturePair(Image* stored, Image* mirrored, std::uint32_t width) : width_(width) {
        if (stored && mirrored) {
            stored_ = stored;
            mirrored_ = mirrored;
            stored_layout_ = image_layout(*stored);
            mirrored_layout_ = image_layout(*mirrored);
        }
    }
    void put(std::uint32_t x, std::uint32_t y, std::uint8_t index) {
        if (!stored_layout_ || !mirrored_layout_) return;
        if (x >= width_ || y >= stored_layout_->height) return;
        image_row(*stored_, *stored_layout_, y)[x] = index;
        image_row(*mirrored_, *mirrored_layout_, y)[width_ - 1 - x] = index;
    }

private:
    std::uint32_t width_;
    Image* stored_ = nullptr;
    Image* mirrored_ = nullptr;
    std::optional<ImageLayout> stored_layout_;
    std::optional<ImageLayout> mirrored_layout_;
};

}  // namespace

ImagePtr new_viewer_picture(std::uint32_t width, std::uint32_t height) {
    return new_image_buffer(width, height, 1);
}

const Image* UnitSpriteSet::picture(std::int32_t slot) const {
    if (slot < 0 || slot >= slot_count()) return nullptr;
    return pictures[static_cast<std::size_t>(slot)].get();
}

std::int32_t UnitSpriteSet::height(std::int32_t slot) const {
    if (slot < 0 || slot >= static_cast<std::int32_t>(heights.size())) return 0;
    return heights[static_cast<std::size_t>(slot)];
}

std::uint8_t UnitSpriteSet::x_offset(std::int32_t image) const {
    if (image < 0 || image >= static_cast<std::int32_t>(x_offsets.size())) return 0;
    return x_offsets[static_cast<std::size_t>(image)];
}

const Image* ViewerTileSet::picture(std::int32_t number) const {
    if (number < 0 || number >= static_cast<std::int32_t>(pictures.size())) return nullptr;
    return pictures[static_cast<std::size_t>(number)].get();
}

UnitSpriteSet build_unit_sprite_set(std::span<const std::uint8_t> bytes) {
    const SpriteSet archive = parse_sprite_set(bytes);
    UnitSpriteSet set;
    set.image_count = archive.image_count;
    // Room for 250 images; the surplus of a larger archive is ignored.
    const std::size_t loaded = std::min<std::size_t>(archive.images.size(), UnitSpriteSet::max_images);
    set.pictures.resize(2 * loaded);
    set.widths.assign(2 * loaded, 0);
    set.heights.assign(2 * loaded, 0);
    set.x_offsets.assign(loaded, 0);
    std::uint64_t pixels_taken = 0;
    for (std::size_t i = 0; i < loaded; ++i) {
        const ArchiveImage& image = archive.images[i];
        const std::size_t stored = 2 * i, mirrored = 2 * i + 1;
        set.widths[stored] = set.widths[mirrored] = static_cast<std::int32_t>(image.width);
        set.heights[stored] = set.heights[mirrored] = static_cast<std::int32_t>(image.height);
        set.x_offsets[i] = static_cast<std::uint8_t>(image.x_offset & 0xFF);
        const std::uint64_t area = pixel_count(image);
        if (area == 0 || pixels_taken + 2 * area > UnitSpriteSet::max_total_pixels) continue;
        set.pictures[stored] = new_viewer_picture(image.width, image.height);
        set.pictures[mirrored] = new_viewer_picture(image.width, image.height);
        pixels_taken += 2 * area;
        PicturePair pair(set.pictures[stored].get(), set.pictures[mirrored].get(), image.width);
        decode_image(bytes, archive.pixel_storage(), image,
                     [&](std::uint32_t x, std::uint32_t y, std::uint8_t index) { pair.put(x, y, index); });
    }
    return set;
}

ViewerTileSet build_tile_pictures(std::span<const std::uint8_t> bytes) {
    const TileSet archive = parse_tile_set(bytes);
    ViewerTileSet set;
    // The 6-bit palette block expanded to 8 bits (4c, plus 3 unless 0);
    // entries the file does not hold stay black.
    for (std::size_t i = 0; i < set.palette.size(); ++i) {
        const std::size_t at = 3 * i;
        if (at + 3 > archive.palette_block.size()) break;
        set.palette[i] = PaletteColour{expand_component(archive.palette_block[at]),
                                       expand_component(archive.palette_block[at + 1]),
                                       expand_component(archive.palette_block[at + 2])};
    }
    set.tile_count = archive.tile_count;
    for (const ArchiveImage& tile : archive.tiles) {
        // The key is the low 16 bits of the tile value.
        const auto key = static_cast<std::int32_t>(tile.tile_value & 0xFFFF);
        set.keys.push_back(key);
        set.keys.push_back(key);
        ImagePtr stored = new_viewer_picture(tile_side, tile_side);
        ImagePtr mirrored = new_viewer_picture(tile_side, tile_side);
        PicturePair pair(stored.get(), mirrored.get(), tile_side);
        decode_image(bytes, PixelStorage::raw, tile,
                     [&](std::uint32_t x, std::uint32_t y, std::uint8_t index) { pair.put(x, y, index); });
        set.pictures.push_back(std::move(stored));
        set.pictures.push_back(std::move(mirrored));
    }
    return set;
}

std::optional<UnitSpriteSet> load_unit_sprite_set(std::string_view path, const LineSink& say) {
    const auto bytes = read_whole_file(path);
    if (!bytes) {
        say_read_failure(bytes.error(), say);
        return std::nullopt;
    }
    return build_unit_sprite_set(*bytes);
}

std::optional<ViewerTileSet> load_tile_set(std::string_view path, const LineSink& say) {
    const auto bytes = read_whole_file(path);
    if (!bytes) {
        say_read_failure(bytes.error(), say);
        return std::nullopt;
    }
    ViewerTileSet set = build_tile_pictures(*bytes);
    say("wczytano obrazki: " + decimal_text(set.tile_count));
    return set;
}

}  // namespace quarnel
