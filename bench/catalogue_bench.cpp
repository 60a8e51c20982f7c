// The catalogue of a generated game against "quarnel extract" of the same
// archives, paired in one run: a game folder of 48 archives (32 run-length
// sprite sets of 27 to 188 sprites, 16 tile sets of 13 to 82 tiles) is
// written once; each iteration runs both programs, in turn first, and
// measures their wall time and peak memory (the child's maximum resident
// size). The target: the catalogue takes at most twice extract's time.
//   build/bench/catalogue_bench
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "generated_game.h"

namespace {

using namespace quarnel::bench;

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
