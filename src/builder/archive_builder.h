// The archive builder job (input kind 5): a folder of pictures back into a
// sprite set or tile set.
//
// The pictures of the chosen picture's folder (numbered ones in number
// order, see build_folder.h) become the pictures of the archive; build.txt
// says which layout and storage, palette.bmp gives the palette and the key
// from colours back to indices, and a tile set takes its tile values from
// the tile listing (folder name + ".txt"). Without a build file that can be
// read, or a tile set without its listing, nothing is built. The archive is
// assembled in memory and written once at the end as folder name +
// "_new.spr" or "_new.bts".
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "builder/archive_layout.h"
#include "builder/build_folder.h"
#include "builder/picture_coding.h"
#include "runtime/utility/job.h"

namespace quarnel {

// Where the builder says things and how it pauses: the console and
// sleep_ms in the programs, tests and benchmarks their own.
struct BuilderConsole {
    LineSink line;
    std::function<void(int)> wait_ms;
};

// The folder to build, as start-up splits the chosen picture's path.
struct BuilderInput {
    std::string input_path;         // the chosen picture (absolute)
    std::string input_dir;          // its folder, ending in a separator
    std::string input_folder_name;  // the folder's own name
    // The largest archive built; past it the build stops and writes nothing.
    // The archive is assembled in memory, so this bounds the memory taken.
    std::uint64_t largest_archive = largest_archive_bytes;
    // Threads that decode and code pictures (the front-ends give
    // QUARNEL_THREADS or the cores).
    unsigned threads = 1;
    // Option --nearest: colours not in palette.bmp take the nearest entry
    // instead of index 0 (see NearestColour).
    bool nearest = false;
};

struct BuilderOutcome {
    bool written = false;            // an archive was written whole
    std::string output_path;         // where it went (empty when nothing was built)
    std::uint32_t pictures = 0;      // pictures listed
    std::uint32_t damaged = 0;       // pictures that could not be read, stored empty
    std::uint64_t archive_size = 0;  // bytes written
    std::uint64_t unmatched_pixels = 0;  // pixels whose colour no palette entry holds, all pictures
    // Why no archive was written (nothing could be built, or the write
    // failed), in a few English words; empty when it was.
    std::string failure;
};

BuilderOutcome run_builder(const BuilderInput& input, const BuilderConsole& console);

// What a build does with one picture of a surveyed folder.
struct BuiltPicture {
    std::vector<std::uint8_t> work;  // the coded bytes
    CodedPicture coded;              // its record, and the colours palette.bmp lacks
    bool damaged = false;            // could not be read: stored empty
    bool too_large = false;          // wider or higher than the records hold: stored empty
    std::uint32_t width = 0;         // as read (0 x 0 when damaged)
    std::uint32_t height = 0;
    bool tile_fitted = false;        // a tile of another size than 32 x 32, cut or filled
    bool indices_taken = false;      // an indexed PNG whose indices are taken as they stand
    // exact_rebuild.txt keeps this picture's size and offsets, but the
    // picture has another size or is drawn on the margin kept blank: it is
    // trimmed as usual.
    bool record_not_kept = false;
    std::uint32_t recorded_width = 0;
    std::uint32_t recorded_height = 0;
};

// Builds the pictures of one surveyed folder, each on its own (so on any
// thread): read, trim, match or take the indices, code. The builder and
// `quarnel check` both take their pictures through it.
class PictureBuilder {
public:
    // The folder must be buildable: its build file readable, its palette read.
    PictureBuilder(const BuildFolder& folder, bool nearest);

    // Picture number (1-based) of folder.pictures; what it has to say (the
    // damaged picture's "zle:", the "plik:" line, the colours palette.bmp
    // lacks) goes to said.
    BuiltPicture build(std::uint32_t number, const BuilderConsole& said) const;

    PixelStorage storage() const { return storage_; }
    bool row_split() const { return row_split_; }
    bool tile_set() const { return tile_set_; }
    // What index 0 stands for where a colour no entry holds is stored as
    // it: "transparent" (run-length sprite sets), "black", or "colour #RRGGBB".
    std::string index_0_meaning() const;

private:
    const BuildFolder& folder_;
    PixelStorage storage_;
    bool tile_set_;
    bool row_split_;
    ColourMatcher matcher_;
    std::optional<NearestColour> nearest_;
};

// A colour as "#RRGGBB", or "#RRGGBBAA" when it is not opaque.
std::string colour_text(std::uint32_t colour);

struct ImageSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// Width and height from the first 32 bytes of an image file, as read (a
// shorter file reads as zeros past its end): a name ending in "png" (any
// case) gives the big-endian u32s at bytes 16 and 20 (IHDR), one ending in
// "bmp" the little-endian u32s at bytes 18 and 22 (BMP info header). Any
// other name: "Nie rozpoznany plik!", a 1000 ms wait and 0 x 0.
ImageSize image_size_from_header_bytes(std::string_view path, std::span<const std::uint8_t> file_start,
                                       const BuilderConsole& console);

}  // namespace quarnel
