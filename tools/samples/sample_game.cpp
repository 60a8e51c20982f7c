#include "samples/sample_game.h"

#include <array>
#include <cmath>

#include "archive/run_length_encode.h"
#include "runtime/platform/files.h"
#include "runtime/utility/byte_reader.h"
#include "runtime/utility/paths.h"
#include "samples/sample_archive.h"

namespace quarnel {

namespace {

using Bytes = std::vector<std::uint8_t>;

// A small deterministic generator, so that every run makes the same game.
class Noise {
public:
    explicit Noise(std::uint32_t seed) : state_(seed) {}
    std::uint32_t next() {
        state_ = state_ * 1664525u + 1013904223u;
        return state_ >> 8;
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint32_t>(n)); }

private:
    std::uint32_t state_;
};

// An 8-bit picture being drawn: palette indices, 0 transparent.
struct Canvas {
    int width;
    int height;
    Bytes pixels;
    Canvas(int w, int h) : width(w), height(h), pixels(static_cast<std::size_t>(w * h), 0) {}
    void set(int x, int y, std::uint8_t index) {
        if (x >= 0 && y >= 0 && x < width && y < height) pixels[static_cast<std::size_t>(y * width + x)] = index;
    }
    std::uint8_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
    void ellipse(double cx, double cy, double rx, double ry, std::uint8_t index) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const double dx = (x + 0.5 - cx) / rx, dy = (y + 0.5 - cy) / ry;
                if (dx * dx + dy * dy <= 1.0) set(x, y, index);
            }
    }
    void line(double x1, double y1, double x2, double y2, std::uint8_t index) {
        const int steps = static_cast<int>(std::ceil(std::max(std::fabs(x2 - x1), std::fabs(y2 - y1)))) + 1;
        for (int i = 0; i <= steps; ++i) {
            const double t = static_cast<double>(i) / steps;
            set(static_cast<int>(std::lround(x1 + (x2 - x1) * t)), static_cast<int>(std::lround(y1 + (y2 - y1) * t)),
                index);
        }
    }
};

// Palette entries the sample uses (6-bit components).
namespace colour {
constexpr std::uint8_t sand = 1;        // 1..15 sand ramp
constexpr std::uint8_t grass = 32;      // 32..47 greens
constexpr std::uint8_t stone = 64;      // 64..71 greys
constexpr std::uint8_t road = 80;       // 80..87 browns
constexpr std::uint8_t ruin = 96;       // 96..99 dark reds
constexpr std::uint8_t water = 201;     // 201..207 cycle
constexpr std::uint8_t body = 210;      // 210..215 unit greens
constexpr std::uint8_t blood = 220;     // 220..223 reds
constexpr std::uint8_t flash = 230;     // 230..232 yellows
constexpr std::uint8_t white = 255;
}  // namespace colour

std::array<std::array<std::uint8_t, 3>, 256> sample_palette() {
    std::array<std::array<std::uint8_t, 3>, 256> p{};
    auto put = [&](int i, int r, int g, int b) {
        p[static_cast<std::size_t>(i)] = {static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                                          static_cast<std::uint8_t>(b)};
    };
    for (int i = 0; i < 15; ++i) put(colour::sand + i, 40 + i, 33 + i, 18 + i / 2);
    for (int i = 0; i < 16; ++i) put(colour::grass + i, 8 + i / 2, 22 + i, 6 + i / 3);
    for (int i = 0; i < 8; ++i) put(colour::stone + i, 20 + 4 * i, 20 + 4 * i, 22 + 4 * i);
    for (int i = 0; i < 8; ++i) put(colour::road + i, 26 + 2 * i, 18 + 2 * i, 10 + i);
    for (int i = 0; i < 4; ++i) put(colour::ruin + i, 24 + 6 * i, 8 + 2 * i, 6 + i);
    // Marker colours of the viewer.
    put(72, 63, 63, 0);
    put(103, 63, 0, 0);
    put(121, 63, 32, 0);
    put(200, 63, 0, 63);
    for (int k = 0; k < 7; ++k) put(colour::water + k, 2 + 2 * k, 12 + 3 * k, 30 + 4 * k);
    for (int i = 0; i < 6; ++i) put(colour::body + i, 6 + 3 * i, 30 + 5 * i, 20 + 3 * i);
    for (int i = 0; i < 4; ++i) put(colour::blood + i, 40 + 7 * i, 4 + i, 4 + i);
    for (int i = 0; i < 3; ++i) put(colour::flash + i, 63, 50 + 6 * i, 10 + 20 * i);
    put(colour::white, 63, 63, 63);
    return p;
}

