// Makes animation descriptions (.fin) for tests, byte by byte. Every byte
// the program does not interpret is filled with a marker, so that a reader
// that takes a field from the wrong place shows up.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarnel::test {

inline constexpr char fin_filler = static_cast<char>(0xA5);

struct FinAnimation {
    std::string name;            // up to 12 bytes, padded with zero bytes
    std::uint16_t first_frame = 0;
    std::uint16_t last_frame = 0;
};

struct FinRecord {
    std::string archive = "UNIT";  // 4 bytes
    std::uint8_t image = 0;
    std::uint8_t horizontal_reference = 0;
    std::uint8_t vertical_drop = 0;
    std::uint8_t kind = 0;         // 0 or 1 a frame, 2 or more an overlay
    std::uint8_t turned = 0;
};

// An overlay record of the frame before it.
inline FinRecord fin_overlay(std::string archive, std::uint8_t image, std::uint8_t kind = 2) {
    FinRecord r;
    r.archive = std::move(archive);
    r.image = image;
    r.kind = kind;
    return r;
}

struct FinFile {
    std::uint8_t block_1_count = 0;
    std::uint16_t block_3_count = 0;
    std::vector<FinAnimation> animations;
    std::vector<FinRecord> records;
    // Animation count written in the header; the number of animations
    // when negative.
    int announced_animation_count = -1;
};

inline void fin_put16(std::string& out, std::uint16_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}

inline std::string make_fin(const FinFile& fin) {
    std::string out;
    const auto animation_count = fin.announced_animation_count >= 0
                                     ? static_cast<std::uint16_t>(fin.announced_animation_count)
                                     : static_cast<std::uint16_t>(fin.animations.size());
    out += "\x7F\x7E";                     // +0 not interpreted
    fin_put16(out, fin.block_3_count);     // +2
    fin_put16(out, animation_count);       // +4
    out.push_back(static_cast<char>(fin.block_1_count));  // +6
    out.push_back(fin_filler);             // +7
    for (int i = 0; i < fin.block_1_count; ++i) out += std::string(8, static_cast<char>(0xB1));
    for (const FinAnimation& a : fin.animations) {
        std::string name = a.name.substr(0, 12);
        name.resize(12, '\0');
        out += name;                       // +0 name
        out += std::string(4, fin_filler); // +12
        fin_put16(out, a.first_frame);     // +16
        fin_put16(out, a.last_frame);      // +18
    }
    for (int i = 0; i < fin.block_3_count; ++i) out += std::string(164, static_cast<char>(0xB3));
    for (const FinRecord& r : fin.records) {
        std::string archive = r.archive.substr(0, 4);
        archive.resize(4, '\0');
        out += archive;                    // +0
        out += std::string(4, fin_filler); // +4
        out.push_back(static_cast<char>(r.image));                 // +8
        out.push_back(fin_filler);                                 // +9
        out.push_back(static_cast<char>(r.horizontal_reference));  // +10
        out.push_back(fin_filler);                                 // +11
        out.push_back(static_cast<char>(r.vertical_drop));         // +12
        out += std::string(5, fin_filler);                         // +13
        out.push_back(static_cast<char>(r.kind));                  // +18
        out.push_back(fin_filler);                                 // +19
        out.push_back(static_cast<char>(r.turned));                // +20
        out.push_back(fin_filler);                                 // +21
    }
    return out;
}

}  // namespace quarnel::test
