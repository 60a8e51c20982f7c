#include "builder/picture_coding.h"

#include <cmath>

#include "archive/run_length_encode.h"

namespace quarnel {

ColourMatcher::ColourMatcher(const Palette& palette, PixelStorage storage) {
    // Entries are entered so that the one a search would find is entered
    // last and wins: the lowest index for raw storage, the highest for
    // run-length storage.
    auto enter = [&](std::size_t index) {
        const std::uint32_t colour = palette[index];
        std::uint32_t slot = hash(colour);
        while (used_[slot] && colours_[slot] != colour) slot = (slot + 1) & (table_size - 1);
        used_[slot] = true;
        colours_[slot] = colour;
        indices_[slot] = static_cast<std::uint8_t>(index);
    };
    if (storage == PixelStorage::raw) {
        for (std::size_t i = palette.size(); i-- > 0;) enter(i);
    } else {
        for (std::size_t i = 0; i < palette.size(); ++i) enter(i);
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

CodedPicture code_picture(const PictureView& picture, TrimOrigin origin, const ColourMatcher& matcher,
                          PixelStorage storage, bool row_split, std::vector<std::uint8_t>& out) {
    CodedPicture coded;
    if (origin.column > picture.width) origin.column = picture.width;
    if (origin.row > picture.height) origin.row = picture.height;
    coded.x_offset = origin.column;
    coded.y_offset = origin.row;
    coded.width = picture.width - origin.column;
    coded.height = picture.height - origin.row;
    if (coded.width == 0 || coded.height == 0) {
        coded.width = 0;
        coded.height = 0;
        return coded;
    }

    // Neighbouring pixels often share a colour: remember the last answer.
    std::uint32_t last_colour = 0;
    bool last_matched = false;
    std::uint8_t last_index = matcher.index_of(0, last_matched);
    auto index_at = [&](std::uint32_t x, std::uint32_t y) {
        const std::uint32_t colour = picture.pixel(x, y);
        if (colour != last_colour) {
            last_colour = colour;
            last_index = matcher.index_of(colour, last_matched);
        }
        if (!last_matched && colour != 0) ++coded.unmatched_pixels;
        return last_index;
    };

    if (storage == PixelStorage::raw) {
        out.reserve(out.size() + std::size_t{coded.width} * coded.height);
        for (std::uint32_t y = origin.row; y < picture.height; ++y)
            for (std::uint32_t x = origin.column; x < picture.width; ++x) out.push_back(index_at(x, y));
        return coded;
    }

    RunLengthEncoder encoder(out);
    const std::uint32_t last_column = picture.width - 1;
    const std::uint32_t last_row = picture.height - 1;
    for (std::uint32_t y = origin.row; y < picture.height; ++y) {
        for (std::uint32_t x = origin.column; x < picture.width; ++x) {
            const bool at_cut = x == last_column && (row_split || y == last_row);
            encoder.add(index_at(x, y), at_cut);
        }
    }
    return coded;
}

std::size_t work_buffer_capacity(std::uint32_t width, std::uint32_t height) {
    return static_cast<std::size_t>(std::nearbyint(1.128 * static_cast<double>(width) * static_cast<double>(height)));
}

}  // namespace quarnel
