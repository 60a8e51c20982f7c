// The pages of the catalogue: HTML text made safe from any bytes a game
// file or name holds, and the frame every page shares (its title, the
// style sheet, the way back to the front page).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "archive/palette.h"

namespace quarnel {

inline constexpr std::string_view site_style_file_name = "style.css";

// Text for an HTML page: UTF-8 as it stands; other bytes read in the game's
// code page (Windows-1250); control bytes shown as symbols; <, >, & and
// quotes escaped.
std::string html_text(std::string_view bytes);

// A whole page: title, a link back to the front page (none for the front
// page itself) and the body given.
std::string html_page(std::string_view title, std::string_view body, bool front_page);

// The shared style sheet.
std::string site_style_sheet();

// 256 colour swatches in rows of 16, each with its index and its colour in
// its title.
std::string palette_swatches(const Palette& colours);

// "#rrggbb" of a colour 0xAARRGGBB.
std::string css_colour(std::uint32_t colour);

}  // namespace quarnel
