// The archive builder on a folder of 2000 PNG pictures of 16 x 16 to
// 128 x 128 pixels, beside libpng decoding the same files (read from disk
// the same way). The build does everything the job does: list, read and
// decode each picture, trim, match colours, code, assemble and write the
// archive; the console is silenced. Builds run with 1 and 2 threads (the
// argument), on the files as extraction writes them (filter None) and on
// the same pictures written by libpng with its adaptive filters, as paint
// programs write them. peak_rss_mib is the bench process's peak so far.
#include <benchmark/benchmark.h>
#include <png.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "archive/palette.h"
#include "builder/archive_builder.h"
#include "builder/picture_coding.h"
#include "png/png_reader.h"
#include "png/png_writer.h"
#include "runtime/image/image.h"
#include "runtime/platform/files.h"
#include "runtime/screen/screen.h"
#include "runtime/utility/paths.h"

using namespace quarnel;

namespace {

constexpr int picture_count = 2000;

struct BenchFolder {
    std::string root;
    std::string folder;  // ends in the separator
    std::vector<std::string> files;
    Palette palette{};

    explicit BenchFolder(bool adaptive_filters) {
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
        write_whole_file(folder + "palette.bmp", std::span<const std::uint8_t>(*palette_image_bytes(palette)));
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
            if (!adaptive_filters) {
                png_save(files.back(), image.get());
                continue;
            }
            png_image written{};
            written.version = PNG_IMAGE_VERSION;
            written.width = width;
            written.height = height;
            written.format = PNG_FORMAT_BGRA;
            png_image_write_to_file(&written, files.back().c_str(), 0, image_row(*image, *layout, 0), 0, nullptr);
        }
    }
    ~BenchFolder() { std::filesystem::remove_all(root); }
};

BenchFolder& bench_folder(bool adaptive_filters = false) {
    static BenchFolder plain(false);
    if (!adaptive_filters) return plain;
    static BenchFolder adaptive(true);
    return adaptive;
}

double peak_rss_mib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void build(benchmark::State& state, bool adaptive_filters) {
    BenchFolder& folder = bench_folder(adaptive_filters);
    const BuilderConsole silent{[](std::string_view) {}, [](int) {}};
    BuilderInput input{folder.folder + "0001.png", folder.folder, "sprites"};
    input.threads = static_cast<unsigned>(state.range(0));
    std::uint64_t size = 0;
    for (auto _ : state) {
        const BuilderOutcome outcome = run_builder(input, silent);
        if (!outcome.written || outcome.damaged != 0 || outcome.unmatched_pixels != 0)
            state.SkipWithError("the build failed or lost colours");
        size = outcome.archive_size;
    }
    state.counters["archive_bytes"] = static_cast<double>(size);
    state.counters["pictures"] = picture_count;
    state.counters["peak_rss_mib"] = peak_rss_mib();
}

void BM_BuildArchive(benchmark::State& state) { build(state, false); }
void BM_BuildArchiveAdaptiveFilters(benchmark::State& state) { build(state, true); }

void libpng_decode(benchmark::State& state, bool adaptive_filters) {
    BenchFolder& folder = bench_folder(adaptive_filters);
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

void BM_LibpngDecode(benchmark::State& state) { libpng_decode(state, false); }
void BM_LibpngDecodeAdaptiveFilters(benchmark::State& state) { libpng_decode(state, true); }

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
BENCHMARK(BM_BuildArchive)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_LibpngDecodeAdaptiveFilters)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_BuildArchiveAdaptiveFilters)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
