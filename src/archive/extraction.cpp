// The extraction job: every image of an archive becomes a PNG or BMP picture
// in the folder named after the archive, beside build.txt, palette.bmp,
// pal_used.bmp and, for a tile set, the tile listing and the seven pass
// folders (one per step of the cycling colours 201 to 207).
#include "archive/extraction.h"

#ifdef __linux__
#include <malloc.h>
#endif

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "archive/build_file.h"
#include "archive/exact_rebuild_file.h"
#include "archive/extraction_folder.h"
#include "archive/item_container.h"
#include "archive/palette.h"
#include "archive/palette_files.h"
#include "archive/picture_canvas.h"
#include "archive/run_length_encode.h"
#include "archive/sprite_archive.h"
#include "runtime/platform/files.h"
#include "runtime/utility/byte_reader.h"
#include "runtime/utility/paths.h"
#include "runtime/utility/text.h"
#include "runtime/utility/worker_pool.h"

namespace quarnel {

namespace {

constexpr int tile_set_passes = 7;
constexpr std::uint32_t no_run = 128;  // run memory: no run of that kind yet

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

// What one extraction writes through and says through.
struct Output {
    const LineSink& say;
    ExtractionFolder& folder;
    JobOutcome& outcome;

    // A file that could not be written: its line, and the outcome counts it.
    void write_failed(const std::string& path, const std::string& reason) {
        report_write_failure(say, outcome, path, reason);
    }
    void write(const std::string& path, std::span<const std::uint8_t> bytes) {
        if (const WriteResult written = folder.write(path, bytes); !written) write_failed(path, written.error().message);
    }
    void write(const std::string& path, std::string_view text) {
        if (const WriteResult written = folder.write(path, text); !written) write_failed(path, written.error().message);
    }
    void write_palette_image(const std::string& path, const Palette& colours) {
        const auto bytes = palette_image_bytes(colours);
        if (!bytes) {
            write_failed(path, "no image buffer for it");
            return;
        }
        write(path, std::span<const std::uint8_t>(*bytes));
    }
};

// With option -c: the palette for paint programs beside palette.bmp (or in a
// pass folder, with that pass's colours). A container's item of the same
// name is not overwritten, nor is the .pal file a picture item takes its
// colours from.
void write_palette_files(Output& out, const std::string& dir, const Palette& colours, const std::string& palette_name,
                         const ItemContainer* container) {
    for (const PaletteFile& file : palette_files(colours, palette_name)) {
        if (container) {
            const bool taken = std::any_of(container->items.begin(), container->items.end(), [&](const ContainerItem& item) {
                return equal_ignoring_case(item.name, file.file_name) ||
                       (item.kind != ItemKind::data && equal_ignoring_case(name_before_dot(item.name) + ".pal", file.file_name));
            });
            if (taken) {
                out.say(file.file_name + " nie zapisany - element archiwum ma te nazwe | not written: an item of "
                                         "the container takes that name");
                continue;
            }
        }
        out.write(join_path(dir, file.file_name), std::span<const std::uint8_t>(file.bytes));
    }
}

std::string cut_image_line(std::uint32_t number) {
    return "Plik urwany w obrazku " + decimal_text(number) + " - reszta obrazka pusta | file ends inside image " +
           decimal_text(number) + ", the rest of it left blank";
}

std::string missing_images_line(std::uint32_t first, std::uint32_t last) {
    return "Brak danych dla obrazkow " + decimal_text(first) + " do " + decimal_text(last) + " | no data for images " +
           decimal_text(first) + " to " + decimal_text(last);
}

// A line in its place among the pictures' lines.
void say_in_order(OrderedWork& pictures, const LineSink& say, std::string line) {
    pictures.add_finish([&say, line = std::move(line)] {
        say(line);
        return true;
    });
}

struct ImageJob {
    std::span<const std::uint8_t> data;
    PixelStorage storage = PixelStorage::raw;
    bool centering = false;
    bool save_as_bmp = false;
    bool keep_indices = false;  // option -i: indexed pictures, indices as stored
    std::string picture_dir;
};

// What extraction sees of the pictures beyond their pixels: the indices
// drawn (for the warning on repeated colours) and, with -i, which of the
// builder's two coding styles gives every run-length picture back as stored.
struct PictureSurvey {
    std::array<bool, palette_entries> drawn{};
    bool recodes_without_split = true;
    bool recodes_with_split = true;

