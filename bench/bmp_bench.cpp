// Saving and loading screen-sized BMP files (640 x 480), the size of the
// program's largest pictures.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "runtime/image/bmp.h"
#include "runtime/image/image.h"
#include "runtime/screen/screen.h"

namespace {

using namespace quarnel;

void open_screen() {
    static const bool opened = [] {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        return set_screen(18, 32, 2) == 0;
    }();
    (void)opened;
}

std::string bench_file(const char* name) {
    return (std::filesystem::temp_directory_path() / (std::string("quarnel_bmp_bench_") + name)).string();
}

ImagePtr sample_picture(int depth) {
    auto image = create_image(screen_width, screen_height, 0, depth);
    for (int y = 0; y < screen_height; ++y)
        for (int x = 0; x < screen_width; ++x)
            set_pixel(image.get(), x, y, 0xFF000000u | static_cast<std::uint32_t>((x * 7) ^ (y * 13)) * 0x010203u);
    return image;
}

void BM_SaveBmp(benchmark::State& state) {
    open_screen();
    const int depth = static_cast<int>(state.range(0));
    auto image = sample_picture(depth);
    const std::string path = bench_file("save.bmp");
    for (auto _ : state) benchmark::DoNotOptimize(save_bmp(path, image.get()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * screen_width * screen_height * (depth / 8));
    std::filesystem::remove(path);
}
BENCHMARK(BM_SaveBmp)->Arg(8)->Arg(32);

void BM_LoadBmp(benchmark::State& state) {
    open_screen();
    const int depth = static_cast<int>(state.range(0));
    auto image = sample_picture(depth);
    const std::string path = bench_file("load.bmp");
    save_bmp(path, image.get());
    auto destination = create_image(screen_width, screen_height, 0, 32);
    for (auto _ : state) benchmark::DoNotOptimize(load_bmp(path, destination.get()));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * screen_width * screen_height);
    std::filesystem::remove(path);
}
// An 8-bit file (palette lookup) and a 24-bit file into a 32-bit picture.
BENCHMARK(BM_LoadBmp)->Arg(8)->Arg(32);

}  // namespace