// A palette as an archive's palette block stores it.
std::array<std::uint8_t, 768> palette_block(const std::array<std::array<std::uint8_t, 3>, 256>& palette) {
    std::array<std::uint8_t, 768> block{};
    std::size_t at = 0;
    for (const auto& entry : palette)
        for (const std::uint8_t component : entry) block[at++] = component;
    return block;
}

// A sprite set of these pictures (run-length coded or raw), each at the
// x offset, by the one sprite-set writer of the samples.
Bytes sprite_set_of(const std::vector<Canvas>& images, std::uint16_t x_offset, bool run_length) {
    std::vector<SamplePicture> pictures;
    for (const Canvas& c : images)
        pictures.push_back(SamplePicture{static_cast<std::uint16_t>(c.width), static_cast<std::uint16_t>(c.height), x_offset,
                                         0, c.pixels});
    return write_sprite_set(palette_block(sample_palette()), pictures, run_length);
}

// A tile of a tile set: its 32-bit value and its 32 x 32 picture.
SampleTile tile_of(std::uint32_t value, const Canvas& c) {
    SampleTile tile;
    tile.tile_value = value;
    std::copy(c.pixels.begin(), c.pixels.end(), tile.indices.begin());
    return tile;
}

// ---- Tiles ----------------------------------------------------------------

enum Tile : int {
    sand_plain,
    sand_dark,
    rock,
    water,
    shore,         // water on the left, sand on the right
    shore_corner,  // water in the top-left corner
    road_edge,     // road on the left, then a kerb and sand
    grass,
    bush,          // overlay
    wreck,         // overlay, leaning to one side
    sand_twin,     // carries the key of sand_plain: never shown, the first tile wins
    tile_kinds
};

std::uint16_t tile_key(int tile) {
    if (tile == sand_twin) return tile_key(sand_plain);
    return static_cast<std::uint16_t>(100 + 3 * tile);
}

Canvas draw_tile(int tile, Noise& noise) {
    Canvas c(32, 32);
    auto sand_ground = [&](int base) {
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) c.set(x, y, static_cast<std::uint8_t>(colour::sand + base + noise.below(4)));
    };
    switch (tile) {
        case sand_plain: sand_ground(6); break;
        case sand_dark:
            sand_ground(6);
            c.ellipse(12, 18, 9, 6, colour::sand + 2);
            c.ellipse(24, 8, 5, 4, colour::sand + 3);
            break;
        case rock:
            sand_ground(6);
            c.ellipse(16, 17, 12, 10, colour::stone + 2);
            c.ellipse(13, 14, 7, 5, colour::stone + 5);
            c.ellipse(11, 12, 2, 2, colour::stone + 7);
            break;
        case water:
        case shore:
        case shore_corner:
            for (int y = 0; y < 32; ++y)
                for (int x = 0; x < 32; ++x) {
                    // Diagonal bands of the cycling colours make the waves move.
                    const std::uint8_t wave = static_cast<std::uint8_t>(colour::water + (x + 2 * y) / 3 % 7);
                    bool is_water = true;
                    if (tile == shore) is_water = x < 14 + static_cast<int>(3 * std::sin(y / 5.0));
                    if (tile == shore_corner) is_water = (x * x + y * y) < 20 * 20;
                    c.set(x, y, is_water ? wave : static_cast<std::uint8_t>(colour::sand + 8 + noise.below(3)));
                }
            break;
        case road_edge:
            for (int y = 0; y < 32; ++y)
                for (int x = 0; x < 32; ++x) {
                    const int edge = 22;
                    std::uint8_t index = static_cast<std::uint8_t>(colour::road + 2 + noise.below(3));
                    if (x == edge || x == edge + 1) index = colour::stone + 6;
                    if (x > edge + 1) index = static_cast<std::uint8_t>(colour::sand + 6 + noise.below(4));
                    c.set(x, y, index);
                }
            break;
        case grass:
            for (int y = 0; y < 32; ++y)
                for (int x = 0; x < 32; ++x) c.set(x, y, static_cast<std::uint8_t>(colour::grass + 4 + noise.below(8)));
            break;
        case bush:
            c.ellipse(16, 18, 11, 9, colour::grass + 2);
            c.ellipse(13, 15, 6, 5, colour::grass + 9);
            c.ellipse(20, 20, 3, 3, colour::grass + 12);
            break;
        case wreck:
            for (int i = 0; i < 3; ++i) c.line(4 + 2 * i, 28, 22 + 2 * i, 6, colour::ruin + static_cast<std::uint8_t>(i));
            c.ellipse(24, 8, 4, 4, colour::ruin + 3);
            c.line(4, 28, 14, 28, colour::stone + 1);
            break;
        case sand_twin:
            for (int y = 0; y < 32; ++y)
                for (int x = 0; x < 32; ++x) c.set(x, y, (x == y || x == 31 - y) ? colour::blood : colour::white);
            break;
        default: break;
    }
    return c;
}

