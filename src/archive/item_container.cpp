#include "archive/item_container.h"

#include <memory>
#include <set>

#include "archive/build_file.h"
#include "archive/palette.h"
#include "archive/picture_canvas.h"
#include "runtime/platform/files.h"
#include "runtime/utility/paths.h"
#include "runtime/utility/text.h"

namespace quarnel {

namespace {

bool unsafe_file_name(std::string_view name) {
    // The extraction's own files share the picture folder: an item of that
    // name would overwrite one of them or be overwritten by it.
    for (const std::string_view own : {std::string_view(build_file_name), std::string_view(palette_image_file_name),
                                       std::string_view(used_palette_file_name)})
        if (equal_ignoring_case(name, own)) return true;
    // A separator, or anything else the system refuses in a name (on
    // Windows a drive's colon, a device name such as CON, a trailing dot).
    return name.empty() || name == "." || name == ".." || !file_name_allowed(name);
}

// A line in its place among the pictures' lines.
void say_in_order(OrderedWork& pictures, const LineSink& say, std::string line) {
    pictures.add_finish([&say, line = std::move(line)] {
        say(line);
        return true;
    });
}

// A picture item drawn in the working colours and saved (on a worker, its
// line and its count in the outcome in order); an item of no pixels is
// saved as a single transparent pixel so that it keeps its file.
void write_picture_item(std::span<const std::uint8_t> data, const ContainerItem& item, const std::string& file_base,
                        ExtractionFolder& folder, bool save_as_bmp, bool keep_indices, ExtractionPalette& palette,
                        OrderedWork& pictures, const LineSink& say, JobOutcome& outcome) {
    const ArchiveImage& place = item.place;
    auto canvas = std::make_shared<PictureCanvas>();
    const std::uint64_t pixels = pixel_count(place);
    if (pixels > picture_pixel_limit) {
        say_in_order(pictures, say, "Obrazek za duzy: " + item.name + " " + decimal_text(place.width) + "x" +
                                     decimal_text(place.height) + " - pominiety | picture too large, skipped");
        outcome.write_failed(file_base + (save_as_bmp ? ".bmp" : ".png"),
                             "the picture is too large (" + decimal_text(place.width) + "x" + decimal_text(place.height) +
                                 "), skipped");
        return;
    }
    const std::uint32_t width = pixels == 0 ? 1 : place.width;
    const std::uint32_t height = pixels == 0 ? 1 : place.height;
    const bool created = keep_indices ? canvas->create_indexed(width, height) : canvas->create(width, height);
    if (created && pixels > 0) {
        decode_image(data, PixelStorage::raw, place, [&](std::uint32_t x, std::uint32_t y, std::uint8_t index) {
            if (keep_indices)
                canvas->put_index(x, y, index);
            else
                canvas->put(x, y, palette.working[index]);
            palette.mark_used(index);
        });
    }
    // With -i the indices as stored, with the colours of the item's .pal.
    auto colours = keep_indices ? std::make_shared<Palette>(palette.working) : nullptr;
    auto saved = std::make_shared<PictureCanvas::Saved>();
    pictures.add(
        [canvas, colours, saved, file_base, save_as_bmp, &folder] {
            *saved = colours ? canvas->save_indexed(folder, file_base, save_as_bmp, *colours, false)
                             : canvas->save(folder, file_base, save_as_bmp);
            canvas->destroy();
        },
        [saved, &say, &outcome] {
            if (saved->ok())
                ++outcome.written;
            else
                report_write_failure(say, outcome, saved->path, saved->failure);
            return true;
        },
        picture_bytes_in_flight(std::uint64_t{width} * height * (keep_indices ? 1u : 4u)));
}

}  // namespace

std::string safe_item_file_name(std::string_view name, std::uint32_t number) {
    if (!unsafe_file_name(name)) return std::string(name);
    const std::string letters = with_allowed_letters(name);
    const bool only_dots = name.find_first_not_of('.') == std::string_view::npos;
    std::string safe = "item" + decimal_text(number);
    if (!only_dots && !letters.empty()) safe += "_" + letters;
    // A trailing dot or blank that the system would drop becomes "_" too.
    for (std::size_t i = safe.size(); i > 0 && !file_name_allowed(safe); --i) safe[i - 1] = '_';
    return safe;
}

void extract_items(std::span<const std::uint8_t> data, const ItemContainer& container, ExtractionFolder& folder,
                   bool save_as_bmp, bool keep_indices, ExtractionPalette& palette, OrderedWork& pictures,
                   const LineSink& say, JobOutcome& outcome) {
    const std::string& picture_dir = folder.path();
    std::uint32_t number = 0;
    std::set<std::string> pictures_named;
    for (const ContainerItem& item : container.items) {
        ++number;
        const std::string file_name = safe_item_file_name(item.name, number);
        if (file_name != item.name)
            say_in_order(pictures, say, "Niebezpieczna nazwa elementu " + decimal_text(number) + ": '" + item.name +
                                         "' - zapisano jako '" + file_name + "' | unsafe item name, written as " +
                                         file_name);
        if (item.kind != ItemKind::data) {
            const std::string pal_name = name_before_dot(file_name) + ".pal";
            // A second picture of the same name replaces the first only
            // after the first is written, as in item order.
            if (!pictures_named.insert(file_name).second) pictures.drain();
            palette.palette_from_pal_file(picture_dir, pal_name, say);
            write_picture_item(data, item, join_path(picture_dir, file_name), folder, save_as_bmp, keep_indices,
                               palette, pictures, say, outcome);
        } else {
            // Files and lines of data items come after every picture before them.
            pictures.drain();
            // A palette item that comes after its picture replaces the empty
            // file the picture left under the lower-case name, as it would on
            // a system that ignores letter case.
            std::erase_if(palette.empty_pal_files, [&](const std::string& left) {
                if (left == file_name || !equal_ignoring_case(left, file_name)) return false;
                delete_file(join_path(picture_dir, left));
                return true;
            });
            // The item's exact bytes: an older, longer file of that name is replaced.
            const std::span<const std::uint8_t> bytes = data.subspan(item.place.pixels, item.place.end - item.place.pixels);
            const std::string path = join_path(picture_dir, file_name);
            if (const WriteResult written = folder.write(path, bytes); written)
                ++outcome.written;
            else
                report_write_failure(say, outcome, path, written.error().message);
        }
        if (item.place.cut_short)
            say_in_order(pictures, say, "Plik urwany w elemencie " + decimal_text(number) + " (" + file_name +
                                         ") - zapisano to, co jest | file ends inside item " + decimal_text(number) +
                                         ", what exists was written");
    }
    pictures.drain();
    if (container.items.size() < container.item_count)
        say("Brak danych dla elementow " + decimal_text(number + 1) + " do " +
            decimal_text(std::uint32_t{container.item_count}) + " | no data for items " + decimal_text(number + 1) +
            " to " + decimal_text(std::uint32_t{container.item_count}));
}

}  // namespace quarnel
