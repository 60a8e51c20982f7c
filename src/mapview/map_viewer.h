// The map viewer job: loads the unit's pictures and animations, the tile set
// and the map from the game directory, and runs the view loop on the 8-bit
// screen until Escape.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "mapview/view_loop.h"
#include "mapview/viewer_pictures.h"
#include "runtime/utility/job.h"

namespace quarnel {

struct ViewerRequest {
    std::string map_path;              // the scenario map (absolute)
    std::string game_dir;              // the game's folder (setup.txt), ending in a separator when set
    Answer<std::string> unit_name;     // empty: REAP
    // Asked after the unit has loaded, in an interactive start.
    Answer<std::string> tile_set_name;
};

// False when the unit, its animations, the tile set or the map could not
// be loaded (the reason has been said). Every line goes to say.
bool view_map(const ViewerRequest& request, ViewerDevices& devices, const LineSink& say);

// The real screen, keys, pointer and clock; wait_for_key: whether the wait
// before the loop waits (an interactive start) or goes on at once (command
// mode).
std::unique_ptr<ViewerDevices> screen_viewer_devices(bool wait_for_key);

// The path of a game file: game directory, folder and file name, each part
// matched without regard to letter case. Parts that are not found are
// joined as given, so that a message can name the file looked for.
std::string game_file_path(std::string_view game_dir, std::string_view folder, std::string_view file_name);

// The tile set name + ".bts" from the game directory's scenario folder;
// nothing, after saying so, when it is missing or cannot be loaded.
std::optional<ViewerTileSet> load_game_tile_set(std::string_view game_dir, std::string_view tile_set_name,
                                                const LineSink& say);

}  // namespace quarnel