Bytes make_tile_set() {
    Noise noise(5100);
    std::vector<SampleTile> tiles;
    for (int tile = 0; tile < tile_kinds; ++tile)
        // The high half of the tile value is not a key; keep something there.
        tiles.push_back(tile_of((static_cast<std::uint32_t>(tile) << 16) | tile_key(tile), draw_tile(tile, noise)));
    return write_tile_set(5100, palette_block(sample_palette()), tiles);  // the desert tile-set code
}

// ---- Map ------------------------------------------------------------------

struct MapCellSpec {
    int ground = sand_plain;
    int overlay = -1;
    std::uint8_t first_value = 0x80;  // 0x80 and above: open ground, no marker
    std::uint8_t second_value = 0;
};

Bytes make_map() {
    Noise noise(4030);
    const int w = sample_map_width, h = sample_map_height;
    std::vector<MapCellSpec> cells(static_cast<std::size_t>(w * h));
    auto at = [&](int x, int y) -> MapCellSpec& { return cells[static_cast<std::size_t>(y * w + x)]; };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            MapCellSpec& c = at(x, y);
            c.ground = noise.below(4) == 0 ? sand_dark : sand_plain;
            if (x > 22 && x < 31 && y > 18) c.ground = grass;
        }
    // A river running down from the top, two or three cells wide.
    for (int y = 0; y < h; ++y) {
        const int left = 8 + y / 3;
        for (int x = left; x < left + 3; ++x) {
            MapCellSpec& c = at(x, y);
            c.ground = water;
            c.first_value = 0x00;  // water cannot be crossed: a marker below 0x80
        }
        // Shore on either side: as stored (water left) on the right bank,
        // mirrored (water right) on the left bank through value 0x60.
        at(left + 3, y).ground = shore;
        at(left + 3, y).first_value = 0x10;
        at(left - 1, y).ground = shore;
        at(left - 1, y).first_value = 0x60;
    }
    // A road down the map, two cells wide: the right half as stored (road
    // on the left of its kerb), the left half mirrored through 0xA0.
    for (int y = 0; y < h; ++y) {
        at(33, y).ground = road_edge;
        at(33, y).first_value = 0x80;
        at(32, y).ground = road_edge;
        at(32, y).first_value = 0xA0;
    }
    // Rocks (blocked: second value 0x02) and bushes and wrecks as overlays.
    for (int i = 0; i < 45; ++i) {
        MapCellSpec& c = at(noise.below(w), noise.below(h));
        if (c.ground != sand_plain && c.ground != sand_dark && c.ground != grass) continue;
        switch (noise.below(4)) {
            case 0:
                c.ground = rock;
                c.second_value = 0x02;
                break;
            case 1:
                c.overlay = bush;
                c.first_value = 0x80;
                break;
            case 2:
                c.overlay = bush;
                c.first_value = 0xC1;  // ground and bush mirrored
                break;
            default:
                c.overlay = wreck;
                c.first_value = noise.below(2) ? 0xE0 : 0x80;
                c.second_value = 0x31;  // a special cell
                break;
        }
    }
    at(25, 8).ground = shore_corner;
    at(25, 8).first_value = 0x00;

    Bytes out;
    put_u16le(out, static_cast<std::uint16_t>(w));
    put_u16le(out, 0);
    put_u16le(out, static_cast<std::uint16_t>(h));
    put_u16le(out, 0);
    for (const MapCellSpec& c : cells) {
        put_u16le(out, tile_key(c.ground));
        put_u16le(out, c.overlay < 0 ? 0 : tile_key(c.overlay));
    }
    for (const MapCellSpec& c : cells) {
        put_u8(out, c.first_value);
        put_u8(out, c.second_value);
    }
    return out;
}

