#include "builder/archive_builder.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/build_file.h"
#include "archive/exact_rebuild_file.h"
#include "archive/palette.h"
#include "archive/sprite_archive.h"
#include "builder/archive_layout.h"
#include "builder/picture_coding.h"
#include "png/png_reader.h"
#include "runtime/image/image.h"
#include "runtime/platform/files.h"
#include "runtime/utility/paths.h"
#include "runtime/utility/text.h"
#include "runtime/utility/worker_pool.h"

namespace quarnel {

namespace {

constexpr int failure_pause_ms = 1000;
constexpr std::size_t header_bytes_read = 32;

// The last three characters of a name, in lower case.
std::string name_ending(std::string_view path) {
    std::string ending(path.substr(path.size() >= 3 ? path.size() - 3 : 0));
    for (char& c : ending) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ending;
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
        if (in_group) indices += " " + decimal_text(i);
    }
    if (indices.empty()) return;
    console.line("uwaga: palette.bmp powtarza kolory, piksele tych indeksow moga zmienic indeks:" + indices +
                 " | warning: palette.bmp repeats colours that pixels match; pixels of indices" + indices +
                 " may move to a twin (extraction with -i keeps them)");
}

// What a worker made of one picture, and what it had to say (lines and
// pauses), said again in order on the job's thread.
struct CodedResult {
    BuiltPicture picture;
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
    std::array<std::uint8_t, header_bytes_read> head{};
    if (const auto start = read_file_start(path, head.size()))
        std::copy(start->begin(), start->end(), head.begin());
    auto big_endian = [&](std::size_t at) {
        return (std::uint64_t{head[at]} << 24) | (std::uint64_t{head[at + 1]} << 16) |
               (std::uint64_t{head[at + 2]} << 8) | std::uint64_t{head[at + 3]};
    };
    const std::uint64_t pixels = std::min<std::uint64_t>(big_endian(16) * big_endian(20), std::uint64_t{64} << 20);
    const std::uint64_t bytes = static_cast<std::uint64_t>(file_size(path)) + 11 * pixels;
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

std::string colour_text(std::uint32_t colour) {
    char text[10];
    if ((colour >> 24) == 0xFFu)
        std::snprintf(text, sizeof text, "#%06X", static_cast<unsigned>(colour & 0xFFFFFFu));
    else
        std::snprintf(text, sizeof text, "#%06X%02X", static_cast<unsigned>(colour & 0xFFFFFFu),
                      static_cast<unsigned>(colour >> 24));
    return text;
}

PictureBuilder::PictureBuilder(const BuildFolder& folder, bool nearest)
    : folder_(folder),
      storage_(folder.build_file.settings.run_length() ? PixelStorage::run_length : PixelStorage::raw),
      tile_set_(folder.tile_set()),
      row_split_(folder.build_file.settings.row_split()),
      matcher_(folder.mapping, storage_) {
    // exact_rebuild.txt's coding style, while build.txt keeps the flags it records.
    const ExactRebuildRecord* record = folder.record ? &*folder.record : nullptr;
    const BuildSettings& settings = folder.build_file.settings;
    if (record && record->build_flags.tile_set_flag == settings.tile_set_flag &&
        record->build_flags.storage_flag == settings.storage_flag &&
        record->build_flags.row_split_flag == settings.row_split_flag)
        row_split_ = record->row_split;
    if (nearest) nearest_.emplace(folder.mapping, storage_, tile_set_);
}

std::string PictureBuilder::index_0_meaning() const {
    if (storage_ == PixelStorage::run_length) return "transparent";
    if ((folder_.mapping[0] & 0xFFFFFFu) == 0) return "black";
    return "colour " + colour_text(folder_.mapping[0] | 0xFF000000u);
}

BuiltPicture PictureBuilder::build(std::uint32_t number, const BuilderConsole& said) const {
    BuiltPicture result;
    std::vector<std::uint8_t>& work = result.work;
    CodedPicture& coded = result.coded;
    const std::string path = join_path(folder_.picture_dir, folder_.pictures[number - 1]);
    const ExactRebuildRecord* record = folder_.record ? &*folder_.record : nullptr;
    const NearestColour* nearest = nearest_ ? &*nearest_ : nullptr;
    const std::uint32_t blank_below = blank_below_alpha(nearest);

    FolderPicture read = read_folder_picture(path);
    if (!read.unread_line.empty()) said.line(read.unread_line);
    const PngIndices& png_indices = read.indices;
    const auto& file_bytes = read.file;
    std::optional<PictureView>& picture = read.view;
    if (!picture) {
        // Stored empty; the picture keeps its place in the count.
        said.line("zle: " + decimal_text(number) + " - " + path);
        said.wait_ms(failure_pause_ms);
        result.damaged = true;
    }
    const std::span<const std::uint8_t> head =
        file_bytes ? std::span<const std::uint8_t>(*file_bytes) : std::span<const std::uint8_t>();
    const ImageSize size = image_size_from_header_bytes(path, head, said);
    if (size.width == 0 || size.height == 0) picture.reset();
    if (picture) {
        result.width = picture->width;
        result.height = picture->height;
    }
    const IndexedUse use = picture ? indexed_use(png_indices, folder_.mapping) : IndexedUse{};
    result.indices_taken = use.usable;
    const IndexView index_view{png_indices.indices.data(), png_indices.width, png_indices.height, png_indices.width};

    if (tile_set_) {
        if (picture && (picture->width != tile_side || picture->height != tile_side)) {
            result.tile_fitted = true;
            said.line("uwaga: kafel " + decimal_text(number) + " ma " + decimal_text(picture->width) + "x" +
                      decimal_text(picture->height) + " pikseli, nie 32x32 - dopasowany | tile is not 32x32, fitted");
        }
        // Tiles are never trimmed: the layout has no offsets for the cut.
        work.reserve(work_buffer_capacity(tile_side, tile_side));
        if (use.usable) {
            const std::vector<std::uint8_t> tile = fit_indices_to_tile(png_indices);
            coded = code_indices(IndexView{tile.data(), tile_side, tile_side, tile_side}, TrimOrigin{}, storage_,
                                 row_split_, work);
        } else {
            const std::vector<std::uint8_t> tile = fit_to_tile(picture);
            const PictureView tile_view{tile.data(), tile_side, tile_side, std::size_t{tile_side} * 4};
            coded = code_picture(tile_view, TrimOrigin{}, matcher_, storage_, row_split_, work, nearest);
        }
    } else if (picture) {
        if (picture->width > largest_side || picture->height > largest_side) {
            result.too_large = true;
            said.line("za duzy obrazek: " + decimal_text(number) + " - " + path + " (" + decimal_text(picture->width) + "x" +
                      decimal_text(picture->height) + ", najwiecej 65535x65535) | picture too large, stored empty");
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
                                                 [&](std::uint32_t x, std::uint32_t y) {
                                                     return (picture->pixel(x, y) >> 24) < blank_below;
                                                 });
                if (picture->width == canvas_width && picture->height == canvas_height && blank_margin) {
                    kept = &p;
                } else {
                    result.record_not_kept = true;
                    result.recorded_width = canvas_width;
                    result.recorded_height = canvas_height;
                }
            }
            if (kept && (kept->width == 0 || kept->height == 0)) {
                // Recorded without pixels: nothing to code.
            } else if (use.usable) {
                if (!kept) origin = find_trim_origin(index_view, use.index_0_transparent);
                coded = code_indices(index_view, origin, storage_, row_split_, work);
            } else {
                if (!kept) origin = find_trim_origin(*picture, blank_below);
                coded = code_picture(*picture, origin, matcher_, storage_, row_split_, work, nearest);
            }
            if (kept) {
                coded.width = kept->width;
                coded.height = kept->height;
                coded.x_offset = kept->x_offset;
                coded.y_offset = kept->y_offset;
            }
        }
    }
    said.line("plik: " + path + ", bufor spr2: " + decimal_text(work.size()));
    const OffPalettePixels& lost = coded.off_palette;
    if (lost.pixels > 0) {
        // The most frequent colours by name, with what they became.
        std::string colours;
        constexpr std::size_t colours_named = 3;
        for (std::size_t i = 0; i < lost.colours.size() && i < colours_named; ++i) {
            const OffPaletteColour& c = lost.colours[i];
            colours += (i == 0 ? ": " : ", ") + colour_text(c.colour) + " x" + decimal_text(c.pixels);
            if (nearest) colours += " -> index " + decimal_text(c.index) + " " + colour_text(folder_.mapping[c.index] | 0xFF000000u);
        }
        std::uint64_t named_pixels = 0;
        for (std::size_t i = 0; i < lost.colours.size() && i < colours_named; ++i) named_pixels += lost.colours[i].pixels;
        if (lost.colours.size() > colours_named || named_pixels < lost.pixels) {
            const bool untold = lost.colours.size() == OffPalettePixels::most_colours;
            colours += ", +" + decimal_text(lost.colours.size() - std::min(lost.colours.size(), colours_named)) +
                       (untold ? " or more colours" : " more colours");
        }
        if (nearest) {
            said.line("uwaga: " + decimal_text(lost.pixels) +
                      " pikseli w kolorach spoza palety przeniesionych do najblizszych kolorow palety | " +
                      decimal_text(lost.pixels) + " pixels in colours not in palette.bmp moved to the nearest palette colour" +
                      colours);
        } else {
            const std::string meaning = index_0_meaning();
            const std::string polish = meaning == "transparent" ? "przezroczysty" : meaning == "black" ? "czarny" : meaning;
            said.line("uwaga: " + decimal_text(lost.pixels) + " pikseli w kolorach spoza palety, zapisane jako indeks 0 (" +
                      polish + ") | " + decimal_text(lost.pixels) + " pixels in colours not in palette.bmp, stored as index 0 (" +
                      meaning + ")" + colours);
        }
    }
    if (lost.blanked > 0)
        said.line("uwaga: " + decimal_text(lost.blanked) + " pikseli polprzezroczystych (alfa ponizej 128) wyczyszczonych | " +
                  decimal_text(lost.blanked) + " semi-transparent pixels (alpha below 128) made blank");
    return result;
}

