// Extraction of a run-length sprite set of 2000 sprites (16 x 16 to
// 128 x 128, about 40 % transparent) to PNG, run as a user would run it
// (quarnel headless with the answers on standard input), without and with
// option -i (indexed pictures), with 1 and 2 threads (QUARNEL_THREADS),
// beside the floor it is built on: zlib's compress alone on the same
// filtered rows. Also a tile set of 400 tiles (seven passes, 2800 pictures)
// beside compress alone on its rows.
//
// Counters: peak_rss_mib is the extraction process's peak resident memory;
// archive_mib the archive's size. Targets: extraction at most 1.10 x the
// floor, peak memory at most the archive plus 64 MiB.
#include <cstdlib>
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>
#include <malloc.h>

#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "archive/palette.h"
#include "archive/sprite_archive.h"
#include "runtime/platform/files.h"
#include "samples/sample_archive.h"

extern char** environ;

using namespace quarnel;

namespace {

namespace fs = std::filesystem;

struct BenchArchive {
    BenchArchive() = default;
    BenchArchive(BenchArchive&&) = default;
    ~BenchArchive() {
        std::error_code ec;
        if (!folder.empty()) fs::remove_all(folder, ec);
    }
    std::string folder;
    std::string path;
    std::vector<std::uint8_t> bytes;
};

std::vector<SamplePicture> bench_sprites() {
    std::mt19937 rng(2000);
    std::vector<SamplePicture> sprites;
    for (int i = 0; i < 2000; ++i) {
        SamplePicture p;
        p.width = static_cast<std::uint16_t>(16 + rng() % 113);
        p.height = static_cast<std::uint16_t>(16 + rng() % 113);
        p.x_offset = static_cast<std::uint16_t>(rng() % 8);
        p.y_offset = static_cast<std::uint16_t>(rng() % 8);
        p.indices.resize(std::size_t{p.width} * p.height);
        // An ellipse of shaded colours covering about 60 % of the frame.
        const double cx = p.width / 2.0, cy = p.height / 2.0;
        const auto base = static_cast<int>(rng() % 200) + 16;
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x) {
                const double dx = (x + 0.5 - cx) / (cx * 0.98), dy = (y + 0.5 - cy) / (cy * 0.98);
                const bool inside = dx * dx + dy * dy <= 0.78;
                const int shade = (x + 2 * y) / 6 % 24 + (rng() % 11 == 0 ? static_cast<int>(rng() % 8) : 0);
                p.indices[static_cast<std::size_t>(y) * p.width + static_cast<std::size_t>(x)] =
                    inside ? static_cast<std::uint8_t>(std::min(255, base + shade)) : 0;
            }
        sprites.push_back(std::move(p));
    }
    return sprites;
}

BenchArchive make_bench_archive(bool tile_set) {
        BenchArchive a;
        // The pictures go to memory (/dev/shm) unless TMPDIR says otherwise:
        // the run measures the extraction's own work, not the disk's journal.
        std::error_code shm_error;
        const bool in_memory = std::getenv("TMPDIR") == nullptr && fs::is_directory("/dev/shm", shm_error);
        const fs::path base = in_memory ? fs::path("/dev/shm") : fs::temp_directory_path();
        a.folder = (base / ("quarnel-extraction-bench-" + std::to_string(::getpid()) + (tile_set ? "-tiles" : ""))).string();
        fs::create_directories(a.folder);
        a.path = a.folder + (tile_set ? "/BENCH.bts" : "/BENCH.spr");
        const auto block = sample_palette_block();
        a.bytes = tile_set ? write_tile_set(0x1770, block, sample_tiles(400)) : write_sprite_set(block, bench_sprites(), true);
        malloc_trim(0);
        write_whole_file(a.path, a.bytes);
        return a;
}

BenchArchive& bench_archive() {
    static BenchArchive archive = make_bench_archive(false);
    return archive;
}

BenchArchive& bench_tile_set() {
    static BenchArchive archive = make_bench_archive(true);
    return archive;
}

// QUARNEL_BENCH_BASELINE names another quarnel (an earlier build, say) to
// run the same extractions beside this build's, in one run: with
// --benchmark_enable_random_interleaving the two take turns.
const char* baseline_program() {
    const char* baseline = std::getenv("QUARNEL_BENCH_BASELINE");
    return baseline != nullptr && *baseline != '\0' ? baseline : nullptr;
}

