// PNG codec speed on a 640 x 480 picture like the ones extraction writes:
// transparent background, opaque shapes in palette colours with some noise.
// Each codec step runs beside the zlib call it is built on, so the cost of
// the codec's own work shows as the difference.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <vector>

#include "png/png_reader.h"
#include "png/png_writer.h"
#include "runtime/image/image.h"

using namespace quarnel;

namespace {

constexpr std::uint32_t bench_width = 640;
constexpr std::uint32_t bench_height = 480;

ImagePtr sample_picture() {
    ImagePtr image = new_image_buffer(bench_width, bench_height, 4);
    const auto layout = image_layout(*image);
    std::mt19937 rng(640480);
    std::vector<std::uint32_t> palette(256);
    for (auto& colour : palette) colour = 0xFF000000u | (rng() & 0x00FCFCFCu);
    // Blobs of shaded palette colours; about 45 % of the pixels stay blank.
    for (int blob = 0; blob < 60; ++blob) {
        const int cx = static_cast<int>(rng() % bench_width), cy = static_cast<int>(rng() % bench_height);
        const int radius = 10 + static_cast<int>(rng() % 50);
        const auto base = static_cast<std::uint32_t>(rng() % 240);
        for (int y = cy - radius; y <= cy + radius; ++y) {
            if (y < 0 || y >= static_cast<int>(bench_height)) continue;
            std::uint8_t* row = image_row(*image, *layout, static_cast<std::uint32_t>(y));
            for (int x = cx - radius; x <= cx + radius; ++x) {
                if (x < 0 || x >= static_cast<int>(bench_width)) continue;
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) > radius * radius) continue;
                const auto shade = static_cast<std::uint32_t>(base + (rng() % 16 == 0 ? rng() % 16 : static_cast<std::uint32_t>((x + y) / 8) % 16));
                write_pixel_value(row + std::size_t(x) * 4, 4, palette[shade]);
            }
        }
    }
    return image;
}

// The rows as the writer hands them to zlib: filter byte 0, then R G B A.
std::vector<std::uint8_t> filtered_rows(const Image& image) {
    const auto layout = image_layout(image);
    std::vector<std::uint8_t> rows;
    rows.reserve((1 + std::size_t{bench_width} * 4) * bench_height);
    for (std::uint32_t y = 0; y < layout->height; ++y) {
        rows.push_back(0);
        const std::uint8_t* row = image_row(image, *layout, y);
        for (std::uint32_t x = 0; x < layout->width; ++x)
            rows.insert(rows.end(), {row[x * 4 + 2], row[x * 4 + 1], row[x * 4], row[x * 4 + 3]});
    }
    return rows;
}

void BM_png_encode_640x480(benchmark::State& state) {
    const ImagePtr image = sample_picture();
    std::size_t size = 0;
    for (auto _ : state) {
        auto file = png_encode(*image);
        size = file->size();
        benchmark::DoNotOptimize(file);
    }
    state.counters["file_bytes"] = static_cast<double>(size);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * bench_width * bench_height * 4);
}
BENCHMARK(BM_png_encode_640x480)->Unit(benchmark::kMillisecond);

// The floor of encoding: zlib's compress alone on the already filtered rows.
void BM_zlib_compress_floor_640x480(benchmark::State& state) {
    const std::vector<std::uint8_t> rows = filtered_rows(*sample_picture());
    std::vector<std::uint8_t> out(compressBound(static_cast<uLong>(rows.size())));
    for (auto _ : state) {
        uLongf size = static_cast<uLongf>(out.size());
        compress(out.data(), &size, rows.data(), static_cast<uLong>(rows.size()));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * bench_width * bench_height * 4);
}
BENCHMARK(BM_zlib_compress_floor_640x480)->Unit(benchmark::kMillisecond);

void BM_png_decode_640x480(benchmark::State& state) {
    const auto file = png_encode(*sample_picture());
    for (auto _ : state) {
        auto image = png_decode(*file);
        benchmark::DoNotOptimize(image);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * bench_width * bench_height * 4);
}
BENCHMARK(BM_png_decode_640x480)->Unit(benchmark::kMillisecond);

// The floor of decoding: zlib's uncompress alone on the same data.
void BM_zlib_uncompress_floor_640x480(benchmark::State& state) {
    const std::vector<std::uint8_t> rows = filtered_rows(*sample_picture());
    std::vector<std::uint8_t> packed(compressBound(static_cast<uLong>(rows.size())));
    uLongf packed_size = static_cast<uLongf>(packed.size());
    compress(packed.data(), &packed_size, rows.data(), static_cast<uLong>(rows.size()));
    std::vector<std::uint8_t> out(rows.size() + 1);
    for (auto _ : state) {
        uLongf size = static_cast<uLongf>(out.size());
        uncompress(out.data(), &size, packed.data(), packed_size);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * bench_width * bench_height * 4);
}
BENCHMARK(BM_zlib_uncompress_floor_640x480)->Unit(benchmark::kMillisecond);

}  // namespace
