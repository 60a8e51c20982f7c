// quarnel started on an animation description, headless, with the skip
// answer on standard input.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "anim/animation_report.h"
#include "anim/report_fixtures.h"

using namespace quarnel::test;

namespace {

bool is_folder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// A clean end that came through the job's closing line.
void expect_job_finished(const ProgramRun& run) {
    expect_clean_end(run);
    EXPECT_NE(run.output.find("Nacisnij dowolny klawisz.\r\n"), std::string::npos) << run.output;
}

}  // namespace

TEST(AnimationReportJob, WritesTheWholeReportAndTheStartLine) {
    TempDir dir;
    const ReportRun r = run_report(dir, "REAP", make_fin(sample_with_blocks()), "BLOOD");
    expect_job_finished(r.run);
    EXPECT_TRUE(is_folder(dir.file("REAP")));
    ASSERT_TRUE(r.report_written);
    EXPECT_EQ(r.report, sample_with_blocks_report_skipping_blood());
    // The prompt comes without a question mark; the answer is echoed.
    EXPECT_NE(r.run.output.find(skip_prompt_text + "BLOOD\r\n"), std::string::npos) << r.run.output;
    EXPECT_NE(r.run.output.find("start w: 1854\r\n"), std::string::npos) << r.run.output;
    EXPECT_LT(r.run.output.find("start w: "), r.run.output.find("Nacisnij dowolny klawisz."));
    EXPECT_EQ(r.run.output.find("ended before"), std::string::npos);
}

TEST(AnimationReportJob, AnswerIsCutAtTheComma) {
    TempDir dir;
    // "BLOOD, SMOKEY" skips BLOOD only: SMOKEY2 keeps its frame.
    FinFile fin;
    fin.animations = {{"SMOKEY2", 0, 0}, {"XBLOODX", 1, 1}, {"WALK", 2, 2}};
    fin.records = {fin_frame("SMOK", 0), fin_frame("WALK", 2)};
    const ReportRun r = run_report(dir, "TRSC", make_fin(fin), "BLOOD, SMOKEY");
    expect_job_finished(r.run);
    ASSERT_TRUE(r.report_written);
    EXPECT_EQ(r.report, crlf_lines({
                            report_title_line, "",
                            "pozycja: 8", "animacja nr: 0, nazwa: " + padded_name("SMOKEY2"), "klatki: 0-0", "",
                            "pozycja: 68", "pozycja w bloku 3: 68", source_line(0, "SMOK"), "nr obrazka: 1", "",
                            "",
                            "pozycja: 28", "animacja nr: 1, nazwa: " + padded_name("XBLOODX"), "klatki: 1-1", "", "",
                            "pozycja: 48", "animacja nr: 2, nazwa: " + padded_name("WALK"), "klatki: 2-2", "",
                            "pozycja: 90", "pozycja w bloku 3: 396", source_line(2, "WALK"), "nr obrazka: 3", "",
                            "",
                        }));
    EXPECT_NE(r.run.output.find("start w: 112\r\n"), std::string::npos) << r.run.output;

    // SMOKEY alone: the smoke animation goes and the next one takes its record.
    TempDir dir2;
    const ReportRun s = run_report(dir2, "TRSC", make_fin(fin), "SMOKEY");
    expect_job_finished(s.run);
    ASSERT_TRUE(s.report_written);
    EXPECT_NE(s.report.find("klatki: 0-0\r\n\r\n\r\npozycja: 28\r\n"), std::string::npos);
    EXPECT_NE(s.report.find("pozycja: 68\r\npozycja w bloku 3: 232\r\n" + source_line(1, "SMOK")), std::string::npos)
        << s.report;
    EXPECT_NE(s.report.find("pozycja: 90\r\npozycja w bloku 3: 396\r\n" + source_line(2, "WALK")), std::string::npos);
    EXPECT_NE(s.run.output.find("start w: 112\r\n"), std::string::npos);
}