// ---- Unit -----------------------------------------------------------------

constexpr int unit_width = 40;
constexpr int unit_height = 48;
constexpr std::uint16_t unit_x_offset = 134;  // frames appear at x = 16 + 134
constexpr std::uint8_t turned_reference = 232; // turned frames at x = 232 - 82
constexpr int stored_directions = 5;           // 0, 2, 4, 6, 8; 10, 12, 14 are turned
constexpr int move_frames = 4, fire_frames = 2, die_frames = 3;
constexpr int images_per_direction = move_frames + fire_frames + die_frames;

enum class Action { move, fire, die };

Canvas draw_unit(int stored_direction, Action action, int step) {
    // Direction numbers run clockwise from down (0) to up (8).
    static constexpr double facing[stored_directions][2] = {{0, 1}, {-0.7, 0.7}, {-1, 0}, {-0.7, -0.7}, {0, -1}};
    const double fx = facing[stored_direction][0], fy = facing[stored_direction][1];
    Canvas c(unit_width, unit_height);
    const double cx = 20, cy = 32;
    if (action == Action::die) {
        const double shrink = 1.0 - 0.25 * step;
        c.ellipse(cx, cy + 3 * step, 15, 5 + 2 * step, static_cast<std::uint8_t>(colour::blood + step));
        c.ellipse(cx, cy + 2 * step, 12 * shrink, 10 * shrink, colour::body + 1);
        return c;
    }
    // Legs: four phases of a walk.
    const double swing = action == Action::move ? 3.0 * std::sin(step * 1.5708) : 0.0;
    for (int side : {-1, 1}) {
        c.line(cx + 6 * side, cy + 5, cx + 8 * side + swing * side, cy + 15, colour::body);
        c.line(cx + 7 * side, cy + 5, cx + 9 * side + swing * side, cy + 15, colour::body);
    }
    c.ellipse(cx, cy, 13, 10, colour::body + 2);
    c.ellipse(cx + 4 * fx, cy - 2 + 4 * fy, 6, 5, colour::body + 5);
    // The gun points the way the unit faces; the eye light cycles.
    c.line(cx, cy - 5, cx + 17 * fx, cy - 5 + 17 * fy, colour::stone + 7);
    c.line(cx + 1, cy - 5, cx + 1 + 17 * fx, cy - 5 + 17 * fy, colour::stone + 6);
    c.ellipse(cx + 5 * fx, cy - 4 + 5 * fy, 1.5, 1.5, colour::water + 6);
    if (action == Action::fire && step == 1) {
        c.ellipse(cx + 19 * fx, cy - 5 + 19 * fy, 4, 4, colour::flash);
        c.ellipse(cx + 19 * fx, cy - 5 + 19 * fy, 2, 2, colour::flash + 2);
    }
    return c;
}

int image_number(int stored_direction, Action action, int step) {
    const int base = stored_direction * images_per_direction;
    if (action == Action::move) return base + step;
    if (action == Action::fire) return base + move_frames + step;
    return base + move_frames + fire_frames + step;
}

Bytes make_unit_sprites() {
    std::vector<Canvas> images;
    for (int d = 0; d < stored_directions; ++d) {
        for (int s = 0; s < move_frames; ++s) images.push_back(draw_unit(d, Action::move, s));
        for (int s = 0; s < fire_frames; ++s) images.push_back(draw_unit(d, Action::fire, s));
        for (int s = 0; s < die_frames; ++s) images.push_back(draw_unit(d, Action::die, s));
    }
    return sprite_set_of(images, unit_x_offset, true);
}

void put_name(Bytes& out, std::string_view name, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) put_u8(out, i < name.size() ? static_cast<std::uint8_t>(name[i]) : 0);
}

void put_frame_record(Bytes& out, std::string_view archive, std::uint8_t image, std::uint8_t reference,
                      std::uint8_t drop, std::uint8_t kind, bool turned) {
    put_name(out, archive, 4);
    put_u32le(out, 0);
    put_u8(out, image);
    put_u8(out, 0);
    put_u8(out, reference);
    put_u8(out, 0);
    put_u8(out, drop);
    for (int i = 0; i < 5; ++i) put_u8(out, 0);
    put_u8(out, kind);
    put_u8(out, 0);
    put_u8(out, turned ? 1 : 0);
    put_u8(out, 0);
}

