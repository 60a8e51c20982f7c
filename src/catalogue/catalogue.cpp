#include "catalogue/catalogue.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <vector>

#include "anim/animate.h"
#include "anim/animation_description.h"
#include "anim/animation_report.h"
#include "archive/palette.h"
#include "archive/sprite_archive.h"
#include "catalogue/html_page.h"
#include "catalogue/site_folder.h"
#include "mapview/map_grid.h"
#include "mapview/map_picture.h"
#include "mapview/viewer_pictures.h"
#include "png/png_writer.h"
#include "runtime/platform/files.h"
#include "runtime/platform/native_files.h"
#include "runtime/utility/byte_reader.h"
#include "runtime/utility/paths.h"
#include "runtime/utility/text.h"

namespace quarnel {

namespace {

enum class FileKind { sprite_set, tile_set, trs, trc, trw, unit, map };

struct GameFile {
    std::string relative;  // from the game folder, parts joined by "/"
    std::string path;
    FileKind kind = FileKind::sprite_set;
    std::string id;        // the page's name without ".html"
};

constexpr int deepest_folder = 16;
constexpr int tile_set_passes = 7;

std::optional<FileKind> kind_of(std::string_view name) {
    if (name.size() < 4) return std::nullopt;
    const std::string_view ending = name.substr(name.size() - 4);
    if (equal_ignoring_case(ending, ".spr")) return FileKind::sprite_set;
    if (equal_ignoring_case(ending, ".bts")) return FileKind::tile_set;
    if (equal_ignoring_case(ending, ".trs")) return FileKind::trs;
    if (equal_ignoring_case(ending, ".trc")) return FileKind::trc;
    if (equal_ignoring_case(ending, ".trw")) return FileKind::trw;
    if (equal_ignoring_case(ending, ".fin")) return FileKind::unit;
    if (equal_ignoring_case(ending, ".map")) return FileKind::map;
    return std::nullopt;
}

std::string kind_name(FileKind kind) {
    switch (kind) {
    case FileKind::sprite_set: return "sprite set";
    case FileKind::tile_set: return "tile set";
    case FileKind::trs: return "raw image set";
    case FileKind::trc: return "named item container";
    case FileKind::trw: return "numbered item container";
    case FileKind::unit: return "unit";
    case FileKind::map: return "map";
    }
    return "file";
}

bool is_archive(FileKind kind) { return kind != FileKind::unit && kind != FileKind::map; }

// The game files under folder, depth first; the catalogue's own folder and
// hidden entries are passed over.
void scan_folder(const std::string& folder, const std::string& relative, int depth, const std::string& skipped,
                 std::vector<GameFile>& found) {
    std::vector<native::FolderEntry> entries;
    if (depth > deepest_folder || !native::list_folder(folder, entries)) return;
    for (const native::FolderEntry& entry : entries) {
        if (entry.name.empty() || entry.name[0] == '.') continue;
        const std::string path = join_path(folder, entry.name);
        const std::string inner = relative.empty() ? entry.name : relative + "/" + entry.name;
        if ((entry.attributes & 0x10u) != 0) {
            if (path != skipped) scan_folder(path, inner, depth + 1, skipped, found);
        } else if ((entry.attributes & 0x20u) != 0) {
            if (const auto kind = kind_of(entry.name)) found.push_back(GameFile{inner, path, *kind, {}});
        }
    }
}

// Colours 0xAARRGGBB of the screen's entries (red in bits 0-7).
std::array<std::uint32_t, 256> from_screen_entries(const std::array<std::uint32_t, 256>& entries) {
    std::array<std::uint32_t, 256> colours{};
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::uint32_t e = entries[i];
        colours[i] = opaque_colour(static_cast<std::uint8_t>(e), static_cast<std::uint8_t>(e >> 8),
                                   static_cast<std::uint8_t>(e >> 16));
    }
    return colours;
}

// Every distinct palette met, with the pages that use it.
class PaletteBook {
public:
    // The anchor of the palette on palettes.html ("p1", ...).
    std::string add(const Palette& colours, const std::string& user_link) {
        for (Entry& entry : entries_) {
            if (entry.colours == colours) {
                entry.users.push_back(user_link);
                return entry.anchor;
            }
        }
        entries_.push_back(Entry{colours, "p" + decimal_text(entries_.size() + 1), {user_link}});
        return entries_.back().anchor;
    }
    std::size_t size() const { return entries_.size(); }
    std::string page_body() const {
        std::string body = "<p>" + decimal_text(entries_.size()) +
                           " palettes. Each square shows one entry with its index; a pointer over it shows the colour.</p>\n";
        for (const Entry& entry : entries_) {
            body += "<h2 id=\"" + entry.anchor + "\">Palette " + entry.anchor.substr(1) + "</h2>\n<p>Used by: ";
            for (std::size_t i = 0; i < entry.users.size(); ++i) body += (i ? ", " : "") + entry.users[i];
            body += "</p>\n" + palette_swatches(entry.colours);
        }
        return body;
    }

private:
    struct Entry {
        Palette colours;
        std::string anchor;
        std::vector<std::string> users;
    };
    std::vector<Entry> entries_;
};

// ---- Sheets -----------------------------------------------------------------

// One picture of an archive on its sheet.
struct SheetCell {
    std::string caption;
    ArchiveImage image;
    PixelStorage storage = PixelStorage::raw;
    std::size_t palette = 0;  // which of the page's palettes colours it
    bool placed = false;
    std::uint32_t sheet = 0, x = 0, y = 0;
};

struct SheetSize {
    std::uint32_t width = 0, height = 0;
};

// Shelves left to right, top to bottom; a new sheet when one would grow
// past the side limit. Pictures larger than the limit and pictures of no
// pixels are not placed.
std::vector<SheetSize> plan_sheets(std::vector<SheetCell>& cells) {
    std::uint32_t widest = 0;
    for (const SheetCell& cell : cells)
        if (cell.image.width <= sheet_side_limit && cell.image.height <= sheet_side_limit)
            widest = std::max(widest, cell.image.width);
    const std::uint32_t sheet_width = std::clamp<std::uint32_t>(widest, 1024, sheet_side_limit);
    std::vector<SheetSize> sheets;
    std::uint32_t x = 0, y = 0, shelf = 0;
    for (SheetCell& cell : cells) {
        const ArchiveImage& image = cell.image;
        if (image.width == 0 || image.height == 0 || image.width > sheet_side_limit || image.height > sheet_side_limit ||
            pixel_count(image) > picture_pixel_limit)
            continue;
        if (sheets.empty()) sheets.push_back({});
        if (x + image.width > sheet_width) {
            x = 0;
            y += shelf;
            shelf = 0;
        }
        if (y + image.height > sheet_side_limit) {
            sheets.push_back({});
            x = y = shelf = 0;
        }
        cell.placed = true;
        cell.sheet = static_cast<std::uint32_t>(sheets.size() - 1);
        cell.x = x;
        cell.y = y;
        x += image.width;
        shelf = std::max(shelf, image.height);
        SheetSize& size = sheets.back();
        size.width = std::max(size.width, x);
        size.height = std::max(size.height, y + image.height);
    }
    return sheets;
}

// The page of one game file being made: its body and its problems.
struct Page {
    std::string body;
    std::vector<std::string> problems;
};

class Catalogue {
public:
    Catalogue(const CatalogueRequest& request, const LineSink& say, CatalogueOutcome& outcome)
        : request_(request), say_(say), outcome_(outcome) {}