    // The stored tokens against what the builder's coder makes of the
    // picture's indices (0 where nothing is drawn).
    void compare_styles(std::span<const std::uint8_t> indices, const ArchiveImage& image,
                        std::span<const std::uint8_t> data) {
        if (!recodes_without_split && !recodes_with_split) return;
        const std::size_t end = std::min(image.end, data.size());
        const std::span<const std::uint8_t> stored =
            image.pixels < end ? data.subspan(image.pixels, end - image.pixels) : std::span<const std::uint8_t>();
        std::vector<std::uint8_t> coded;
        for (const bool split : {false, true}) {
            bool& recodes = split ? recodes_with_split : recodes_without_split;
            if (!recodes) continue;
            coded.clear();
            encode_run_length(indices, image.width, image.height, split, coded);
            recodes = std::equal(coded.begin(), coded.end(), stored.begin(), stored.end());
        }
    }
};

// Without -i: the pictures use colours that the palette holds at more than
// one index, so a rebuild by colour may give those pixels another index.
void warn_repeated_colours(const Palette& colours, const std::array<bool, palette_entries>& drawn, const LineSink& say) {
    std::string indices;
    for (std::size_t i = 0; i < palette_entries; ++i) {
        if (!drawn[i]) continue;
        bool twin = false;
        for (std::size_t j = 0; j < palette_entries && !twin; ++j) twin = j != i && colours[j] == colours[i];
        if (twin) indices += " " + decimal_text(static_cast<std::uint32_t>(i));
    }
    if (indices.empty()) return;
    say("uwaga: paleta powtarza kolory uzytych indeksow:" + indices +
        " - przebudowa moze je zmienic, opcja -i je zachowa | warning: the palette repeats the colours of "
        "indices" + indices + " used by the pictures; a rebuild may change them, option -i keeps them");
}

// Draws one image in the working colours (placed by its offsets when
// centering), or with -i its indices as stored, saves it and prints its
// line; the outcome counts it once it is written. An image of no pixels is
// saved as one transparent pixel so that the numbering stays whole for a
// rebuild.
void extract_image(const ImageJob& job, const ArchiveImage& image, std::uint32_t number, std::string_view name,
                   ExtractionPalette& palette, RunStyleWatch& watch, PictureSurvey& survey, OrderedWork& pictures,
                   Output& out) {
    const std::uint32_t x_offset = job.centering ? image.x_offset : 0;
    const std::uint32_t y_offset = job.centering ? image.y_offset : 0;
    const std::uint32_t x_place = job.keep_indices ? x_offset : (x_offset & 0xFFu);
    const std::uint32_t y_place = job.keep_indices ? y_offset : (y_offset & 0xFFu);
    const std::uint64_t canvas_width = std::uint64_t{image.width} + x_place;
    const std::uint64_t canvas_height = std::uint64_t{image.height} + y_place;
    const std::string path = join_path(job.picture_dir, name);

    watch.start_image();
    if (canvas_width * canvas_height > picture_pixel_limit) {
        say_in_order(pictures, out.say, "Obrazek " + decimal_text(number) + " za duzy: " + decimal_text(image.width) + "x" +
                                     decimal_text(image.height) + " - pominiety | image too large, skipped");
        out.outcome.ok = false;
        return;
    }
    // With -i a run-length picture's own indices are kept too, to see which
    // coding style gives back its tokens.
    const bool check_style = job.keep_indices && job.storage == PixelStorage::run_length;
    std::vector<std::uint8_t> own_indices;
    if (check_style) own_indices.assign(static_cast<std::size_t>(pixel_count(image)), 0);
    auto canvas = std::make_shared<PictureCanvas>();
    const bool empty = canvas_width == 0 || canvas_height == 0;
    const auto width = static_cast<std::uint32_t>(empty ? 1 : canvas_width);
    const auto height = static_cast<std::uint32_t>(empty ? 1 : canvas_height);
    const bool created = job.keep_indices ? canvas->create_indexed(width, height) : canvas->create(width, height);
    if (created && !empty) {
        decode_image(
            job.data, job.storage, image,
            [&](std::uint32_t x, std::uint32_t y, std::uint8_t index) {
                if (job.keep_indices) {
                    canvas->put_index(x + x_place, y + y_place, index);
                    if (check_style) own_indices[std::size_t{y} * image.width + x] = index;
                } else {
                    canvas->put(x + x_place, y + y_place, palette.working[index]);
                }
                palette.mark_used(index);
                survey.drawn[index] = true;
            },
            [&](const RunLengthToken& t) {
                if (t.skip) palette.mark_used(0);
                watch.token(t);
            });
    }
    if (check_style) survey.compare_styles(own_indices, image, job.data);
    // Coding and writing go to a worker, with the colours of this moment
    // (a tile set's next pass turns them); the line follows in order. In
    // run-length pictures index 0 is a transparent pixel.
    auto saved = std::make_shared<PictureCanvas::Saved>();
    const bool keep_indices = job.keep_indices;
    const bool as_bmp = job.save_as_bmp;
    const bool index_0_transparent = job.storage == PixelStorage::run_length;
    auto colours = keep_indices ? std::make_shared<Palette>(palette.working) : nullptr;
    const std::size_t bytes = picture_bytes_in_flight(std::uint64_t{width} * height * (keep_indices ? 1u : 4u));
    const std::string line_end = ", " + decimal_text(static_cast<std::int64_t>(image.end));
    ExtractionFolder& folder = out.folder;
    pictures.add(
        [canvas, saved, colours, path, as_bmp, index_0_transparent, &folder] {
            *saved = colours ? canvas->save_indexed(folder, path, as_bmp, *colours, index_0_transparent)
                             : canvas->save(folder, path, as_bmp);
            canvas->destroy();
        },
        [saved, line_end, &out] {
            out.say(saved->path + line_end);
            if (saved->ok())
                ++out.outcome.written;
            else
                out.write_failed(saved->path, saved->failure);
            return true;
        },
        bytes);
}

std::uint8_t byte_or_zero(std::span<const std::uint8_t> data, std::size_t at) { return at < data.size() ? data[at] : 0; }

// The exact-rebuild file of a sprite set or tile set extracted with -i.
void write_exact_rebuild_file(Output& out, const std::string& archive_file_name,
                              bool tile_set, std::span<const std::uint8_t> data, const std::vector<ArchiveImage>& images,
                              bool centering, const BuildSettings& build_flags, const PictureSurvey& survey) {
    ExactRebuildRecord record;
    record.tile_set = tile_set;
    record.archive_name = archive_file_name;
    for (std::size_t i = 0; i < record.header.size(); ++i) record.header[i] = byte_or_zero(data, i);
    for (std::size_t i = 0; i < record.palette_block.size(); ++i)
        record.palette_block[i] = byte_or_zero(data, palette_block_offset + i);
    record.centred = centering;
    record.build_flags = build_flags;
    // The style that gives back every picture; the flag as found when
    // neither does (the pictures were not coded by the builder).
    record.row_split = build_flags.row_split();
    if (build_flags.run_length()) {
        if (record.row_split && !survey.recodes_with_split && survey.recodes_without_split) record.row_split = false;
        if (!record.row_split && !survey.recodes_without_split && survey.recodes_with_split) record.row_split = true;
    }
    for (const ArchiveImage& image : images) {
        if (tile_set)
            record.tile_values.push_back(image.tile_value);
        else
            record.pictures.push_back(ExactRebuildRecord::Picture{image.width, image.height, image.x_offset, image.y_offset});
    }
    out.write(join_path(out.folder.path(), exact_rebuild_file_name), exact_rebuild_text(record));
}

// Without centring (and without -i) a sprite set's offsets are in no file
// of the folder: said once, when the archive has any.
void warn_offsets_not_kept(const std::vector<ArchiveImage>& images, const LineSink& say) {
    const bool any = std::any_of(images.begin(), images.end(),
                                 [](const ArchiveImage& image) { return image.x_offset != 0 || image.y_offset != 0; });
    if (!any) return;
    say("uwaga: bez centrowania obrazki nie zachowuja przesuniec - przebudowa ustawi je na 0 (zachowa je "
        "centrowanie lub opcja -i) | warning: without centring the pictures keep no offsets, so a rebuild "
        "sets them to 0 unless the archive is extracted with centring or -i");
}

}  // namespace

JobOutcome extract_archive(const ExtractionRequest& request, const LineSink& say) {
    JobOutcome outcome;
    // Every picture takes and frees a few buffers of up to a few hundred KiB
    // (its pixels, the PNG rows, zlib's state). Keeping up to 16 MiB of freed
    // memory at the top of the heap spares the system giving the same pages
    // back and faulting them in again for each of thousands of pictures.
    // (glibc's heap on Linux; other heaps keep freed blocks by their own rules.)
#ifdef __linux__
    mallopt(M_TRIM_THRESHOLD, 16 << 20);
#endif
    const ArchiveKind kind = request.kind;
    const bool centering = kind == ArchiveKind::sprite_set && request.centre;

    // The whole file into memory.
    auto file_bytes = read_whole_file(request.input_path);
    if (!file_bytes) {
        say_read_failure(file_bytes.error(), say);
        say("Nie mozna odczytac pliku | cannot read the file: " + request.input_path);
        outcome.ok = false;
    }
    const std::vector<std::uint8_t> bytes = file_bytes ? std::move(*file_bytes) : std::vector<std::uint8_t>();
    const std::span<const std::uint8_t> data(bytes);
    const auto file_length = static_cast<std::int64_t>(bytes.size());

    // The build file, palette images, tile listing and pass folders go with
    // the pictures into the folder named after the archive.
    const std::string& picture_dir = request.output_folder;
    outcome.output = picture_dir;
    if (!file_exists(picture_dir)) make_directory(picture_dir);
    if (!is_folder(picture_dir)) {
        // Nothing could be written: say so instead of listing pictures that are not there.
        say("Nie mozna utworzyc katalogu | cannot create the folder: " + picture_dir);
        outcome.ok = false;
        return outcome;
    }

    // Every file goes in whole; what stood there before is kept (see
    // ExtractionFolder). A tile set's pictures go into its pass folders.
    ExtractionFolder folder(picture_dir);
    Output out{say, folder, outcome};
    std::vector<std::string> pass_folders;
    if (kind == ArchiveKind::tile_set)
        for (int pass = 1; pass <= tile_set_passes; ++pass)
            pass_folders.push_back(decimal_text(static_cast<std::int32_t>(pass)));
    folder.prepare(pass_folders);

    BuildFileWriter build_file;

    ExtractionPalette palette;
    if (!request.palette_image.empty()) {
        // load_bmp's result code, 0 when the picture was read.
        say(signed_decimal_text(palette.palette_from_image(request.palette_image)));
    } else {
        palette.palette_from_block(data);
    }
    out.write_palette_image(join_path(picture_dir, palette_image_file_name), palette.working);
    // A container's palette files come after its items, which they must not meet.
    const Palette palette_image_colours = palette.working;
    if (request.palette_files && kind != ArchiveKind::trc && kind != ArchiveKind::trw)
        write_palette_files(out, picture_dir, palette.working, request.base_name, nullptr);

    // Header.
    std::uint32_t image_count = 0;
    TileListingWriter tile_listing;
    SpriteSet sprite_set;
    TileSet tile_set;
    RawImageSet raw_set;
    ItemContainer container;
    switch (kind) {
    case ArchiveKind::tile_set:
        tile_set = parse_tile_set(data);
        image_count = tile_set.tile_count;
        build_file.write_flag(1);
        build_file.write_flag(0);
        for (const std::string& pass_folder : pass_folders) {
            const std::string pass_dir = join_path(picture_dir, pass_folder);
            if (!file_exists(pass_dir)) make_directory(pass_dir);
        }
        break;
    case ArchiveKind::raw_data:
        image_count = request.raw_count.take();
        build_file.write_flag(0);
        build_file.write_flag(0);
        break;
    case ArchiveKind::trs:
    case ArchiveKind::trc:
    case ArchiveKind::trw: {
        ByteReader in(data, container_count_offset);
        image_count = in.u16le();
        break;
    }
    case ArchiveKind::sprite_set:
        sprite_set = parse_sprite_set(data);
        image_count = sprite_set.image_count;
        build_file.write_flag(0);
        build_file.write_flag(sprite_set.run_length_coded ? 1 : 0);
        break;
    }

    say("Naglowek: " + decimal_text(std::uint32_t{byte_at(bytes, 0)}) + " " + decimal_text(std::uint32_t{byte_at(bytes, 1)}));
    say("Obrazkow w pliku: " + decimal_text(image_count));
    say("Wielkosc pliku: " + decimal_text(file_length));

    // Records.
    ImageJob job;
    job.data = data;
    job.save_as_bmp = request.bmp;
    job.keep_indices = request.keep_indices;
    job.picture_dir = picture_dir;
    const std::vector<ArchiveImage>* images = nullptr;
    bool report_missing = true;
    switch (kind) {
    case ArchiveKind::tile_set:
        images = &tile_set.tiles;
        break;
    case ArchiveKind::raw_data: {
        const std::uint32_t width = request.raw_width.take();
        const std::uint32_t height = request.raw_height.take();
        raw_set = parse_raw_data(data, image_count, width, height);
        if (image_count > 0 && std::uint64_t{width} * height == 0) {
            say("Obrazki bez pikseli - nic do odczytania | images of no pixels, nothing to read");
            report_missing = false;
        }
        images = &raw_set.images;
        break;
    }
    case ArchiveKind::trs:
        raw_set = parse_raw_image_set(data);
        images = &raw_set.images;
        break;
    case ArchiveKind::trc:
    case ArchiveKind::trw:
        container = parse_item_container(data, kind == ArchiveKind::trc);
        break;
    case ArchiveKind::sprite_set: {
        job.storage = sprite_set.pixel_storage();
        job.centering = centering;
        images = &sprite_set.images;
        std::uint32_t number = 0;
        for (const ArchiveImage& image : sprite_set.images) {
            if (++number > 19) break;
            say("obrazek: " + decimal_text(number) + ": " + decimal_text(image.width) + "x" + decimal_text(image.height) +
                ", reszta: " + decimal_text(image.x_offset & 0xFFu) + "-" +
                decimal_text(static_cast<std::uint32_t>(image.x_offset >> 8)) + "-" + decimal_text(image.y_offset & 0xFFu) +
                "-" + decimal_text(static_cast<std::uint32_t>(image.y_offset >> 8)));
        }
        break;
    }
    }

    RunStyleWatch watch;
    PictureSurvey survey;
    OrderedWork pictures(std::max(1u, request.threads));
    if (kind == ArchiveKind::trc || kind == ArchiveKind::trw) {
        extract_items(data, container, folder, request.bmp, request.keep_indices, palette, pictures, say, outcome);
        if (request.palette_files)
            write_palette_files(out, picture_dir, palette_image_colours, request.base_name, &container);
    } else if (images) {
        const int passes = kind == ArchiveKind::tile_set ? tile_set_passes : 1;
        for (int pass = 1; pass <= passes; ++pass) {
            if (kind == ArchiveKind::tile_set && request.palette_files) {
                const std::string& pass_folder = pass_folders[static_cast<std::size_t>(pass - 1)];
                write_palette_files(out, join_path(picture_dir, pass_folder), palette.working,
                                    request.base_name + "_" + pass_folder, nullptr);
            }
            std::uint32_t number = 0;
            for (const ArchiveImage& image : *images) {
                ++number;
                std::string name = picture_base_name(number);
                if (kind == ArchiveKind::tile_set) {
                    if (pass == 1) tile_listing.write_tile(static_cast<std::uint16_t>(image.tile_value), number);
                    name = decimal_text(static_cast<std::int32_t>(pass)) + path_separator + name;
                }
                extract_image(job, image, number, name, palette, watch, survey, pictures, out);
                if (image.cut_short && pass == 1) say_in_order(pictures, say, cut_image_line(number));
            }
            if (pass == 1 && report_missing && images->size() < image_count)
                say_in_order(pictures, say, missing_images_line(number + 1, image_count));
            if (kind == ArchiveKind::tile_set) palette.advance_rotation();
        }
    }
    pictures.drain();
    if (kind == ArchiveKind::tile_set) out.write(join_path(picture_dir, request.base_name + ".txt"), tile_listing.text());

    build_file.write_flag(watch.repeated_runs ? 1 : 0);
    out.write(join_path(picture_dir, build_file_name), build_file.text());

    if (images && (kind == ArchiveKind::sprite_set || kind == ArchiveKind::tile_set)) {
        const bool tile_set_kind = kind == ArchiveKind::tile_set;
        if (request.keep_indices) {
            const BuildSettings written{static_cast<std::uint8_t>(tile_set_kind ? 1 : 0),
                                        static_cast<std::uint8_t>(!tile_set_kind && sprite_set.run_length_coded ? 1 : 0),
                                        static_cast<std::uint8_t>(watch.repeated_runs ? 1 : 0)};
            write_exact_rebuild_file(out, path_file_name(request.input_path), tile_set_kind, data, *images, centering,
                                     written, survey);
        } else if (!tile_set_kind && !centering) {
            warn_offsets_not_kept(*images, say);
        }
    }
    if (!request.keep_indices && images) warn_repeated_colours(palette.base, survey.drawn, say);

    out.write_palette_image(join_path(picture_dir, used_palette_file_name), palette.used_colours());

    // Pictures left from before that this extraction did not write would
    // be packed by the next build: they go to the backup folder too.
    folder.keep_files_not_written(say);
    if (const std::string kept = folder.kept_line(); !kept.empty()) say(kept);
    return outcome;
}

}  // namespace quarnel
