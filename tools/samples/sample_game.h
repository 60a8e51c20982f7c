// An invented sample game folder for the map viewer and the catalogue: a
// unit sprite set with animations in eight directions and its animation
// description, a desert tile set and a 40 x 30 scenario map, laid out as the
// game keeps them:
//   sprites/REAP.SPR, animate/REAP.FIN, scenario/DESERT.BTS, scenario/SAMPLE.MAP
// and besides, so that every archive kind is there: a second unit with raw
// pictures (sprites/HOVR.SPR, animate/HOVR.FIN), a swamp tile set of its own
// colours and keys with a map drawn in it (scenario/SWAMP.BTS,
// scenario/SWAMP.MAP), a raw image set (interface/ICONS.TRS), a named item
// container with a screen, a small picture and their palettes
// (interface/SCREENS.TRC) and a numbered one (interface/SOUNDS.TRW).
// Every picture and colour is drawn here by the project.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quarnel {

struct SampleGame {
    std::vector<std::uint8_t> unit_sprites;    // run-length coded .spr
    std::vector<std::uint8_t> unit_animations; // .fin
    std::vector<std::uint8_t> tile_set;        // .bts
    std::vector<std::uint8_t> map;             // .map
    std::vector<std::uint8_t> second_unit_sprites;     // raw .spr
    std::vector<std::uint8_t> second_unit_animations;  // .fin
    std::vector<std::uint8_t> second_tile_set;         // .bts
    std::vector<std::uint8_t> second_map;              // .map
    std::vector<std::uint8_t> raw_image_set;           // .trs
    std::vector<std::uint8_t> named_container;         // .trc
    std::vector<std::uint8_t> numbered_container;      // .trw
};

inline constexpr std::string_view sample_unit_name = "REAP";
inline constexpr std::string_view sample_tile_set_name = "desert";
inline constexpr int sample_map_width = 40;
inline constexpr int sample_map_height = 30;
inline constexpr std::string_view sample_second_unit_name = "HOVR";
inline constexpr std::string_view sample_second_tile_set_name = "swamp";

SampleGame make_sample_game();

// Writes the four files under folder (created with its sub-folders when
// missing); returns false with a reason when a file cannot be written.
bool write_sample_game(std::string_view folder, const SampleGame& game, std::string& error);

// Paths of the files within the folder.
std::string sample_map_path(std::string_view folder);

}  // namespace quarnel