    void run();

private:
    void problem(Page& page, const std::string& line) {
        say_(line);
        page.problems.push_back(line);
        outcome_.ok = false;
        if (outcome_.problems++ == 0) outcome_.first_problem = line;
    }
    void site_problem(const std::string& line) {
        say_(line);
        outcome_.ok = false;
        if (outcome_.problems++ == 0) outcome_.first_problem = line;
    }
    void write_file(Page& page, const std::string& relative, std::span<const std::uint8_t> bytes) {
        if (const WriteResult written = site_.write(relative, bytes); !written)
            problem(page, "cannot write " + site_.full_path(relative) + ": " + written.error().message);
    }
    void write_page(const GameFile& file, const std::string& title, Page& page);
    // The file's bytes; nothing when it cannot be read (a file over the
    // limit is said).
    std::optional<std::vector<std::uint8_t>> read_file(const std::string& path) {
        auto bytes = read_whole_file(path);
        if (!bytes) {
            say_read_failure(bytes.error(), say_);
            return std::nullopt;
        }
        return std::move(*bytes);
    }
    // The file's bytes; when it cannot be read, its page says so instead.
    std::optional<std::vector<std::uint8_t>> read_for_page(const GameFile& file, Page& page) {
        auto bytes = read_file(file.path);
        if (!bytes) {
            problem(page, file.relative + ": cannot be read");
            file_lines_[file.id] = link_to(file) + " - cannot be read";
            write_page(file, path_file_name(file.relative), page);
        }
        return bytes;
    }
    std::string link_to(const GameFile& file) const {
        return "<a href=\"" + file.id + ".html\">" + html_text(file.relative) + "</a>";
    }
    const GameFile* archive_named(std::string_view path) const;

