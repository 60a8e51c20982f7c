// The round trip a modder makes: an archive in the builder's own form,
// extracted by quarnel (with centering, as PNG), then rebuilt by quarnel from
// the folder extraction left, gives back the same bytes. Archives are made
// from random pictures, many seeds of each kind.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/build_file.h"
#include "builder/builder_fixtures.h"
#include "support/run_program.h"

namespace quarnel {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::SampleKind;

constexpr std::uint32_t seeds_per_kind = 12;

std::string as_text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

struct RoundTrip {
    std::string original;
    std::string rebuilt;
    BuildSettings settings;  // what extraction wrote into build.txt
    std::string log;         // both runs' output, for failures
};

RoundTrip extract_and_rebuild(std::uint32_t seed, const test::SampleArchive& sample, const Bytes& archive) {
    namespace fs = std::filesystem;
    test::TempDir root;
    RoundTrip trip;
    trip.original = as_text(archive);
    const std::string base = sample.folder_name;
    const std::string archive_path = root.file(base + (sample.tile_set ? ".bts" : ".spr"));
    test::write_file(archive_path, trip.original);

    // Extraction: centering on ("t", sprite sets only), pictures as PNG.
    const test::ProgramRun extraction =
        test::run_program(test::quarnel_path(), {archive_path}, sample.tile_set ? "png\n" : "t\npng\n");
    trip.log = "seed " + std::to_string(seed) + "\n" + extraction.output + extraction.errors;
    const std::string folder = root.file(base);
    if (sample.tile_set) {
        // The builder reads one folder: the first pass's tiles go beside
        // build.txt, palette.bmp and the tile listing.
        for (const auto& entry : fs::directory_iterator(folder + "/1"))
            fs::rename(entry.path(), folder + "/" + entry.path().filename().string());
    }
    trip.settings = read_checked_build_file(folder + "/").settings;

    const test::ProgramRun build = test::run_program(test::quarnel_path(), {folder + "/0001.png"}, "");
    trip.log += build.output + build.errors;
    trip.rebuilt = test::read_file(folder + "/" + base + (sample.tile_set ? "_new.bts" : "_new.spr"));
    return trip;
}

void check_kind(SampleKind kind, std::uint32_t first_seed) {
    std::uint32_t split_seen = 0;
    for (std::uint32_t seed = first_seed; seed < first_seed + seeds_per_kind; ++seed) {
        const test::SampleArchive sample = test::random_sample(seed, kind);
        const Bytes archive = test::build_sample(sample, sample.row_split);
        const RoundTrip trip = extract_and_rebuild(seed, sample, archive);
        ASSERT_FALSE(trip.rebuilt.empty()) << trip.log;

        EXPECT_EQ(trip.settings.tile_set(), sample.tile_set) << trip.log;
        EXPECT_EQ(trip.settings.run_length(), sample.storage == PixelStorage::run_length) << trip.log;
        if (!sample.row_split) {
            EXPECT_FALSE(trip.settings.row_split()) << trip.log;
        }
        if (trip.settings.row_split() == sample.row_split) {
            EXPECT_TRUE(trip.rebuilt == trip.original) << "seed " << seed << ": the rebuilt archive differs\n" << trip.log;
        } else {
            // A row-split archive whose only same-kind pairs are final skips
            // is extracted with the flag 0: the rebuild codes without the split.
            EXPECT_EQ(trip.rebuilt, as_text(test::build_sample(sample, trip.settings.row_split())))
                << "seed " << seed << "\n" << trip.log;
        }
        if (trip.settings.row_split()) ++split_seen;
    }
    if (kind == SampleKind::sprite_run_length_row_split) {
        EXPECT_GE(split_seen, seeds_per_kind / 2) << "most row-split samples show the split to extraction";
    }
}

TEST(RoundTrip, RawSpriteSets) { check_kind(SampleKind::sprite_raw, 100); }
TEST(RoundTrip, RunLengthSpriteSets) { check_kind(SampleKind::sprite_run_length, 200); }
TEST(RoundTrip, RunLengthSpriteSetsWithTheRowSplit) { check_kind(SampleKind::sprite_run_length_row_split, 300); }
TEST(RoundTrip, TileSets) { check_kind(SampleKind::tile_set, 400); }

}  // namespace
}  // namespace quarnel
