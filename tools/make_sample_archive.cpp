// Writes a small sample sprite set (SAMPLE.spr, run-length coded, with
// offsets) and a small tile set (TILES.bts) into the folder given, so that
// extraction can be tried without the game's files:
//   make_sample_archive /tmp/quarnel-sample
//   printf 't\npng\n' | SDL_VIDEODRIVER=dummy quarnel /tmp/quarnel-sample/SAMPLE.spr
#include <cstdio>
#include <string>

#include "runtime/platform/files.h"
#include "runtime/utility/paths.h"
#include "samples/sample_archive.h"

int main(int argc, char** argv) {
    using namespace quarnel;
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_sample_archive <folder>\n");
        return 2;
    }
    const std::string folder = argv[1];
    make_directory(folder);
    const auto block = sample_palette_block();
    const std::string sprite_path = join_path(folder, "SAMPLE.spr");
    const std::string tile_path = join_path(folder, "TILES.bts");
    const auto sprites = write_sprite_set(block, sample_sprites(), true);
    const auto tiles = write_tile_set(0x1770, block, sample_tiles(6));
    if (!write_whole_file(sprite_path, sprites) || !write_whole_file(tile_path, tiles)) {
        std::fprintf(stderr, "cannot write the sample archives into %s\n", folder.c_str());
        return 1;
    }
    std::printf("%s (%zu bytes, %zu sprites)\n%s (%zu bytes, 6 tiles)\n", sprite_path.c_str(), sprites.size(),
                sample_sprites().size(), tile_path.c_str(), tiles.size());
    return 0;
}
