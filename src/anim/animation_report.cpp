// The animation report job: reads the description, writes the report into
// the folder named after the input and says where the frame records ended.
#include "anim/animation_report.h"

#include <utility>

#include "anim/animation_description.h"
#include "runtime/platform/files.h"
#include "runtime/utility/paths.h"
#include "runtime/utility/text.h"

namespace quarnel {

namespace {

// Polish letters in Windows-1250: \x9F is z with acute, \xF3 o with acute,
// \xB3 l with stroke.
constexpr std::string_view report_title = "Opis animacji wykonany przez DC quarnel converter by tarnwicker.";
constexpr std::string_view source_label = ", \x9Fr\xF3" "d\xB3o spr: ";
constexpr std::string_view turned_label = ", obr\xF3" "cone";
constexpr std::string_view overlay_label = "nak\xB3" "adka: ";

class ReportLines {
public:
    void line(std::string_view text) {
        text_ += text;
        text_ += "\r\n";
    }
    void empty() { text_ += "\r\n"; }
    std::string take() { return std::move(text_); }

private:
    std::string text_;
};

void write_frame(ReportLines& out, const AnimationHeader& header, const AnimationFrame& frame) {
    const FrameRecord& r = frame.record;
    out.line("pozycja: " + decimal_text(r.position));
    out.line("pozycja w bloku 3: " + decimal_text(header.block_3_record_position(frame.frame_number)));
    out.line("klatka nr: " + decimal_text(frame.frame_number) + std::string(source_label) + r.archive_name + ".spr");
    std::string image_line = "nr obrazka: " + decimal_text(std::uint64_t{r.image_number} + 1);
    if (r.turned()) image_line += turned_label;
    out.line(image_line);
    for (const FrameRecord& overlay : frame.overlays)
        out.line(std::string(overlay_label) + overlay.archive_name + ".spr, nr obrazka: " +
                 decimal_text(std::uint64_t{overlay.image_number} + 1));
}

}  // namespace

std::string animation_file_ended_line(std::uint64_t data_size) {
    return std::string(animation_file_ended_message) + decimal_text(data_size);
}

AnimationReport make_animation_report(std::span<const std::uint8_t> description, std::string_view skip_text) {
    DescriptionReading reading;
    const std::string skip(skip_text);
    reading.is_left_out = [&skip](const AnimationRecord& record) { return stored_name_contains(record, skip); };
    const AnimationDescription d = read_animation_description(description, reading);

    ReportLines out;
    out.line(report_title);
    out.empty();

    const std::size_t animation_total = d.animations.size();
    for (std::size_t a = 0; a < animation_total; ++a) {
        const Animation& animation = d.animations[a];
        const AnimationRecord& record = animation.record;
        const bool last_read = a + 1 == animation_total;
        out.line("pozycja: " + decimal_text(record.position));
        out.line("animacja nr: " + decimal_text(animation.index) + ", nazwa: " + record.name);
        out.line("klatki: " + decimal_text(record.first_frame) + "-" + decimal_text(record.last_frame));
        out.empty();
        for (std::size_t f = 0; f < animation.frames.size(); ++f) {
            write_frame(out, d.header, animation.frames[f]);
            // A frame whose overlays ran past the data gets no closing line:
            // the report ends right after what was read.
            const bool cut_here = last_read && f + 1 == animation.frames.size() && d.end == DescriptionEnd::in_overlay;
            if (!cut_here) out.empty();
        }
        // The animation during whose frames the data ended stops there.
        const bool frames_cut = last_read && (d.end == DescriptionEnd::in_frame || d.end == DescriptionEnd::in_overlay);
        if (!frames_cut) out.empty();
    }

    AnimationReport report;
    report.ended_early = d.ended_early();
    report.data_size = d.data_size;
    if (report.ended_early) out.line(animation_file_ended_line(d.data_size));
    report.text = out.take();
    report.start_position = d.frame_records_end;
    return report;
}

JobOutcome write_animation_report(const ReportRequest& request, const LineSink& say) {
    JobOutcome outcome;
    const auto content = read_whole_file(request.description_path);
    if (!content) {
        say_read_failure(content.error(), say);
        say("No file found! Nie ma takiego pliku! " + request.description_path);
        outcome.ok = false;
        return outcome;
    }

    const std::string& folder = request.output_folder;
    if (!file_exists(folder)) make_directory(folder);  // an existing folder simply stays

    const AnimationReport report = make_animation_report(*content, request.skip_text);

    // The report replaces an earlier one. A report that cannot be written is
    // said so on the screen rather than lost without a word.
    const std::string report_path = folder + request.base_name + ".txt";
    const WriteResult written = write_whole_file(report_path, report.text);
    if (written) {
        outcome.written = 1;
    } else {
        say("Nie mozna zapisac raportu! Cannot write the report: " + report_path + ": " + written.error().message);
        outcome.write_failed(report_path, written.error().message);
    }
    outcome.output = report_path;

    if (report.ended_early) say(animation_file_ended_line(report.data_size));
    say("start w: " + decimal_text(report.start_position));
    return outcome;
}

}  // namespace quarnel
