#include "builder/archive_builder.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "archive/palette.h"
#include "archive/sprite_archive.h"
#include "builder/archive_layout.h"
#include "builder/build_file.h"
#include "builder/picture_coding.h"
#include "entry/module_state.h"
#include "png/png_reader.h"
#include "runtime/bmp.h"
#include "runtime/console.h"
#include "runtime/files.h"
#include "runtime/image.h"
#include "runtime/paths.h"
#include "runtime/screen.h"

namespace quarnel {

namespace {

constexpr int failure_pause_ms = 1000;
constexpr std::size_t header_bytes_read = 32;

std::string decimal(std::uint64_t value) { return std::to_string(value); }

BuilderConsole program_console() {
    return BuilderConsole{[](std::string_view text) { print_text(0, text, true); },
                          [](int milliseconds) { sleep_ms(milliseconds); }};
}

// The last three characters of a name, in lower case.
std::string name_ending(std::string_view path) {
    std::string ending(path.substr(path.size() >= 3 ? path.size() - 3 : 0));
    for (char& c : ending) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ending;
}

// palette.bmp's 256 colours, pixel (i, 0) being colour i. A file that does
// not load leaves every colour 0.
Palette load_palette(const std::string& path) {
    Palette palette{};
    ImagePtr strip = screen_is_open() ? create_image(256, 1, 0, 32) : new_image_buffer(256, 1, 4);
    if (!strip) return palette;
    load_bmp(path, strip.get());
    const auto layout = image_layout(*strip);
    if (layout && layout->bytes_per_pixel == 4 && layout->width >= 256 && layout->height >= 1) {
        const std::uint8_t* row = image_row(*strip, *layout, 0);
        for (std::size_t i = 0; i < palette.size(); ++i) palette[i] = read_pixel_value(row + 4 * i, 4);
    }
    destroy_image(strip);
    return palette;
}

// The picture's pixels as a view, or nothing when the image holds no usable
// 32-bit pixels.
std::optional<PictureView> view_of(const Image& image) {
    const auto layout = image_layout(image);
    if (!layout || layout->bytes_per_pixel != 4 || layout->width == 0 || layout->height == 0) return std::nullopt;
    return PictureView{image_row(image, *layout, 0), layout->width, layout->height, layout->pitch};
}

// A tile is always 32 x 32: a picture of another size is cut or filled with
// blank pixels to that size, so that every later tile keeps its place.
std::vector<std::uint8_t> fit_to_tile(const std::optional<PictureView>& picture) {
    std::vector<std::uint8_t> tile(std::size_t{tile_side} * tile_side * 4, 0);
    if (!picture) return tile;
    const std::uint32_t width = std::min(picture->width, tile_side);
    const std::uint32_t height = std::min(picture->height, tile_side);
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* source = picture->top_row + y * picture->pitch;
        std::copy(source, source + std::size_t{width} * 4, tile.begin() + std::ptrdiff_t{y} * tile_side * 4);
    }
    return tile;
}

}  // namespace

ImageSize image_size_from_header_bytes(std::string_view path, std::span<const std::uint8_t> file_start,
                                       const BuilderConsole& console) {
    std::array<std::uint8_t, header_bytes_read> head{};
    std::copy_n(file_start.begin(), std::min(file_start.size(), head.size()), head.begin());
    auto big_endian = [&](std::size_t at) {
        return (std::uint32_t{head[at]} << 24) | (std::uint32_t{head[at + 1]} << 16) |
               (std::uint32_t{head[at + 2]} << 8) | std::uint32_t{head[at + 3]};
    };
    auto little_endian = [&](std::size_t at) {
        return std::uint32_t{head[at]} | (std::uint32_t{head[at + 1]} << 8) | (std::uint32_t{head[at + 2]} << 16) |
               (std::uint32_t{head[at + 3]} << 24);
    };
    // Names come from systems that ignore letter case: "PNG" is "png".
    const std::string ending = name_ending(path);
    if (ending == "png") return ImageSize{big_endian(16), big_endian(20)};
    if (ending == "bmp") return ImageSize{little_endian(18), little_endian(22)};
    console.line("Nie rozpoznany plik!");
    console.wait_ms(failure_pause_ms);
    return ImageSize{};
}

