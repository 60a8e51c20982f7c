// The archive builder on a folder of 2000 PNG pictures of 16 x 16 to
// 128 x 128 pixels, beside libpng decoding the same files (read from disk
// the same way). The build does everything the job does: list, read and
// decode each picture, trim, match colours, code, assemble and write the
// archive; the console is silenced.
#include <benchmark/benchmark.h>
#include <png.h>
#include <stdlib.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "archive/palette.h"
#include "builder/archive_builder.h"
#include "builder/picture_coding.h"
#include "png/png_reader.h"
#include "png/png_writer.h"
#include "runtime/files.h"
#include "runtime/image.h"
#include "runtime/paths.h"
#include "runtime/screen.h"

using namespace quarnel;

namespace {

constexpr int picture_count = 2000;

struct BenchFolder {
    std::string root;
    std::string folder;  // ends in the separator
    std::vector<std::string> files;
    Palette palette{};

    BenchFolder() {
        // palette.bmp is written through an image buffer, which needs the
        // screen (in memory only here).
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        if (!screen_is_open()) set_screen(18, 32, 1);
        char pattern[] = "/tmp/quarnel-builder-bench-XXXXXX";
        root = mkdtemp(pattern);
        folder = root + "/sprites/";
        std::filesystem::create_directory(folder);

        std::mt19937 random(2000);
        std::vector<std::uint8_t> block;
        for (int i = 0; i < 768; ++i) block.push_back(static_cast<std::uint8_t>(random() % 64));
        palette = palette_from_block_bytes(block);
        save_palette_image(folder + "palette.bmp", palette);
        write_whole_file(folder + "build.txt",
                         std::string_view("''build file for vintelo converter, ver 30.04.2011\r\n0\r\n1\r\n0\r\n"));

        // Pictures like extracted sprites: a blank margin, then shapes in
        // runs of palette colours over a blank background.
        for (int n = 1; n <= picture_count; ++n) {
            const auto width = static_cast<std::uint32_t>(16 + random() % 113);
            const auto height = static_cast<std::uint32_t>(16 + random() % 113);
            ImagePtr image = new_image_buffer(width, height, 4);
            const auto layout = image_layout(*image);
            for (std::uint32_t y = 0; y < height; ++y) {
                std::uint8_t* row = image_row(*image, *layout, y);
                std::uint32_t x = static_cast<std::uint32_t>(random() % (width / 4 + 1));
                while (x < width) {
                    const std::uint32_t run = 1 + static_cast<std::uint32_t>(random() % 12);
                    const std::uint32_t colour = palette[random() % 256];
                    for (std::uint32_t i = 0; i < run && x < width; ++i, ++x) write_pixel_value(row + x * 4, 4, colour);
                    x += static_cast<std::uint32_t>(random() % 6);
                }
            }
            std::string name = std::to_string(n);
            name = std::string(4 - name.size(), '0') + name + ".png";
            files.push_back(folder + name);
            png_save(files.back(), image.get());
        }
    }
    ~BenchFolder() { std::filesystem::remove_all(root); }
};

BenchFolder& bench_folder() {
    static BenchFolder folder;
    return folder;
}

void BM_BuildArchive(benchmark::State& state) {
    BenchFolder& folder = bench_folder();
    const BuilderConsole silent{[](std::string_view) {}, [](int) {}};
    const BuilderInput input{folder.folder + "0001.png", folder.folder, "sprites"};
    std::uint64_t size = 0;
    for (auto _ : state) {
        const BuilderOutcome outcome = run_builder(input, silent);
        if (!outcome.written || outcome.damaged != 0 || outcome.unmatched_pixels != 0)
            state.SkipWithError("the build failed or lost colours");
        size = outcome.archive_size;
    }
    state.counters["archive_bytes"] = static_cast<double>(size);
    state.counters["pictures"] = picture_count;
}

void BM_LibpngDecode(benchmark::State& state) {
    BenchFolder& folder = bench_folder();
    std::vector<std::uint8_t> pixels;
    for (auto _ : state) {
        for (const std::string& name : list_files_with_suffix(folder.folder, ".png")) {
            const auto bytes = read_whole_file(join_path(folder.folder, name));
            png_image image{};
            image.version = PNG_IMAGE_VERSION;
            if (!bytes || !png_image_begin_read_from_memory(&image, bytes->data(), bytes->size())) {
                state.SkipWithError("libpng refused a file");
                return;
            }
            image.format = PNG_FORMAT_BGRA;
            pixels.resize(PNG_IMAGE_SIZE(image));
            png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr);
            benchmark::DoNotOptimize(pixels.data());
        }
    }
    state.counters["pictures"] = picture_count;
}

// The builder's own PNG reader on the same files, to show how much of the
// build is decoding.
void BM_ReaderDecode(benchmark::State& state) {
    BenchFolder& folder = bench_folder();
    for (auto _ : state) {
        for (const std::string& name : list_files_with_suffix(folder.folder, ".png")) {
            const auto bytes = read_whole_file(join_path(folder.folder, name));
            ImagePtr image = bytes ? png_decode(*bytes) : nullptr;
            if (!image) {
                state.SkipWithError("the reader refused a file");
                return;
            }
            benchmark::DoNotOptimize(image->bytes.data());
        }
    }
    state.counters["pictures"] = picture_count;
}

// Trimming, colour matching and coding alone, on pictures decoded before.
void BM_CodePictures(benchmark::State& state) {
    BenchFolder& folder = bench_folder();
    std::vector<ImagePtr> images;
    for (const std::string& file : folder.files) images.push_back(png_load(file));
    const ColourMatcher matcher(folder.palette, PixelStorage::run_length);
    std::vector<std::uint8_t> work;
    for (auto _ : state) {
        for (const ImagePtr& image : images) {
            const auto layout = image_layout(*image);
            const PictureView view{image_row(*image, *layout, 0), layout->width, layout->height, layout->pitch};
            work.clear();
            code_picture(view, find_trim_origin(view), matcher, PixelStorage::run_length, false, work);
            benchmark::DoNotOptimize(work.data());
        }
    }
}

}  // namespace

BENCHMARK(BM_CodePictures)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ReaderDecode)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_LibpngDecode)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_BuildArchive)->Unit(benchmark::kMillisecond)->MinTime(2.0);
