// Writing out the items of an item container (.trc named, .trw numbered):
// pictures (".scr" and ".spr" items) as PNG or BMP drawn with the ".pal"
// item of the same base name, every other item byte for byte.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "archive/extraction_folder.h"
#include "archive/palette.h"
#include "archive/sprite_archive.h"
#include "runtime/utility/job.h"
#include "runtime/utility/worker_pool.h"

namespace quarnel {

// The file name an item is written under in the picture folder: its own
// name, unless that would leave the folder or name the folder itself (empty,
// ".", "..", or containing "/" or a zero byte); then "item" + its number +
// "_" + its name with those characters replaced by "_" (or "item" + number
// alone when nothing but dots is left).
std::string safe_item_file_name(std::string_view name, std::uint32_t number);

// Writes every item of the container into picture_dir, in record order, so
// that a ".pal" item is found by the pictures after it. keep_indices
// (option -i) writes the pictures as indexed PNG or 8-bit BMP. Pictures are
// coded and written on the workers of `pictures`; files and lines come out
// in item order. Every line goes to say, on the calling thread; outcome
// counts the items written, and those that could not be written or were
// skipped.
void extract_items(std::span<const std::uint8_t> data, const ItemContainer& container, ExtractionFolder& folder,
                   bool save_as_bmp, bool keep_indices, ExtractionPalette& palette, OrderedWork& pictures,
                   const LineSink& say, JobOutcome& outcome);

}  // namespace quarnel
