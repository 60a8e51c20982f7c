// The map viewer job (input kind 3): asks for a unit and a tile set, loads
// the unit's pictures and animations, the tile set and the map from the game
// directory, and runs the view loop on the 8-bit screen until Escape.
#pragma once

#include <string>
#include <string_view>

namespace quarnel {

void map_viewer_job();

// The path of a game file: game directory, folder and file name, each part
// matched without regard to letter case. Parts that are not found are
// joined as given, so that a message can name the file looked for.
std::string game_file_path(std::string_view game_dir, std::string_view folder, std::string_view file_name);

}  // namespace quarnel
