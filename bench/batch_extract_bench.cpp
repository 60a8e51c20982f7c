// One "quarnel extract" of the 48 archives of the generated game with two
// threads against one, whole process: the archives run side by side (two
// at a time with two threads), each archive's lines said together in the
// order given. Nine pairs of runs, the two settings taking turns to go
// first, every run on fresh folders; the figures are the medians. The
// target: two threads take at most 0.59 of one thread's time.
//   build/bench/batch_extract_bench
//   QUARNEL_BENCH_PROGRAM=OTHER/quarnel build/bench/batch_extract_bench   (another build's program)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

#include "generated_game.h"

namespace {

using namespace quarnel::bench;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The folders an extraction writes, beside the archives, removed so that
// every run writes them anew.
void remove_extracted(const GeneratedGame& game) {
    for (const std::string& archive : game.archives) {
        std::error_code ignored;
        fs::remove_all(archive.substr(0, archive.size() - 4), ignored);
    }
}

void BatchExtractTwoThreadsAgainstOne(benchmark::State& state) {
    const GeneratedGame& game = generated_game();
    std::vector<std::string> words = {"extract"};
    words.insert(words.end(), game.archives.begin(), game.archives.end());
    std::vector<double> one, two;
    int round = 0;
    for (auto _ : state) {
        ChildRun runs[2];
        for (int turn = 0; turn < 2; ++turn) {
            const unsigned threads = (round + turn) % 2 == 0 ? 1 : 2;
            remove_extracted(game);
            runs[threads - 1] = run_child(words, threads);
        }
        ++round;
        if (runs[0].status != 0 || runs[1].status != 0) state.SkipWithError("a run failed");
        one.push_back(runs[0].seconds);
        two.push_back(runs[1].seconds);
        state.SetIterationTime(runs[0].seconds + runs[1].seconds);
    }
    remove_extracted(game);
    state.counters["one_thread_s"] = median(one);
    state.counters["two_threads_s"] = median(two);
    state.counters["two_per_one"] = median(two) / median(one);
}
BENCHMARK(BatchExtractTwoThreadsAgainstOne)->Iterations(9)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
