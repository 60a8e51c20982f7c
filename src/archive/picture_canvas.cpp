#include "archive/picture_canvas.h"

#include "png/png_writer.h"
#include "runtime/bmp.h"

namespace quarnel {

bool PictureCanvas::create(std::uint32_t width, std::uint32_t height) {
    destroy();
    if (width == 0 || height == 0) return false;
    // A zeroed buffer (every pixel transparent black) made in one piece; the
    // PNG and BMP writers take either header form.
    image_ = new_image_buffer(width, height, 4);
    if (!image_) return false;
    const auto layout = image_layout(*image_);
    if (!layout || layout->bytes_per_pixel != 4 || layout->width != width || layout->height != height) {
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

}  // namespace quarnel
