// The whole map in one picture, for quarnel's command "map": every cell
// drawn as the view loop draws it (ground, overlay, markers, grid), without
// a window and without the unit.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "mapview/map_grid.h"
#include "mapview/viewer_pictures.h"
#include "runtime/image/image.h"
#include "runtime/utility/job.h"

namespace quarnel {

// The largest whole-map picture drawn: 64 Mi pixels (256 x 256 cells), so
// that its 32-bit form stays within what a PNG file is read back with.
inline constexpr std::uint64_t map_picture_pixel_limit = std::uint64_t{64} << 20;

// The map's pixel size: 32 pixels per cell each way.
std::uint64_t map_picture_pixels(const MapGrid& grid);

// An 8-bit picture of the whole map, cell (1, 1) at the top left: grounds
// and overlays, the markers of plane marker_view (1 or 2; 0 for none) and,
// when with_grid is set, a grid line along the right and bottom edge of
// every cell. Null when the map is empty or larger than the limit.
ImagePtr draw_whole_map(const MapGrid& grid, const ViewerTileSet& tiles, std::uint8_t marker_view, bool with_grid);

// The colours the viewer's screen shows for the tile set's palette: its
// entries as the screen keeps them when set from it (six bits of each
// component), red in bits 0-7, green 8-15, blue 16-23. The screen is not
// touched.
std::array<std::uint32_t, 256> viewer_screen_colours(const ViewerPalette& palette);

// The 8-bit picture in opaque 32-bit colours: index i becomes colours[i]
// (red in bits 0-7, green 8-15, blue 16-23, as the screen's palette holds
// its entries). Null when the picture is not 8-bit.
ImagePtr colour_picture(const Image& indexed, const std::array<std::uint32_t, 256>& colours);

struct MapPictureRequest {
    std::string map_path;       // the scenario map (absolute)
    std::string game_dir;       // the game's folder (setup.txt), ending in a separator when set
    std::string tile_set_name;  // its .bts in the game's scenario folder
    std::uint8_t markers = 0;   // plane of markers drawn: 1 or 2, 0 for none
    bool grid = false;          // grid lines along every cell
    std::string png_path;       // the picture written
};

struct MapPictureOutcome {
    bool ok = false;
    std::string failure;  // why no picture was written, in a few words
    int width = 0;        // the map's cells
    int height = 0;
};

// Draws the whole map in the colours the viewer shows and writes it as PNG,
// whole or not at all; the loaders' lines go to say.
MapPictureOutcome draw_map_file(const MapPictureRequest& request, const LineSink& say);

}  // namespace quarnel
