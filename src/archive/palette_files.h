// The palette in the formats paint programs load as a palette, written
// beside palette.bmp by extraction when asked (option -c, command-mode
// --palette-files): the same 256 colours as
//   palette.gpl  GIMP palette (GIMP, Krita, Aseprite, Inkscape): a text file,
//                "GIMP Palette", a name, then one "red green blue<TAB>name"
//                line per entry; entry 0 is named as the transparent one;
//   palette.pal  JASC-PAL (Paint Shop Pro, Aseprite, GraphicsGale): the lines
//                "JASC-PAL", "0100", the count, then "red green blue" per
//                entry, CR LF line ends; the format has no transparency;
//   palette.act  Adobe Color Table (Photoshop): 768 bytes of red, green,
//                blue, then the count of colours and the transparent index
//                (0), each a big-endian 16-bit number: 772 bytes.
// The builder reads none of them (it packs only the *.png of the folder).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "archive/palette.h"

namespace quarnel {

inline constexpr char gimp_palette_file_name[] = "palette.gpl";
inline constexpr char jasc_palette_file_name[] = "palette.pal";
inline constexpr char photoshop_palette_file_name[] = "palette.act";
inline constexpr std::size_t photoshop_palette_size = 772;

std::string gimp_palette_text(const Palette& colours, std::string_view palette_name);
std::string jasc_palette_text(const Palette& colours);
std::vector<std::uint8_t> photoshop_palette_bytes(const Palette& colours);

struct PaletteFile {
    std::string file_name;
    std::vector<std::uint8_t> bytes;
};
// The three files of these colours; palette_name names the GIMP palette.
std::vector<PaletteFile> palette_files(const Palette& colours, std::string_view palette_name);

}  // namespace quarnel
