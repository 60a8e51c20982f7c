// The exact round trip with option -i: archives as modders have them
// (palettes that repeat colours and hold bytes of 64 and up, any header byte
// 1, offsets past 255, tile sets with any code, header words and 32-bit
// tile values) are extracted with -i and rebuilt byte for byte, sprite sets
// from 0001.png, tile sets from any of the pass folders 1 to 7. Also: an
// edited indexed picture keeps its indices, a side file that is damaged or
// belongs to another archive is left aside, a tile set of distinct colours
// rebuilds from a pass folder without -i, and the indexed PNGs open as
// palette images in other programs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "archive/exact_rebuild_file.h"
#include "archive/palette.h"
#include "archive/run_length_encode.h"
#include "archive/sprite_archive.h"
#include "builder/builder_fixtures.h"
#include "png/png_reader.h"
#include "png/png_writer.h"
#include "runtime/image/image.h"
#include "runtime/utility/byte_reader.h"
#include "support/run_program.h"

namespace quarnel {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string as_text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }
Bytes as_bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// A palette block that repeats colours: some entries copy others, some
// bytes are 64 and up (64 shows as 0, like 0).
std::array<std::uint8_t, 768> repeating_block(std::mt19937& random) {
    std::array<std::uint8_t, 768> block{};
    std::uniform_int_distribution<int> any(0, 255), six_bit(0, 63), entry(0, 255), chance(0, 9);
    for (std::size_t i = 0; i < 768; ++i) block[i] = static_cast<std::uint8_t>(chance(random) == 0 ? any(random) : six_bit(random));
    for (int n = 0; n < 60; ++n) {
        const auto from = static_cast<std::size_t>(entry(random)), to = static_cast<std::size_t>(entry(random));
        for (std::size_t c = 0; c < 3; ++c) block[3 * to + c] = block[3 * from + c];
    }
    for (std::size_t c = 0; c < 3; ++c) block[3 * 203 + c] = block[3 * 7 + c];  // a cycling colour's twin
    return block;
}

struct Sample {
    Bytes archive;
    bool tile_set = false;
    bool centred = false;
    bool keeps_offsets = true;  // false: not centred and the offsets are only in the side file
};

// A sprite set in the builder's own form: pictures of few colours with
// transparent runs, offsets up to 300, raw or run-length with either style.
Sample random_sprite_set(std::uint32_t seed) {
    std::mt19937 random(seed);
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    const bool run_length = seed % 2 == 0;
    const bool row_split = run_length && seed % 4 == 0;
    Sample sample;
    sample.centred = seed % 3 != 0;
    const auto block = repeating_block(random);
    const int count = pick(1, 6);
    Bytes records, images;
    std::uint32_t data_size = 0;
    for (int n = 0; n < count; ++n) {
        const bool empty = pick(0, 9) == 0;
        const auto width = static_cast<std::uint32_t>(empty ? 0 : pick(1, 40));
        const auto height = static_cast<std::uint32_t>(empty ? 0 : pick(1, 20));
        Bytes indices(std::size_t{width} * height);
        for (auto& index : indices)
            index = static_cast<std::uint8_t>(run_length && pick(0, 2) == 0 ? 0 : pick(run_length ? 1 : 0, 255));
        put_u16le(records, static_cast<std::uint16_t>(width));
        put_u16le(records, static_cast<std::uint16_t>(height));
        put_u16le(records, static_cast<std::uint16_t>(pick(0, 300)));
        put_u16le(records, static_cast<std::uint16_t>(pick(0, 300)));
        if (run_length) {
            Bytes tokens;
            encode_run_length(indices, width, height, row_split, tokens);
            put_u32le(images, static_cast<std::uint32_t>(tokens.size()));
            images.insert(images.end(), tokens.begin(), tokens.end());
            data_size += static_cast<std::uint32_t>(tokens.size());
        } else {
            images.insert(images.end(), indices.begin(), indices.end());
            data_size += static_cast<std::uint32_t>(indices.size()) + 12;
        }
    }
    Bytes& out = sample.archive;
    put_u8(out, run_length ? run_length_storage_byte : raw_storage_byte);
    put_u8(out, static_cast<std::uint8_t>(pick(0, 255)));
    put_u16le(out, static_cast<std::uint16_t>(count));
    put_u32le(out, data_size);
    out.insert(out.end(), block.begin(), block.end());
    out.insert(out.end(), records.begin(), records.end());
    out.insert(out.end(), images.begin(), images.end());
    return sample;
}

