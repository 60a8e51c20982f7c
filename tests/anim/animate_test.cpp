// quarnel animate end to end: every frame of every animation of the sample
// game's two units, decoded by Pillow (an APNG and GIF decoder independent
// of the project's writers), equals the map viewer's drawing of that frame
// on the same canvas; frame counts, delays and looping as stated. Then bad
// input: a line each, the rest goes on, nothing written outside the folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "anim/animation_description.h"
#include "anim/fin_maker.h"
#include "archive/palette.h"
#include "archive/sprite_archive.h"
#include "mapview/map_grid.h"
#include "mapview/unit_animation_set.h"
#include "mapview/view_loop.h"
#include "mapview/viewer_pictures.h"
#include "runtime/image/gif_writer.h"
#include "samples/sample_archive.h"
#include "samples/sample_game.h"
#include "support/run_program.h"
#include "support/sample_game_test.h"

namespace quarnel {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr char python[] = "/usr/bin/python3";

// What Pillow saw in an animated picture.
struct Decoded {
    std::string format;
    int width = 0, height = 0;
    std::string loop;
    std::vector<int> durations;
    std::vector<std::string> rgba;  // per frame, width x height x 4 bytes
};

std::string hex_to_bytes(const std::string& hex) {
    std::string bytes(hex.size() / 2, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
    return bytes;
}

Decoded decode_with_pillow(const std::string& picture) {
    const test::ProgramRun run =
        test::run_program(python, {std::string(QUARNEL_SOURCE_DIR) + "/tests/anim/frames_by_pillow.py", picture}, "");
    EXPECT_EQ(run.exit_status, 0) << "Pillow (Debian package python3-pil) could not decode " << picture << ": "
                                  << run.errors;
    Decoded decoded;
    std::istringstream lines(run.output);
    std::string word;
    while (lines >> word) {
        if (word == "format") lines >> decoded.format;
        else if (word == "size") lines >> decoded.width >> decoded.height;
        else if (word == "loop") lines >> decoded.loop;
        else if (word == "frames") lines >> word;
        else if (word == "frame") {
            int index = 0, duration = 0;
            std::string hex;
            lines >> index >> duration >> hex;
            decoded.durations.push_back(duration);
            decoded.rgba.push_back(hex_to_bytes(hex));
        }
    }
    return decoded;
}

// An index line: "NN NAME: F frames, W x H at X,Y -> FILE".
struct IndexLine {
    int frames = 0, width = 0, height = 0, left = 0, top = 0;
    std::string file;
};

std::map<int, IndexLine> read_index(const std::string& path) {
    std::map<int, IndexLine> lines;
    std::ifstream in(path);
    std::string line;
    const std::regex pattern(R"(^(\d+) \S*: (\d+) frames, (\d+) x (\d+) at (-?\d+),(-?\d+) -> (\S+)\r?$)");
    while (std::getline(in, line)) {
        std::smatch m;
        if (!std::regex_match(line, m, pattern)) continue;
        lines[std::stoi(m[1])] = IndexLine{std::stoi(m[2]), std::stoi(m[3]), std::stoi(m[4]), std::stoi(m[5]),
                                           std::stoi(m[6]), m[7]};
    }
    return lines;
}

// The viewer's screen after drawing one frame: the pass's drawing of an
// empty map (index 0) with the unit's current frame placed by the viewer.
ImagePtr viewer_drawing(const UnitSpriteSet& sprites, const FrameRecord& record) {
    static const MapGrid no_map;
    static const ViewerTileSet no_tiles;
    UnitAnimationSet animations;
    animations.frames[0] = place_frame(record, sprites);
    animations.current_frame = 0;
    ImagePtr screen = new_full_header_image(640, 480, 1);
    ViewerScene scene{no_map, no_tiles, sprites, animations};
    draw_view(screen.get(), ViewState{}, scene);
    return screen;
}

// Every animation of the unit, decoded, against the viewer's drawings.
void expect_viewer_frames(const std::string& game, const std::string& unit, const std::string& out, int scale,
                          const std::string& extension) {
    const auto sprite_file = test::read_file(game + "/sprites/" + unit + ".SPR");
    const Bytes sprite_bytes(sprite_file.begin(), sprite_file.end());
    const UnitSpriteSet sprites = build_unit_sprite_set(sprite_bytes);
    const Palette colours = palette_from_block_bytes(parse_sprite_set(sprite_bytes).palette_block);
    const auto fin_file = test::read_file(game + "/animate/" + unit + ".FIN");
    DescriptionReading reading;
    reading.overlay_scan = OverlayScan::before_last_record;
    const AnimationDescription description =
        read_animation_description(Bytes(fin_file.begin(), fin_file.end()), reading);
    ASSERT_GE(description.animations.size(), 8u);
    const std::map<int, IndexLine> index = read_index(out + "/animations.txt");

    for (const Animation& animation : description.animations) {
        const int number = static_cast<int>(animation.index);
        SCOPED_TRACE(unit + " animation " + std::to_string(number));
        if (animation.frames.empty()) {
            EXPECT_EQ(index.count(number), 0u);
            continue;
        }
        ASSERT_EQ(index.count(number), 1u);
        const IndexLine& line = index.at(number);
        EXPECT_EQ(line.frames, static_cast<int>(animation.frames.size()));
        EXPECT_TRUE(line.file.ends_with(extension));
        // The sample's frames lie on the viewer's screen.
        ASSERT_GE(line.left, 0);
        ASSERT_GE(line.top, 0);
        ASSERT_LE(line.left + line.width, 640);
        ASSERT_LE(line.top + line.height, 480);

        const Decoded decoded = decode_with_pillow(out + "/" + line.file);
        EXPECT_EQ(decoded.format, extension == ".png" ? "PNG" : "GIF");
        ASSERT_EQ(decoded.width, line.width * scale);
        ASSERT_EQ(decoded.height, line.height * scale);
        EXPECT_EQ(decoded.loop, "0");  // for ever
        ASSERT_EQ(decoded.rgba.size(), animation.frames.size());
        for (std::size_t f = 0; f < animation.frames.size(); ++f) {
            EXPECT_EQ(decoded.durations[f], 100) << "frame " << f;  // the viewer's tick of 0.1 s
            const ImagePtr screen = viewer_drawing(sprites, animation.frames[f].record);
            const auto layout = image_layout(*screen);
            int differing = 0, drawn = 0;
            for (int y = 0; y < decoded.height; ++y) {
                for (int x = 0; x < decoded.width; ++x) {
                    const std::uint8_t index_drawn =
                        image_row(*screen, *layout, static_cast<std::uint32_t>(line.top + y / scale))[line.left + x / scale];
                    const auto* pixel = reinterpret_cast<const std::uint8_t*>(
                        decoded.rgba[f].data() + (static_cast<std::size_t>(y) * decoded.width + x) * 4);
                    if (index_drawn == 0) {
                        if (pixel[3] != 0 && differing++ == 0)
                            ADD_FAILURE() << "at " << x << "," << y << " expected transparent, got alpha " << int(pixel[3]);
                        continue;
                    }
                    ++drawn;
                    const std::uint32_t c = colours[index_drawn];
                    if (pixel[0] != ((c >> 16) & 0xFF) || pixel[1] != ((c >> 8) & 0xFF) || pixel[2] != (c & 0xFF) ||
                        pixel[3] != 255) {
                        if (differing++ == 0)
                            ADD_FAILURE() << "at " << x << "," << y << " index " << int(index_drawn) << " expected colour "
                                          << std::hex << c << std::dec << ", got " << int(pixel[0]) << " " << int(pixel[1])
                                          << " " << int(pixel[2]) << " " << int(pixel[3]);
                    }
                }
            }
            EXPECT_EQ(differing, 0) << "frame " << f << " of " << line.file;
            EXPECT_GT(drawn, 0) << "frame " << f;
        }
    }
}

// The chunks of a PNG file, in order.
std::vector<std::string> chunk_types(const std::string& file) {
    std::vector<std::string> types;
    for (std::size_t at = 8; at + 12 <= file.size();) {
        const auto length = static_cast<std::size_t>(static_cast<std::uint8_t>(file[at]) << 24 |
                                                     static_cast<std::uint8_t>(file[at + 1]) << 16 |
                                                     static_cast<std::uint8_t>(file[at + 2]) << 8 |
                                                     static_cast<std::uint8_t>(file[at + 3]));
        types.push_back(file.substr(at + 4, 4));
        at += 12 + length;
    }
    return types;
}

using Animate = test::SampleGameTest;

TEST_F(Animate, EveryFrameIsTheViewersDrawingAsApngAndGif) {
    for (const std::string unit : {"REAP", "HOVR"}) {
        const std::string apng = dir.file(unit + "-apng");
        test::ProgramRun run = test::run_program_input_open(
            test::quarnel_path(), {"animate", game() + "/animate/" + unit + ".FIN", "--out", apng}, dir.path());
        test::expect_clean_end(run);
        EXPECT_NE(run.output.find("animated "), std::string::npos) << run.output;
        expect_viewer_frames(game(), unit, apng, 1, ".png");

        const std::string gif = dir.file(unit + "-gif");
        run = test::run_program_input_open(
            test::quarnel_path(), {"animate", game() + "/animate/" + unit + ".FIN", "--gif", "--scale", "2", "--out", gif},
            dir.path());
        test::expect_clean_end(run);
        expect_viewer_frames(game(), unit, gif, 2, ".gif");
    }
    // The first frame is the default image: its fcTL comes before IDAT.
    const std::string reap = test::read_file(dir.file("REAP-apng/00_REAPMOVE0.png"));
    const std::vector<std::string> expected = {"IHDR", "acTL", "PLTE", "tRNS", "fcTL", "IDAT", "fcTL", "fdAT",
                                               "fcTL", "fdAT", "fcTL", "fdAT", "IEND"};
    EXPECT_EQ(chunk_types(reap), expected);
    // An animation with no frames gets a line, not a picture.
    const std::string tank_index = test::read_file(dir.file("HOVR-apng/animations.txt"));
    EXPECT_NE(tank_index.find("16 HOVRIDLE: no frames\r\n"), std::string::npos) << tank_index;
    EXPECT_FALSE(fs::exists(dir.file("HOVR-apng/16_HOVRIDLE.png")));
    // Without --out: beside the description, and the sprite set from ../sprites/.
    const test::ProgramRun run =
        test::run_program_input_open(test::quarnel_path(), {"animate", "animate/HOVR.FIN"}, game());
    test::expect_clean_end(run);
    EXPECT_TRUE(fs::exists(game() + "/animate/HOVR_animations/00_HOVRMOVE0.png"));
}

TEST_F(Animate, BadInputGetsALineEachAndTheRestGoesOn) {
    // A raw sprite set of three images: 10 x 10, 5000 x 1 and 1 x 5000.
    std::vector<SamplePicture> pictures(3);
    pictures[0] = SamplePicture{10, 10, 0, 0, std::vector<std::uint8_t>(100, 3)};
    pictures[1] = SamplePicture{5000, 1, 0, 0, std::vector<std::uint8_t>(5000, 4)};
    pictures[2] = SamplePicture{1, 5000, 0, 0, std::vector<std::uint8_t>(5000, 5)};
    const Bytes sprites = write_sprite_set(sample_palette_block(), pictures, false);
    const std::string unit_dir = dir.file("unit");
    fs::create_directories(unit_dir);
    test::write_file(unit_dir + "/ODD.SPR", std::string(sprites.begin(), sprites.end()));
    test::FinFile fin;
    fin.animations = {{"GOOD", 0, 0}, {"LACKS", 1, 2}, {"HUGE", 3, 4}, {"EMPTY", 1, 0}};
    test::FinRecord frame;
    frame.kind = 1;
    for (const int image : {0, 0, 9, 1, 2}) {
        frame.image = static_cast<std::uint8_t>(image);
        fin.records.push_back(frame);
    }
    fin.records.push_back(frame);  // a last record, which the viewer never takes for an overlay
    test::write_file(unit_dir + "/ODD.FIN", test::make_fin(fin));

    test::ProgramRun run = test::run_program_input_open(
        test::quarnel_path(), {"animate", unit_dir + "/ODD.FIN", "--out", dir.file("out")}, dir.path());
    EXPECT_EQ(run.exit_status, 1) << run.output << run.errors;
    EXPECT_NE(run.output.find("01 LACKS: frames 2 name images 9 that the sprite set lacks"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("02 HUGE: its frames need a canvas of 5000 x 5000 pixels"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("03 EMPTY: no frames"), std::string::npos) << run.output;
    EXPECT_NE(run.errors.find("failed "), std::string::npos) << run.errors;
    EXPECT_TRUE(fs::exists(dir.file("out/00_GOOD.png")));
    EXPECT_TRUE(fs::exists(dir.file("out/01_LACKS.png")));
    EXPECT_FALSE(fs::exists(dir.file("out/02_HUGE.png")));
    EXPECT_TRUE(fs::exists(dir.file("out/animations.txt")));
    // Nothing beside the unit's files.
    std::vector<std::string> unit_files;
    for (const auto& entry : fs::directory_iterator(unit_dir)) unit_files.push_back(entry.path().filename().string());
    std::sort(unit_files.begin(), unit_files.end());
    EXPECT_EQ(unit_files, (std::vector<std::string>{"ODD.FIN", "ODD.SPR"}));

    // No sprite set: the line, no folder made.
    fs::create_directories(dir.file("alone"));
    test::write_file(dir.file("alone/LONE.FIN"), test::make_fin(fin));
    run = test::run_program_input_open(test::quarnel_path(), {"animate", dir.file("alone/LONE.FIN")}, dir.path());
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_NE(run.errors.find("no sprite set LONE.spr"), std::string::npos) << run.errors;
    EXPECT_FALSE(fs::exists(dir.file("alone/LONE_animations")));
    // A usage error for a scale out of bounds.
    run = test::run_program_input_open(test::quarnel_path(), {"animate", unit_dir + "/ODD.FIN", "--scale", "17"}, dir.path());
    EXPECT_EQ(run.exit_status, 2);
}

TEST(GifWriter, ANoisyFrameThatFillsTheCodeTableDecodesAsWritten) {
    // 300 x 200 indices of runs and noise: the coder's table fills and
    // starts again many times.
    ImagePtr frame = new_full_header_image(300, 200, 1);
    const auto layout = image_layout(*frame);
    std::uint32_t state = 7;
    for (std::uint32_t y = 0; y < 200; ++y)
        for (std::uint32_t x = 0; x < 300; ++x) {
            state = state * 1103515245u + 12345u;
            image_row(*frame, *layout, y)[x] = static_cast<std::uint8_t>(y < 100 ? (state >> 16) : (x / 7 + y / 3));
        }
    std::array<std::uint32_t, 256> colours{};
    for (std::uint32_t i = 0; i < 256; ++i) colours[i] = 0xFF000000u | i << 16 | (255 - i) << 8 | ((i * 7) & 255);
    const auto gif = gif_encode_animation(1, [&](std::uint32_t) { return frame.get(); }, colours, false, GifAnimationTiming{});
    ASSERT_TRUE(gif.has_value());
    test::TempDir dir;
    test::write_file(dir.file("noise.gif"), std::string(gif->begin(), gif->end()));
    const Decoded decoded = decode_with_pillow(dir.file("noise.gif"));
    ASSERT_EQ(decoded.rgba.size(), 1u);
    ASSERT_EQ(decoded.rgba[0].size(), 300u * 200 * 4);
    int differing = 0;
    for (std::uint32_t y = 0; y < 200; ++y)
        for (std::uint32_t x = 0; x < 300; ++x) {
            const std::uint8_t index = image_row(*frame, *layout, y)[x];
            if (static_cast<std::uint8_t>(decoded.rgba[0][(y * 300 + x) * 4]) != index) ++differing;
        }
    EXPECT_EQ(differing, 0);
}

}  // namespace
}  // namespace quarnel
