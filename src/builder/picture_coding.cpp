#include "builder/picture_coding.h"

#include <algorithm>
#include <cmath>

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

TrimOrigin find_trim_origin(const PictureView& picture) {
    TrimOrigin origin{picture.width, picture.height};
    for (std::uint32_t y = 0; y < picture.height; ++y) {
        // Until the first non-blank row is found every row is searched
        // whole; after it only the columns left of the best column so far.
        const std::uint32_t limit = origin.row == picture.height ? picture.width : origin.column;
        for (std::uint32_t x = 0; x < limit; ++x) {
            if (picture.pixel(x, y) != 0) {
                origin.column = x;
                if (origin.row == picture.height) origin.row = y;
                break;
            }
        }
        if (origin.column == 0 && origin.row != picture.height) break;
    }
    return origin;
}

namespace {

// The indices of a row of pixels, counting the colours lost to the palette.
class RowMatcher {
public:
    explicit RowMatcher(const ColourMatcher& matcher) : matcher_(matcher) {}

    void match(const std::uint8_t* pixels, std::uint32_t count, std::uint8_t* indices) {
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint8_t* at = pixels + std::size_t{i} * 4;
            const std::uint32_t colour = static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
                                         (static_cast<std::uint32_t>(at[2]) << 16) |
                                         (static_cast<std::uint32_t>(at[3]) << 24);
            const ColourMatcher::Match found = matcher_.find(colour);
            // A colour in no entry is lost to the palette, unless it is blank.
            unmatched_ += static_cast<std::uint64_t>(!found.matched & (colour != 0));
            matched_[found.index] |= found.matched;
            indices[i] = found.index;
        }
    }

    std::uint64_t unmatched() const { return unmatched_; }
    const std::array<bool, palette_entries>& matched() const { return matched_; }

private:
    const ColourMatcher& matcher_;
    std::uint64_t unmatched_ = 0;
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
                          PixelStorage storage, bool row_split, std::vector<std::uint8_t>& out) {
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
    RowMatcher rows(matcher);
    for (std::uint32_t y = 0; y < coded.height; ++y) {
        const std::uint8_t* source = picture.top_row + (std::size_t{origin.row} + y) * picture.pitch +
                                     std::size_t{origin.column} * 4;
        rows.match(source, coded.width, target + std::size_t{y} * coded.width);
    }
    coded.unmatched_pixels = rows.unmatched();
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