namespace {

// The line and the short reason when a build file cannot be built from.
void refuse_build_file(const BuildFolder& folder, const BuilderConsole& console, BuilderOutcome& outcome) {
    const BuildFileReading& reading = folder.build_file;
    const std::string& path = folder.build_file_path;
    std::string polish;
    switch (reading.state) {
    case BuildFileState::missing: polish = "Brak pliku build.txt: " + path; break;
    case BuildFileState::unreadable: polish = "Nie mozna odczytac pliku build.txt: " + path; break;
    case BuildFileState::empty: polish = "Pusty plik build.txt: " + path; break;
    case BuildFileState::header_only: polish = "Brak flag w pliku build.txt: " + path; break;
    default:
        polish = "Zly plik build.txt: " + path + ", wiersz " + decimal_text(reading.bad_line) + " nie zaczyna sie liczba";
        break;
    }
    const std::string problem = build_file_problem(reading);
    console.line(polish + " - nic nie zbudowano, rozpakuj archiwum ponownie lub wpisz trzy flagi | build.txt " + problem +
                 ", nothing built: extract the archive again, or write build.txt as a header line and three flag "
                 "lines: tile set (0 sprite set, 1 tile set), storage (0 raw, 1 run-length), row split (0 or 1)");
    outcome.failure = "build.txt " + problem + " (" + path +
                      "): extract the archive again, or write the three flags after its header line; nothing built";
}

// A list of names or ranges, the first few of them.
std::string first_few(const std::vector<std::string>& items) {
    constexpr std::size_t shown = 10;
    std::string text;
    for (std::size_t i = 0; i < items.size() && i < shown; ++i) text += (i == 0 ? "" : ", ") + items[i];
    if (items.size() > shown) text += ", +" + decimal_text(items.size() - shown) + " more";
    return text;
}

}  // namespace

