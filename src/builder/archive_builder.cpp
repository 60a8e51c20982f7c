#include "builder/archive_builder.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/palette.h"
#include "archive/sprite_archive.h"
#include "builder/archive_layout.h"
#include "builder/build_file.h"
#include "builder/exact_rebuild_file.h"
#include "builder/picture_coding.h"
#include "entry/module_state.h"
#include "png/png_reader.h"
#include "runtime/bmp.h"
#include "runtime/console.h"
#include "runtime/files.h"
#include "runtime/image.h"
#include "runtime/native_files.h"
#include "runtime/paths.h"
#include "runtime/screen.h"
#include "runtime/worker_pool.h"

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

// palette.bmp's 256 colours, pixel (i, 0) being colour i; nothing when the
// file is missing or cannot be read as a BMP.
std::optional<Palette> load_palette(const std::string& path) {
    Palette palette{};
    ImagePtr strip = screen_is_open() ? create_image(256, 1, 0, 32) : new_image_buffer(256, 1, 4);
    if (!strip) return std::nullopt;
    if (load_bmp(path, strip.get()) != 0) {
        destroy_image(strip);
        return std::nullopt;
    }
    const auto layout = image_layout(*strip);
    if (layout && layout->bytes_per_pixel == 4 && layout->width >= 256 && layout->height >= 1) {
        const std::uint8_t* row = image_row(*strip, *layout, 0);
        for (std::size_t i = 0; i < palette.size(); ++i) palette[i] = read_pixel_value(row + 4 * i, 4);
    }
    destroy_image(strip);
    return palette;
}

// A tile set's pass folder as extraction names it: "1" to "7"; 0 otherwise.
int pass_number(std::string_view folder_name) {
    if (folder_name.size() == 1 && folder_name[0] >= '1' && folder_name[0] <= '7') return folder_name[0] - '0';
    return 0;
}

// The colours of pass p of a tile set: palette.bmp with the cycling
// colours turned by p - 1 steps, as extraction drew that pass.
Palette pass_colours(const Palette& palette, int pass) {
    ExtractionPalette turned;
    turned.working = palette;
    turned.base = palette;
    turned.rotate_cycle_colours(pass - 1);
    return turned.working;
}