Bytes make_unit_animations() {
    struct AnimationSpec {
        std::string name;
        int first, last;
    };
    std::vector<AnimationSpec> animations;
    Bytes frames;
    int frame_number = 0;
    const char* action_names[] = {"MOVE", "FIRE", "DIEB"};
    const Action actions[] = {Action::move, Action::fire, Action::die};
    const int steps[] = {move_frames, fire_frames, die_frames};
    for (int a = 0; a < 3; ++a) {
        for (int direction = 0; direction <= 14; direction += 2) {
            // 10, 12 and 14 show the pictures of 6, 4 and 2 turned.
            const bool turned = direction > 8;
            const int stored = (turned ? 16 - direction : direction) / 2;
            std::string name = std::string(sample_unit_name) + action_names[a];
            // A zero byte inside a name is dropped by the viewer.
            if (actions[a] == Action::fire) name += '\0';
            name += std::to_string(direction);
            animations.push_back({name, frame_number, frame_number + steps[a] - 1});
            for (int s = 0; s < steps[a]; ++s, ++frame_number) {
                const auto image = static_cast<std::uint8_t>(image_number(stored, actions[a], s));
                const auto drop = static_cast<std::uint8_t>(actions[a] == Action::die ? 2 * s : 0);
                put_frame_record(frames, sample_unit_name, image, turned_reference, drop, 1, turned);
                // The muzzle flash of another archive: an overlay record.
                if (actions[a] == Action::fire && s == 1) put_frame_record(frames, "FLSH", 0, 0, 0, 2, false);
            }
        }
        // An animation the viewer leaves out for this unit; it has no frame
        // records of its own in the file.
        if (a == 0) animations.push_back({std::string(sample_unit_name) + "BLOOD", 0, 1});
    }
    // Read with nothing left out, the BLOOD animation takes two frame
    // records of the file, and every later animation reads two records
    // further on: two more records at the end (the last animation's last
    // two frames again) give the last animation all its records then too.
    // The viewer, which leaves BLOOD out, never reaches them.
    const std::size_t record_size = 22;
    const Bytes last_two(frames.end() - static_cast<std::ptrdiff_t>(2 * record_size), frames.end());
    frames.insert(frames.end(), last_two.begin(), last_two.end());
    const int frame_count = frame_number;
    const std::uint8_t block_1_count = 2;
    Bytes out;
    put_u16le(out, 1);
    put_u16le(out, static_cast<std::uint16_t>(frame_count));  // block 3: one record per frame number
    put_u16le(out, static_cast<std::uint16_t>(animations.size()));
    put_u8(out, block_1_count);
    put_u8(out, 0);
    out.resize(out.size() + 8 * block_1_count, 0);
    for (const AnimationSpec& a : animations) {
        put_name(out, a.name, 12);
        put_u32le(out, 0);
        put_u16le(out, static_cast<std::uint16_t>(a.first));
        put_u16le(out, static_cast<std::uint16_t>(a.last));
    }
    out.resize(out.size() + 164 * static_cast<std::size_t>(frame_count), 0);
    out.insert(out.end(), frames.begin(), frames.end());
    return out;
}

// ---- The second unit: a tank of raw pictures -------------------------------

constexpr int tank_width = 48;
constexpr int tank_height = 40;
constexpr std::uint16_t tank_x_offset = 130;
constexpr int tank_move_frames = 2, tank_fire_frames = 2;

Canvas draw_tank(int stored_direction, bool firing, int step) {
    static constexpr double facing[stored_directions][2] = {{0, 1}, {-0.7, 0.7}, {-1, 0}, {-0.7, -0.7}, {0, -1}};
    const double fx = facing[stored_direction][0], fy = facing[stored_direction][1];
    Canvas c(tank_width, tank_height);
    const double cx = 24, cy = 24;
    // Tracks that move on, a body, a turret with its gun.
    for (int side : {-1, 1})
        for (int i = 0; i < 5; ++i)
            c.ellipse(cx + 15 * side, cy - 10 + 5 * i + (step % 2) * 2, 3, 2,
                      static_cast<std::uint8_t>(colour::stone + 1 + (i + step) % 2));
    c.ellipse(cx, cy, 12, 12, colour::road + 4);
    c.ellipse(cx, cy, 7, 7, colour::road + 7);
    c.line(cx, cy, cx + 18 * fx, cy + 18 * fy, colour::stone + 7);
    if (firing && step == 1) c.ellipse(cx + 21 * fx, cy + 21 * fy, 3, 3, colour::flash + 1);
    return c;
}

