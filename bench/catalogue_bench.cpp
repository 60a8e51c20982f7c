// The catalogue of a generated game against "quarnel extract" of the same
// archives, paired in one run: a game folder of 48 archives (32 run-length
// sprite sets of 27 to 188 sprites, 16 tile sets of 13 to 82 tiles) is
// written once; each iteration runs both programs, in turn first, and
// measures their wall time and peak memory (the child's maximum resident
// size). The target: the catalogue takes at most twice extract's time.
//   build/bench/catalogue_bench
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/sample_archive.h"
#include "runtime/files.h"

namespace {

namespace fs = std::filesystem;
using quarnel::SamplePicture;

// A sprite of w x h: a filled ellipse with a ring, index 0 around it.
SamplePicture sprite(std::uint16_t w, std::uint16_t h, std::uint32_t seed) {
    SamplePicture picture{w, h, static_cast<std::uint16_t>(seed % 40), static_cast<std::uint16_t>(seed % 30), {}};
    picture.indices.assign(std::size_t{w} * h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double dx = (x + 0.5 - w / 2.0) / (w / 2.0), dy = (y + 0.5 - h / 2.0) / (h / 2.0);
            const double r = dx * dx + dy * dy;
            if (r <= 1.0) picture.indices[std::size_t(y) * w + x] = static_cast<std::uint8_t>(r > 0.7 ? 3 : 10 + (x * 7 + y * 3 + seed) % 90);
        }
    return picture;
}

struct GeneratedGame {
    std::string folder;
    std::vector<std::string> archives;
    ~GeneratedGame() {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
        fs::remove_all(folder + "-site", ignored);
    }
};

GeneratedGame& generated_game() {
    static GeneratedGame game;
    static const bool made = [] {
        GeneratedGame& g = game;
        g.folder = (fs::temp_directory_path() / ("quarnel-catalogue-bench-" + std::to_string(::getpid()))).string();
        fs::create_directories(g.folder + "/sprites");
        fs::create_directories(g.folder + "/scenario");
        const auto palette = quarnel::sample_palette_block();
        for (int a = 0; a < 32; ++a) {
            const int count = 27 + (188 - 27) * a / 31;
            std::vector<SamplePicture> pictures;
            for (int i = 0; i < count; ++i)
                pictures.push_back(sprite(static_cast<std::uint16_t>(24 + (i * 13 + a) % 72),
                                          static_cast<std::uint16_t>(24 + (i * 7 + a) % 64), static_cast<std::uint32_t>(i + a)));
            const std::string path = g.folder + "/sprites/UNIT" + std::to_string(a) + ".SPR";
            quarnel::write_whole_file(path, quarnel::write_sprite_set(palette, pictures, true));
            g.archives.push_back(path);
        }
        for (int t = 0; t < 16; ++t) {
            const auto count = static_cast<std::uint32_t>(13 + (82 - 13) * t / 15);
            const std::string path = g.folder + "/scenario/TILES" + std::to_string(t) + ".BTS";
            quarnel::write_whole_file(path, quarnel::write_tile_set(0x13EC, palette, quarnel::sample_tiles(count)));
            g.archives.push_back(path);
        }
        return true;
    }();
    (void)made;
    return game;
}

struct ChildRun {
    double seconds = 0;
    double peak_mib = 0;
    int status = -1;
};

ChildRun run_child(const std::vector<std::string>& words) {
    std::vector<char*> argv;
    const std::string program = QUARNEL_BENCH_PROGRAM;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "r", stdin);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(child, &status, 0, &usage);
    ChildRun run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peak_mib = static_cast<double>(usage.ru_maxrss) / 1024.0;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

void CatalogueAgainstExtract(benchmark::State& state) {
    const GeneratedGame& game = generated_game();
    double extract_seconds = 0, catalogue_seconds = 0, extract_peak = 0, catalogue_peak = 0;
    int round = 0;
    for (auto _ : state) {
        std::vector<std::string> extract_words = {"extract"};
        extract_words.insert(extract_words.end(), game.archives.begin(), game.archives.end());
        const std::vector<std::string> catalogue_words = {"catalogue", game.folder, "--out", game.folder + "-site"};
        ChildRun extract, catalogue;
        if (round++ % 2 == 0) {
            extract = run_child(extract_words);
            catalogue = run_child(catalogue_words);
        } else {
            catalogue = run_child(catalogue_words);
            extract = run_child(extract_words);
        }
        if (extract.status != 0 || catalogue.status != 0) state.SkipWithError("a run failed");
        extract_seconds += extract.seconds;
        catalogue_seconds += catalogue.seconds;
        extract_peak = std::max(extract_peak, extract.peak_mib);
        catalogue_peak = std::max(catalogue_peak, catalogue.peak_mib);
        state.SetIterationTime(extract.seconds + catalogue.seconds);
    }
    const double rounds = static_cast<double>(state.iterations());
    state.counters["extract_s"] = extract_seconds / rounds;
    state.counters["catalogue_s"] = catalogue_seconds / rounds;
    state.counters["catalogue_per_extract"] = catalogue_seconds / extract_seconds;
    state.counters["extract_peak_MiB"] = extract_peak;
    state.counters["catalogue_peak_MiB"] = catalogue_peak;
}
BENCHMARK(CatalogueAgainstExtract)->Iterations(4)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