    void catalogue_archive(const GameFile& file);
    void catalogue_unit(const GameFile& file);
    void catalogue_map(const GameFile& file);
    void write_sheets(const GameFile& file, Page& page, std::vector<SheetCell>& cells, std::span<const std::uint8_t> data,
                      const std::vector<Palette>& palettes, bool tile_cycling);
    void write_front_page();

    const CatalogueRequest& request_;
    const LineSink& say_;
    CatalogueOutcome& outcome_;
    SiteFolder site_;
    std::vector<GameFile> files_;
    PaletteBook palettes_;
    std::map<std::string, std::string> file_lines_;  // page id -> its line on the front page
    std::vector<std::pair<std::string, ViewerTileSet>> tile_sets_;  // loaded for the maps, by page id
};

const GameFile* Catalogue::archive_named(std::string_view path) const {
    for (const GameFile& file : files_)
        if (file.path == path) return &file;
    return nullptr;
}

std::span<const std::uint8_t> text_bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

void Catalogue::write_page(const GameFile& file, const std::string& title, Page& page) {
    std::string body = "<p>" + kind_name(file.kind) + " <code>" + html_text(file.relative) + "</code></p>\n";
    if (!page.problems.empty()) {
        body += "<ul class=\"problems\">\n";
        for (const std::string& line : page.problems) body += "<li>" + html_text(line) + "</li>\n";
        body += "</ul>\n";
    }
    body += page.body;
    const std::string text = html_page(title, body, false);
    write_file(page, file.id + ".html", text_bytes(text));
}

// The tile set's colour cycling: pass p shows index 201 + m in the colour
// that the base palette holds at 201 + ((m - s) mod 7), s = p - 1, the
// rotation extraction and the viewer give entries 201 to 207.
std::uint8_t cycled_index(std::uint8_t index, int step) {
    if (index < cycle_first_entry || index >= cycle_first_entry + cycle_length) return index;
    const int m = index - cycle_first_entry;
    return static_cast<std::uint8_t>(cycle_first_entry + (m - step + cycle_length) % cycle_length);
}

void Catalogue::write_sheets(const GameFile& file, Page& page, std::vector<SheetCell>& cells,
                             std::span<const std::uint8_t> data, const std::vector<Palette>& palettes, bool tile_cycling) {
    const std::vector<SheetSize> sheets = plan_sheets(cells);
    for (std::size_t k = 0; k < sheets.size(); ++k) {
        const std::string relative = "img/" + file.id + "-" + decimal_text(k + 1) + ".png";
        std::optional<std::vector<std::uint8_t>> png;
        if (tile_cycling) {
            // Indices, shown through the seven passes' colours.
            ImagePtr sheet = new_full_header_image(sheets[k].width, sheets[k].height, 1);
            ImagePtr frame = new_full_header_image(sheets[k].width, sheets[k].height, 1);
            if (sheet && frame) {
                const auto layout = image_layout(*sheet);
                for (const SheetCell& cell : cells) {
                    if (!cell.placed || cell.sheet != k) continue;
                    decode_image(data, cell.storage, cell.image, [&](std::uint32_t x, std::uint32_t y, std::uint8_t index) {
                        image_row(*sheet, *layout, cell.y + y)[cell.x + x] = index;
                    });
                }
                const auto frame_layout = image_layout(*frame);
                png = png_encode_animated_indexed(
                    tile_set_passes,
                    [&](std::uint32_t pass) -> const Image* {
                        for (std::uint32_t y = 0; y < layout->height; ++y) {
                            const std::uint8_t* in = image_row(*sheet, *layout, y);
                            std::uint8_t* out = image_row(*frame, *frame_layout, y);
                            for (std::uint32_t x = 0; x < layout->width; ++x)
                                out[x] = cycled_index(in[x], static_cast<int>(pass));
                        }
                        return frame.get();
                    },
                    palettes.front(), false, PngAnimationTiming{});
            }
        } else {
            // Colours as extraction draws them: pixels the file sets in
            // their palette colour, skipped ones transparent.
            ImagePtr sheet = new_full_header_image(sheets[k].width, sheets[k].height, 4);
            if (sheet) {
                const auto layout = image_layout(*sheet);
                for (const SheetCell& cell : cells) {
                    if (!cell.placed || cell.sheet != k) continue;
                    const Palette& colours = palettes[cell.palette];
                    decode_image(data, cell.storage, cell.image, [&](std::uint32_t x, std::uint32_t y, std::uint8_t index) {
                        write_pixel_value(image_row(*sheet, *layout, cell.y + y) + std::size_t{cell.x + x} * 4, 4,
                                          colours[index]);
                    });
                }
                png = png_encode(*sheet);
            }
        }
        if (!png) {
            problem(page, "cannot write " + site_.full_path(relative) + ": the sheet cannot be made (no memory for it)");
            continue;
        }
        write_file(page, relative, *png);
    }
    std::string html = "<div class=\"sheet\">\n";
    for (const SheetCell& cell : cells) {
        html += "<figure>";
        if (cell.placed)
            html += "<img src=\"img/" + file.id + "-" + decimal_text(cell.sheet + 1) + ".png\" width=\"" +
                    decimal_text(cell.image.width) + "\" height=\"" + decimal_text(cell.image.height) +
                    "\" style=\"object-position:-" + decimal_text(cell.x) + "px -" + decimal_text(cell.y) + "px\" alt=\"" +
                    html_text(cell.caption) + "\">";
        html += "<figcaption>" + html_text(cell.caption) + (cell.placed ? "" : " (not drawn)") + "</figcaption></figure>\n";
    }
    html += "</div>\n";
    page.body += html;
    // Pictures the sheet cannot hold.
    for (const SheetCell& cell : cells)
        if (!cell.placed && pixel_count(cell.image) > 0)
            problem(page, file.relative + ": picture " + cell.caption + " is larger than " + decimal_text(sheet_side_limit) +
                              " x " + decimal_text(sheet_side_limit) + " - left out");
}

void Catalogue::catalogue_archive(const GameFile& file) {
    Page page;
    const auto bytes = read_for_page(file, page);
    if (!bytes) return;
    const std::span<const std::uint8_t> data(*bytes);
    std::vector<SheetCell> cells;
    std::vector<Palette> palettes;
    std::string summary;
    std::string data_items;
    auto picture_lines = [&](const std::vector<ArchiveImage>& images, std::uint32_t stated, std::string_view what) {
        std::uint32_t number = 0;
        for (const ArchiveImage& image : images) {
            ++number;
            if (image.cut_short)
                problem(page, file.relative + ": the file ends inside " + std::string(what) + " " + decimal_text(number) +
                                  " - the rest of it is blank");
        }
        if (images.size() < stated)
            problem(page, file.relative + ": no data for " + std::string(what) + "s " + decimal_text(images.size() + 1) +
                              " to " + decimal_text(stated));
    };
    switch (file.kind) {
    case FileKind::sprite_set: {
        const SpriteSet set = parse_sprite_set(data);
        palettes.push_back(palette_from_block_bytes(set.palette_block));
        std::uint32_t number = 0;
        for (const ArchiveImage& image : set.images)
            cells.push_back(SheetCell{decimal_text(++number) + " \xC2\xB7 " + decimal_text(image.width) + "x" +
                                          decimal_text(image.height) + " \xC2\xB7 offsets " + decimal_text(image.x_offset) +
                                          "," + decimal_text(image.y_offset),
                                      image, set.pixel_storage(), 0});
        summary = decimal_text(set.images.size()) + " sprites (the header says " + decimal_text(set.image_count) + "), " +
                  (set.run_length_coded ? "run-length coded" : "raw");
        picture_lines(set.images, set.image_count, "image");
        break;
    }
    case FileKind::tile_set: {
        const TileSet set = parse_tile_set(data);
        palettes.push_back(palette_from_block_bytes(set.palette_block));
        std::uint32_t number = 0;
        for (const ArchiveImage& tile : set.tiles)
            cells.push_back(SheetCell{decimal_text(++number) + " \xC2\xB7 32x32 \xC2\xB7 key " +
                                          decimal_text(tile.tile_value & 0xFFFFu),
                                      tile, PixelStorage::raw, 0});
        summary = decimal_text(set.tiles.size()) + " tiles (the header says " + decimal_text(set.tile_count) +
                  "), tile-set code " + decimal_text(set.tile_set_code) +
                  "; the tiles play the colour cycling of entries 201 to 207 (seven passes, 0.1 s each)";
        picture_lines(set.tiles, set.tile_count, "tile");
        break;
    }
    case FileKind::trs: {
        const RawImageSet set = parse_raw_image_set(data);
        // No palette of its own: its bytes 8 to 775 are read as one, as extraction does.
        palettes.push_back(palette_from_block_bytes(data.size() > palette_block_offset ? data.subspan(palette_block_offset)
                                                                                       : std::span<const std::uint8_t>()));
        std::uint32_t number = 0;
        for (const ArchiveImage& image : set.images)
            cells.push_back(SheetCell{decimal_text(++number) + " \xC2\xB7 " + decimal_text(image.width) + "x" +
                                          decimal_text(image.height),
                                      image, PixelStorage::raw, 0});
        summary = decimal_text(set.images.size()) + " images (the header says " + decimal_text(set.image_count) + ")";
        picture_lines(set.images, set.image_count, "image");
        break;
    }
    case FileKind::trc:
    case FileKind::trw:
    default: {
        const ItemContainer container = parse_item_container(data, file.kind == FileKind::trc);
        std::uint32_t number = 0, picture_count = 0;
        for (const ContainerItem& item : container.items) {
            ++number;
            if (item.place.cut_short)
                problem(page, file.relative + ": the file ends inside item " + decimal_text(number) + " (" + item.name + ")");
            if (item.kind == ItemKind::data) {
                data_items += "<li>" + decimal_text(number) + " " + html_text(item.name) + ": " + decimal_text(item.size) +
                              " bytes</li>\n";
                continue;
            }
            ++picture_count;
            // The colours of the ".pal" item of the same base name, as
            // extraction finds it: one before the picture, else one after.
            const std::string pal_name = name_before_dot(item.name) + ".pal";
            const ContainerItem* pal = nullptr;
            for (const ContainerItem& other : container.items) {
                if (&other == &item) {
                    if (pal) break;
                    continue;
                }
                if (other.kind == ItemKind::data && equal_ignoring_case(other.name, pal_name)) {
                    pal = &other;
                    if (&other < &item) continue;
                    break;
                }
            }
            if (pal) {
                palettes.push_back(palette_from_pal_bytes(data.subspan(pal->place.pixels, pal->place.end - pal->place.pixels)));
            } else {
                Palette black{};
                black.fill(opaque_colour(0, 0, 0));
                palettes.push_back(black);
                problem(page, file.relative + ": picture item " + item.name + " has no palette item " + pal_name +
                                  " - drawn in black, as extraction draws it");
            }
            cells.push_back(SheetCell{decimal_text(number) + " " + item.name + " \xC2\xB7 " + decimal_text(item.place.width) +
                                          "x" + decimal_text(item.place.height),
                                      item.place, PixelStorage::raw, palettes.size() - 1});
        }
        summary = decimal_text(container.items.size()) + " items (the header says " + decimal_text(container.item_count) +
                  "), " + decimal_text(picture_count) + " of them pictures";
        if (container.items.size() < container.item_count)
            problem(page, file.relative + ": no data for items " + decimal_text(container.items.size() + 1) + " to " +
                              decimal_text(container.item_count));
        break;
    }
    }
    const bool tile_cycling = file.kind == FileKind::tile_set;
    std::string palette_links;
    std::set<std::string> anchors;
    for (const Palette& colours : palettes) {
        const std::string anchor = palettes_.add(colours, link_to(file));
        if (anchors.insert(anchor).second)
            palette_links += std::string(palette_links.empty() ? "" : ", ") + "<a href=\"palettes.html#" + anchor +
                             "\">palette " + anchor.substr(1) + "</a>";
    }
    page.body += "<p>" + html_text(summary) + ", " + decimal_text(bytes->size()) + " bytes" +
                 (palette_links.empty() ? std::string() : "; colours: " + palette_links) + "</p>\n";
    if (!data_items.empty()) page.body += "<h2>Data items</h2>\n<ul>\n" + data_items + "</ul>\n<h2>Pictures</h2>\n";
    write_sheets(file, page, cells, data, palettes, tile_cycling);
    file_lines_[file.id] = link_to(file) + " - " + html_text(summary.substr(0, summary.find(';')));
    write_page(file, path_file_name(file.relative), page);
}

void Catalogue::catalogue_unit(const GameFile& file) {
    Page page;
    const std::string folder = "units/" + file.id;
    std::vector<std::string> animate_problems;
    AnimateRequest request;
    request.description_path = file.path;
    request.output_folder = site_.full_path(folder);
    request.write = [&](const std::string& path, std::span<const std::uint8_t> bytes) {
        return site_.write(folder + "/" + path_file_name(path), bytes);
    };
    // Every file the unit's animations may take goes on the site's list at
    // once, rather than one list written per picture.
    const auto description_bytes = read_file(file.path);
    if (description_bytes) {
        DescriptionReading reading;
        reading.overlay_scan = OverlayScan::before_last_record;
        const AnimationDescription description = read_animation_description(*description_bytes, reading);
        std::vector<std::string> names = {folder + "/" + std::string(animation_index_file_name)};
        const auto count = static_cast<std::uint32_t>(description.animations.size());
        for (const Animation& animation : description.animations)
            if (!animation.frames.empty())
                names.push_back(folder + "/" +
                                animation_file_name(animation.index, count, animation.record.name_without_zero_bytes(), ".png"));
        // When one of them stands there unclaimed, each picture is claimed
        // as it is written, and only that one is refused (with its line).
        (void)site_.claim(names);
    }
    const AnimateOutcome animated = animate_unit(request, [](std::string_view) {});
    for (const std::string& line : animated.problem_lines) problem(page, file.relative + ": " + line);
    if (!animated.sprites_path.empty()) {
        const GameFile* sprites = archive_named(animated.sprites_path);
        page.body += "<p>Pictures from " +
                     (sprites ? link_to(*sprites) : "<code>" + html_text(animated.sprites_path) + "</code>") +
                     ", in its own colours; every animation as the map viewer draws it, 0.1 s a frame.</p>\n";
    }
    std::string empty;
    page.body += "<h2>Animations</h2>\n<div class=\"sheet\">\n";
    std::uint32_t playing = 0;
    for (const AnimationPicture& animation : animated.animations) {
        const std::string label = animation_file_name(animation.number, static_cast<std::uint32_t>(animated.animations.size()),
                                                      "", "") +
                                  " " + animation.name;
        if (animation.file_name.empty()) {
            empty += "<li>" + html_text(label) + ": " +
                     (animation.frame_count == 0 ? std::string("no frames") : decimal_text(animation.frame_count) + " frames, no picture") +
                     "</li>\n";
            continue;
        }
        ++playing;
        page.body += "<figure><img src=\"" + folder + "/" + animation.file_name + "\" width=\"" +
                     decimal_text(animation.width) + "\" height=\"" + decimal_text(animation.height) + "\" alt=\"" +
                     html_text(label) + "\"><figcaption>" + html_text(label) + " \xC2\xB7 " +
                     decimal_text(animation.frame_count) + " frames</figcaption></figure>\n";
    }
    page.body += "</div>\n";
    if (!empty.empty()) page.body += "<h2>Animations without a picture</h2>\n<ul>\n" + empty + "</ul>\n";
    if (description_bytes) {
        const AnimationReport report = make_animation_report(*description_bytes, "");
        page.body += "<h2>Animation report</h2>\n<pre>" + html_text(report.text) + "</pre>\n";
    }
    file_lines_[file.id] = link_to(file) + " - " + decimal_text(animated.animations.size()) + " animations, " +
                           decimal_text(playing) + " playing";
    write_page(file, path_file_name(file.relative), page);
}

void Catalogue::catalogue_map(const GameFile& file) {
    Page page;
    const auto bytes = read_for_page(file, page);
    if (!bytes) return;
    // The map's ground keys, to choose the tile set.
    ByteReader header(*bytes);
    const std::uint32_t width = header.u16le();
    header.skip(2);
    const std::uint32_t height = header.u16le();
    std::set<std::uint16_t> ground_keys;
    const std::uint64_t cells = std::uint64_t{width} * height;
    for (std::uint64_t k = 0; k < cells && k < map_cell_limit; ++k) {
        ByteReader record(*bytes, static_cast<std::size_t>(map_header_size + 4 * k));
        const std::uint16_t key = record.u16le();
        if (record.ended()) break;
        ground_keys.insert(key);
    }
    if (tile_sets_.empty()) {
        for (const GameFile& other : files_) {
            if (other.kind != FileKind::tile_set) continue;
            if (const auto tile_bytes = read_file(other.path))
                tile_sets_.emplace_back(other.id, build_tile_pictures(*tile_bytes));
        }
    }
    // How many of the ground keys each tile set knows; the map is drawn
    // with the first that knows the most.
    std::vector<std::size_t> known(tile_sets_.size(), 0);
    std::size_t best = tile_sets_.size(), best_known = 0;
    for (std::size_t t = 0; t < tile_sets_.size(); ++t) {
        const std::set<std::int32_t> keys(tile_sets_[t].second.keys.begin(), tile_sets_[t].second.keys.end());
        known[t] = static_cast<std::size_t>(
            std::count_if(ground_keys.begin(), ground_keys.end(), [&](std::uint16_t key) { return keys.count(key) != 0; }));
        if (known[t] > best_known) {
            best = t;
            best_known = known[t];
        }
    }
    auto tile_set_file = [&](std::size_t t) -> const GameFile* {
        for (const GameFile& other : files_)
            if (other.id == tile_sets_[t].first) return &other;
        return nullptr;
    };
    page.body += "<p>" + decimal_text(width) + " x " + decimal_text(height) + " cells, " + decimal_text(ground_keys.size()) +
                 " ground keys.</p>\n";
    std::string line = link_to(file) + " - " + decimal_text(width) + " x " + decimal_text(height) + " cells";
    if (best == tile_sets_.size()) {
        problem(page, file.relative + ": no tile set of the game knows any of its " + decimal_text(ground_keys.size()) +
                          " ground keys - not drawn");
    } else {
        const ViewerTileSet& tiles = tile_sets_[best].second;
        const GameFile* chosen = tile_set_file(best);
        page.body += "<p>Drawn with the tile set " + (chosen ? link_to(*chosen) : std::string()) + ", which knows " +
                     decimal_text(best_known) + " of its " + decimal_text(ground_keys.size()) + " ground keys";
        std::string others;
        for (std::size_t t = 0; t < tile_sets_.size(); ++t) {
            if (t == best) continue;
            if (const GameFile* other = tile_set_file(t))
                others += std::string(others.empty() ? "" : ", ") + link_to(*other) + " " + decimal_text(known[t]);
        }
        if (!others.empty()) page.body += " (the others: " + others + ")";
        page.body += ".</p>\n";
        line += ", drawn with " + (chosen ? html_text(path_file_name(chosen->relative)) : std::string());
        const MapLoad load = parse_map(*bytes, tiles.keys);
        if (!load.grid) {
            problem(page, file.relative + ": " + load.error);
        } else if (const ImagePtr picture = draw_whole_map(*load.grid, tiles, 0, false); !picture) {
            problem(page, file.relative + ": the map is too large for one picture (at most " +
                              decimal_text(map_picture_pixel_limit) + " pixels)");
        } else {
            const std::string relative = "img/" + file.id + ".png";
            const auto png = png_encode_indexed(*picture, from_screen_entries(viewer_screen_colours(tiles.palette)), false);
            if (!png) problem(page, "cannot write " + site_.full_path(relative) + ": the picture cannot be coded");
            else write_file(page, relative, *png);
            page.body += "<img class=\"map\" src=\"" + relative + "\" width=\"" + decimal_text(width * 32) + "\" height=\"" +
                         decimal_text(height * 32) + "\" alt=\"the whole map\">\n";
        }
    }
    file_lines_[file.id] = line;
    write_page(file, path_file_name(file.relative), page);
}

void Catalogue::write_front_page() {
    std::map<FileKind, std::uint32_t> counts;
    for (const GameFile& file : files_) ++counts[file.kind];
    std::string body = "<p>The graphics of <code>" + html_text(request_.game_folder) + "</code>, as quarnel reads them.</p>\n";
    body += "<table class=\"counts\">\n";
    for (const FileKind kind : {FileKind::sprite_set, FileKind::tile_set, FileKind::trs, FileKind::trc, FileKind::trw,
                                FileKind::unit, FileKind::map})
        body += "<tr><td>" + kind_name(kind) + "s</td><td>" + decimal_text(counts[kind]) + "</td></tr>\n";
    body += "<tr><td>palettes</td><td><a href=\"palettes.html\">" + decimal_text(palettes_.size()) + "</a></td></tr>\n";
    body += "<tr><td>problems</td><td>" + decimal_text(outcome_.problems) + "</td></tr>\n</table>\n";
    auto section = [&](const std::string& heading, const std::vector<FileKind>& kinds) {
        std::string items;
        for (const GameFile& file : files_)
            if (std::find(kinds.begin(), kinds.end(), file.kind) != kinds.end()) items += "<li>" + file_lines_[file.id] + "</li>\n";
        if (!items.empty()) body += "<h2>" + heading + "</h2>\n<ul>\n" + items + "</ul>\n";
    };
    section("Sprite sets", {FileKind::sprite_set});
    section("Tile sets", {FileKind::tile_set});
    section("Raw image sets and item containers", {FileKind::trs, FileKind::trc, FileKind::trw});
    section("Units", {FileKind::unit});
    section("Maps", {FileKind::map});
    body += "<h2>Palettes</h2>\n<p><a href=\"palettes.html\">Every palette of the game</a></p>\n";
    const std::string text = html_page("Dark Colony catalogue: " + path_file_name(request_.game_folder), body, true);
    if (const WriteResult written = site_.write("index.html", text); !written)
        site_problem("cannot write " + site_.full_path("index.html") + ": " + written.error().message);
    else
        outcome_.front_page = site_.full_path("index.html");
}

void Catalogue::run() {
    std::string game = request_.game_folder;
    while (game.size() > 1 && game.back() == path_separator) game.pop_back();
    std::string output = request_.output_folder.empty() ? game + "-catalogue" : request_.output_folder;
    while (output.size() > 1 && output.back() == path_separator) output.pop_back();
    if (const std::string refused = site_.open(output); !refused.empty()) {
        site_problem(refused);
        return;
    }

    scan_folder(game, "", 0, site_.path(), files_);
    // Archives first, then units, then maps (a map is drawn with a tile set).
    std::stable_sort(files_.begin(), files_.end(), [](const GameFile& a, const GameFile& b) {
        const int rank_a = is_archive(a.kind) ? 0 : a.kind == FileKind::unit ? 1 : 2;
        const int rank_b = is_archive(b.kind) ? 0 : b.kind == FileKind::unit ? 1 : 2;
        if (rank_a != rank_b) return rank_a < rank_b;
        return less_ignoring_case(a.relative, b.relative);
    });
    std::uint32_t number = 0;
    for (GameFile& file : files_) {
        const std::string prefix = is_archive(file.kind) ? "archive" : file.kind == FileKind::unit ? "unit" : "map";
        std::string digits = decimal_text(++number);
        if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
        file.id = prefix + "-" + digits + "-" + plain_name(path_file_name(file.relative));
    }
    outcome_.files = number;
    if (std::none_of(files_.begin(), files_.end(), [](const GameFile& file) { return is_archive(file.kind); }))
        site_problem("no archives (.spr .bts .trs .trc .trw) under " + game);

    if (const WriteResult written = site_.write(std::string(site_style_file_name), site_style_sheet()); !written)
        site_problem("cannot write " + site_.full_path(site_style_file_name) + ": " + written.error().message);
    std::uint32_t at = 0;
    for (const GameFile& file : files_) {
        say_("[" + decimal_text(++at) + "/" + decimal_text(files_.size()) + "] " + file.relative);
        if (is_archive(file.kind)) catalogue_archive(file);
        else if (file.kind == FileKind::unit) catalogue_unit(file);
        else catalogue_map(file);
    }
    const std::string palettes_page = html_page("Palettes", palettes_.page_body(), false);
    if (const WriteResult written = site_.write("palettes.html", palettes_page); !written)
        site_problem("cannot write " + site_.full_path("palettes.html") + ": " + written.error().message);
    write_front_page();
    site_.finish([&](std::string_view line) { site_problem(std::string(line)); });
}

}  // namespace

CatalogueOutcome make_catalogue(const CatalogueRequest& request, const LineSink& say) {
    CatalogueOutcome outcome;
    Catalogue catalogue(request, say, outcome);
    catalogue.run();
    return outcome;
}

}  // namespace quarnel
