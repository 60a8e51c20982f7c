#include "archive/palette_files.h"

#include "runtime/utility/text.h"

namespace quarnel {

namespace {

std::uint8_t red_of(std::uint32_t colour) { return static_cast<std::uint8_t>(colour >> 16); }
std::uint8_t green_of(std::uint32_t colour) { return static_cast<std::uint8_t>(colour >> 8); }
std::uint8_t blue_of(std::uint32_t colour) { return static_cast<std::uint8_t>(colour); }

std::string component(std::uint8_t value) { return decimal_text(std::uint32_t{value}); }

// A component right-aligned in three places, as GIMP writes its palettes.
std::string aligned(std::uint8_t value) {
    std::string text = component(value);
    return std::string(3 - text.size(), ' ') + text;
}

// Printable ASCII only: the name is one line of a text file.
std::string clean_name(std::string_view name) {
    std::string clean;
    for (const char c : name) clean.push_back(c >= 0x20 && c < 0x7F ? c : '_');
    return clean.empty() ? std::string("palette") : clean;
}

}  // namespace

std::string gimp_palette_text(const Palette& colours, std::string_view palette_name) {
    std::string text = "GIMP Palette\nName: " + clean_name(palette_name) + "\nColumns: 16\n#\n";
    for (std::size_t i = 0; i < colours.size(); ++i) {
        const std::uint32_t c = colours[i];
        text += aligned(red_of(c)) + " " + aligned(green_of(c)) + " " + aligned(blue_of(c)) + "\tIndex " +
                decimal_text(static_cast<std::uint32_t>(i)) + (i == 0 ? " (transparent)" : "") + "\n";
    }
    return text;
}

std::string jasc_palette_text(const Palette& colours) {
    std::string text = "JASC-PAL\r\n0100\r\n256\r\n";
    for (const std::uint32_t c : colours)
        text += component(red_of(c)) + " " + component(green_of(c)) + " " + component(blue_of(c)) + "\r\n";
    return text;
}

std::vector<std::uint8_t> photoshop_palette_bytes(const Palette& colours) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(photoshop_palette_size);
    for (const std::uint32_t c : colours) bytes.insert(bytes.end(), {red_of(c), green_of(c), blue_of(c)});
    // 256 colours, transparent index 0.
    bytes.insert(bytes.end(), {0x01, 0x00, 0x00, 0x00});
    return bytes;
}

std::vector<PaletteFile> palette_files(const Palette& colours, std::string_view palette_name) {
    auto as_bytes = [](const std::string& text) { return std::vector<std::uint8_t>(text.begin(), text.end()); };
    return {PaletteFile{gimp_palette_file_name, as_bytes(gimp_palette_text(colours, palette_name))},
            PaletteFile{jasc_palette_file_name, as_bytes(jasc_palette_text(colours))},
            PaletteFile{photoshop_palette_file_name, photoshop_palette_bytes(colours)}};
}

}  // namespace quarnel