std::string quarnel_program(bool baseline) {
    if (baseline) return baseline_program();
    // The benchmarks live in bench/ below the build folder that holds quarnel.
    return (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "quarnel").string();
}

struct ChildRun {
    long peak_kib = -1;        // peak resident memory; -1 when it did not end well
    double cpu_seconds = 0;    // user + system time of the child
};

// Runs quarnel on the archive with the answers "n" and "png"; with
// keep_indices also the option -i (indexed pictures and the side file).
ChildRun run_extraction(const BenchArchive& archive, bool keep_indices, long threads, bool baseline) {
    ChildRun run;
    const std::string answers_path = archive.folder + "/answers.txt";
    const bool tile_set = archive.path.ends_with(".bts");
    write_whole_file(answers_path, std::string_view(tile_set ? "png\n" : "n\npng\n"));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, answers_path.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> env_text{"SDL_VIDEODRIVER=dummy", "QUARNEL_THREADS=" + std::to_string(threads)};
    std::vector<char*> env;
    for (auto& e : env_text) env.push_back(e.data());
    env.push_back(nullptr);
    const std::string program = quarnel_program(baseline);
    std::string input = archive.path;
    std::string option = "-i";
    char* argv[] = {const_cast<char*>(program.c_str()), input.data(), keep_indices ? option.data() : nullptr, nullptr};
    // The child's peak memory counts the parent's until exec: reset the
    // parent's high-water mark (it holds little more than the archive).
    // (A kernel control file: written in place, not through a partial file.)
    if (const int control = ::open("/proc/self/clear_refs", O_WRONLY | O_CLOEXEC); control >= 0) {
        [[maybe_unused]] const ssize_t n = ::write(control, "5", 1);
        ::close(control);
    }
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return run;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return run;
    run.peak_kib = usage.ru_maxrss;
    run.cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return run;
}

void extract_and_count(benchmark::State& state, BenchArchive& archive, bool keep_indices, const std::string& last,
                       bool baseline = false) {
    long peak = 0;
    double cpu = 0;
    const std::string output = archive.folder + "/BENCH";
    for (auto _ : state) {
        // Each run extracts into an empty folder, as a first extraction does.
        state.PauseTiming();
        std::error_code removed;
        fs::remove_all(output, removed);
        state.ResumeTiming();
        const ChildRun run = run_extraction(archive, keep_indices, state.range(0), baseline);
        if (run.peak_kib < 0) {
            state.SkipWithError("quarnel did not run");
            return;
        }
        peak = std::max(peak, run.peak_kib);
        cpu += run.cpu_seconds;
    }
    // CPU time of the extraction process per run, comparable with the
    // floor's CPU column on a busy machine.
    state.counters["child_cpu_ms"] = cpu * 1000.0 / static_cast<double>(state.iterations());
    state.counters["peak_rss_mib"] = static_cast<double>(peak) / 1024.0;
    state.counters["archive_mib"] = static_cast<double>(archive.bytes.size()) / (1024.0 * 1024.0);
    if (!fs::exists(archive.folder + "/BENCH/" + last)) state.SkipWithError("pictures missing");
}

void BM_ExtractRunLengthSpriteSetToPng(benchmark::State& state) {
    extract_and_count(state, bench_archive(), false, "2000.png");
}
BENCHMARK(BM_ExtractRunLengthSpriteSetToPng)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// The same workload with -i: indexed PNGs (a quarter of the pixel bytes to
// compress, plus PLTE and tRNS) and exact_rebuild.txt, with each picture's
// tokens recoded in both styles to find the one that gives them back.
void BM_ExtractRunLengthSpriteSetToIndexedPng(benchmark::State& state) {
    extract_and_count(state, bench_archive(), true, "2000.png");
}
BENCHMARK(BM_ExtractRunLengthSpriteSetToIndexedPng)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// 400 tiles, written seven times (one pass folder per step of the cycling colours).
void BM_ExtractTileSetToPng(benchmark::State& state) { extract_and_count(state, bench_tile_set(), false, "7/0400.png"); }
BENCHMARK(BM_ExtractTileSetToPng)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// The same three with the baseline program, when one is named.
[[maybe_unused]] const bool baseline_registered = [] {
    if (!baseline_program()) return false;
    for (const bool tile_set : {false, true})
        for (const bool keep_indices : {false, true}) {
            if (tile_set && keep_indices) continue;
            const std::string name = std::string("BM_Baseline_Extract") + (tile_set ? "TileSet" : "RunLengthSpriteSet") +
                                     (keep_indices ? "ToIndexedPng" : "ToPng");
            benchmark::RegisterBenchmark(name.c_str(), [tile_set, keep_indices](benchmark::State& state) {
                extract_and_count(state, tile_set ? bench_tile_set() : bench_archive(), keep_indices,
                                  tile_set ? "7/0400.png" : "2000.png", true);
            })->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
        }
    return true;
}();