// How an indexed picture's indices may be taken: when its 256 palette
// colours are the builder's (alpha aside) and a tRNS, if any, makes index
// 0 alone transparent. Anything else is matched by colour.
struct IndexedUse {
    bool usable = false;
    bool index_0_transparent = false;
};
IndexedUse indexed_use(const PngIndices& png, const Palette& colours) {
    if (png.width == 0 || png.palette_entries != palette_entries) return {};
    for (std::size_t i = 0; i < palette_entries; ++i)
        if ((png.colours[i] & 0xFFFFFFu) != (colours[i] & 0xFFFFFFu)) return {};
    for (std::size_t i = 1; i < palette_entries; ++i)
        if ((png.colours[i] >> 24) != 0xFFu) return {};
    const std::uint32_t alpha_0 = png.colours[0] >> 24;
    if (alpha_0 != 0 && alpha_0 != 0xFFu) return {};
    return IndexedUse{true, alpha_0 == 0};
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

// The same for a picture of indices (filled with index 0).
std::vector<std::uint8_t> fit_indices_to_tile(const PngIndices& picture) {
    std::vector<std::uint8_t> tile(std::size_t{tile_side} * tile_side, 0);
    const std::uint32_t width = std::min(picture.width, tile_side);
    const std::uint32_t height = std::min(picture.height, tile_side);
    for (std::uint32_t y = 0; y < height; ++y) {
        const auto from = picture.indices.begin() + static_cast<std::ptrdiff_t>(std::size_t{y} * picture.width);
        std::copy(from, from + width, tile.begin() + static_cast<std::ptrdiff_t>(std::size_t{y} * tile_side));
    }
    return tile;
}

// The exact-rebuild file of the folder, when there is one that reads well
// and belongs to these pictures; otherwise a line says why it is left aside.
std::optional<ExactRebuildRecord> read_exact_rebuild(const std::string& dir, const std::string& archive_name,
                                                     bool tile_set, std::uint32_t count, const BuilderConsole& console) {
    const std::string path = join_path(dir, exact_rebuild_file_name);
    if (!file_exists(path)) return std::nullopt;
    auto left_aside = [&](const std::string& why) {
        console.line(std::string(exact_rebuild_file_name) + " pominiety (" + why +
                     ") - buduje z samych obrazkow | " + exact_rebuild_file_name + " left aside (" + why +
                     "), building from the pictures alone");
        return std::nullopt;
    };
    const auto bytes = read_whole_file(path);
    if (!bytes) return left_aside("cannot be read");
    ExactRebuildParse parsed = parse_exact_rebuild(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
    if (!parsed.record) return left_aside(parsed.problem);
    const ExactRebuildRecord& record = *parsed.record;
    // Extraction names the folder after the archive, less its extension.
    const std::string& recorded = record.archive_name;
    const std::string recorded_base = recorded.size() > 4 ? recorded.substr(0, recorded.size() - 4) : recorded;
    if (recorded_base != archive_name) return left_aside("written for " + recorded + ", not for " + archive_name);
    if (record.tile_set != tile_set)
        return left_aside(std::string("written for a ") + (record.tile_set ? "tile set" : "sprite set") +
                          ", build.txt asks for a " + (tile_set ? "tile set" : "sprite set"));
    if (record.count() != count)
        return left_aside("lists " + decimal(record.count()) + " pictures, the folder holds " + decimal(count));
    return std::move(parsed.record);
}

// True when no pixel outside the rectangle from (column, row) to the right
// and bottom edges is set: the margin extraction left blank is still blank.
template <typename IsBlank>
bool margin_is_blank(std::uint32_t width, std::uint32_t height, std::uint32_t column, std::uint32_t row, IsBlank&& blank) {
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < (y < row ? width : std::min(column, width)); ++x)
            if (!blank(x, y)) return false;
    return true;
}

// Without indices kept: the pixels matched colours that palette.bmp holds
// at more than one index, so they took one of those indices.
void warn_repeated_colours(const Palette& colours, const std::array<bool, palette_entries>& matched,
                           const BuilderConsole& console) {
    std::string indices;
    for (std::size_t i = 0; i < palette_entries; ++i) {
        bool in_group = false;
        for (std::size_t j = 0; j < palette_entries && !in_group; ++j)
            in_group = j != i && colours[j] == colours[i] && (matched[i] || matched[j]);
        if (in_group) indices += " " + decimal(i);
    }
    if (indices.empty()) return;
    console.line("uwaga: palette.bmp powtarza kolory, piksele tych indeksow moga zmienic indeks:" + indices +
                 " | warning: palette.bmp repeats colours that pixels match; pixels of indices" + indices +
                 " may move to a twin (extraction with -i keeps them)");
}

// What a worker made of one picture: the coded bytes and record, and what
// it had to say (lines and pauses), said again in order on the job's thread.
struct CodedResult {
    std::vector<std::uint8_t> work;
    CodedPicture coded;
    bool damaged = false;
    struct Said {
        std::string line;
        int wait_ms = -1;  // a pause instead of a line when 0 or more
    };
    std::vector<Said> said;

    BuilderConsole recorder() {
        return BuilderConsole{[this](std::string_view text) { said.push_back(Said{std::string(text), -1}); },
                              [this](int milliseconds) { said.push_back(Said{std::string(), milliseconds}); }};
    }
    void replay(const BuilderConsole& console) const {
        for (const Said& s : said) {
            if (s.wait_ms >= 0)
                console.wait_ms(s.wait_ms);
            else
                console.line(s.line);
        }
    }
};

// About the memory a picture takes while it is decoded and coded: the file,
// its 32-bit pixels (and indices), the inflated rows and the coded bytes,
// from the size its header states (capped at what the PNG reader accepts).
std::size_t picture_memory(const std::string& path) {
    std::error_code error;
    const std::uintmax_t file = std::filesystem::file_size(native::system_path(path), error);
    std::array<std::uint8_t, header_bytes_read> head{};
    if (std::FILE* f = native::open_stream(path, "rb")) {
        const std::size_t got = std::fread(head.data(), 1, head.size(), f);
        std::fclose(f);
        (void)got;
    }
    auto big_endian = [&](std::size_t at) {
        return (std::uint64_t{head[at]} << 24) | (std::uint64_t{head[at + 1]} << 16) |
               (std::uint64_t{head[at + 2]} << 8) | std::uint64_t{head[at + 3]};
    };
    const std::uint64_t pixels = std::min<std::uint64_t>(big_endian(16) * big_endian(20), std::uint64_t{64} << 20);
    const std::uint64_t bytes = (error ? 0 : file) + 11 * pixels;
    return static_cast<std::size_t>(std::min<std::uint64_t>(bytes, SIZE_MAX));
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

    // 2. The build file. Started in a pass folder ("1" to "7") of a tile
    // set's extraction, the build file, palette.bmp, the tile listing and
    // the exact-rebuild file are those of the folder above, and the
    // archive is named after it.
    std::string settings_dir = input.input_dir;
    std::string archive_name = input.input_folder_name;
    int pass = pass_number(input.input_folder_name);
    BuildSettings settings;
    if (pass != 0) {
        std::string_view inner(input.input_dir);
        if (!inner.empty() && inner.back() == path_separator) inner.remove_suffix(1);
        const std::string parent_dir = path_dir_part(inner);
        std::string_view parent(parent_dir);
        if (!parent.empty() && parent.back() == path_separator) parent.remove_suffix(1);
        const BuildSettings above = read_build_file(parent_dir);
        if (!parent_dir.empty() && above.tile_set()) {
            settings_dir = parent_dir;
            archive_name = path_file_name(parent);
            settings = above;
            console.line("kafle przebiegu " + decimal(static_cast<std::uint32_t>(pass)) + ", pliki budowy z " +
                         settings_dir + " | tiles of pass " + decimal(static_cast<std::uint32_t>(pass)) +
                         ", build files from the folder above");
        } else {
            pass = 0;
        }
    }
    if (pass == 0) settings = read_build_file(input.input_dir);
    if (settings.storage_flag > 1) {
        // No storage but raw (0) and run-length (1) exists; coding nothing
        // would give an archive of empty pictures.
        console.line("Zly sposob zapisu w build.txt: " + decimal(settings.storage_flag) +
                     " (tylko 0 lub 1) - nic nie zapisano | bad storage flag in build.txt, nothing written");
        return outcome;
    }
    const PixelStorage storage = settings.run_length() ? PixelStorage::run_length : PixelStorage::raw;
    const bool tile_set = settings.tile_set();
    bool row_split = settings.row_split();

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

    // 4. The palette, which is also the key from colours to indices (for a
    // pass folder, turned as that pass was drawn). Without it every colour
    // would be lost: nothing is built.
    const std::string palette_path = join_path(settings_dir, palette_image_file_name);
    const std::optional<Palette> loaded = load_palette(palette_path);
    if (!loaded) {
        console.line("Brak pliku palette.bmp lub nie mozna go odczytac: " + palette_path +
                     " - nic nie zbudowano | palette.bmp missing or unreadable, nothing built");
        return outcome;
    }
    const Palette& palette = *loaded;
    const Palette mapping = pass != 0 ? pass_colours(palette, pass) : palette;
    const ColourMatcher matcher(mapping, storage);

    // What extraction with -i recorded beside the pictures.
    const std::optional<ExactRebuildRecord> record =
        read_exact_rebuild(settings_dir, archive_name, tile_set, count, console);
    const BuildSettings* recorded_flags = record ? &record->build_flags : nullptr;
    if (recorded_flags && recorded_flags->tile_set_flag == settings.tile_set_flag &&
        recorded_flags->storage_flag == settings.storage_flag &&
        recorded_flags->row_split_flag == settings.row_split_flag)
        row_split = record->row_split;

    // 5, 6. Header and palette block; a tile set's tile values.
    std::optional<SpriteSetWriter> sprite_set;
    std::optional<TileSetWriter> tile_set_writer;
    std::vector<std::int32_t> tile_values;
    if (tile_set) {
        tile_set_writer.emplace(count, tile_set_code(archive_name), palette);
        tile_values = read_tile_listing(join_path(settings_dir, archive_name + ".txt"), count);
    } else {
        sprite_set.emplace(count, storage, palette);
    }

    // 7. Every picture: load, trim, match (or take its indices) and code on
    // a worker; its lines, the checks and the append in picture order here.
    std::uint64_t archive_bytes = archive_header_size;
    std::array<bool, palette_entries> matched{};
    bool too_large = false;
    OrderedWork pictures(input.threads != 0 ? input.threads : configured_thread_count());
    for (std::uint32_t number = 1; number <= count && !pictures.stopped(); ++number) {
        auto result = std::make_shared<CodedResult>();
        const std::string path = join_path(input.input_dir, names[number - 1]);
        // The worker reads only what stays fixed during the loop (names,
        // colours, the record, the flags) and writes only its result.
        auto work_on_picture = [&, result, number, path] {
            const BuilderConsole said = result->recorder();
            std::vector<std::uint8_t>& work = result->work;
            CodedPicture& coded = result->coded;
            PngIndices png_indices;
            const auto file_bytes = read_whole_file(path);
            ImagePtr image = file_bytes ? png_decode(*file_bytes, &png_indices) : nullptr;
            std::optional<PictureView> picture = image ? view_of(*image) : std::nullopt;
            if (!picture) {
                // Stored empty; the picture keeps its place in the count.
                said.line("zle: " + decimal(number) + " - " + path);
                said.wait_ms(failure_pause_ms);
                result->damaged = true;
            }
            const std::span<const std::uint8_t> head =
                file_bytes ? std::span<const std::uint8_t>(*file_bytes) : std::span<const std::uint8_t>();
            const ImageSize size = image_size_from_header_bytes(path, head, said);
            if (size.width == 0 || size.height == 0) picture.reset();
            const IndexedUse use = picture ? indexed_use(png_indices, mapping) : IndexedUse{};
            const IndexView index_view{png_indices.indices.data(), png_indices.width, png_indices.height, png_indices.width};

            if (tile_set) {
                if (picture && (picture->width != tile_side || picture->height != tile_side))
                    said.line("uwaga: kafel " + decimal(number) + " ma " + decimal(picture->width) + "x" +
                                 decimal(picture->height) + " pikseli, nie 32x32 - dopasowany | tile is not 32x32, fitted");
                // Tiles are never trimmed: the layout has no offsets for the cut.
                work.reserve(work_buffer_capacity(tile_side, tile_side));
                if (use.usable) {
                    const std::vector<std::uint8_t> tile = fit_indices_to_tile(png_indices);
                    coded = code_indices(IndexView{tile.data(), tile_side, tile_side, tile_side}, TrimOrigin{}, storage,
                                         row_split, work);
                } else {
                    const std::vector<std::uint8_t> tile = fit_to_tile(picture);
                    const PictureView tile_view{tile.data(), tile_side, tile_side, std::size_t{tile_side} * 4};
                    coded = code_picture(tile_view, TrimOrigin{}, matcher, storage, row_split, work);
                }
            } else if (picture) {
                if (picture->width > largest_side || picture->height > largest_side) {
                    said.line("za duzy obrazek: " + decimal(number) + " - " + path + " (" +
                                 decimal(picture->width) + "x" + decimal(picture->height) +
                                 ", najwiecej 65535x65535) | picture too large, stored empty");
                } else {
                    work.reserve(work_buffer_capacity(picture->width, picture->height));
                    // A picture of the size extraction gave it, its blank margin
                    // still blank, is stored as recorded; any other is trimmed.
                    const ExactRebuildRecord::Picture* kept = nullptr;
                    TrimOrigin origin;
                    if (record) {
                        std::uint32_t canvas_width = 0, canvas_height = 0;
                        record->canvas_size(number - 1, canvas_width, canvas_height);
                        const ExactRebuildRecord::Picture& p = record->pictures[number - 1];
                        if (record->centred) origin = TrimOrigin{p.x_offset, p.y_offset};
                        const bool blank_margin =
                            use.usable ? margin_is_blank(picture->width, picture->height, origin.column, origin.row,
                                                         [&](std::uint32_t x, std::uint32_t y) { return index_view.index(x, y) == 0; })
                                       : margin_is_blank(picture->width, picture->height, origin.column, origin.row,
                                                         [&](std::uint32_t x, std::uint32_t y) { return picture->pixel(x, y) == 0; });
                        if (picture->width == canvas_width && picture->height == canvas_height && blank_margin) kept = &p;
                    }
                    if (kept && (kept->width == 0 || kept->height == 0)) {
                        // Recorded without pixels: nothing to code.
                    } else if (use.usable) {
                        if (!kept) origin = find_trim_origin(index_view, use.index_0_transparent);
                        coded = code_indices(index_view, origin, storage, row_split, work);
                    } else {
                        if (!kept) origin = find_trim_origin(*picture);
                        coded = code_picture(*picture, origin, matcher, storage, row_split, work);
                    }
                    if (kept) {
                        coded.width = kept->width;
                        coded.height = kept->height;
                        coded.x_offset = kept->x_offset;
                        coded.y_offset = kept->y_offset;
                    }
                }
            }
            said.line("plik: " + path + ", bufor spr2: " + decimal(work.size()));
            if (coded.unmatched_pixels > 0)
                said.line("uwaga: " + decimal(coded.unmatched_pixels) +
                             " pikseli w kolorach spoza palety, zapisane jako 0 | pixels in colours not in palette.bmp, "
                             "stored as index 0");
            destroy_image(image);
        };
        auto finish_picture = [&, result, number] {
            result->replay(console);
            CodedPicture& coded = result->coded;
            const std::vector<std::uint8_t>& work = result->work;
            if (result->damaged) ++outcome.damaged;
            outcome.unmatched_pixels += coded.unmatched_pixels;
            for (std::size_t i = 0; i < palette_entries; ++i) matched[i] = matched[i] || coded.matched[i];
            archive_bytes += work.size();
            if (tile_set)
                archive_bytes += tile_value_size;
            else
                archive_bytes += sprite_record_size + (storage == PixelStorage::run_length ? run_length_prefix_size : 0);
            if (archive_bytes > input.largest_archive) {
                console.line("Archiwum za duze (najwiecej " + decimal(input.largest_archive) +
                             " bajtow) - nic nie zapisano | archive too large, nothing written");
                too_large = true;
                return false;
            }
            if (tile_set) {
                // The listing holds a tile value's low 16 bits; the recorded
                // value gives back the rest while the listing still agrees.
                auto value = static_cast<std::uint32_t>(tile_values[number - 1]);
                if (record && value == (record->tile_values[number - 1] & 0xFFFFu)) value = record->tile_values[number - 1];
                tile_set_writer->add(value, work);
            } else {
                sprite_set->add(number, coded, work);
            }
            result->work = {};  // appended: its memory goes back now
            return true;
        };
        pictures.add(work_on_picture, finish_picture, picture_memory(path));
    }
    pictures.drain();
    if (too_large) return outcome;
    warn_repeated_colours(mapping, matched, console);

    // 8, 9. Finish and write the archive whole, replacing an earlier one.
    std::vector<std::uint8_t> archive = tile_set ? tile_set_writer->finish() : sprite_set->finish();
    if (record) restore_recorded_bytes(*record, palette, storage, archive);
    const std::string output_path = join_path(settings_dir, archive_name + (tile_set ? "_new.bts" : "_new.spr"));
    console.line("Plik wynikowy: " + output_path);
    remove_partial_files(settings_dir);
    outcome.output_path = output_path;
    // Written whole or not at all: a write that fails half way (a full
    // disk) leaves an earlier archive as it was.
    if (const WriteResult written = write_whole_file(output_path, archive); !written) {
        console.line("Nie mozna zapisac pliku! | cannot write the file: " + output_path + ": " + written.reason);
        outcome.failure = "cannot write " + output_path + ": " + written.reason;
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