Bytes make_tank_sprites() {
    std::vector<Canvas> images;
    for (int d = 0; d < stored_directions; ++d) {
        for (int s = 0; s < tank_move_frames; ++s) images.push_back(draw_tank(d, false, s));
        for (int s = 0; s < tank_fire_frames; ++s) images.push_back(draw_tank(d, true, s));
    }
    return sprite_set_of(images, tank_x_offset, false);
}

Bytes make_tank_animations() {
    struct AnimationSpec {
        std::string name;
        int first, last;
    };
    std::vector<AnimationSpec> animations;
    Bytes frames;
    int frame_number = 0;
    const std::string unit(sample_second_unit_name);
    for (int a = 0; a < 2; ++a) {
        const int steps = a == 0 ? tank_move_frames : tank_fire_frames;
        for (int direction = 0; direction <= 14; direction += 2) {
            const bool turned = direction > 8;
            const int stored = (turned ? 16 - direction : direction) / 2;
            animations.push_back({unit + (a == 0 ? "MOVE" : "FIRE") + std::to_string(direction), frame_number,
                                  frame_number + steps - 1});
            for (int s = 0; s < steps; ++s, ++frame_number) {
                const auto image = static_cast<std::uint8_t>(stored * (tank_move_frames + tank_fire_frames) +
                                                             (a == 0 ? 0 : tank_move_frames) + s);
                put_frame_record(frames, unit, image, turned_reference, 0, 0, turned);
            }
        }
    }
    // An animation that names no frames: the report and the catalogue list it.
    animations.push_back({unit + "IDLE", 1, 0});
    Bytes out;
    put_u16le(out, 1);
    put_u16le(out, static_cast<std::uint16_t>(frame_number));
    put_u16le(out, static_cast<std::uint16_t>(animations.size()));
    put_u8(out, 0);
    put_u8(out, 0);
    for (const AnimationSpec& a : animations) {
        put_name(out, a.name, 12);
        put_u32le(out, 0);
        put_u16le(out, static_cast<std::uint16_t>(a.first));
        put_u16le(out, static_cast<std::uint16_t>(a.last));
    }
    out.resize(out.size() + 164 * static_cast<std::size_t>(frame_number), 0);
    out.insert(out.end(), frames.begin(), frames.end());
    return out;
}

// ---- The jungle: its own colours, tiles and keys, and a map ----------------

std::array<std::array<std::uint8_t, 3>, 256> swamp_palette() {
    auto p = sample_palette();
    // Dark earth where the desert has sand, and green water.
    for (int i = 0; i < 15; ++i) p[static_cast<std::size_t>(colour::sand + i)] = {static_cast<std::uint8_t>(14 + i),
                                                                                   static_cast<std::uint8_t>(12 + i),
                                                                                   static_cast<std::uint8_t>(6 + i / 2)};
    for (int k = 0; k < 7; ++k)
        p[static_cast<std::size_t>(colour::water + k)] = {static_cast<std::uint8_t>(4 + k), static_cast<std::uint8_t>(20 + 3 * k),
                                                          static_cast<std::uint8_t>(16 + 2 * k)};
    return p;
}

enum SwampTile : int { swamp_floor, swamp_dense, swamp_mud, swamp_river, swamp_tree, swamp_kinds };

std::uint16_t swamp_key(int tile) { return static_cast<std::uint16_t>(400 + 3 * tile); }