Sample random_tile_set(std::uint32_t seed) {
    std::mt19937 random(seed);
    auto pick = [&](std::uint32_t low, std::uint32_t high) { return std::uniform_int_distribution<std::uint32_t>(low, high)(random); };
    Sample sample;
    sample.tile_set = true;
    const auto block = repeating_block(random);
    const std::uint32_t count = pick(1, 4);
    Bytes& out = sample.archive;
    put_u16le(out, static_cast<std::uint16_t>(pick(0, 65535)));  // any tile-set code
    put_u16le(out, static_cast<std::uint16_t>(pick(0, 65535)));  // header words beside the count
    put_u16le(out, static_cast<std::uint16_t>(count));
    put_u16le(out, static_cast<std::uint16_t>(pick(0, 65535)));
    out.insert(out.end(), block.begin(), block.end());
    for (std::uint32_t n = 0; n < count; ++n) {
        put_u32le(out, pick(0, 0xFFFFFFFFu));
        for (std::size_t i = 0; i < tile_pixel_bytes; ++i) put_u8(out, static_cast<std::uint8_t>(pick(0, 255)));
    }
    return sample;
}

struct Trip {
    std::string folder;
    std::string log;
};

// Extracts the archive name.spr or name.bts into root with the options given.
Trip extract(const test::TempDir& root, const std::string& name, const Sample& sample, bool keep_indices,
             const std::string& format = "png") {
    const std::string path = root.file(name + (sample.tile_set ? ".bts" : ".spr"));
    test::write_file(path, as_text(sample.archive));
    std::vector<std::string> arguments{path};
    if (keep_indices) arguments.emplace_back("-i");
    const std::string answers = (sample.tile_set ? "" : (sample.centred ? "t\n" : "n\n")) + format + "\n";
    const test::ProgramRun run = test::run_program(test::quarnel_path(), arguments, answers);
    test::expect_clean_end(run);
    return Trip{root.file(name), run.output + run.errors};
}

// Builds from 0001.png of the folder (a pass folder for tile sets).
std::string build_from(const std::string& picture_folder, std::string& log) {
    const test::ProgramRun run = test::run_program(test::quarnel_path(), {picture_folder + "/0001.png"}, "");
    test::expect_clean_end(run);
    log += run.output + run.errors;
    return run.output;
}

TEST(ExactRoundTrip, SpriteSetsComeBackByteForByte) {
    for (std::uint32_t seed = 1; seed <= 24; ++seed) {
        test::TempDir root;
        const Sample sample = random_sprite_set(seed);
        Trip trip = extract(root, "units", sample, true);
        build_from(trip.folder, trip.log);
        EXPECT_EQ(test::read_file(trip.folder + "/units_new.spr"), as_text(sample.archive))
            << "seed " << seed << "\n" << trip.log;
    }
}

TEST(ExactRoundTrip, TileSetsComeBackFromEveryPassFolder) {
    for (std::uint32_t seed = 1; seed <= 7; ++seed) {
        test::TempDir root;
        const Sample sample = random_tile_set(seed);
        Trip trip = extract(root, "tiles", sample, true);
        const std::string pass = std::to_string(seed);  // passes 1 to 7
        const std::string output = build_from(trip.folder + "/" + pass, trip.log);
        EXPECT_NE(output.find("tiles of pass " + pass), std::string::npos) << trip.log;
        EXPECT_EQ(test::read_file(trip.folder + "/tiles_new.bts"), as_text(sample.archive))
            << "seed " << seed << "\n" << trip.log;
        EXPECT_FALSE(std::filesystem::exists(trip.folder + "/" + pass + "/" + pass + "_new.spr"));
    }
}

