// The generated game of the benchmarks that run the built program: a game
// folder of 48 archives (32 run-length sprite sets of 27 to 188 sprites, 16
// tile sets of 13 to 82 tiles), written once per process, and a child run of
// the program measured whole (wall time, peak memory).
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "runtime/platform/files.h"
#include "samples/sample_archive.h"

namespace quarnel::bench {

namespace fs = std::filesystem;

// A sprite of w x h: a filled ellipse with a ring, index 0 around it.
inline SamplePicture sprite(std::uint16_t w, std::uint16_t h, std::uint32_t seed) {
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

inline GeneratedGame& generated_game() {
    static GeneratedGame game;
    static const bool made = [] {
        GeneratedGame& g = game;
        g.folder = (fs::temp_directory_path() / ("quarnel-bench-game-" + std::to_string(::getpid()))).string();
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

// Runs the program with these words, its output thrown away; threads, when
// not 0, is its QUARNEL_THREADS.
inline ChildRun run_child(const std::vector<std::string>& words, unsigned threads = 0) {
    std::vector<char*> argv;
    // Another build's program may stand in for this one's, for a comparison.
    const char* other = std::getenv("QUARNEL_BENCH_PROGRAM");
    const std::string program = other && *other ? other : QUARNEL_BENCH_PROGRAM;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        if (threads != 0) ::setenv("QUARNEL_THREADS", std::to_string(threads).c_str(), 1);
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

}  // namespace quarnel::bench
