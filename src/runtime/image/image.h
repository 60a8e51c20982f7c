// Image buffers and drawing.
//
// An image is one contiguous block: a header followed by pixel rows, top row
// first. Two header forms exist and every operation accepts both:
//   full header (32 bytes): type 7, bytes per pixel, width, height, pitch,
//                           12 reserved bytes, then height x pitch bytes;
//   compact header (4 bytes): u16 (bytes per pixel in bits 0-2, 0 = the
//                           screen's; width in bits 3-15), u16 height, then
//                           unpadded rows.
// A block whose first 32-bit word is 7 has the full header. Readers always
// step rows by the pitch. A header that announces more rows than the block
// holds makes the image unusable: operations on it do nothing.
//
// Colours: 32-bit pixels are 0xAARRGGBB (bytes blue, green, red, alpha in
// memory); 8-bit pixels are palette indices; 16-bit pixels are 5-6-5.
// A null target means the screen (page 0).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace quarnel {

struct Image {
    std::vector<std::uint8_t> bytes;
};
using ImagePtr = std::unique_ptr<Image>;

inline constexpr std::uint32_t full_header_type = 7;
inline constexpr std::size_t full_header_size = 32;
inline constexpr std::size_t compact_header_size = 4;
inline constexpr std::uint32_t compact_max_width = 8191;
inline constexpr std::uint32_t compact_max_height = 65535;

// Where the pixels of an image are and how they are laid out.
struct ImageLayout {
    std::uint32_t bytes_per_pixel = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t pitch = 0;
    std::size_t data_offset = 0;  // offset of the top row within the block
    bool compact = false;
};

// The layout of an image, or nothing when its header is malformed or the
// block is shorter than the rows it announces.
std::optional<ImageLayout> image_layout(const Image& image);

// New image with the full header: pitch = width x bytes per pixel rounded up
// to 16, every byte of rows and padding set from the fill colour. No screen
// is needed. Nothing when width or height is below 1, or depth is not 8, 16
// or 32.
ImagePtr create_image(int width, int height, std::uint32_t fill, int depth_bits);

// A zero-filled image that does not need an open screen: the compact header
// when the size fits it (width <= 8191, height <= 65535), otherwise the full
// header with an unpadded pitch. Used by image file readers. Nothing when the
// size is 0 in either direction or bytes_per_pixel is not 1, 2 or 4.
ImagePtr new_image_buffer(std::uint32_t width, std::uint32_t height, std::uint32_t bytes_per_pixel);

// A zero-filled image with the full header and an unpadded pitch, needing
// no open screen (the screen's own pages are made this way). Nothing when
// the size is 0, bytes_per_pixel is not 1, 2 or 4, or the block is too large.
ImagePtr new_full_header_image(std::uint32_t width, std::uint32_t height, std::uint32_t bytes_per_pixel);

// A palette entry as the palettes here hold it: red in bits 0-7, green
// 8-15, blue 16-23.
constexpr std::uint32_t pack_palette_entry(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
    return red | (green << 8) | (blue << 16);
}

// The standard VGA default palette (256 entries, red in bits 0-7, green
// 8-15, blue 16-23): the screen's palette when it opens, and the colours of
// the indices an 8-bit BMP file's own palette lacks.
const std::array<std::uint32_t, 256>& default_palette();

// The frames of an animation, asked for one at a time: frame(i) gives an
// 8-bit picture of the animation's size, used until the next call (the PNG
// and GIF writers take their frames so).
using FrameSource = std::function<const Image*(std::uint32_t)>;

// Frees an image buffer, whichever operation made it.
void destroy_image(ImagePtr& image);

// Pointer to the first byte of row y (no bounds check beyond the layout's).
std::uint8_t* image_row(Image& image, const ImageLayout& layout, std::uint32_t y);
const std::uint8_t* image_row(const Image& image, const ImageLayout& layout, std::uint32_t y);

// Raw pixel access by bytes per pixel (1, 2 or 4), little-endian.
std::uint32_t read_pixel_value(const std::uint8_t* at, std::uint32_t bytes_per_pixel);
void write_pixel_value(std::uint8_t* at, std::uint32_t bytes_per_pixel, std::uint32_t value);

void set_pixel(Image* target, int x, int y, std::uint32_t colour);
// The stored pixel value, or -1 outside the target (or without a screen).
std::int64_t get_pixel(const Image* target, int x, int y);

enum class LineKind { line = 0, box = 1, filled_box = 2 };
// Straight line, rectangle outline or filled rectangle; corners inclusive.
void draw_line(Image* target, int x1, int y1, int x2, int y2, std::uint32_t colour, LineKind kind);
void draw_line(Image* target, int x1, int y1, int x2, int y2, std::uint32_t colour, int kind);

// Copies the whole image with its top-left corner at (x, y), clipped to the
// target. Transparent: source pixels equal to the mask colour are skipped
// (index 0 at 8 bits, low 24 bits FF00FF at 32 bits, F81F at 16 bits).
void draw_image(Image* target, int x, int y, const Image& image, bool transparent);

// True when the pixel value is the mask colour for that pixel size.
bool is_mask_colour(std::uint32_t value, std::uint32_t bytes_per_pixel);

}  // namespace quarnel