BuilderOutcome run_builder(const BuilderInput& input, const BuilderConsole& console) {
    BuilderOutcome outcome;

    // 1. The folder, as the user sees it.
    const std::string shown_dir = path_dir_part(input.input_path);
    std::string_view shown_parent(shown_dir);
    if (!shown_parent.empty() && shown_parent.back() == path_separator) shown_parent.remove_suffix(1);
    console.line("katalog: '" + shown_dir + "'");
    console.line("koncowka: '" + path_file_name(shown_parent) + "'");

    // 2. The folder's build file, pictures, listing and palette (for a pass
    // folder of a tile set, the files of the folder above).
    const BuildFolder folder = survey_build_folder(input.input_dir, input.input_folder_name);
    for (const std::string& unread : folder.unread_lines) console.line(unread);
    const std::string& settings_dir = folder.settings_dir;
    const std::string& archive_name = folder.archive_name;
    if (folder.pass != 0) {
        const std::string pass = decimal_text(static_cast<std::uint32_t>(folder.pass));
        console.line("kafle przebiegu " + pass + ", pliki budowy z " + settings_dir + " | tiles of pass " + pass +
                     ", build files from the folder above");
    }
    if (folder.tile_set_folder) {
        const std::string pass_folder = join_path(input.input_dir, "1");
        console.line("To katalog zestawu kafli, kafle sa w katalogach przebiegow 1 do 7 - nic nie zbudowano | this is "
                     "a tile set's folder, its tiles are in the pass folders 1 to 7, nothing built: build one pass "
                     "folder, e.g. quarnel build " + pass_folder + " (or quarnel " + join_path(pass_folder, "0001.png") + ")");
        outcome.failure = "a tile set is built from one of its pass folders, e.g. quarnel build " + pass_folder + "; nothing built";
        return outcome;
    }
    if (!folder.build_file.readable()) {
        refuse_build_file(folder, console, outcome);
        return outcome;
    }
    const BuildSettings& settings = folder.build_file.settings;
    if (settings.storage_flag > 1) {
        // No storage but raw (0) and run-length (1) exists; coding nothing
        // would give an archive of empty pictures.
        console.line("Zly sposob zapisu w build.txt: " + decimal_text(settings.storage_flag) +
                     " (tylko 0 lub 1) - nic nie zapisano | bad storage flag in build.txt, nothing written");
        outcome.failure = "build.txt: storage flag " + decimal_text(settings.storage_flag) + " (only 0 or 1); nothing built";
        return outcome;
    }
    const bool tile_set = settings.tile_set();
    if (tile_set && !folder.tile_listing_present) {
        console.line("Brak listy kafli: " + folder.tile_listing_path +
                     " - nic nie zbudowano, rozpakuj zestaw kafli ponownie | tile listing missing, nothing built: "
                     "extract the tile set again (the listing holds a line 'value ; number' per tile)");
        outcome.failure = "tile listing missing (" + folder.tile_listing_path + "): extract the tile set again; nothing built";
        return outcome;
    }

    // 3. The pictures: numbered ones in number order, other names left out.
    console.line("Znalezono plikow png: " + decimal_text(folder.png_files));
    if (folder.pictures.empty()) {
        console.line("Brak plikow!");
        outcome.failure = "no PNG pictures; nothing built";
        if (folder.bmp_pictures > 0) {
            console.line("Obrazki BMP w katalogu: " + decimal_text(folder.bmp_pictures) +
                         " - budowa czyta obrazki PNG | the builder reads PNG pictures; this folder holds " +
                         decimal_text(folder.bmp_pictures) +
                         " BMP pictures: extract the archive again with the png answer (command mode: --png)");
            outcome.failure = "the builder reads PNG pictures, this folder holds " + decimal_text(folder.bmp_pictures) +
                              " BMP pictures: extract the archive again with --png; nothing built";
        }
        return outcome;
    }
    if (!folder.left_out.empty()) {
        std::vector<std::string> quoted;
        for (const std::string& name : folder.left_out) quoted.push_back("'" + name + "'");
        console.line("Pominiete pliki png spoza numeracji: " + decimal_text(folder.left_out.size()) +
                     " | PNG files left out, not named as extraction numbers pictures (0001.png, 0002.png, ...): " +
                     first_few(quoted));
    }
    if (!folder.gaps.empty()) {
        std::vector<std::string> ranges;
        for (const NumberRange& gap : folder.gaps) ranges.push_back(number_range_text(gap));
        console.line("Brak obrazkow w numeracji | pictures missing from the numbering, the pictures after them move "
                     "up: " + first_few(ranges));
    }
    if (folder.pictures.size() > most_pictures) {
        console.line("Za duzo plikow png (najwiecej " + decimal_text(most_pictures) +
                     ") - nic nie zapisano | too many png files, nothing written");
        outcome.failure = "too many PNG pictures (at most " + decimal_text(most_pictures) + "); nothing built";
        return outcome;
    }
    const auto count = static_cast<std::uint32_t>(folder.pictures.size());
    outcome.pictures = count;

    // 4. The palette, which is also the key from colours to indices (for a
    // pass folder, turned as that pass was drawn). Without it every colour
    // would be lost: nothing is built.
    if (!folder.palette) {
        console.line("Brak pliku palette.bmp lub nie mozna go odczytac: " + folder.palette_path +
                     " - nic nie zbudowano | palette.bmp missing or unreadable, nothing built");
        outcome.failure = "palette.bmp missing or unreadable (" + folder.palette_path + "); nothing built";
        return outcome;
    }
    const Palette& palette = *folder.palette;
    const Palette& mapping = folder.mapping;
    if (tile_set && folder.tile_listing_lines < count)
        console.line("uwaga: lista kafli ma " + decimal_text(folder.tile_listing_lines) + " wierszy dla " + decimal_text(count) +
                     " kafli, brakujace wartosci to 0 | warning: the tile listing has " +
                     decimal_text(folder.tile_listing_lines) + " lines for " + decimal_text(count) +
                     " tiles, the missing tile values are 0");

    // What extraction with -i recorded beside the pictures.
    if (!folder.record_left_aside.empty())
        console.line(std::string(exact_rebuild_file_name) + " pominiety (" + folder.record_left_aside +
                     ") - buduje z samych obrazkow | " + exact_rebuild_file_name + " left aside (" +
                     folder.record_left_aside + "), building from the pictures alone");
    const std::optional<ExactRebuildRecord>& record = folder.record;
    const PictureBuilder builder(folder, input.nearest);
    const PixelStorage storage = builder.storage();

    // 5, 6. Header and palette block; a tile set's tile values.
    std::optional<SpriteSetWriter> sprite_set;
    std::optional<TileSetWriter> tile_set_writer;
    if (tile_set)
        tile_set_writer.emplace(count, tile_set_code(archive_name), palette);
    else
        sprite_set.emplace(count, storage, palette);

    // 7. Every picture: load, trim, match (or take its indices) and code on
    // a worker; its lines, the checks and the append in picture order here.
    std::uint64_t archive_bytes = archive_header_size;
    std::array<bool, palette_entries> matched{};
    bool too_large = false;
    OrderedWork pictures(std::max(1u, input.threads));
    for (std::uint32_t number = 1; number <= count && !pictures.stopped(); ++number) {
        auto result = std::make_shared<CodedResult>();
        const std::string path = join_path(input.input_dir, folder.pictures[number - 1]);
        // The worker reads only what stays fixed during the loop (the
        // folder, the builder) and writes only its result.
        auto work_on_picture = [&builder, result, number] { result->picture = builder.build(number, result->recorder()); };
        auto finish_picture = [&, result, number] {
            result->replay(console);
            const CodedPicture& coded = result->picture.coded;
            const std::vector<std::uint8_t>& work = result->picture.work;
            if (result->picture.damaged) ++outcome.damaged;
            outcome.unmatched_pixels += coded.off_palette.pixels;
            for (std::size_t i = 0; i < palette_entries; ++i) matched[i] = matched[i] || coded.matched[i];
            archive_bytes += work.size();
            if (tile_set)
                archive_bytes += tile_value_size;
            else
                archive_bytes += sprite_record_size + (storage == PixelStorage::run_length ? run_length_prefix_size : 0);
            if (archive_bytes > input.largest_archive) {
                console.line("Archiwum za duze (najwiecej " + decimal_text(input.largest_archive) +
                             " bajtow) - nic nie zapisano | archive too large, nothing written");
                outcome.failure = "the archive would be larger than " + decimal_text(input.largest_archive) + " bytes; nothing built";
                too_large = true;
                return false;
            }
            if (tile_set) {
                // The listing holds a tile value's low 16 bits; the recorded
                // value gives back the rest while the listing still agrees.
                auto value = static_cast<std::uint32_t>(folder.tile_values[number - 1]);
                if (record && value == (record->tile_values[number - 1] & 0xFFFFu)) value = record->tile_values[number - 1];
                tile_set_writer->add(value, work);
            } else {
                sprite_set->add(number, coded, work);
            }
            result->picture.work = {};  // appended: its memory goes back now
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
        console.line("Nie mozna zapisac pliku! | cannot write the file: " + output_path + ": " + written.error().message);
        outcome.failure = "cannot write " + output_path + ": " + written.error().message;
        return outcome;
    }
    outcome.written = true;
    outcome.archive_size = archive.size();
    return outcome;
}

}  // namespace quarnel