// An indexed picture edited as an indexed editor does (other indices, the
// twins of repeated colours among them, the same palette) is rebuilt with
// exactly the edited indices.
TEST(ExactRoundTrip, EditedIndexedPictureKeepsItsIndices) {
    std::uint32_t seed = 2;  // run-length
    Sample sample = random_sprite_set(seed);
    while (parse_sprite_set(sample.archive).images.front().width == 0) sample = random_sprite_set(seed += 2);
    test::TempDir root;
    Trip trip = extract(root, "units", sample, true);
    const std::string picture_path = trip.folder + "/0001.png";
    PngIndices png;
    ASSERT_TRUE(png_decode(as_bytes(test::read_file(picture_path)), &png)) << trip.log;
    ASSERT_EQ(png.palette_entries, 256u);

    // Twins: 7 and 203 share a colour; so may others.
    const ArchiveImage first = parse_sprite_set(sample.archive).images.front();
    const std::uint32_t x0 = sample.centred ? first.x_offset : 0, y0 = sample.centred ? first.y_offset : 0;
    std::vector<std::uint8_t> edited(std::size_t{first.width} * first.height);
    for (std::uint32_t y = 0; y < first.height; ++y)
        for (std::uint32_t x = 0; x < first.width; ++x) {
            std::uint8_t& index = png.indices[std::size_t{y + y0} * png.width + x + x0];
            if ((x + y) % 3 == 0) index = (x % 2 == 0) ? 7 : 203;
            edited[std::size_t{y} * first.width + x] = index;
        }
    ImagePtr picture = new_image_buffer(png.width, png.height, 1);
    const auto layout = image_layout(*picture);
    for (std::uint32_t y = 0; y < png.height; ++y)
        std::copy_n(png.indices.begin() + static_cast<std::ptrdiff_t>(std::size_t{y} * png.width), png.width,
                    image_row(*picture, *layout, y));
    ASSERT_EQ(png_save_indexed(picture_path, picture.get(), png.colours, true), 0);

    build_from(trip.folder, trip.log);
    const Bytes rebuilt = as_bytes(test::read_file(trip.folder + "/units_new.spr"));
    const SpriteSet set = parse_sprite_set(rebuilt);
    ASSERT_FALSE(set.images.empty()) << trip.log;
    const IndexedPicture decoded = decode_picture(rebuilt, set.pixel_storage(), set.images.front());
    EXPECT_EQ(set.images.front().x_offset, first.x_offset);
    EXPECT_EQ(decoded.indices, edited) << trip.log;
}

// A side file edited into nonsense or taken from another archive: a line
// says so and the build goes on from the pictures, whose indices still
// stand (an archive without bytes the pictures cannot carry comes back whole).
TEST(ExactRoundTrip, DamagedOrForeignSideFileIsLeftAside) {
    test::SampleArchive plain = test::random_sample(11, test::SampleKind::sprite_run_length);
    const Sample sample{test::build_sample(plain, false), false, true, true};
    for (const std::string& change : {std::string("damaged"), std::string("foreign")}) {
        test::TempDir root;
        Trip trip = extract(root, "units", sample, true);
        const std::string side = trip.folder + "/" + exact_rebuild_file_name;
        std::string text = test::read_file(side);
        if (change == "damaged")
            text.replace(text.find("colour 17:"), 10, "colour 17 is blue");
        else
            text.replace(text.find("archive units.spr"), 17, "archive other.spr");
        test::write_file(side, text);
        const std::string output = build_from(trip.folder, trip.log);
        EXPECT_NE(output.find("exact_rebuild.txt left aside (" +
                              std::string(change == "damaged" ? "line " : "written for other.spr")),
                  std::string::npos)
            << trip.log;
        EXPECT_EQ(test::read_file(trip.folder + "/units_new.spr"), as_text(sample.archive)) << change << "\n" << trip.log;
    }
}

// Without -i: a tile set of distinct colours from any pass folder comes back
// byte for byte; repeated colours are named by both programs.
TEST(ExactRoundTrip, WithoutKeepingIndices) {
    for (std::uint32_t pass = 1; pass <= 7; pass += 3) {
        const test::SampleArchive plain = test::random_sample(400 + pass, test::SampleKind::tile_set);
        const Sample sample{test::build_sample(plain, false), true, false, true};
        test::TempDir root;
        Trip trip = extract(root, plain.folder_name, sample, false);
        build_from(trip.folder + "/" + std::to_string(pass), trip.log);
        EXPECT_EQ(test::read_file(trip.folder + "/" + plain.folder_name + "_new.bts"), as_text(sample.archive))
            << "pass " << pass << "\n" << trip.log;
    }
    test::TempDir root;
    const Sample repeating = random_tile_set(5);
    Trip trip = extract(root, "tiles", repeating, false);
    EXPECT_NE(trip.log.find("option -i keeps them"), std::string::npos) << trip.log;
    EXPECT_FALSE(std::filesystem::exists(trip.folder + "/" + exact_rebuild_file_name));
    const std::string output = build_from(trip.folder + "/2", trip.log);
    EXPECT_NE(output.find("warning: palette.bmp repeats colours that pixels match"), std::string::npos) << trip.log;
}

