#include "anim/animate.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "anim/animation_description.h"
#include "archive/palette.h"
#include "archive/sprite_archive.h"
#include "mapview/unit_animation_set.h"
#include "mapview/view_loop.h"
#include "mapview/viewer_pictures.h"
#include "png/png_writer.h"
#include "runtime/image/gif_writer.h"
#include "runtime/utility/paths.h"
#include "runtime/utility/text.h"

namespace quarnel {

namespace {

// A frame as the viewer places it, and the rectangle its picture takes on
// the viewer's screen (none when the sprite set lacks the picture).
struct PlacedFrame {
    FramePlacement placement;
    bool drawn = false;
    std::int64_t left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
};

// A name as a console line shows it: control bytes as "?".
std::string printable(std::string_view name) {
    std::string shown(name);
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return shown;
}

// The file name less its extension (the text before the last dot).
std::string stem_of(std::string_view path) {
    const std::string name = path_file_name(path);
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string without_trailing_separator(std::string path) {
    while (path.size() > 1 && path.back() == path_separator) path.pop_back();
    return path;
}

void clear_picture(Image& picture) {
    const auto layout = image_layout(picture);
    if (!layout) return;
    for (std::uint32_t y = 0; y < layout->height; ++y) std::memset(image_row(picture, *layout, y), 0, layout->width);
}

// Every pixel of from as a scale x scale block of to.
void enlarge(const Image& from, Image& to, std::uint32_t scale) {
    const auto source = image_layout(from);
    const auto target = image_layout(to);
    if (!source || !target) return;
    for (std::uint32_t y = 0; y < target->height; ++y) {
        const std::uint8_t* in = image_row(from, *source, y / scale);
        std::uint8_t* out = image_row(to, *target, y);
        for (std::uint32_t x = 0; x < target->width; ++x) out[x] = in[x / scale];
    }
}

// Numbers as a line lists them: "3, 4, 9".
std::string number_list(const std::vector<std::uint32_t>& numbers) {
    std::string text;
    for (std::size_t i = 0; i < numbers.size() && i < 12; ++i) text += (i ? ", " : "") + decimal_text(numbers[i]);
    if (numbers.size() > 12) text += " and " + decimal_text(numbers.size() - 12) + " more";
    return text;
}

}  // namespace

std::string find_unit_sprites(std::string_view description_path) {
    const std::string full = absolute_path(description_path);
    const std::string sprite_name = stem_of(full) + ".spr";
    const std::string folder = without_trailing_separator(path_dir_part(full));
    if (std::string beside = find_ignoring_case(folder, sprite_name); !beside.empty()) return beside;
    const std::string parent = path_dir_part(folder);
    if (parent.empty()) return {};
    const std::string sprites_folder = find_ignoring_case(parent, "sprites");
    if (sprites_folder.empty()) return {};
    return find_ignoring_case(sprites_folder, sprite_name);
}

std::string animation_file_name(std::uint32_t number, std::uint32_t animation_count, std::string_view name,
                                std::string_view extension) {
    std::string digits = decimal_text(number);
    const std::size_t width = std::max<std::size_t>(2, decimal_text(animation_count > 0 ? animation_count - 1 : 0).size());
    if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
    const std::string safe = plain_name(name);
    return digits + (safe.empty() ? "" : "_" + safe) + std::string(extension);
}

AnimateOutcome animate_unit(const AnimateRequest& request, const LineSink& say) {
    AnimateOutcome outcome;
    auto problem = [&](const std::string& line) {
        say(line);
        outcome.ok = false;
        outcome.problem_lines.push_back(line);
    };
    const OutputWriter write = request.write ? request.write
                                             : OutputWriter([](const std::string& path, std::span<const std::uint8_t> bytes) {
                                                   return write_whole_file(path, bytes);
                                               });

    const auto description_bytes = read_whole_file(request.description_path);
    if (!description_bytes) {
        say_read_failure(description_bytes.error(), say);
        problem("cannot read the animation description " + request.description_path);
        return outcome;
    }
    outcome.sprites_path = request.sprites_path.empty() ? find_unit_sprites(request.description_path) : request.sprites_path;
    if (outcome.sprites_path.empty()) {
        problem("no sprite set " + stem_of(request.description_path) +
                ".spr beside the description or in ../sprites/ (name one with --sprites)");
        return outcome;
    }
    const auto sprite_bytes = read_whole_file(outcome.sprites_path);
    if (!sprite_bytes) {
        say_read_failure(sprite_bytes.error(), say);
        problem("cannot read the sprite set " + outcome.sprites_path);
        return outcome;
    }
    outcome.read = true;

    // The unit's pictures as the viewer holds them, in the unit's own colours.
    const UnitSpriteSet sprites = build_unit_sprite_set(*sprite_bytes);
    const Palette colours = palette_from_block_bytes(parse_sprite_set(*sprite_bytes).palette_block);
    const auto loaded_images = static_cast<std::uint32_t>(sprites.slot_count() / 2);

    // Every animation, none left out; overlays passed over as the viewer does.
    DescriptionReading reading;
    reading.overlay_scan = OverlayScan::before_last_record;
    const AnimationDescription description = read_animation_description(*description_bytes, reading);

    outcome.output_folder = request.output_folder.empty()
                                ? join_path(path_dir_part(absolute_path(request.description_path)),
                                            stem_of(request.description_path) + "_animations")
                                : without_trailing_separator(request.output_folder);
    if (!make_folders(outcome.output_folder)) {
        problem("cannot create the folder " + outcome.output_folder);
        return outcome;
    }

    const std::uint32_t scale = static_cast<std::uint32_t>(std::clamp(request.scale, 1, animation_scale_limit));
    const std::string extension = request.gif ? ".gif" : ".png";
    const auto animation_count = static_cast<std::uint32_t>(description.animations.size());
    std::string index = "animations of " + path_file_name(request.description_path) + " with the pictures of " +
                        path_file_name(outcome.sprites_path) + ": " + decimal_text(description.header.animation_count) +
                        " animations, 0.1 s a frame, looping" + (scale > 1 ? ", enlarged " + decimal_text(scale) + " times" : "") +
                        "\r\n";
    auto index_line = [&](const std::string& line) {
        index += line + "\r\n";
        say(line);
    };

    for (const Animation& animation : description.animations) {
        AnimationPicture picture;
        picture.number = animation.index;
        picture.name = animation.record.name_without_zero_bytes();
        const std::string label = animation_file_name(animation.index, animation_count, "", "") + " " + printable(picture.name);
        picture.frame_count = static_cast<std::uint32_t>(animation.frames.size());
        if (animation.frames.empty()) {
            index_line(label + ": no frames");
            outcome.animations.push_back(picture);
            continue;
        }

        // Where the viewer puts each frame; the canvas holds them all.
        std::vector<PlacedFrame> frames;
        std::vector<std::uint32_t> lacking, lacking_frames;
        constexpr std::int64_t none = std::numeric_limits<std::int64_t>::max();
        std::int64_t left = none, top = none, right = -none, bottom = -none;
        for (const AnimationFrame& frame : animation.frames) {
            PlacedFrame placed;
            placed.placement = place_frame(frame.record, sprites);
            if (const Image* shown = sprites.picture(placed.placement.picture_slot)) {
                const auto layout = image_layout(*shown);
                placed.drawn = layout.has_value();
                if (layout) {
                    placed.left = unit_anchor - std::int64_t{placed.placement.x_placement};
                    placed.top = unit_anchor - std::int64_t{placed.placement.y_placement};
                    placed.right = placed.left + layout->width;
                    placed.bottom = placed.top + layout->height;
                    left = std::min(left, placed.left);
                    top = std::min(top, placed.top);
                    right = std::max(right, placed.right);
                    bottom = std::max(bottom, placed.bottom);
                }
            }
            if (!placed.drawn) {
                lacking.push_back(frame.record.image_number);
                lacking_frames.push_back(frame.frame_number);
            }
            frames.push_back(placed);
        }
        std::string note;
        if (!lacking.empty()) {
            const std::string lacking_line = label + ": frames " + number_list(lacking_frames) + " name images " +
                                             number_list(lacking) + " that the sprite set lacks (it has " +
                                             decimal_text(loaded_images) + " images with pixels) - drawn empty";
            problem(lacking_line);
            note = " (" + decimal_text(lacking.size()) + " frames drawn empty)";
        }
        if (left == none) {
            index_line(label + ": " + decimal_text(frames.size()) + " frames, none with a picture - no picture written");
            outcome.animations.push_back(picture);
            continue;
        }
        const std::uint64_t width = static_cast<std::uint64_t>(right - left);
        const std::uint64_t height = static_cast<std::uint64_t>(bottom - top);
        const std::uint64_t canvas_pixels = width * height * scale * scale;
        if (canvas_pixels > animation_canvas_pixel_limit || canvas_pixels * frames.size() > animation_pixel_limit ||
            (request.gif && (width * scale > gif_max_dimension || height * scale > gif_max_dimension))) {
            problem(label + ": its frames need a canvas of " + decimal_text(width * scale) + " x " +
                    decimal_text(height * scale) + " pixels for " + decimal_text(frames.size()) +
                    " frames, more than the limit (" + decimal_text(animation_canvas_pixel_limit) + " pixels a frame, " +
                    decimal_text(animation_pixel_limit) + " in all) - skipped");
            outcome.animations.push_back(picture);
            continue;
        }
        picture.left = static_cast<std::int32_t>(left);
        picture.top = static_cast<std::int32_t>(top);
        picture.width = static_cast<std::uint32_t>(width);
        picture.height = static_cast<std::uint32_t>(height);

        // Each frame drawn as the viewer draws it, moved so that the
        // canvas's top-left corner is the screen's.
        ImagePtr canvas = new_full_header_image(picture.width, picture.height, 1);
        ImagePtr enlarged = scale > 1 ? new_full_header_image(picture.width * scale, picture.height * scale, 1) : nullptr;
        std::optional<std::vector<std::uint8_t>> file;
        if (canvas && (scale == 1 || enlarged)) {
            const auto frame_source = [&](std::uint32_t i) -> const Image* {
                if (i >= frames.size()) return nullptr;
                clear_picture(*canvas);
                draw_unit_frame(canvas.get(), sprites, frames[i].placement, static_cast<int>(-left), static_cast<int>(-top));
                if (!enlarged) return canvas.get();
                enlarge(*canvas, *enlarged, scale);
                return enlarged.get();
            };
            const auto count = static_cast<std::uint32_t>(frames.size());
            file = request.gif ? gif_encode_animation(count, frame_source, colours, true, GifAnimationTiming{})
                               : png_encode_animated_indexed(count, frame_source, colours, true, PngAnimationTiming{});
        }
        const std::string file_name = animation_file_name(animation.index, animation_count, picture.name, extension);
        const std::string path = join_path(outcome.output_folder, file_name);
        if (!file) {
            problem(label + ": cannot write " + path + ": the picture cannot be made (no memory for it)");
            outcome.animations.push_back(picture);
            continue;
        }
        if (const WriteResult written = write(path, *file); !written) {
            problem(label + ": cannot write " + path + ": " + written.error().message);
            outcome.animations.push_back(picture);
            continue;
        }
        picture.file_name = file_name;
        ++outcome.written;
        index_line(label + ": " + decimal_text(frames.size()) + " frames, " + decimal_text(width) + " x " +
                   decimal_text(height) + " at " + decimal_text(static_cast<std::int64_t>(left)) + "," +
                   decimal_text(static_cast<std::int64_t>(top)) + " -> " + file_name + note);
        outcome.animations.push_back(picture);
    }
    if (description.ended_early()) {
        // The walk stopped where the data did.
        problem("the description ends before its frames do (" + decimal_text(description.data_size) + " bytes): " +
                decimal_text(description.animations.size()) + " of " + decimal_text(description.header.animation_count) +
                " animations read");
        index += "the description ends before its frames do\r\n";
    }

    const std::string index_path = join_path(outcome.output_folder, animation_index_file_name);
    if (const WriteResult written =
            write(index_path, std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(index.data()), index.size()));
        !written) {
        problem("cannot write " + index_path + ": " + written.error().message);
    } else {
        outcome.index_path = index_path;
    }
    return outcome;
}

}  // namespace quarnel
