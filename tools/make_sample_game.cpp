// Writes the invented sample game folder for the map viewer:
//   make_sample_game FOLDER
// makes FOLDER/sprites/REAP.SPR, FOLDER/animate/REAP.FIN,
// FOLDER/scenario/DESERT.BTS and FOLDER/scenario/SAMPLE.MAP.
#include <cstdio>
#include <filesystem>
#include <string>

#include "samples/sample_game.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample_game FOLDER\n");
        return 2;
    }
    std::error_code code;
    std::string folder = std::filesystem::absolute(argv[1], code).lexically_normal().string();
    if (code) folder = argv[1];
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    std::string error;
    if (!quarnel::write_sample_game(folder, quarnel::make_sample_game(), error)) {
        std::fprintf(stderr, "make_sample_game: %s\n", error.c_str());
        return 1;
    }
    std::printf("sample game written to %s\n", folder.c_str());
    std::printf("put the line DCpath=%s into setup.txt beside quarnel, then run:\n", folder.c_str());
    std::printf("  quarnel %s   (answers: REAP, desert)\n", quarnel::sample_map_path(folder).c_str());
    return 0;
}