// The rows the PNG writer compresses for each sprite: filter byte 0, then
// red, green, blue, alpha per pixel (transparent pixels 0).
std::vector<std::vector<std::uint8_t>> filtered_rows(const BenchArchive& archive) {
    std::vector<std::vector<std::uint8_t>> all;
    const SpriteSet set = parse_sprite_set(archive.bytes);
    const Palette colours = palette_from_block_bytes(set.palette_block);
    for (const ArchiveImage& image : set.images) {
        const IndexedPicture p = decode_picture(archive.bytes, set.pixel_storage(), image);
        std::vector<std::uint8_t> rows;
        rows.reserve((std::size_t{p.width} * 4 + 1) * p.height);
        for (std::uint32_t y = 0; y < p.height; ++y) {
            rows.push_back(0);
            for (std::uint32_t x = 0; x < p.width; ++x) {
                const std::size_t at = std::size_t{y} * p.width + x;
                const std::uint32_t c = p.opaque[at] ? colours[p.indices[at]] : 0;
                rows.push_back(static_cast<std::uint8_t>(c >> 16));
                rows.push_back(static_cast<std::uint8_t>(c >> 8));
                rows.push_back(static_cast<std::uint8_t>(c));
                rows.push_back(static_cast<std::uint8_t>(c >> 24));
            }
        }
        all.push_back(std::move(rows));
    }
    return all;
}

void BM_CompressFloor(benchmark::State& state) {
    const auto filtered = filtered_rows(bench_archive());
    std::vector<std::uint8_t> out;
    for (auto _ : state) {
        for (const auto& rows : filtered) {
            uLongf length = compressBound(static_cast<uLong>(rows.size()));
            out.resize(length);
            compress(out.data(), &length, rows.data(), static_cast<uLong>(rows.size()));
            benchmark::DoNotOptimize(out.data());
        }
    }
}
BENCHMARK(BM_CompressFloor)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// compress alone on the rows of the tile set's 2800 pictures: every tile in
// the colours of each of the seven passes.
void BM_CompressFloorTileSet(benchmark::State& state) {
    const BenchArchive& archive = bench_tile_set();
    const TileSet set = parse_tile_set(archive.bytes);
    ExtractionPalette colours;
    colours.base = palette_from_block_bytes(set.palette_block);
    colours.working = colours.base;
    std::vector<std::vector<std::uint8_t>> all;
    for (int pass = 0; pass < 7; ++pass) {
        colours.rotate_cycle_colours(pass);
        for (const ArchiveImage& tile : set.tiles) {
            const IndexedPicture p = decode_picture(archive.bytes, PixelStorage::raw, tile);
            std::vector<std::uint8_t> rows;
            for (std::uint32_t y = 0; y < p.height; ++y) {
                rows.push_back(0);
                for (std::uint32_t x = 0; x < p.width; ++x) {
                    const std::uint32_t c = colours.working[p.indices[std::size_t{y} * p.width + x]];
                    rows.insert(rows.end(), {static_cast<std::uint8_t>(c >> 16), static_cast<std::uint8_t>(c >> 8),
                                             static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 24)});
                }
            }
            all.push_back(std::move(rows));
        }
    }
    std::vector<std::uint8_t> out;
    for (auto _ : state) {
        for (const auto& rows : all) {
            uLongf length = compressBound(static_cast<uLong>(rows.size()));
            out.resize(length);
            compress(out.data(), &length, rows.data(), static_cast<uLong>(rows.size()));
            benchmark::DoNotOptimize(out.data());
        }
    }
}
BENCHMARK(BM_CompressFloorTileSet)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace
