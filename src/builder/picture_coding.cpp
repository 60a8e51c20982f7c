#include "builder/picture_coding.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>

#include "archive/run_length_encode.h"

namespace quarnel {

ColourMatcher::ColourMatcher(const Palette& palette, PixelStorage storage) {
    // The marker for free slots: the first value from 1 up that no entry
    // holds (256 entries cannot hold all of 1 to 257).
    free_marker_ = 1;
    while (std::find(palette.begin(), palette.end(), free_marker_) != palette.end()) ++free_marker_;
    for (Slot& slot : slots_) slot.colour = free_marker_;

    // Entries are entered so that the one a search would find is entered
    // last and wins: the lowest index for raw storage, the highest for
    // run-length storage.
    auto enter = [&](std::size_t index) {
        const std::uint32_t colour = palette[index];
        std::uint32_t slot = hash(colour);
        while (slots_[slot].colour != free_marker_ && slots_[slot].colour != colour)
            slot = (slot + 1) & (table_size - 1);
        slots_[slot].colour = colour;
        slots_[slot].match = Match{static_cast<std::uint8_t>(index), true};
    };
    if (storage == PixelStorage::raw) {
        for (std::size_t i = palette.size(); i-- > 0;) enter(i);
    } else {
        for (std::size_t i = 0; i < palette.size(); ++i) enter(i);
    }
    // Blank pixels are the most common of all: when no entry holds the
    // blank value its answer ("0, unmatched") gets a slot of its own, so
    // that looking it up ends at the first slot like any palette colour.
    std::uint32_t slot = hash(0);
    while (slots_[slot].colour != free_marker_ && slots_[slot].colour != 0) slot = (slot + 1) & (table_size - 1);
    if (slots_[slot].colour == free_marker_) {
        slots_[slot].colour = 0;
        slots_[slot].match = Match{};
    }
}

TrimOrigin find_trim_origin(const PictureView& picture, std::uint32_t blank_below) {
    TrimOrigin origin{picture.width, picture.height};
    for (std::uint32_t y = 0; y < picture.height; ++y) {
        // Until the first non-blank row is found every row is searched
        // whole; after it only the columns left of the best column so far.
        const std::uint32_t limit = origin.row == picture.height ? picture.width : origin.column;
        for (std::uint32_t x = 0; x < limit; ++x) {
            if ((picture.pixel(x, y) >> 24) >= blank_below) {
                origin.column = x;
                if (origin.row == picture.height) origin.row = y;
                break;
            }
        }
        if (origin.column == 0 && origin.row != picture.height) break;
    }
    return origin;
}

NearestColour::NearestColour(const Palette& palette, PixelStorage storage, bool tile_set)
    : higher_wins_(storage == PixelStorage::run_length) {
    for (std::size_t i = 1; i < palette.size(); ++i) {
        const bool cycling = i >= static_cast<std::size_t>(cycle_first_entry) &&
                             i < static_cast<std::size_t>(cycle_first_entry + cycle_length);
        if (tile_set && cycling) continue;
        candidates_.emplace_back(palette[i], static_cast<std::uint8_t>(i));
    }
}

std::uint64_t NearestColour::distance(std::uint32_t a, std::uint32_t b) {
    const auto component = [](std::uint32_t colour, int shift) { return static_cast<std::int64_t>((colour >> shift) & 0xFFu); };
    const std::int64_t red_mean = (component(a, 16) + component(b, 16)) / 2;
    const std::int64_t dr = component(a, 16) - component(b, 16);
    const std::int64_t dg = component(a, 8) - component(b, 8);
    const std::int64_t db = component(a, 0) - component(b, 0);
    return static_cast<std::uint64_t>((512 + red_mean) * dr * dr + 1024 * dg * dg + (767 - red_mean) * db * db);
}

std::uint8_t NearestColour::index(std::uint32_t colour) const {
    std::uint8_t best = 0;
    std::uint64_t best_distance = UINT64_MAX;
    for (const auto& [candidate, index] : candidates_) {
        const std::uint64_t d = distance(colour, candidate);
        if (d < best_distance || (higher_wins_ && d == best_distance)) {
            best = index;
            best_distance = d;
        }
    }
    return best;
}

namespace {

// The indices of a row of pixels, with what became of the colours that the
// palette lacks.
class RowMatcher {
public:
    RowMatcher(const ColourMatcher& matcher, PixelStorage storage, const NearestColour* nearest)
        : matcher_(matcher), storage_(storage), nearest_(nearest) {}

    // count pixels of row y from column x0 on.
    void match(const std::uint8_t* pixels, std::uint32_t count, std::uint8_t* indices, std::uint32_t x0, std::uint32_t y) {
        if (nearest_)
            match_row<true>(pixels, count, indices, x0, y);
        else
            match_row<false>(pixels, count, indices, x0, y);
    }

    OffPalettePixels finish() {
        // Most pixels first; of equal counts the colour met first (rows are
        // matched top to bottom, each from left to right).
        std::sort(lost_.colours.begin(), lost_.colours.end(), [](const OffPaletteColour& a, const OffPaletteColour& b) {
            if (a.pixels != b.pixels) return a.pixels > b.pixels;
            return a.y != b.y ? a.y < b.y : a.x < b.x;
        });
        return std::move(lost_);
    }
    const std::array<bool, palette_entries>& matched() const { return matched_; }

private:
    // The loop every pixel of a build goes through, kept lean: locals, not
    // members (the index stores may alias anything and would make the
    // compiler load members again after each), and pixels that the palette
    // lacks only counted. A row that has any goes through lost_pixels.
    template <bool under_nearest>
    void match_row(const std::uint8_t* pixels, std::uint32_t count, std::uint8_t* indices, std::uint32_t x0,
                   std::uint32_t y) {
        const ColourMatcher& matcher = matcher_;
        std::array<bool, palette_entries>& matched = matched_;
        std::uint32_t lost = 0;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t colour = as_matched<under_nearest>(pixels + std::size_t{i} * 4);
            const ColourMatcher::Match found = matcher.find(colour);
            lost += static_cast<std::uint32_t>(!found.matched & (colour != 0));
            matched[found.index] |= found.matched;
            indices[i] = found.index;
        }
        if (lost != 0 || under_nearest) [[unlikely]]
            lost_pixels<under_nearest>(pixels, count, indices, x0, y);
    }

    // The pixel's value as matching takes it: blank whatever its colour
    // bytes (the value 0) below alpha 1, or under --nearest below 128.
    template <bool under_nearest>
    static std::uint32_t as_matched(const std::uint8_t* at) {
        const std::uint32_t colour = static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
                                     (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
        const std::uint32_t alpha = colour >> 24;
        if constexpr (under_nearest)
            return alpha < nearest_opaque_from_alpha ? 0 : colour;
        else
            return colour & (0u - static_cast<std::uint32_t>(alpha != 0));
    }

    // The row again for its pixels in colours the palette lacks (and under
    // --nearest the semi-transparent pixels made blank).
    template <bool under_nearest>
    void lost_pixels(const std::uint8_t* pixels, std::uint32_t count, std::uint8_t* indices, std::uint32_t x0,
                     std::uint32_t y) {
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t colour = as_matched<under_nearest>(pixels + std::size_t{i} * 4);
            if (colour == 0) {
                lost_.blanked += static_cast<std::uint64_t>(under_nearest && pixels[std::size_t{i} * 4 + 3] != 0);
                continue;
            }
            if (!matcher_.find(colour).matched) indices[i] = off_palette(colour, x0 + i, y);
        }
    }

    // A non-blank colour that no entry holds: index 0, or under --nearest
    // the nearest entry, tallied by colour.
    std::uint8_t off_palette(std::uint32_t colour, std::uint32_t x, std::uint32_t y) {
        ++lost_.pixels;
        const std::uint32_t alpha = colour >> 24;
        if (alpha != 0xFFu && lost_.semi_transparent++ == 0) {
            lost_.semi_x = x;
            lost_.semi_y = y;
        }
        const auto known = tally_.find(colour);
        if (known != tally_.end()) {
            OffPaletteColour& c = lost_.colours[known->second];
            ++c.pixels;
            return c.index;
        }
        std::uint8_t index = 0;
        if (nearest_) {
            // A semi-transparent pixel of a palette colour takes that entry
            // (but not run-length storage's transparent index 0).
            const std::uint32_t opaque = colour | 0xFF000000u;
            const ColourMatcher::Match own = matcher_.find(opaque);
            const bool own_entry = alpha != 0xFFu && own.matched && !(own.index == 0 && storage_ == PixelStorage::run_length);
            index = own_entry ? own.index : nearest_->index(opaque);
        }
        if (lost_.colours.size() < OffPalettePixels::most_colours) {
            tally_.emplace(colour, lost_.colours.size());
            lost_.colours.push_back(OffPaletteColour{colour, 1, x, y, index});
        }
        return index;
    }

