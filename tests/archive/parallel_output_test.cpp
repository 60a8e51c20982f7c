// Work spread over threads changes nothing a user sees: extraction (every
// archive kind, PNG and BMP, with and without -i) and the builder give the
// same files and the same console transcript with QUARNEL_THREADS=1 and
// with the default, on the samples and on the kept fuzzing inputs of the
// archive targets (damaged archives among them). QUARNEL_TEST_STRIDE=k
// takes every k-th fuzzing input only (the ThreadSanitizer run).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "samples/sample_archive.h"
#include "support/run_program.h"

namespace quarnel {
namespace {

namespace fs = std::filesystem;

// Every file below the folder (relative name -> bytes).
std::map<std::string, std::string> files_below(const std::string& folder) {
    std::map<std::string, std::string> files;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; it != end; it.increment(error))
        if (it->is_regular_file()) files[fs::relative(it->path(), folder).string()] = test::read_file(it->path().string());
    return files;
}

struct Outcome {
    std::string transcript;
    std::map<std::string, std::string> files;
};

// One run with the thread setting given ("" = the default), in a folder
// that holds only the input; the files it leaves are taken and removed.
Outcome run_with(const std::string& threads, const std::string& folder, const std::vector<std::string>& arguments,
                 const std::string& answers, const std::vector<std::string>& keep) {
    std::vector<std::string> environment;
    if (!threads.empty()) environment.push_back("QUARNEL_THREADS=" + threads);
    const test::ProgramRun run = test::run_program(test::quarnel_path(), arguments, answers, folder, 120, environment);
    test::expect_clean_end(run);
    Outcome outcome{run.output + run.errors, files_below(folder)};
    for (const auto& entry : fs::directory_iterator(folder))
        if (std::find(keep.begin(), keep.end(), entry.path().filename().string()) == keep.end()) fs::remove_all(entry.path());
    return outcome;
}

// Extraction, then (when it left pictures) a build from the first picture,
// once with one thread and once with the default; both must agree.
void expect_same_with_threads(const std::string& name, const std::string& bytes, const std::vector<std::string>& options,
                              const std::string& answers, const std::string& label) {
    test::TempDir root;
    const std::string input = root.file(name);
    test::write_file(input, bytes);
    std::vector<std::string> arguments{input};
    arguments.insert(arguments.end(), options.begin(), options.end());
    const std::string base = name.substr(0, name.rfind('.'));
    const bool tiles = name.ends_with(".bts");
    const std::string first_picture = root.file(base + (tiles ? "/1/0001.png" : "/0001.png"));

    std::vector<Outcome> outcomes;
    for (const std::string threads : {"1", ""}) {
        Outcome extracted = run_with(threads, root.path(), arguments, answers, {name, base});
        Outcome built;
        if (fs::exists(first_picture)) built = run_with(threads, root.path(), {first_picture}, "", {name});
        fs::remove_all(root.file(base));
        extracted.transcript += built.transcript;
        for (auto& [file, content] : built.files) extracted.files["built " + file] = content;
        outcomes.push_back(std::move(extracted));
    }
    EXPECT_EQ(outcomes[0].transcript, outcomes[1].transcript) << label;
    EXPECT_TRUE(outcomes[0].files == outcomes[1].files) << label << ": the files differ";
}

TEST(ParallelOutput, SamplesOfEveryKindAndFormat) {
    const auto block = sample_palette_block();
    const std::vector<std::uint8_t> sprites = write_sprite_set(block, sample_sprites(), true);
    const std::vector<std::uint8_t> tiles = write_tile_set(0x1770, block, sample_tiles(40));
    const std::string sprite_bytes(sprites.begin(), sprites.end()), tile_bytes(tiles.begin(), tiles.end());
    expect_same_with_threads("SAMPLE.spr", sprite_bytes, {}, "t\npng\n", "sprites png");
    expect_same_with_threads("SAMPLE.spr", sprite_bytes, {"-i"}, "n\nbmp\n", "sprites -i bmp");
    expect_same_with_threads("TILES.bts", tile_bytes, {"-i"}, "png\n", "tiles -i");
    expect_same_with_threads("TILES.bts", tile_bytes, {}, "bmp\n", "tiles bmp");
    // Cut short: the lines on the damaged end come in their place.
    expect_same_with_threads("CUT.spr", sprite_bytes.substr(0, sprite_bytes.size() - 300), {}, "t\npng\n", "cut");
    expect_same_with_threads("DATA.raw", tile_bytes, {"-r"}, "png\n20\n17\n9\n", "raw data");
}

std::size_t seed_stride() {
    const char* stride = std::getenv("QUARNEL_TEST_STRIDE");
    const int value = stride ? std::atoi(stride) : 1;
    return value > 1 ? static_cast<std::size_t>(value) : 1;
}

std::vector<std::string> seed_files(const std::string& target) {
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(std::string(QUARNEL_SOURCE_DIR) + "/tests/fuzz/seeds/" + target))
        files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    std::vector<std::string> taken;
    for (std::size_t i = 0; i < files.size(); i += seed_stride()) taken.push_back(files[i]);
    return taken;
}

// archive_fuzz: byte 0 mod 6 chooses .spr, .bts, .trs, .trc, .trw or raw data
// (count, width and height in the next three bytes).
TEST(ParallelOutput, KeptInputsOfTheArchiveTarget) {
    std::size_t n = 0;
    for (const std::string& seed : seed_files("archive_fuzz")) {
        const std::string bytes = test::read_file(seed);
        if (bytes.empty()) continue;
        const std::string file = bytes.substr(1);
        const auto kind = static_cast<unsigned char>(bytes[0]) % 6;
        const bool keep_indices = ++n % 2 == 0;
        std::vector<std::string> options;
        if (keep_indices) options.emplace_back("-i");
        const std::string format = n % 3 == 0 ? "bmp\n" : "png\n";
        static const char* const names[] = {"A.spr", "A.bts", "A.trs", "A.trc", "A.trw"};
        if (kind < 5) {
            expect_same_with_threads(names[kind], file, options, (kind == 0 ? "t\n" : "") + format, seed);
        } else if (file.size() >= 3) {
            options.emplace_back("-r");
            const std::string answers = format + std::to_string(static_cast<unsigned char>(file[0])) + "\n" +
                                        std::to_string(static_cast<unsigned char>(file[1])) + "\n" +
                                        std::to_string(static_cast<unsigned char>(file[2])) + "\n";
            expect_same_with_threads("A.raw", file.substr(3), options, answers, seed);
        }
    }
}

// extraction_picture_fuzz: byte 0 bits 0-1 (mod 3) .spr, .bts or .trs, bit 2 centring.
TEST(ParallelOutput, KeptInputsOfTheExtractionPictureTarget) {
    std::size_t n = 0;
    for (const std::string& seed : seed_files("extraction_picture_fuzz")) {
        const std::string bytes = test::read_file(seed);
        if (bytes.empty()) continue;
        const auto first = static_cast<unsigned char>(bytes[0]);
        static const char* const names[] = {"A.spr", "A.bts", "A.trs"};
        std::vector<std::string> options;
        if (++n % 2 == 0) options.emplace_back("-i");
        const unsigned kind = (first & 3u) % 3;
        expect_same_with_threads(names[kind], bytes.substr(1), options,
                                 std::string(kind == 0 ? ((first & 4) ? "t\n" : "n\n") : "") + "png\n", seed);
    }
}

}  // namespace
}  // namespace quarnel