ImageSize image_size_from_header(std::string_view path, const BuilderConsole& console) {
    std::array<std::uint8_t, header_bytes_read> head{};
    const int number = free_file_number();
    if (number > 0 && open_file(path, OpenMode::binary, number) == 0) {
        get_bytes(number, 1, head.data(), head.size());
        close_file(number);
    }
    return image_size_from_header_bytes(path, head, console);
}

ImageSize image_size_from_header(std::string_view path) { return image_size_from_header(path, program_console()); }

BuilderOutcome run_builder(const BuilderInput& input, const BuilderConsole& console) {
    BuilderOutcome outcome;

    // 1. The folder, as the user sees it.
    const std::string shown_dir = path_dir_part(input.input_path);
    std::string_view shown_parent(shown_dir);
    if (!shown_parent.empty() && shown_parent.back() == path_separator) shown_parent.remove_suffix(1);
    console.line("katalog: '" + shown_dir + "'");
    console.line("koncowka: '" + path_file_name(shown_parent) + "'");

    // 2. The build file.
    const BuildSettings settings = read_build_file(input.input_dir);
    if (settings.storage_flag > 1) {
        // No storage but raw (0) and run-length (1) exists; coding nothing
        // would give an archive of empty pictures.
        console.line("Zly sposob zapisu w build.txt: " + decimal(settings.storage_flag) +
                     " (tylko 0 lub 1) - nic nie zapisano | bad storage flag in build.txt, nothing written");
        return outcome;
    }
    const PixelStorage storage = settings.run_length() ? PixelStorage::run_length : PixelStorage::raw;
    const bool tile_set = settings.tile_set();
    const bool row_split = settings.row_split();

    // 3. The pictures, in name order.
    // Hidden files (names starting with a dot here) are not pictures of the
    // archive, as the listing of the game's own system leaves them out.
    std::vector<std::string> names = list_files_with_suffix(input.input_dir, ".png");
    std::erase_if(names, [](const std::string& name) { return name.starts_with('.'); });
    console.line("Znalezono plikow png: " + decimal(names.size()));
    if (names.empty()) {
        console.line("Brak plikow!");
        return outcome;
    }
    if (names.size() > most_pictures) {
        console.line("Za duzo plikow png (najwiecej " + decimal(most_pictures) +
                     ") - nic nie zapisano | too many png files, nothing written");
        return outcome;
    }
    const auto count = static_cast<std::uint32_t>(names.size());
    outcome.pictures = count;

    // 4. The palette, which is also the key from colours to indices.
    const Palette palette = load_palette(join_path(input.input_dir, palette_image_file_name));
    const ColourMatcher matcher(palette, storage);

    // 5, 6. Header and palette block; a tile set's tile values.
    std::optional<SpriteSetWriter> sprite_set;
    std::optional<TileSetWriter> tile_set_writer;
    std::vector<std::int32_t> tile_values;
    if (tile_set) {
        tile_set_writer.emplace(count, tile_set_code(input.input_folder_name), palette);
        tile_values = read_tile_listing(join_path(input.input_dir, input.input_folder_name + ".txt"), count);
    } else {
        sprite_set.emplace(count, storage, palette);
    }

    // 7. Every picture: load, trim, match, code, append.
    std::vector<std::uint8_t> work;
    std::uint64_t archive_bytes = archive_header_size;
    for (std::uint32_t number = 1; number <= count; ++number) {
        const std::string path = join_path(input.input_dir, names[number - 1]);
        const auto file_bytes = read_whole_file(path);
        ImagePtr image = file_bytes ? png_decode(*file_bytes) : nullptr;
        std::optional<PictureView> picture = image ? view_of(*image) : std::nullopt;
        if (!picture) {
            // Stored empty; the picture keeps its place in the count.
            console.line("zle: " + decimal(number) + " - " + path);
            console.wait_ms(failure_pause_ms);
            ++outcome.damaged;
        }
        const std::span<const std::uint8_t> head =
            file_bytes ? std::span<const std::uint8_t>(*file_bytes) : std::span<const std::uint8_t>();
        const ImageSize size = image_size_from_header_bytes(path, head, console);
        if (size.width == 0 || size.height == 0) picture.reset();

        work.clear();
        CodedPicture coded;
        if (tile_set) {
            if (picture && (picture->width != tile_side || picture->height != tile_side))
                console.line("uwaga: kafel " + decimal(number) + " ma " + decimal(picture->width) + "x" +
                             decimal(picture->height) + " pikseli, nie 32x32 - dopasowany | tile is not 32x32, fitted");
            // Tiles are never trimmed: the layout has no offsets for the cut.
            const std::vector<std::uint8_t> tile = fit_to_tile(picture);
            const PictureView tile_view{tile.data(), tile_side, tile_side, std::size_t{tile_side} * 4};
            work.reserve(work_buffer_capacity(tile_side, tile_side));
            coded = code_picture(tile_view, TrimOrigin{}, matcher, storage, row_split, work);
        } else if (picture) {
            if (picture->width > largest_side || picture->height > largest_side) {
                console.line("za duzy obrazek: " + decimal(number) + " - " + path + " (" +
                             decimal(picture->width) + "x" + decimal(picture->height) +
                             ", najwiecej 65535x65535) | picture too large, stored empty");
            } else {
                work.reserve(work_buffer_capacity(picture->width, picture->height));
                coded = code_picture(*picture, find_trim_origin(*picture), matcher, storage, row_split, work);
            }
        }
        console.line("plik: " + path + ", bufor spr2: " + decimal(work.size()));
        outcome.unmatched_pixels += coded.unmatched_pixels;
        if (coded.unmatched_pixels > 0)
            console.line("uwaga: " + decimal(coded.unmatched_pixels) +
                         " pikseli w kolorach spoza palety, zapisane jako 0 | pixels in colours not in palette.bmp, "
                         "stored as index 0");
        destroy_image(image);

        archive_bytes += work.size();
        if (tile_set)
            archive_bytes += tile_value_size;
        else
            archive_bytes += sprite_record_size + (storage == PixelStorage::run_length ? run_length_prefix_size : 0);
        if (archive_bytes > input.largest_archive) {
            console.line("Archiwum za duze (najwiecej " + decimal(input.largest_archive) +
                         " bajtow) - nic nie zapisano | archive too large, nothing written");
            return outcome;
        }
        if (tile_set)
            tile_set_writer->add(static_cast<std::uint32_t>(tile_values[number - 1]), work);
        else
            sprite_set->add(number, coded, work);
    }

    // 8, 9. Finish and write the archive whole, replacing an earlier one.
    const std::vector<std::uint8_t> archive = tile_set ? tile_set_writer->finish() : sprite_set->finish();
    const std::string output_path =
        join_path(input.input_dir, input.input_folder_name + (tile_set ? "_new.bts" : "_new.spr"));
    console.line("Plik wynikowy: " + output_path);
    outcome.output_path = output_path;
    // The archive goes to a file of its own first and then takes the
    // place of an earlier one whole: a write that fails half way (a full
    // disk) leaves the earlier archive as it was.
    const std::string partial_path = output_path + ".part";
    std::error_code renamed;
    if (!write_whole_file(partial_path, archive) ||
        (std::filesystem::rename(partial_path, output_path, renamed), renamed)) {
        delete_file(partial_path);
        console.line("Nie mozna zapisac pliku! | cannot write the file: " + output_path);
        return outcome;
    }
    outcome.written = true;
    outcome.archive_size = archive.size();
    return outcome;
}

void archive_builder_job() {
    const ModuleState& state = module_state();
    run_builder(BuilderInput{state.input_path, state.input_dir, state.input_folder_name}, program_console());
}

}  // namespace quarnel
