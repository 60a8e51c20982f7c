#include "mapview/map_picture.h"

#include "mapview/view_loop.h"
#include "runtime/screen.h"

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
        colours[static_cast<std::size_t>(i)] = std::uint32_t{screen_palette_component(c.red)} |
                                               (std::uint32_t{screen_palette_component(c.green)} << 8) |
                                               (std::uint32_t{screen_palette_component(c.blue)} << 16);
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

}  // namespace quarnel
