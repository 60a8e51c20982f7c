#include "archive/palette.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "runtime/image/bmp.h"
#include "runtime/image/image.h"
#include "runtime/platform/files.h"
#include "runtime/utility/paths.h"

namespace quarnel {

std::uint8_t expand_component(std::uint8_t component) {
    auto v = static_cast<std::uint8_t>(component * 4);
    if (v != 0) v = static_cast<std::uint8_t>(v + 3);
    return v;
}

std::uint8_t reduce_component(std::uint8_t value) {
    const unsigned v = value > 3 ? value - 3u : value;
    unsigned quotient = v / 4;
    const unsigned remainder = v % 4;
    // Nearest whole number, a half going to the even neighbour.
    if (remainder > 2 || (remainder == 2 && (quotient & 1u) != 0)) ++quotient;
    return static_cast<std::uint8_t>(quotient);
}

Palette palette_from_block_bytes(std::span<const std::uint8_t> block) {
    Palette colours{};
    auto component = [&](std::size_t at) -> std::uint8_t { return at < block.size() ? block[at] : 0; };
    for (std::size_t i = 0; i < palette_entries; ++i)
        colours[i] = opaque_colour(expand_component(component(3 * i)), expand_component(component(3 * i + 1)),
                                   expand_component(component(3 * i + 2)));
    return colours;
}

std::array<std::uint8_t, 768> block_from_palette(const Palette& colours) {
    std::array<std::uint8_t, 768> block{};
    for (std::size_t i = 0; i < palette_entries; ++i) {
        block[3 * i] = reduce_component(static_cast<std::uint8_t>(colours[i] >> 16));
        block[3 * i + 1] = reduce_component(static_cast<std::uint8_t>(colours[i] >> 8));
        block[3 * i + 2] = reduce_component(static_cast<std::uint8_t>(colours[i]));
    }
    return block;
}

Palette palette_from_pal_bytes(std::span<const std::uint8_t> bytes) {
    Palette colours{};
    auto component = [&](std::size_t at) -> std::uint8_t { return at < bytes.size() ? bytes[at] : 0; };
    for (std::size_t i = 0; i < palette_entries; ++i)
        colours[i] = opaque_colour(component(3 * i), component(3 * i + 1), component(3 * i + 2));
    return colours;
}

namespace {

ImagePtr palette_strip(const Palette& colours) {
    ImagePtr strip = create_image(static_cast<int>(palette_entries), 1, 0, 32);
    if (strip)
        for (std::size_t i = 0; i < palette_entries; ++i) set_pixel(strip.get(), static_cast<int>(i), 0, colours[i]);
    return strip;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> palette_image_bytes(const Palette& colours) {
    ImagePtr strip = palette_strip(colours);
    if (!strip) return std::nullopt;
    auto bytes = bmp_encode(*strip);
    destroy_image(strip);
    return bytes;
}

void ExtractionPalette::palette_from_block(std::span<const std::uint8_t> input_bytes) {
    const std::span<const std::uint8_t> block =
        input_bytes.size() > 8 ? input_bytes.subspan(8, std::min<std::size_t>(768, input_bytes.size() - 8))
                               : std::span<const std::uint8_t>();
    working = palette_from_block_bytes(block);
    base = working;
}

int read_palette_image(std::string_view path, Palette& colours) {
    colours.fill(0);
    ImagePtr strip = create_image(static_cast<int>(palette_entries), 1, 0, 32);
    if (!strip) return 1;
    // Indices an 8-bit file's palette lacks read as the default palette's.
    std::array<std::uint32_t, 256> file_palette = default_palette();
    const int code = load_bmp(path, strip.get(), &file_palette);
    if (code == 0)
        for (std::size_t i = 0; i < palette_entries; ++i)
            colours[i] = static_cast<std::uint32_t>(get_pixel(strip.get(), static_cast<int>(i), 0));
    destroy_image(strip);
    return code;
}

int ExtractionPalette::palette_from_image(std::string_view image_path) {
    const int code = read_palette_image(image_path, working);
    base = working;
    return code;
}

void ExtractionPalette::palette_from_pal_file(std::string_view dir, std::string_view name, const LineSink& say) {
    const std::string found = find_ignoring_case(dir, name);
    std::optional<std::vector<std::uint8_t>> bytes;
    if (!found.empty()) {
        auto read = read_whole_file(found);
        if (read)
            bytes = std::move(*read);
        else
            say_read_failure(read.error(), say);
    }
    if (!bytes) {
        // Like the binary open it stands for: a missing file is created empty.
        const std::string path = join_path(dir, name);
        if (!name_exists(path) && write_whole_file(path, std::string_view()))
            empty_pal_files.emplace_back(name);
        bytes.emplace();
    }
    working = palette_from_pal_bytes(*bytes);
}

void ExtractionPalette::rotate_cycle_colours(int step) {
    rotation_step = ((step % cycle_length) + cycle_length) % cycle_length;
    for (int k = 0; k < cycle_length; ++k)
        working[static_cast<std::size_t>(cycle_first_entry + (rotation_step + k) % cycle_length)] =
            base[static_cast<std::size_t>(cycle_first_entry + k)];
}

Palette ExtractionPalette::used_colours() const {
    Palette shown{};
    for (std::size_t i = 0; i < palette_entries; ++i) shown[i] = used[i] ? working[i] : working[0];
    return shown;
}

}  // namespace quarnel
