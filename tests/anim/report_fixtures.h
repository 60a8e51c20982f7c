// Shared pieces of the report tests: sample descriptions, the expected
// report lines, and a run of the program on a description.
#pragma once

#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>

#include "anim/fin_maker.h"
#include "support/run_program.h"

namespace quarnel::test {

// Report lines joined, each ending in CR LF.
inline std::string crlf_lines(std::initializer_list<std::string_view> lines) {
    std::string out;
    for (std::string_view line : lines) {
        out += line;
        out += "\r\n";
    }
    return out;
}

inline std::string padded_name(std::string_view name) {
    std::string out(name);
    out.resize(12, '\0');
    return out;
}

inline const std::string report_title_line = "Opis animacji wykonany przez DC quarnel converter by tarnwicker.";
// Windows-1250: \x9F z with acute, \xF3 o with acute, \xB3 l with stroke.
inline std::string source_line(int k, std::string_view archive) {
    return "klatka nr: " + std::to_string(k) + ", \x9Fr\xF3" "d\xB3o spr: " + std::string(archive) + ".spr";
}
inline std::string overlay_line(std::string_view archive, int image) {
    return "nak\xB3" "adka: " + std::string(archive) + ".spr, nr obrazka: " + std::to_string(image);
}
inline const std::string turned_suffix = ", obr\xF3" "cone";

inline FinRecord fin_frame(std::string archive, std::uint8_t image, std::uint8_t turned = 0, std::uint8_t kind = 0) {
    FinRecord r;
    r.archive = std::move(archive);
    r.image = image;
    r.turned = turned;
    r.kind = kind;
    return r;
}

// Block 1 with two records, block 3 with ten; four animations:
//   0 WALK     frames 0-1: frame 0 with two overlays, frame 1 turned
//   1 BLOOD1   frames 2-3 (left out when BLOOD is skipped)
//   2 STAND    frame 4, image byte 255
//   3 EMPTY    frames 7-6, none
// Animation records start at 24, block 3 at 104, frame records at 1744.
inline FinFile sample_with_blocks() {
    FinFile fin;
    fin.block_1_count = 2;
    fin.block_3_count = 10;
    fin.animations = {{"WALK", 0, 1}, {"BLOOD1", 2, 3}, {"STAND", 4, 4}, {"EMPTY", 7, 6}};
    fin.records = {
        fin_frame("UNIT", 0),
        fin_overlay("FIRE", 4),
        fin_overlay("SMOK", 9, 7),
        fin_frame("UNI2", 5, 1, 1),
        fin_frame("STND", 255),
    };
    return fin;
}

// Its report with BLOOD skipped; ends at 1854.
inline std::string sample_with_blocks_report_skipping_blood() {
    return crlf_lines({
        report_title_line, "",
        "pozycja: 24", "animacja nr: 0, nazwa: " + padded_name("WALK"), "klatki: 0-1", "",
        "pozycja: 1744", "pozycja w bloku 3: 104", source_line(0, "UNIT"), "nr obrazka: 1",
        overlay_line("FIRE", 5), overlay_line("SMOK", 10), "",
        "pozycja: 1810", "pozycja w bloku 3: 268", source_line(1, "UNI2"), "nr obrazka: 6" + turned_suffix, "",
        "",
        "pozycja: 44", "animacja nr: 1, nazwa: " + padded_name("BLOOD1"), "klatki: 2-3", "",
        "",
        "pozycja: 64", "animacja nr: 2, nazwa: " + padded_name("STAND"), "klatki: 4-4", "",
        "pozycja: 1832", "pozycja w bloku 3: 760", source_line(4, "STND"), "nr obrazka: 256", "",
        "",
        "pozycja: 84", "animacja nr: 3, nazwa: " + padded_name("EMPTY"), "klatki: 7-6", "",
        "",
    });
}

struct ReportRun {
    ProgramRun run;
    std::string report;       // the report file's bytes
    bool report_written = false;
};

// Writes the description as dir/<base>.fin, runs quarnel on it with the
// skip answer, and reads dir/<base>/<base>.txt.
inline ReportRun run_report(const TempDir& dir, const std::string& base, const std::string& description,
                            const std::string& answer) {
    const std::string path = dir.file(base + ".fin");
    write_file(path, description);
    ReportRun out;
    out.run = run_program(quarnel_path(), {path}, answer + "\n", dir.path());
    const std::string report_path = dir.path() + "/" + base + "/" + base + ".txt";
    if (std::FILE* f = std::fopen(report_path.c_str(), "rb")) {
        std::fclose(f);
        out.report_written = true;
        out.report = read_file(report_path);
    }
    return out;
}

inline const std::string skip_prompt_text = "pomijana animacja: (BLOOD, SMOKEY ...) ";

}  // namespace quarnel::test
