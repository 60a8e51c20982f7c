// The map viewer job (input kind 3): asks for a unit and a tile set, loads
// the unit's pictures and animations, the tile set and the map from the game
// directory, and runs the view loop on the 8-bit screen until Escape.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "mapview/viewer_pictures.h"

namespace quarnel {

// False when the unit, its animations, the tile set or the map could not
// be loaded (a message has been printed).
bool map_viewer_job();

// The path of a game file: game directory, folder and file name, each part
// matched without regard to letter case. Parts that are not found are
// joined as given, so that a message can name the file looked for.
std::string game_file_path(std::string_view game_dir, std::string_view folder, std::string_view file_name);

// The tile set name + ".bts" from the game directory's scenario folder;
// nothing, after saying so, when it is missing or cannot be loaded.
std::optional<ViewerTileSet> load_game_tile_set(std::string_view game_dir, std::string_view tile_set_name);

}  // namespace quarnel
