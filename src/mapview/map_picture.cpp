#include "mapview/map_picture.h"

#include "mapview/map_viewer.h"
#include "mapview/view_loop.h"
#include "png/png_writer.h"
#include "runtime/platform/files.h"
#include "runtime/screen/screen.h"

namespace quarnel {

std::uint64_t map_picture_pixels(const MapGrid& grid) {
    if (grid.width() <= 0 || grid.height() <= 0) return 0;
    return std::uint64_t(grid.width()) * view_cell_size * std::uint64_t(grid.height()) * view_cell_size;
}

ImagePtr draw_whole_map(const MapGrid& grid, const ViewerTileSet& tiles, std::uint8_t marker_view, bool with_grid) {
    const std::uint64_t pixels = map_picture_pixels(grid);
    if (pixels == 0 || pixels > map_picture_pixel_limit) return nullptr;
    const int width = grid.width() * view_cell_size;
    const int height = grid.height() * view_cell_size;
    ImagePtr picture = new_full_header_image(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), 1);
    if (!picture) return nullptr;
    draw_map_cells(picture.get(), grid, tiles, MapCells{0, 0, grid.width(), grid.height()}, marker_view);
    if (with_grid) draw_grid(picture.get(), grid.width(), grid.height(), width - 1, height - 1);
    return picture;
}

std::array<std::uint32_t, 256> viewer_screen_colours(const ViewerPalette& palette) {
    std::array<std::uint32_t, 256> colours{};
    for (int i = 0; i < 256; ++i) {
        const PaletteColour& c = palette[static_cast<std::size_t>(i)];
        colours[static_cast<std::size_t>(i)] = pack_palette_entry(
            screen_palette_component(c.red), screen_palette_component(c.green), screen_palette_component(c.blue));
    }
    return colours;
}

ImagePtr colour_picture(const Image& indexed, const std::array<std::uint32_t, 256>& colours) {
    const auto from = image_layout(indexed);
    if (!from || from->bytes_per_pixel != 1) return nullptr;
    ImagePtr picture = new_full_header_image(from->width, from->height, 4);
    if (!picture) return nullptr;
    const auto to = image_layout(*picture);
    for (std::uint32_t y = 0; y < from->height; ++y) {
        const std::uint8_t* source = image_row(indexed, *from, y);
        std::uint8_t* target = image_row(*picture, *to, y);
        for (std::uint32_t x = 0; x < from->width; ++x) {
            const std::uint32_t c = colours[source[x]];
            const std::uint32_t argb = 0xFF000000u | ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
            write_pixel_value(target + std::size_t{x} * 4, 4, argb);
        }
    }
    return picture;
}

MapPictureOutcome draw_map_file(const MapPictureRequest& request, const LineSink& say) {
    MapPictureOutcome outcome;
    const std::optional<ViewerTileSet> tiles = load_game_tile_set(request.game_dir, request.tile_set_name, say);
    if (!tiles) {
        outcome.failure = "no tile set '" + request.tile_set_name + "'";
        return outcome;
    }
    const std::optional<MapGrid> grid = load_map_grid(request.map_path, tiles->keys, say);
    if (!grid) {
        outcome.failure = "the map could not be read";
        return outcome;
    }
    outcome.width = grid->width();
    outcome.height = grid->height();
    const ImagePtr indexed = draw_whole_map(*grid, *tiles, request.markers, request.grid);
    if (!indexed) {
        outcome.failure =
            "the map is too large for one picture (at most " + std::to_string(map_picture_pixel_limit) + " pixels)";
        return outcome;
    }
    const ImagePtr picture = colour_picture(*indexed, viewer_screen_colours(tiles->palette));
    const auto file = picture ? png_encode(*picture) : std::nullopt;
    if (!file) {
        outcome.failure = "cannot write " + request.png_path + ": the picture cannot be coded";
        return outcome;
    }
    if (const WriteResult written = write_whole_file(request.png_path, std::span<const std::uint8_t>(*file)); !written) {
        outcome.failure = "cannot write " + request.png_path + ": " + written.error().message;
        return outcome;
    }
    outcome.ok = true;
    return outcome;
}

}  // namespace quarnel