TEST(AnimationReportJob, EmptyAnswerLeavesNothingOutAndShortDataEndsTheReport) {
    TempDir dir;
    const std::string description = make_fin(sample_with_blocks());
    const ReportRun r = run_report(dir, "REAP", description, "");
    expect_job_finished(r.run);
    ASSERT_TRUE(r.report_written);
    const std::string ended = quarnel::animation_file_ended_line(description.size());
    // BLOOD1 reads the last record as its frame 2; frame 3 has none.
    EXPECT_NE(r.report.find(source_line(2, "STND")), std::string::npos);
    EXPECT_EQ(r.report.substr(r.report.size() - ended.size() - 2), ended + "\r\n");
    EXPECT_EQ(r.report.find("EMPTY"), std::string::npos);  // nothing after the end
    EXPECT_NE(r.run.output.find(ended + "\r\nstart w: 1854\r\n"), std::string::npos) << r.run.output;
}

TEST(AnimationReportJob, AnEarlierReportIsReplaced) {
    TempDir dir;
    ASSERT_EQ(::mkdir(dir.file("REAP").c_str(), 0777), 0);
    write_file(dir.file("REAP/REAP.txt"), std::string(20000, 'x'));
    const ReportRun r = run_report(dir, "REAP", make_fin(sample_with_blocks()), "BLOOD");
    expect_job_finished(r.run);
    EXPECT_EQ(r.report, sample_with_blocks_report_skipping_blood());
}

TEST(AnimationReportJob, AReportThatCannotBeWrittenIsSaidSo) {
    TempDir dir;
    write_file(dir.file("REAP"), "a plain file where the report folder should be");
    const ReportRun r = run_report(dir, "REAP", make_fin(sample_with_blocks()), "BLOOD");
    expect_job_finished(r.run);
    EXPECT_FALSE(r.report_written);
    EXPECT_NE(r.run.output.find("Cannot write the report: " + dir.file("REAP/REAP.txt")), std::string::npos)
        << r.run.output;
    EXPECT_NE(r.run.output.find("start w: 1854\r\n"), std::string::npos);
}

TEST(AnimationReportJob, FilesCutShortAtEveryLengthEndCleanly) {
    // A small description: block 1 with one record, two animations (the
    // second with an overlay after its frame), four frame records.
    FinFile fin;
    fin.block_1_count = 1;
    fin.animations = {{"GO", 0, 1}, {"HIT", 2, 2}};
    fin.records = {fin_frame("AAAA", 0), fin_frame("BBBB", 1, 1), fin_frame("CCCC", 2), fin_overlay("DDDD", 3)};
    const std::string whole = make_fin(fin);
    ASSERT_EQ(whole.size(), 8u + 8u + 40u + 88u);
    TempDir dir;
    const ReportRun complete = run_report(dir, "CUT", whole, "");
    expect_job_finished(complete.run);
    EXPECT_NE(complete.run.output.find("start w: 144\r\n"), std::string::npos);
    EXPECT_EQ(complete.run.output.find("ended before"), std::string::npos);

    for (std::size_t length = 0; length < whole.size(); ++length) {
        const ReportRun r = run_report(dir, "CUT", whole.substr(0, length), "");
        SCOPED_TRACE("length " + std::to_string(length));
        expect_job_finished(r.run);
        EXPECT_TRUE(r.run.errors.empty()) << r.run.errors;  // no sanitizer report
        ASSERT_TRUE(r.report_written);
        EXPECT_EQ(r.report.compare(0, report_title_line.size(), report_title_line), 0);
        // Cut between frame 2 and the end of its overlay's kind byte, the
        // data reads as a whole description that ends after frame 2.
        if (length >= 122 && length <= 140) {
            EXPECT_EQ(r.report, complete.report.substr(0, complete.report.size() - overlay_line("DDDD", 4).size() - 6) +
                                    "\r\n\r\n");
            EXPECT_NE(r.run.output.find("start w: 122\r\n"), std::string::npos) << r.run.output;
            continue;
        }
        const std::string ended = quarnel::animation_file_ended_line(length);
        ASSERT_GE(r.report.size(), ended.size() + 2);
        EXPECT_EQ(r.report.substr(r.report.size() - ended.size() - 2), ended + "\r\n");
        // The start line names the end of the last whole frame taken; with
        // no header at all, where an all-zero header puts the frame records.
        const int start = length < 8 ? 8 : length < 78 ? 56 : length < 100 ? 78 : length < 122 ? 100 : 122;
        EXPECT_NE(r.run.output.find(ended + "\r\nstart w: " + std::to_string(start) + "\r\n"), std::string::npos)
            << r.run.output;
    }
}
