// The animation report on any description bytes: byte 0 chooses the text of
// the animations to leave out (none, BLOOD, SMOKEY, or the next bytes up to a
// zero byte). The report starts with its title, ends with CR LF (names are
// copied as stored, so a line may hold any byte), says so when the data ends
// early, and stays in proportion to the data (a small file cannot make a
// huge report).
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "anim/animation_report.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    std::span<const std::uint8_t> description(data + 1, size - 1);
    std::string skip;
    switch (data[0] % 4) {
    case 0: break;
    case 1: skip = "BLOOD"; break;
    case 2: skip = "SMOKEY"; break;
    default:
        while (!description.empty() && description.front() != 0 && skip.size() < 16) {
            skip.push_back(static_cast<char>(description.front()));
            description = description.subspan(1);
        }
        break;
    }
    const quarnel::AnimationReport report = quarnel::make_animation_report(description, skip);
    const std::string& text = report.text;
    if (text.rfind("Opis animacji", 0) != 0) __builtin_trap();
    if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) __builtin_trap();
    if (report.data_size != description.size()) __builtin_trap();
    const std::string ended = quarnel::animation_file_ended_line(report.data_size) + "\r\n";
    const bool says_ended = text.size() >= ended.size() && text.compare(text.size() - ended.size(), ended.size(), ended) == 0;
    if (says_ended != report.ended_early) __builtin_trap();
    // Every frame line comes from a 22-byte record and every animation block
    // from a 20-byte record: the report cannot outgrow the data many times over.
    if (text.size() > 256 + 40 * description.size()) __builtin_trap();
    return 0;
}
