// The report text, made in-process from generated descriptions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "anim/animation_report.h"
#include "anim/report_fixtures.h"

using namespace quarnel;
using namespace quarnel::test;

namespace {

AnimationReport report_of(const std::string& description, std::string_view skip) {
    const std::vector<std::uint8_t> data(description.begin(), description.end());
    return make_animation_report(data, skip);
}

std::string ended_line(std::size_t size) { return animation_file_ended_line(size) + "\r\n"; }

}  // namespace

TEST(AnimationReportText, BlocksOverlaysTurnedFramesLeftOutAndEmptyAnimations) {
    const AnimationReport report = report_of(make_fin(sample_with_blocks()), "BLOOD");
    EXPECT_EQ(report.text, sample_with_blocks_report_skipping_blood());
    EXPECT_EQ(report.start_position, 1854u);
    EXPECT_FALSE(report.ended_early);
}

TEST(AnimationReportText, FirstRecordsLieWhereTheCountsPutThem) {
    // Block 1 count 2, three animations, block 3 count 10: the first
    // animation record at 24 and the first frame record at 1724.
    FinFile fin;
    fin.block_1_count = 2;
    fin.block_3_count = 10;
    fin.animations = {{"A", 0, 0}, {"B", 1, 0}, {"C", 3, 2}};
    fin.records = {fin_frame("ABCD", 0)};
    const AnimationReport report = report_of(make_fin(fin), "");
    EXPECT_EQ(report.text, crlf_lines({
                               report_title_line, "",
                               "pozycja: 24", "animacja nr: 0, nazwa: " + padded_name("A"), "klatki: 0-0", "",
                               "pozycja: 1724", "pozycja w bloku 3: 84", source_line(0, "ABCD"), "nr obrazka: 1", "",
                               "",
                               "pozycja: 44", "animacja nr: 1, nazwa: " + padded_name("B"), "klatki: 1-0", "", "",
                               "pozycja: 64", "animacja nr: 2, nazwa: " + padded_name("C"), "klatki: 3-2", "", "",
                           }));
    EXPECT_EQ(report.start_position, 1746u);
}

TEST(AnimationReportText, SmokeyIsLeftOutAndNamesAreWrittenAsStored) {
    FinFile fin;
    fin.animations = {{std::string("SM\0KEY", 6), 0, 0}, {"SMOKEY2", 1, 1}, {"BLOOD", 2, 2}};
    fin.records = {fin_frame("A\0\0B", 0), fin_frame("BLD!", 1)};
    fin.records[0].archive = std::string("A\0\0B", 4);
    const std::string description = make_fin(fin);
    const AnimationReport report = report_of(description, "SMOKEY");
    EXPECT_EQ(report.text, crlf_lines({
                               report_title_line, "",
                               "pozycja: 8", "animacja nr: 0, nazwa: " + padded_name(std::string("SM\0KEY", 6)),
                               "klatki: 0-0", "",
                               "pozycja: 68", "pozycja w bloku 3: 68", source_line(0, std::string("A\0\0B", 4)),
                               "nr obrazka: 1", "",
                               "",
                               "pozycja: 28", "animacja nr: 1, nazwa: " + padded_name("SMOKEY2"), "klatki: 1-1", "", "",
                               "pozycja: 48", "animacja nr: 2, nazwa: " + padded_name("BLOOD"), "klatki: 2-2", "",
                               "pozycja: 90", "pozycja w bloku 3: 396", source_line(2, "BLD!"), "nr obrazka: 2", "",
                               "",
                           }));
    EXPECT_EQ(report.start_position, 112u);
    EXPECT_EQ(report.start_position, description.size());
}

TEST(AnimationReportText, ReportEndsWithOneLineWhenTheFramesRunOut) {
    // Nothing skipped: BLOOD1 takes the STAND record as its frame 2 and
    // finds no record for frame 3.
    const std::string description = make_fin(sample_with_blocks());
    const AnimationReport report = report_of(description, "");
    EXPECT_TRUE(report.ended_early);
    EXPECT_EQ(report.start_position, 1854u);
    const std::string expected =
        crlf_lines({
            report_title_line, "",
            "pozycja: 24", "animacja nr: 0, nazwa: " + padded_name("WALK"), "klatki: 0-1", "",
            "pozycja: 1744", "pozycja w bloku 3: 104", source_line(0, "UNIT"), "nr obrazka: 1",
            overlay_line("FIRE", 5), overlay_line("SMOK", 10), "",
            "pozycja: 1810", "pozycja w bloku 3: 268", source_line(1, "UNI2"), "nr obrazka: 6" + turned_suffix, "",
            "",
            "pozycja: 44", "animacja nr: 1, nazwa: " + padded_name("BLOOD1"), "klatki: 2-3", "",
            "pozycja: 1832", "pozycja w bloku 3: 432", source_line(2, "STND"), "nr obrazka: 256", "",
        }) +
        ended_line(description.size());
    EXPECT_EQ(report.text, expected);
    EXPECT_EQ(animation_file_ended_line(1854),
              "The file ended before its frames did! Plik skonczyl sie przed koncem klatek, rozmiar: 1854");
}

