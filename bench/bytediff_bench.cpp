// bytediff's scan of two identical large files against `cmp` on the same
// files. The files (1 GiB each by default; QUARNEL_BENCH_MIB sets the size in
// MiB) are written once into the temporary folder and removed at the end.
//
//   build/bytediff_bench --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bytediff/bytediff.h"
#include "runtime/platform/files.h"

namespace {

struct SamplePair {
    std::string first, second;
    std::int64_t size = 0;

    SamplePair() {
        const char* mib = std::getenv("QUARNEL_BENCH_MIB");
        const std::int64_t mebibytes = mib ? std::max(1L, std::atol(mib)) : 1024;
        size = mebibytes << 20;
        const auto folder = std::filesystem::temp_directory_path();
        first = (folder / ("bytediff-bench-a-" + std::to_string(getpid()))).string();
        second = (folder / ("bytediff-bench-b-" + std::to_string(getpid()))).string();
        std::vector<char> block(1 << 20);
        for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 2654435761u >> 13);
        for (const std::string& name : {first, second}) {
            std::ofstream out(name, std::ios::binary | std::ios::trunc);
            for (std::int64_t done = 0; done < size; done += static_cast<std::int64_t>(block.size()))
                out.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
    }
    ~SamplePair() {
        std::error_code ec;
        std::filesystem::remove(first, ec);
        std::filesystem::remove(second, ec);
    }
};

SamplePair& sample() {
    static SamplePair pair;
    return pair;
}

void BM_BytediffScan(benchmark::State& state) {
    SamplePair& pair = sample();
    for (auto _ : state) {
        quarnel::open_file(pair.first, quarnel::OpenMode::binary, 1);
        quarnel::open_file(pair.second, quarnel::OpenMode::binary, 2);
        const quarnel::ByteScan scan = quarnel::scan_files(1, 2);
        quarnel::close_file(0);
        if (!scan.differences.empty() || !scan.first_ended) state.SkipWithError("the identical files compared unequal");
        benchmark::DoNotOptimize(scan);
    }
    state.SetBytesProcessed(state.iterations() * pair.size * 2);
}

void BM_Cmp(benchmark::State& state) {
    SamplePair& pair = sample();
    const std::string command = "cmp -s '" + pair.first + "' '" + pair.second + "'";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) state.SkipWithError("cmp failed or found a difference");
    }
    state.SetBytesProcessed(state.iterations() * pair.size * 2);
}

}  // namespace

BENCHMARK(BM_BytediffScan)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_Cmp)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
