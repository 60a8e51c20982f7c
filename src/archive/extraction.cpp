// The extraction job: every image of an archive becomes a PNG or BMP picture
// in the folder named after the archive, beside build.txt, palette.bmp,
// pal_used.bmp and, for a tile set, the tile listing and the seven pass
// folders (one per step of the cycling colours 201 to 207).
#include "archive/extraction.h"

#include <malloc.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <system_error>
#include <vector>

#include "archive/item_container.h"
#include "archive/palette.h"
#include "archive/picture_canvas.h"
#include "archive/sprite_archive.h"
#include "builder/build_file.h"
#include "entry/module_state.h"
#include "runtime/byte_reader.h"
#include "runtime/console.h"
#include "runtime/files.h"
#include "runtime/paths.h"
#include "runtime/text.h"

namespace quarnel {

namespace {

constexpr int tile_set_passes = 7;
constexpr std::uint32_t no_run = 128;  // run memory: no run of that kind yet

// A typed number rounded to the nearest integer (ties to even), kept within
// 0 .. INT32_MAX.
std::uint32_t typed_count(const std::string& answer) {
    const double value = std::nearbyint(number_value(answer));
    if (!(value > 0)) return 0;
    if (value >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max());
    return static_cast<std::uint32_t>(value);
}

// 0001 to 9999; from 10000 on the number stays as it is.
std::string picture_name(std::uint32_t number) {
    std::string digits = decimal_text(number);
    if (digits.size() < 4) digits.insert(0, 4 - digits.size(), '0');
    return digits;
}

std::uint8_t byte_at(const std::vector<std::uint8_t>& bytes, std::size_t at) { return at < bytes.size() ? bytes[at] : 0; }

// Remembers the previous skip and literal run of the current image: two runs
// of one kind in a row mean the archive was coded with runs ending at every
// row's end.
struct RunStyleWatch {
    std::uint32_t last_skip = no_run;
    std::uint32_t last_literal = no_run;
    bool repeated_runs = false;

    void start_image() {
        last_skip = no_run;
        last_literal = no_run;
    }
    void token(const RunLengthToken& t) {
        if (t.skip) {
            if (t.completes_image) return;  // the closing skip is not looked at
            if (last_skip < no_run) repeated_runs = true;
            last_skip = t.length;
            last_literal = no_run;
        } else {
            if (last_literal < no_run) repeated_runs = true;
            last_literal = t.length;
            last_skip = no_run;
        }
    }
};

void report_write_failure(const std::string& path) {
    print_text(0, "Blad zapisu | cannot write: " + path, true);
}

void report_cut_image(std::uint32_t number) {
    print_text(0,
               "Plik urwany w obrazku " + decimal_text(number) + " - reszta obrazka pusta | file ends inside image " +
                   decimal_text(number) + ", the rest of it left blank",
               true);
}

void report_missing_images(std::uint32_t first, std::uint32_t last) {
    print_text(0,
               "Brak danych dla obrazkow " + decimal_text(first) + " do " + decimal_text(last) +
                   " | no data for images " + decimal_text(first) + " to " + decimal_text(last),
               true);
}

struct ImageJob {
    std::span<const std::uint8_t> data;
    PixelStorage storage = PixelStorage::raw;
    bool centering = false;
    bool save_as_bmp = false;
    std::string picture_dir;
};

// Draws one image in the working colours (placed by its offsets when
// centering), saves it and prints its line. An image of no pixels is saved
// as one transparent pixel so that the numbering stays whole for a rebuild.
// True when the picture was written.
bool extract_image(const ImageJob& job, const ArchiveImage& image, std::uint32_t number, std::string_view name,
                   ExtractionPalette& palette, RunStyleWatch& watch) {
    const std::uint32_t x_offset = job.centering ? (image.x_offset & 0xFFu) : 0;
    const std::uint32_t y_offset = job.centering ? (image.y_offset & 0xFFu) : 0;
    const std::uint64_t canvas_width = std::uint64_t{image.width} + x_offset;
    const std::uint64_t canvas_height = std::uint64_t{image.height} + y_offset;
    const std::string path = join_path(job.picture_dir, name);

    watch.start_image();
    if (canvas_width * canvas_height > picture_pixel_limit) {
        print_text(0,
                   "Obrazek " + decimal_text(number) + " za duzy: " + decimal_text(image.width) + "x" +
                       decimal_text(image.height) + " - pominiety | image too large, skipped",
                   true);
        return false;
    }
    PictureCanvas canvas;
    if (canvas_width == 0 || canvas_height == 0) {
        canvas.create(1, 1);
    } else if (canvas.create(static_cast<std::uint32_t>(canvas_width), static_cast<std::uint32_t>(canvas_height))) {
        decode_image(
            job.data, job.storage, image,
            [&](std::uint32_t x, std::uint32_t y, std::uint8_t index) {
                canvas.put(x + x_offset, y + y_offset, palette.working[index]);
                palette.mark_used(index);
            },
            [&](const RunLengthToken& t) {
                if (t.skip) palette.mark_used(0);
                watch.token(t);
            });
    }
    const PictureCanvas::Saved saved = canvas.save(path, job.save_as_bmp);
    print_text(0, saved.path + ", " + decimal_text(static_cast<std::int64_t>(image.end)), true);
    if (!saved.ok) report_write_failure(saved.path);
    return saved.ok;
}

}  // namespace

JobOutcome extraction_job() {
    ModuleState& state = module_state();
    JobOutcome outcome;
    // Every picture takes and frees a few buffers of up to a few hundred KiB
    // (its pixels, the PNG rows, zlib's state). Keeping up to 16 MiB of freed
    // memory at the top of the heap spares the system giving the same pages
    // back and faulting them in again for each of thousands of pictures.
    mallopt(M_TRIM_THRESHOLD, 16 << 20);
    const std::uint8_t kind = state.archive_kind;

    // Questions first, then the whole file into memory.
    bool centering = false;
    if (kind == archive_kinds::sprite_set) {
        const std::string answer = ask_answer("Centrowac grafike? (t/n) - jedynie DC", true);
        centering = !answer.empty() && (answer[0] == 'y' || answer[0] == 't');
    }
    const std::string format = ask_answer("Tworzyc png czy bmp", true);
    const bool save_as_bmp = format.find('b') != std::string::npos;

    auto file_bytes = read_whole_file(state.input_path);
    if (!file_bytes) {
        print_text(0, "Nie mozna odczytac pliku | cannot read the file: " + state.input_path, true);
        file_bytes.emplace();
        outcome.ok = false;
    }
    state.input_bytes = std::move(*file_bytes);
    const std::vector<std::uint8_t>& bytes = state.input_bytes;
    const std::span<const std::uint8_t> data(bytes);
    const auto file_length = static_cast<std::int64_t>(bytes.size());

    // The build file, palette images, tile listing and pass folders go with
    // the pictures into the folder named after the archive.
    const std::string picture_dir = join_path(state.input_dir, state.input_base_name) + path_separator;
    outcome.output = picture_dir;
    if (!file_exists(picture_dir)) make_directory(picture_dir);
    std::error_code folder_error;
    if (!std::filesystem::is_directory(picture_dir, folder_error)) {
        // Nothing could be written: say so instead of listing pictures that are not there.
        print_text(0, "Nie mozna utworzyc katalogu | cannot create the folder: " + picture_dir, true);
        state.input_bytes.clear();
        state.input_bytes.shrink_to_fit();
        outcome.ok = false;
        return outcome;
    }

    BuildFileWriter build_file;
    if (!build_file.open(join_path(picture_dir, build_file_name))) {
        report_write_failure(join_path(picture_dir, build_file_name));
        outcome.ok = false;
    }

    ExtractionPalette palette;
    if (state.palette_source == 2) {
        // A relative name lies beside the program; an absolute one is taken as it is.
        const std::string program_dir = state.program_dir.empty() ? program_directory() : state.program_dir;
        const bool absolute = !state.palette_image_name.empty() && state.palette_image_name.front() == path_separator;
        palette.palette_from_image(absolute ? state.palette_image_name : join_path(program_dir, state.palette_image_name),
                                   picture_dir);
    } else {
        palette.palette_from_block(data, picture_dir);
    }

    // Header.
    std::uint32_t image_count = 0;
    TileListingWriter tile_listing;
    SpriteSet sprite_set;
    TileSet tile_set;
    RawImageSet raw_set;
    ItemContainer container;
    switch (kind) {
    case archive_kinds::tile_set:
        tile_set = parse_tile_set(data);
        image_count = tile_set.tile_count;
        tile_listing.open(join_path(picture_dir, state.input_base_name + ".txt"));
        build_file.write_flag(1);
        build_file.write_flag(0);
        for (int pass = 1; pass <= tile_set_passes; ++pass) {
            const std::string pass_dir = join_path(picture_dir, decimal_text(static_cast<std::int32_t>(pass)));
            if (!file_exists(pass_dir)) make_directory(pass_dir);
        }
        break;
    case archive_kinds::raw_data:
        image_count = typed_count(ask_answer("number of images | liczba obrazkow: ", false));
        build_file.write_flag(0);
        build_file.write_flag(0);
        break;
    case archive_kinds::trs:
    case archive_kinds::trc:
    case archive_kinds::trw: {
        ByteReader in(data, container_count_offset);
        image_count = in.u16le();
        break;
    }
    case archive_kinds::sprite_set:
    default:
        sprite_set = parse_sprite_set(data);
        image_count = sprite_set.image_count;
        build_file.write_flag(0);
        build_file.write_flag(sprite_set.run_length_coded ? 1 : 0);
        break;
    }

    print_text(0,
               "Naglowek: " + decimal_text(std::uint32_t{byte_at(bytes, 0)}) + " " +
                   decimal_text(std::uint32_t{byte_at(bytes, 1)}),
               true);
    print_text(0, "Obrazkow w pliku: " + decimal_text(image_count), true);
    print_text(0, "Wielkosc pliku: " + decimal_text(file_length), true);

    // Records.
    ImageJob job;
    job.data = data;
    job.save_as_bmp = save_as_bmp;
    job.picture_dir = picture_dir;
    const std::vector<ArchiveImage>* images = nullptr;
    bool report_missing = true;
    switch (kind) {
    case archive_kinds::tile_set:
        images = &tile_set.tiles;
        break;
    case archive_kinds::raw_data: {
        const std::uint32_t width = typed_count(ask_answer("width | szerokosc: ", false));
        const std::uint32_t height = typed_count(ask_answer("height | wysokosc: ", false));
        raw_set = parse_raw_data(data, image_count, width, height);
        if (image_count > 0 && std::uint64_t{width} * height == 0) {
            print_text(0, "Obrazki bez pikseli - nic do odczytania | images of no pixels, nothing to read", true);
            report_missing = false;
        }
        images = &raw_set.images;
        break;
    }
    case archive_kinds::trs:
        raw_set = parse_raw_image_set(data);
        images = &raw_set.images;
        break;
    case archive_kinds::trc:
    case archive_kinds::trw:
        container = parse_item_container(data, kind == archive_kinds::trc);
        break;
    case archive_kinds::sprite_set:
    default: {
        job.storage = sprite_set.pixel_storage();
        job.centering = centering;
        images = &sprite_set.images;
        std::uint32_t number = 0;
        for (const ArchiveImage& image : sprite_set.images) {
            if (++number > 19) break;
            print_text(0,
                       "obrazek: " + decimal_text(number) + ": " + decimal_text(image.width) + "x" +
                           decimal_text(image.height) + ", reszta: " + decimal_text(image.x_offset & 0xFFu) + "-" +
                           decimal_text(static_cast<std::uint32_t>(image.x_offset >> 8)) + "-" +
                           decimal_text(image.y_offset & 0xFFu) + "-" +
                           decimal_text(static_cast<std::uint32_t>(image.y_offset >> 8)),
                       true);
        }
        break;
    }
    }

    RunStyleWatch watch;
    if (kind == archive_kinds::trc || kind == archive_kinds::trw) {
        const ItemTally items = extract_items(data, container, picture_dir, save_as_bmp, palette);
        outcome.written = items.written;
        if (items.failed > 0) outcome.ok = false;
    } else if (images) {
        const int passes = kind == archive_kinds::tile_set ? tile_set_passes : 1;
        for (int pass = 1; pass <= passes; ++pass) {
            std::uint32_t number = 0;
            for (const ArchiveImage& image : *images) {
                ++number;
                std::string name = picture_name(number);
                if (kind == archive_kinds::tile_set) {
                    if (pass == 1) tile_listing.write_tile(static_cast<std::uint16_t>(image.tile_value), number);
                    name = decimal_text(static_cast<std::int32_t>(pass)) + path_separator + name;
                }
                if (extract_image(job, image, number, name, palette, watch))
                    ++outcome.written;
                else
                    outcome.ok = false;
                if (image.cut_short && pass == 1) report_cut_image(number);
            }
            if (pass == 1 && report_missing && images->size() < image_count)
                report_missing_images(number + 1, image_count);
            if (kind == archive_kinds::tile_set) palette.advance_rotation();
        }
    }
    tile_listing.close();

    build_file.write_flag(watch.repeated_runs ? 1 : 0);
    build_file.close();

    palette.write_used_palette(join_path(picture_dir, used_palette_file_name));

    state.input_bytes.clear();
    state.input_bytes.shrink_to_fit();
    return outcome;
}

}  // namespace quarnel