TEST(AnimationReportText, EveryShortenedFileGivesAPrefixOfTheWholeReportAndTheEndLine) {
    const std::string description = make_fin(sample_with_blocks());
    const std::string whole = report_of(description, "BLOOD").text;
    std::size_t previous_prefix = 0;
    for (std::size_t length = 0; length < description.size(); ++length) {
        const AnimationReport report = report_of(description.substr(0, length), "BLOOD");
        ASSERT_TRUE(report.ended_early) << length;
        const std::string end = ended_line(length);
        ASSERT_GE(report.text.size(), end.size()) << length;
        ASSERT_EQ(report.text.substr(report.text.size() - end.size()), end) << length;
        std::string before = report.text.substr(0, report.text.size() - end.size());
        // A file that ends right after a frame record cannot tell whether
        // overlays would have followed: the frame's closing empty line may
        // stand where the longer file has its overlay lines.
        while (before.size() >= 4 && before.compare(before.size() - 4, 4, "\r\n\r\n") == 0) before.resize(before.size() - 2);
        ASSERT_EQ(whole.compare(0, before.size(), before), 0) << "length " << length << ": not a prefix";
        EXPECT_GE(before.size(), previous_prefix) << length;  // more data never reports less
        EXPECT_GE(before.size(), report_title_line.size() + 2) << length;
        previous_prefix = before.size();
        EXPECT_LE(report.start_position, std::max<std::uint64_t>(length, 1744)) << length;
    }
}

TEST(AnimationReportText, CutInsideAnOverlayKeepsTheOverlaysRead) {
    const std::string description = make_fin(sample_with_blocks());
    // Frame 0 and overlay FIRE whole; SMOK cut after its kind byte.
    const std::size_t length = 1744 + 22 + 22 + 19;
    const AnimationReport report = report_of(description.substr(0, length), "BLOOD");
    EXPECT_EQ(report.text, crlf_lines({
                               report_title_line, "",
                               "pozycja: 24", "animacja nr: 0, nazwa: " + padded_name("WALK"), "klatki: 0-1", "",
                               "pozycja: 1744", "pozycja w bloku 3: 104", source_line(0, "UNIT"), "nr obrazka: 1",
                               overlay_line("FIRE", 5),
                           }) + ended_line(length));
    EXPECT_EQ(report.start_position, 1744u + 44u);
}

TEST(AnimationReportText, DamagedBytesNeverLeadOutsideTheData) {
    // Every byte of a small description zeroed, set and inverted in turn.
    FinFile fin;
    fin.block_1_count = 1;
    fin.block_3_count = 1;
    fin.animations = {{"WALK", 0, 1}, {"BLOOD", 2, 2}, {"RUN", 3, 3}};
    fin.records = {fin_frame("AAAA", 1), fin_overlay("BBBB", 2), fin_frame("CCCC", 3, 1), fin_frame("DDDD", 4)};
    const std::string description = make_fin(fin);
    for (std::size_t at = 0; at < description.size(); ++at) {
        for (int change = 0; change < 3; ++change) {
            std::string damaged = description;
            const auto byte = static_cast<unsigned char>(damaged[at]);
            damaged[at] = static_cast<char>(change == 0 ? 0x00 : change == 1 ? 0xFF : (byte ^ 0xFF));
            const AnimationReport report = report_of(damaged, change == 2 ? "" : "BLOOD");
            ASSERT_EQ(report.text.compare(0, report_title_line.size(), report_title_line), 0) << at;
            ASSERT_EQ(report.text.substr(report.text.size() - 2), "\r\n") << at;
            if (report.ended_early) {
                EXPECT_NE(report.text.find(animation_file_ended_line(damaged.size())), std::string::npos) << at;
            } else {
                EXPECT_LE(report.start_position, damaged.size()) << at;
            }
        }
    }
}
