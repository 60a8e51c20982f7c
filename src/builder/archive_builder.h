// The archive builder job (input kind 5): a folder of pictures back into a
// sprite set or tile set.
//
// Every "*.png" of the chosen picture's folder (any letter case, sorted by
// name) becomes one picture of the archive; build.txt says which layout and
// storage, palette.bmp gives the palette and the key from colours back to
// indices, and a tile set takes its tile values from the tile listing
// (folder name + ".txt"). The archive is assembled in memory and written
// once at the end as folder name + "_new.spr" or "_new.bts".
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "builder/archive_layout.h"

namespace quarnel {

// Runs the job on the module state that start-up set.
void archive_builder_job();

// Where the builder says things and how it pauses; the job uses the console
// and sleep_ms, tests and benchmarks their own.
struct BuilderConsole {
    std::function<void(std::string_view)> line;
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
    // Threads that decode and code pictures; 0: QUARNEL_THREADS or the cores.
    unsigned threads = 0;
};

struct BuilderOutcome {
    bool written = false;            // an archive was written whole
    std::string output_path;         // where it went (empty when nothing was built)
    std::uint32_t pictures = 0;      // pictures listed
    std::uint32_t damaged = 0;       // pictures that could not be read, stored empty
    std::uint64_t archive_size = 0;  // bytes written
    std::uint64_t unmatched_pixels = 0;  // pixels whose colour no palette entry holds, all pictures
    std::string failure;             // why the archive could not be written, when it could not
};

BuilderOutcome run_builder(const BuilderInput& input, const BuilderConsole& console);

struct ImageSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// Width and height from the first 32 bytes of an image file (a shorter file
// reads as zeros past its end): a name ending in "png" (any case) gives the
// big-endian u32s at bytes 16 and 20 (IHDR), one ending in "bmp" the
// little-endian u32s at bytes 18 and 22 (BMP info header). Any other name:
// "Nie rozpoznany plik!", a 1000 ms wait and 0 x 0.
ImageSize image_size_from_header(std::string_view path);
ImageSize image_size_from_header(std::string_view path, const BuilderConsole& console);
// The same from bytes already read from the file.
ImageSize image_size_from_header_bytes(std::string_view path, std::span<const std::uint8_t> file_start,
                                       const BuilderConsole& console);

}  // namespace quarnel