    const ColourMatcher& matcher_;
    PixelStorage storage_;
    const NearestColour* nearest_;
    OffPalettePixels lost_;
    std::unordered_map<std::uint32_t, std::size_t> tally_;  // colour -> its place in lost_.colours
    std::array<bool, palette_entries> matched_{};
};

// The rectangle a picture of width x height keeps from origin (already
// inside it) to its right and bottom edges; nothing at all when either side
// is empty.
CodedPicture trimmed_rectangle(std::uint32_t width, std::uint32_t height, TrimOrigin origin) {
    CodedPicture coded;
    coded.x_offset = origin.column;
    coded.y_offset = origin.row;
    coded.width = width - origin.column;
    coded.height = height - origin.row;
    if (coded.width == 0 || coded.height == 0) {
        coded.width = 0;
        coded.height = 0;
    }
    return coded;
}

}  // namespace

CodedPicture code_picture(const PictureView& picture, TrimOrigin origin, const ColourMatcher& matcher,
                          PixelStorage storage, bool row_split, std::vector<std::uint8_t>& out,
                          const NearestColour* nearest) {
    origin.column = std::min(origin.column, picture.width);
    origin.row = std::min(origin.row, picture.height);
    CodedPicture coded = trimmed_rectangle(picture.width, picture.height, origin);
    if (coded.width == 0) return coded;

    // The rectangle's indices, row by row: the raw bytes themselves, or the
    // input of the run-length coder.
    const std::size_t area = std::size_t{coded.width} * coded.height;
    std::vector<std::uint8_t> indices;
    std::uint8_t* target = nullptr;
    const std::size_t before = out.size();
    if (storage == PixelStorage::raw) {
        out.resize(before + area);
        target = out.data() + before;
    } else {
        indices.resize(area);
        target = indices.data();
    }
    RowMatcher rows(matcher, storage, nearest);
    for (std::uint32_t y = 0; y < coded.height; ++y) {
        const std::uint8_t* source = picture.top_row + (std::size_t{origin.row} + y) * picture.pitch +
                                     std::size_t{origin.column} * 4;
        rows.match(source, coded.width, target + std::size_t{y} * coded.width, origin.column, origin.row + y);
    }
    coded.off_palette = rows.finish();
    coded.matched = rows.matched();
    if (storage == PixelStorage::run_length) encode_run_length(indices, coded.width, coded.height, row_split, out);
    return coded;
}

TrimOrigin find_trim_origin(const IndexView& picture, bool index_0_blank) {
    if (!index_0_blank) return TrimOrigin{};
    TrimOrigin origin{picture.width, picture.height};
    for (std::uint32_t y = 0; y < picture.height; ++y) {
        for (std::uint32_t x = 0; x < std::min(picture.width, origin.column + 1); ++x) {
            if (picture.index(x, y) != 0) {
                origin.column = std::min(origin.column, x);
                origin.row = std::min(origin.row, y);
                break;
            }
        }
    }
    return origin;
}

CodedPicture code_indices(const IndexView& picture, TrimOrigin origin, PixelStorage storage, bool row_split,
                          std::vector<std::uint8_t>& out) {
    origin.column = std::min(origin.column, picture.width);
    origin.row = std::min(origin.row, picture.height);
    CodedPicture coded = trimmed_rectangle(picture.width, picture.height, origin);
    if (coded.width == 0) return coded;
    std::vector<std::uint8_t> indices(std::size_t{coded.width} * coded.height);
    for (std::uint32_t y = 0; y < coded.height; ++y) {
        const std::uint8_t* source = picture.top_row + (std::size_t{origin.row} + y) * picture.pitch + origin.column;
        std::copy_n(source, coded.width, indices.begin() + static_cast<std::ptrdiff_t>(std::size_t{y} * coded.width));
    }
    if (storage == PixelStorage::raw)
        out.insert(out.end(), indices.begin(), indices.end());
    else
        encode_run_length(indices, coded.width, coded.height, row_split, out);
    return coded;
}

std::size_t work_buffer_capacity(std::uint32_t width, std::uint32_t height) {
    return static_cast<std::size_t>(std::nearbyint(1.128 * static_cast<double>(width) * static_cast<double>(height)));
}

}  // namespace quarnel