Bytes make_swamp_tile_set() {
    Noise noise(6000);
    std::vector<SampleTile> tiles;
    for (int tile = 0; tile < swamp_kinds; ++tile) {
        Canvas c(32, 32);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                std::uint8_t index = static_cast<std::uint8_t>(colour::grass + 2 + noise.below(6));
                if (tile == swamp_dense) index = static_cast<std::uint8_t>(colour::grass + noise.below(3));
                if (tile == swamp_mud) index = static_cast<std::uint8_t>(colour::sand + 3 + noise.below(5));
                if (tile == swamp_river) index = static_cast<std::uint8_t>(colour::water + (2 * x + y) / 4 % 7);
                if (tile == swamp_tree) index = 0;
                c.set(x, y, index);
            }
        if (tile == swamp_tree) {
            c.ellipse(16, 14, 12, 11, colour::grass + 1);
            c.ellipse(12, 10, 5, 4, colour::grass + 14);
            c.line(16, 24, 16, 31, colour::road);
        }
        tiles.push_back(tile_of(swamp_key(tile), c));
    }
    return write_tile_set(6000, palette_block(swamp_palette()), tiles);  // the code of any name but desert and jungle
}

Bytes make_swamp_map() {
    Noise noise(2418);
    const int w = 24, h = 18;
    Bytes out;
    put_u16le(out, static_cast<std::uint16_t>(w));
    put_u16le(out, 0);
    put_u16le(out, static_cast<std::uint16_t>(h));
    put_u16le(out, 0);
    std::vector<std::uint8_t> first_values;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int ground = noise.below(3) == 0 ? swamp_dense : swamp_floor;
            if (std::abs(x - 12 - y / 4) <= 1) ground = swamp_river;
            if (x > 17 && y > 11) ground = swamp_mud;
            const bool tree = ground != swamp_river && noise.below(6) == 0;
            put_u16le(out, swamp_key(ground));
            put_u16le(out, tree ? swamp_key(swamp_tree) : 0);
            first_values.push_back(ground == swamp_river ? 0x00 : 0x80);
        }
    for (const std::uint8_t value : first_values) {
        put_u8(out, value);
        put_u8(out, 0);
    }
    return out;
}

// ---- Containers -------------------------------------------------------------

Bytes make_icon_set() {
    // .trs: three 16 x 16 icons of raw indices.
    std::vector<Canvas> icons;
    for (int i = 0; i < 3; ++i) {
        Canvas c(16, 16);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) c.set(x, y, static_cast<std::uint8_t>(colour::stone + (x + y) / 5));
        c.ellipse(8, 8, 5 - i, 5 - i, static_cast<std::uint8_t>(colour::blood + i));
        icons.push_back(c);
    }
    Bytes out(8, 0);
    put_u16le(out, static_cast<std::uint16_t>(icons.size()));
    out.resize(32, 0);
    for (const Canvas& c : icons) {
        put_u32le(out, 0);
        put_u16le(out, static_cast<std::uint16_t>(c.width));
        put_u16le(out, static_cast<std::uint16_t>(c.height));
        out.resize(out.size() + 8, 0);
    }
    for (const Canvas& c : icons) out.insert(out.end(), c.pixels.begin(), c.pixels.end());
    return out;
}

struct ItemSpec {
    std::string name;
    Bytes bytes;
};

Bytes make_container(const std::vector<ItemSpec>& items, bool named) {
    Bytes out(8, 0);
    put_u16le(out, static_cast<std::uint16_t>(items.size()));
    out.resize(32, 0);
    for (const ItemSpec& item : items) {
        const auto size = static_cast<std::uint32_t>(item.bytes.size());
        if (named) {
            put_name(out, item.name, 16);
            put_u32le(out, 0);
            put_u8(out, static_cast<std::uint8_t>(size));
            put_u8(out, static_cast<std::uint8_t>(size >> 8));
            put_u8(out, static_cast<std::uint8_t>(size >> 16));
            out.resize(out.size() + 9, 0);
        } else {
            put_u32le(out, 0);
            put_u8(out, static_cast<std::uint8_t>(size));
            put_u8(out, static_cast<std::uint8_t>(size >> 8));
            put_u8(out, static_cast<std::uint8_t>(size >> 16));
            out.resize(out.size() + 9, 0);
        }
    }
    for (const ItemSpec& item : items) out.insert(out.end(), item.bytes.begin(), item.bytes.end());
    return out;
}

// A .pal item: 256 colours of 8-bit components.
Bytes pal_item(const std::array<std::array<std::uint8_t, 3>, 256>& six_bit) {
    Bytes out;
    for (const auto& entry : six_bit)
        for (const std::uint8_t component : entry) put_u8(out, static_cast<std::uint8_t>(component * 4 + (component ? 3 : 0)));
    return out;
}

