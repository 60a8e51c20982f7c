#include "archive/picture_canvas.h"

#include "png/png_writer.h"
#include "runtime/bmp.h"

namespace quarnel {

bool PictureCanvas::create(std::uint32_t width, std::uint32_t height) { return make(width, height, 4); }

bool PictureCanvas::create_indexed(std::uint32_t width, std::uint32_t height) { return make(width, height, 1); }

bool PictureCanvas::make(std::uint32_t width, std::uint32_t height, std::uint32_t bytes_per_pixel) {
    destroy();
    if (width == 0 || height == 0) return false;
    // A zeroed buffer (every pixel transparent black) made in one piece; the
    // PNG and BMP writers take either header form.
    image_ = new_image_buffer(width, height, bytes_per_pixel);
    if (!image_) return false;
    const auto layout = image_layout(*image_);
    if (!layout || layout->bytes_per_pixel != bytes_per_pixel || layout->width != width || layout->height != height) {
        destroy_image(image_);
        return false;
    }
    rows_ = image_->bytes.data() + layout->data_offset;
    pitch_ = layout->pitch;
    return true;
}

PictureCanvas::Saved PictureCanvas::save(std::string_view path_without_extension, bool as_bmp) const {
    Saved saved;
    saved.path = std::string(path_without_extension) + (as_bmp ? ".bmp" : ".png");
    if (image_) saved.ok = (as_bmp ? save_bmp(saved.path, image_.get()) : png_save(saved.path, image_.get())) == 0;
    return saved;
}

PictureCanvas::Saved PictureCanvas::save_indexed(std::string_view path_without_extension, bool as_bmp,
                                                 const Palette& colours, bool index_0_transparent) const {
    Saved saved;
    saved.path = std::string(path_without_extension) + (as_bmp ? ".bmp" : ".png");
    if (image_)
        saved.ok = (as_bmp ? save_bmp_indexed(saved.path, image_.get(), colours)
                           : png_save_indexed(saved.path, image_.get(), colours, index_0_transparent)) == 0;
    return saved;
}

}  // namespace quarnel