// The indexed pictures are palette images to other programs, with the
// archive's colours; the bmp answer gives 8-bit BMP pictures.
TEST(ExactRoundTrip, IndexedPicturesOpenAsPaletteImages) {
    test::SampleArchive plain = test::random_sample(12, test::SampleKind::sprite_run_length);
    const Sample sample{test::build_sample(plain, false), false, true, true};
    test::TempDir root;
    Trip trip = extract(root, "units", sample, true);
    const std::string picture = trip.folder + "/0001.png";
    PngIndices png;
    ASSERT_TRUE(png_decode(as_bytes(test::read_file(picture)), &png));
    // The first opaque pixel and the colour the archive's palette gives it.
    std::size_t at = 0;
    while (at < png.indices.size() && png.indices[at] == 0) ++at;
    ASSERT_LT(at, png.indices.size());
    const std::uint32_t colour = plain.palette[png.indices[at]] & 0xFFFFFFu;
    const std::uint32_t x = static_cast<std::uint32_t>(at % png.width), y = static_cast<std::uint32_t>(at / png.width);
    char expected[64];
    std::snprintf(expected, sizeof expected, "P %d %d %d %d", png.indices[at], colour >> 16, (colour >> 8) & 0xFF,
                  colour & 0xFF);

    auto output_of = [](const std::string& command) {
        std::string text;
        if (FILE* pipe = popen((command + " 2>&1").c_str(), "r")) {
            char buffer[4096];
            for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
            pclose(pipe);
        }
        return text;
    };
    if (std::system("command -v pngcheck >/dev/null") == 0) {
        EXPECT_NE(output_of("pngcheck " + picture).find("OK:"), std::string::npos);
    }
    if (std::system("command -v identify >/dev/null") == 0) {
        const std::string p = "p{" + std::to_string(x) + "," + std::to_string(y) + "}";
        const std::string shown = output_of("identify -format '%[png:IHDR.color_type] %[fx:int(255*" + p +
                                            ".r+0.5)] %[fx:int(255*" + p + ".g+0.5)] %[fx:int(255*" + p +
                                            ".b+0.5)]' " + picture);
        EXPECT_EQ(shown, "3 (Indexed) " + std::string(expected).substr(std::string(expected).find(' ', 2) + 1)) << shown;
    }
    if (std::system("/usr/bin/python3 -c 'import PIL' 2>/dev/null") == 0) {
        const std::string shown = output_of("/usr/bin/python3 -c \"from PIL import Image; im = Image.open('" + picture +
                                            "'); i = im.getpixel((" + std::to_string(x) + "," + std::to_string(y) +
                                            ")); p = im.getpalette(); print(im.mode, i, p[3*i], p[3*i+1], p[3*i+2])\"");
        EXPECT_EQ(shown, std::string(expected) + "\n");
    }

    test::TempDir bmp_root;
    Trip bmp_trip = extract(bmp_root, "units", sample, true, "bmp");
    const std::string bmp = test::read_file(bmp_trip.folder + "/0001.bmp");
    ASSERT_GT(bmp.size(), 54u + 1024u) << bmp_trip.log;
    EXPECT_EQ(bmp[28], 8) << "8 bits a pixel";
    const std::size_t entry = 54 + 4 * std::size_t{png.indices[at]};
    EXPECT_EQ(static_cast<std::uint8_t>(bmp[entry + 2]), colour >> 16);
}

TEST(ExactRebuildFile, ReadsWhatItWritesAndNamesTheLineOfANonsenseEdit) {
    ExactRebuildRecord record;
    record.archive_name = "REAP.spr";
    record.header = {0x81, 9, 2, 0, 40, 0, 0, 0};
    record.palette_block[5] = 200;
    record.centred = true;
    record.build_flags = BuildSettings{0, 1, 0};
    record.row_split = true;
    record.pictures = {{10, 8, 300, 2}, {0, 0, 7, 65535}};
    const std::string text = exact_rebuild_text(record);
    const ExactRebuildParse parsed = parse_exact_rebuild(text);
    ASSERT_TRUE(parsed.record) << parsed.problem;
    EXPECT_EQ(exact_rebuild_text(*parsed.record), text);

    std::string edited = text;
    edited.replace(edited.find("picture 2:"), 10, "picture 3:");
    const ExactRebuildParse broken = parse_exact_rebuild(edited);
    EXPECT_FALSE(broken.record);
    EXPECT_EQ(broken.problem.rfind("line 273: ", 0), 0u) << broken.problem;
    EXPECT_FALSE(parse_exact_rebuild("").record);
    EXPECT_FALSE(parse_exact_rebuild(text.substr(0, text.size() / 2)).record);
}

}  // namespace
}  // namespace quarnel