Bytes make_screens() {
    // A title screen of 640 x 480 with bands and a frame, and a button.
    Bytes screen(std::size_t{640} * 480);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            std::uint8_t index = static_cast<std::uint8_t>(colour::grass + (y / 30) % 16);
            if (x < 8 || x >= 632 || y < 8 || y >= 472) index = colour::white;
            if (std::abs(x - 320) < 140 && std::abs(y - 240) < 40) index = static_cast<std::uint8_t>(colour::ruin + (x / 20) % 4);
            screen[static_cast<std::size_t>(y * 640 + x)] = index;
        }
    Canvas button(64, 24);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 64; ++x) button.set(x, y, (x < 2 || y < 2 || x > 61 || y > 21) ? colour::white : colour::stone + 3);
    button.line(20, 12, 44, 12, colour::flash);
    Bytes button_item;
    put_u16le(button_item, 64);
    put_u16le(button_item, 24);
    button_item.resize(12, 0);
    button_item.insert(button_item.end(), button.pixels.begin(), button.pixels.end());
    const std::string credits = "Sample game of quarnel: every picture drawn by the project.\r\n";
    return make_container({{"TITLE.PAL", pal_item(sample_palette())},
                           {"TITLE.SCR", screen},
                           {"BUTTON.PAL", pal_item(swamp_palette())},
                           {"BUTTON.SPR", button_item},
                           {"CREDITS.TXT", Bytes(credits.begin(), credits.end())}},
                          true);
}

Bytes make_sounds() {
    std::vector<ItemSpec> items;
    for (int i = 0; i < 3; ++i) {
        Bytes tone;
        for (int t = 0; t < 200 + 50 * i; ++t) tone.push_back(static_cast<std::uint8_t>(128 + 100 * std::sin(t * (0.2 + 0.1 * i))));
        items.push_back({std::to_string(i + 1), tone});
    }
    return make_container(items, false);
}

bool write_file(const std::string& path, const Bytes& bytes, std::string& error) {
    if (write_whole_file(path, bytes)) return true;
    error = "cannot write " + path;
    return false;
}

}  // namespace

SampleGame make_sample_game() {
    SampleGame game;
    game.unit_sprites = make_unit_sprites();
    game.unit_animations = make_unit_animations();
    game.tile_set = make_tile_set();
    game.map = make_map();
    game.second_unit_sprites = make_tank_sprites();
    game.second_unit_animations = make_tank_animations();
    game.second_tile_set = make_swamp_tile_set();
    game.second_map = make_swamp_map();
    game.raw_image_set = make_icon_set();
    game.named_container = make_screens();
    game.numbered_container = make_sounds();
    return game;
}

std::string sample_map_path(std::string_view folder) {
    return join_path(join_path(folder, "scenario"), "SAMPLE.MAP");
}

bool write_sample_game(std::string_view folder, const SampleGame& game, std::string& error) {
    for (const char* sub : {"sprites", "animate", "scenario", "interface"}) {
        if (!make_folders(join_path(folder, sub))) {
            error = "cannot create " + join_path(folder, sub);
            return false;
        }
    }
    const std::string unit = std::string(sample_unit_name);
    return write_file(join_path(join_path(folder, "sprites"), unit + ".SPR"), game.unit_sprites, error) &&
           write_file(join_path(join_path(folder, "animate"), unit + ".FIN"), game.unit_animations, error) &&
           write_file(join_path(join_path(folder, "scenario"), "DESERT.BTS"), game.tile_set, error) &&
           write_file(sample_map_path(folder), game.map, error) &&
           write_file(join_path(join_path(folder, "sprites"), std::string(sample_second_unit_name) + ".SPR"),
                      game.second_unit_sprites, error) &&
           write_file(join_path(join_path(folder, "animate"), std::string(sample_second_unit_name) + ".FIN"),
                      game.second_unit_animations, error) &&
           write_file(join_path(join_path(folder, "scenario"), "SWAMP.BTS"), game.second_tile_set, error) &&
           write_file(join_path(join_path(folder, "scenario"), "SWAMP.MAP"), game.second_map, error) &&
           write_file(join_path(join_path(folder, "interface"), "ICONS.TRS"), game.raw_image_set, error) &&
           write_file(join_path(join_path(folder, "interface"), "SCREENS.TRC"), game.named_container, error) &&
           write_file(join_path(join_path(folder, "interface"), "SOUNDS.TRW"), game.numbered_container, error);
}

}  // namespace quarnel
