// quarnel's command mode: the same jobs as an interactive start, on every
// file named, with their requests filled from the options. Each file gets
// one line that says what was done; the exit status tells a script whether
// all went well.
#include "entry/command_mode.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "anim/animate.h"
#include "anim/animation_report.h"
#include "archive/extraction.h"
#include "builder/archive_builder.h"
#include "builder/folder_check.h"
#include "catalogue/catalogue.h"
#include "entry/setup_file.h"
#include "entry/startup.h"
#include "entry/version.h"
#include "mapview/map_picture.h"
#include "mapview/map_viewer.h"
#include "runtime/platform/files.h"
#include "runtime/screen/console.h"
#include "runtime/screen/screen.h"
#include "runtime/utility/paths.h"
#include "runtime/utility/text.h"
#include "runtime/utility/worker_pool.h"

namespace quarnel {

namespace {

constexpr int graphics_mode_640x480 = 18;

constexpr std::string_view usage_lines =
    "Usage: quarnel FILE [-p PALETTE.bmp] [-r] [-i] [-c] [--nearest]\n"
    "         one file, the job chosen by its extension; questions on the console\n"
    "       quarnel extract [--centre | --no-centre] [--png | --bmp] [-i] [-p IMAGE]\n"
    "                       [--raw COUNT WIDTH HEIGHT] [--palette-files] FILE...\n"
    "       quarnel build [--nearest] FOLDER_OR_PICTURE...\n"
    "       quarnel check [--nearest] FOLDER_OR_PICTURE...\n"
    "       quarnel report [--skip WORD] FILE...\n"
    "       quarnel map FILE.map --tiles NAME [--markers 0|1|2] [--grid] [--png OUT.png]\n"
    "       quarnel view FILE.map [--unit NAME] [--tiles NAME]\n"
    "       quarnel animate UNIT.fin [--sprites UNIT.spr] [--out FOLDER] [--scale N] [--gif]\n"
    "       quarnel catalogue GAME_FOLDER [--out FOLDER]\n"
    "       quarnel --help | --version\n"
    "Commands ask nothing, wait for no key and open no window (but view); they print\n"
    "one line per file and exit with 0 when every file succeeded, 1 when any failed,\n"
    "2 on a usage error. setup.txt (DCpath=GAME_FOLDER, for map and view) is read\n"
    "beside the program, then in $XDG_CONFIG_HOME/quarnel/ (or ~/.config/quarnel/).\n"
    "check writes nothing: it says what a build of the folder would pack, leave out\n"
    "or change, with 0 when a build keeps every pixel as drawn, else 1. --nearest\n"
    "(build, check, and an interactive start on a picture) moves colours that\n"
    "palette.bmp lacks to its nearest colour instead of index 0.\n";

// A usage error: its reason and the usage of the command it concerns.
struct UsageError {
    std::string reason;
    std::string usage;
};

std::string command_usage(std::string_view command) {
    if (command == "extract")
        return "quarnel extract [--centre | --no-centre] [--png | --bmp] [-i] [-p IMAGE] [--raw COUNT WIDTH HEIGHT] "
               "[--palette-files] FILE...";
    if (command == "build") return "quarnel build [--nearest] FOLDER_OR_PICTURE...";
    if (command == "check") return "quarnel check [--nearest] FOLDER_OR_PICTURE...";
    if (command == "report") return "quarnel report [--skip WORD] FILE...";
    if (command == "map") return "quarnel map FILE.map --tiles NAME [--markers 0|1|2] [--grid] [--png OUT.png]";
    if (command == "animate") return "quarnel animate UNIT.fin [--sprites UNIT.spr] [--out FOLDER] [--scale N] [--gif]";
    if (command == "catalogue") return "quarnel catalogue GAME_FOLDER [--out FOLDER]";
    return "quarnel view FILE.map [--unit NAME] [--tiles NAME]";
}

int report_usage_error(const UsageError& error, const CommandConsole& console) {
    console.error("quarnel: " + error.reason + "\nUsage: " + error.usage + "\nTry 'quarnel --help'.\n");
    return 2;
}

// The words of one command: options with their values, and the operands.
class CommandWords {
public:
    CommandWords(std::string command, std::vector<std::string> words)
        : command_(std::move(command)), words_(std::move(words)) {}

    // Walks the words; on_option gets each option word and may take values
    // with value(); everything else (and all after "--") is an operand.
    std::optional<UsageError> parse(const std::function<bool(const std::string&)>& on_option) {
        bool options_end = false;
        for (at_ = 0; at_ < words_.size(); ++at_) {
            const std::string& word = words_[at_];
            if (!options_end && word == "--") {
                options_end = true;
            } else if (!options_end && word.size() > 1 && word[0] == '-') {
                if (!on_option(word)) return error_ ? error_ : error("unknown option '" + word + "'");
                if (error_) return error_;
            } else {
                operands.push_back(word);
            }
        }
        return std::nullopt;
    }

    // The word after the current option; records a usage error when none.
    std::string value(const std::string& option) {
        if (at_ + 1 >= words_.size()) {
            if (!error_) error_ = error("option '" + option + "' needs a value");
            return {};
        }
        return words_[++at_];
    }

    UsageError error(const std::string& reason) const { return UsageError{reason, command_usage(command_)}; }

    std::vector<std::string> operands;

private:
    std::string command_;
    std::vector<std::string> words_;
    std::size_t at_ = 0;
    std::optional<UsageError> error_;
};

bool is_count(const std::string& word) {
    if (word.empty() || word.size() > 9) return false;
    for (char c : word)
        if (c < '0' || c > '9') return false;
    return true;
}

std::string count_text(std::uint64_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

// The first problem of a job that met several, and how many more there were.
std::string problems_text(const std::string& first, std::size_t problems) {
    return first + (problems > 1 ? " (and " + count_text(problems - 1, "more problem", "more problems") + ")" : std::string());
}

// A word as a typed answer would be taken: its first item.
std::string first_item(const std::string& word) {
    std::size_t at = 0;
    return take_input_item(word, at);
}

// What one file of a command says: its lines on standard output and its
// failed line on standard error, in order. A command of one file says them
// at once; files run side by side keep theirs until their turn.
class Said {
public:
    virtual ~Said() = default;
    virtual void line(std::string_view text) = 0;
    virtual void error(std::string_view text) = 0;

    void done(const std::string& text) { line(text); }
    // A failed file: its line goes to standard error, where a script's
    // redirected output does not hide it.
    void failed(const std::string& name, const std::string& reason) { error("failed " + name + ": " + reason + "\n"); }
    LineSink sink() {
        return [this](std::string_view text) { line(text); };
    }
};

// Said straight to the command's console.
class SaidAtOnce final : public Said {
public:
    explicit SaidAtOnce(const CommandConsole& console) : console_(console) {}
    void line(std::string_view text) override { console_.line(text); }
    void error(std::string_view text) override { console_.error(text); }

private:
    const CommandConsole& console_;
};

// Said by a file that runs beside others: kept, and handed to the front-end's
// thread, which says the lines of the file whose turn it is as they come.
class SaidInTurn final : public Said {
public:
    void line(std::string_view text) override { add(false, text); }
    void error(std::string_view text) override { add(true, text); }
    void finish() {
        std::lock_guard lock(mutex_);
        finished_ = true;
        changed_.notify_all();
    }
    // Says everything, waiting for more until the file is done.
    void say_all(const CommandConsole& console) {
        std::size_t said = 0;
        for (;;) {
            std::vector<std::pair<bool, std::string>> batch;
            bool finished = false;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return finished_ || texts_.size() > said; });
                batch.assign(texts_.begin() + static_cast<std::ptrdiff_t>(said), texts_.end());
                said = texts_.size();
                finished = finished_;
            }
            for (const auto& [is_error, text] : batch) {
                if (is_error)
                    console.error(text);
                else
                    console.line(text);
            }
            if (finished && batch.empty()) return;
        }
    }

private:
    void add(bool is_error, std::string_view text) {
        std::lock_guard lock(mutex_);
        texts_.emplace_back(is_error, std::string(text));
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::pair<bool, std::string>> texts_;
    bool finished_ = false;
};

// Finds and classifies one input; a missing file or one of another kind
// than the command takes is a failure (said, and nothing then).
std::optional<InputFile> take_file(const std::string& name, InputKind wanted, std::string_view what, bool raw,
                                   Said& said) {
    if (!is_plain_file(name)) {
        const std::string unusable = unusable_name_reason(name);
        said.failed(name, (unusable.empty() ? "" : "the system cannot take this name (" + unusable + "); ") +
                              "no such file | nie ma takiego pliku");
        return std::nullopt;
    }
    InputFile input = take_input(name, raw, said.sink());
    if (input.kind != wanted) {
        said.failed(name, "not " + std::string(what));
        return std::nullopt;
    }
    return input;
}

// ---------------------------------------------------------------------------

// The extraction request of one archive, as the options fill it.
struct ExtractOptions {
    bool centre = true, bmp = false, keep_indices = false, raw = false, palette_files = false;
    std::uint32_t raw_count = 0, raw_width = 0, raw_height = 0;
    std::string palette_path;  // absolute; empty: the archive's own palette
};

// One archive of an extract command: its lines and its failed line to said.
// True when it succeeded.
bool extract_one(const std::string& name, const ExtractOptions& options, unsigned threads, Said& said) {
    const std::optional<InputFile> input =
        take_file(name, InputKind::archive, "an archive (.spr .bts .trs .trc .trw, or any file with --raw)", options.raw,
                  said);
    if (!input) return false;
    ExtractionRequest request = extraction_request(*input);
    request.centre = options.centre;
    request.bmp = options.bmp;
    request.raw_count = options.raw_count;
    request.raw_width = options.raw_width;
    request.raw_height = options.raw_height;
    request.palette_image = options.palette_path;
    request.keep_indices = options.keep_indices;
    request.palette_files = options.palette_files;
    request.threads = threads;
    const JobOutcome outcome = extract_archive(request, said.sink());
    if (outcome.ok) {
        said.done("extracted " + name + ": " + count_text(outcome.written, "file", "files") + " in " + outcome.output);
        return true;
    }
    if (outcome.failed_writes > 0) {
        said.failed(name, outcome.first_failure + " (" + count_text(outcome.failed_writes, "file", "files") +
                              " not written, " + std::to_string(outcome.written) + " written in " + outcome.output + ")");
    } else {
        said.failed(name, count_text(outcome.written, "file", "files") + " written in " + outcome.output +
                              ", not all that the archive holds");
    }
    return false;
}

// Archives that write into one folder (the same file named twice, or a.spr
// beside a.bts) run one after the other, in the order given: the key of
// that folder, ignoring letter case.
std::string output_folder_key(const std::string& name) {
    const std::string path = absolute_path(name);
    return text_lower(text_left(path, static_cast<std::int64_t>(text_length(path)) - 4));
}

// Several archives side by side: as many at a time as there are threads,
// each coding its own pictures; their lines are said in the order given,
// those of the archive whose turn it is as they come.
int extract_side_by_side(const std::vector<std::string>& names, const ExtractOptions& options, unsigned threads,
                         const CommandConsole& console) {
    // Runs of archives that share a folder, each run in order on one thread.
    std::vector<std::vector<std::size_t>> runs;
    std::vector<std::string> run_keys;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string key = output_folder_key(names[i]);
        const auto found = std::find(run_keys.begin(), run_keys.end(), key);
        if (found != run_keys.end()) {
            runs[static_cast<std::size_t>(found - run_keys.begin())].push_back(i);
        } else {
            run_keys.push_back(key);
            runs.push_back({i});
        }
    }
    const unsigned side_by_side = static_cast<unsigned>(std::min<std::size_t>(threads, runs.size()));
    const unsigned threads_each = std::max(1u, threads / side_by_side);
    std::vector<SaidInTurn> said(names.size());
    std::vector<char> succeeded(names.size(), 0);
    std::mutex next_mutex;
    std::size_t next_run = 0;
    auto work = [&] {
        for (;;) {
            std::size_t run = 0;
            {
                std::lock_guard lock(next_mutex);
                if (next_run == runs.size()) return;
                run = next_run++;
            }
            for (const std::size_t i : runs[run]) {
                succeeded[i] = extract_one(names[i], options, threads_each, said[i]) ? 1 : 0;
                said[i].finish();
            }
        }
    };
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < side_by_side; ++t) workers.emplace_back(work);
    for (SaidInTurn& one : said) one.say_all(console);
    for (std::thread& worker : workers) worker.join();
    return std::all_of(succeeded.begin(), succeeded.end(), [](char ok) { return ok != 0; }) ? 0 : 1;
}

int run_extract(CommandWords& words, const CommandConsole& console) {
    ExtractOptions options;
    std::string palette_image, raw_count, raw_width, raw_height;
    if (auto error = words.parse([&](const std::string& option) {
            if (option == "--centre") options.centre = true;
            else if (option == "--no-centre") options.centre = false;
            else if (option == "--png") options.bmp = false;
            else if (option == "--bmp") options.bmp = true;
            else if (option == "-i") options.keep_indices = true;
            else if (option == "--palette-files") options.palette_files = true;
            else if (option == "-p") palette_image = words.value(option);
            else if (option == "--raw") {
                options.raw = true;
                raw_count = words.value(option);
                raw_width = words.value(option);
                raw_height = words.value(option);
            } else return false;
            return true;
        }))
        return report_usage_error(*error, console);
    if (options.raw && !(is_count(raw_count) && is_count(raw_width) && is_count(raw_height)))
        return report_usage_error(words.error("--raw takes three whole numbers: COUNT WIDTH HEIGHT"), console);
    if (words.operands.empty()) return report_usage_error(words.error("no FILE given"), console);
    if (!palette_image.empty() && !is_plain_file(palette_image))
        return report_usage_error(words.error("no palette image '" + palette_image + "'"), console);
    if (options.raw) {
        options.raw_count = static_cast<std::uint32_t>(std::stoul(raw_count));
        options.raw_width = static_cast<std::uint32_t>(std::stoul(raw_width));
        options.raw_height = static_cast<std::uint32_t>(std::stoul(raw_height));
    }
    // The palette image as given, from the current folder when relative.
    if (!palette_image.empty()) options.palette_path = absolute_path(palette_image);

    const unsigned threads = configured_thread_count();
    if (words.operands.size() > 1 && threads > 1) return extract_side_by_side(words.operands, options, threads, console);
    int status = 0;
    SaidAtOnce said(console);
    for (const std::string& name : words.operands)
        if (!extract_one(name, options, threads, said)) status = 1;
    return status;
}

// The folder a build or check operand names: a folder, or a picture
// standing for its folder. Nothing (and a failed line) for anything else.
std::optional<BuilderInput> folder_to_build(const std::string& name, Said& said) {
    BuilderInput input;
    if (is_folder(name)) {
        // A folder stands for any picture in it.
        std::string folder = absolute_path(name);
        while (folder.size() > 1 && folder.back() == path_separator) folder.pop_back();
        input.input_dir = folder + path_separator;
        input.input_path = input.input_dir;
        input.input_folder_name = path_file_name(folder);
        return input;
    }
    const std::optional<InputFile> picture = take_file(name, InputKind::picture, "a folder or a picture (.png)", false, said);
    if (!picture) return std::nullopt;
    input.input_path = picture->path;
    input.input_dir = picture->dir;
    input.input_folder_name = picture->folder_name;
    return input;
}

// The options of build and check: --nearest alone.
std::optional<UsageError> nearest_option(CommandWords& words, bool& nearest) {
    if (auto error = words.parse([&](const std::string& option) {
            if (option != "--nearest") return false;
            nearest = true;
            return true;
        }))
        return error;
    if (words.operands.empty()) return words.error("no FOLDER_OR_PICTURE given");
    return std::nullopt;
}

int run_build(CommandWords& words, const CommandConsole& console) {
    bool nearest = false;
    if (auto error = nearest_option(words, nearest)) return report_usage_error(*error, console);
    const BuilderConsole builder_console{console.line, [](int) {}};
    const unsigned threads = configured_thread_count();
    SaidAtOnce said(console);
    int status = 0;
    for (const std::string& name : words.operands) {
        std::optional<BuilderInput> input = folder_to_build(name, said);
        if (!input) {
            status = 1;
            continue;
        }
        input->nearest = nearest;
        input->threads = threads;
        const BuilderOutcome outcome = run_builder(*input, builder_console);
        if (outcome.written && outcome.damaged == 0) {
            said.done("built " + outcome.output_path + ": " + count_text(outcome.pictures, "picture", "pictures") + ", " +
                      count_text(outcome.archive_size, "byte", "bytes"));
        } else {
            said.failed(name, outcome.written    ? count_text(outcome.damaged, "picture", "pictures") +
                                                       " could not be read and were stored empty in " + outcome.output_path
                              : !outcome.failure.empty() ? outcome.failure
                                                         : std::string("no archive written"));
            status = 1;
        }
    }
    return status;
}

int run_check(CommandWords& words, const CommandConsole& console) {
    bool nearest = false;
    if (auto error = nearest_option(words, nearest)) return report_usage_error(*error, console);
    SaidAtOnce said(console);
    int status = 0;
    for (const std::string& name : words.operands) {
        std::optional<BuilderInput> input = folder_to_build(name, said);
        if (!input) {
            status = 1;
            continue;
        }
        input->nearest = nearest;
        const CheckOutcome outcome = check_build_folder(*input, console.line);
        if (outcome.keeps_everything()) {
            said.done("checked " + name + ": a build keeps every pixel as drawn (" +
                      count_text(outcome.pictures, "picture", "pictures") + ")");
        } else {
            said.failed(name, "a build would not keep every pixel as drawn (" +
                                  count_text(outcome.findings, "finding", "findings") + " above)");
            status = 1;
        }
    }
    return status;
}

int run_report(CommandWords& words, const CommandConsole& console) {
    std::string skip;
    if (auto error = words.parse([&](const std::string& option) {
            if (option != "--skip") return false;
            skip = words.value(option);
            return true;
        }))
        return report_usage_error(*error, console);
    if (words.operands.empty()) return report_usage_error(words.error("no FILE given"), console);
    SaidAtOnce said(console);
    int status = 0;
    for (const std::string& name : words.operands) {
        const std::optional<InputFile> input =
            take_file(name, InputKind::animation, "an animation description (.fin)", false, said);
        if (!input) {
            status = 1;
            continue;
        }
        ReportRequest request;
        request.description_path = input->path;
        request.skip_text = first_item(skip);
        request.output_folder = input->dir + input->base_name + path_separator;
        request.base_name = input->base_name;
        const JobOutcome outcome = write_animation_report(request, console.line);
        if (outcome.ok) {
            said.done("reported " + name + ": " + outcome.output);
        } else {
            said.failed(name, outcome.first_failure.empty() ? std::string("no report written") : outcome.first_failure);
            status = 1;
        }
    }
    return status;
}

// The one map operand of map and view.
std::optional<UsageError> one_map(const CommandWords& words) {
    if (words.operands.empty()) return words.error("no FILE.map given");
    if (words.operands.size() > 1) return words.error("one FILE.map only");
    return std::nullopt;
}

int run_map(CommandWords& words, const CommandConsole& console) {
    MapPictureRequest request;
    bool tiles_given = false, markers_bad = false;
    if (auto error = words.parse([&](const std::string& option) {
            if (option == "--tiles") {
                request.tile_set_name = words.value(option);
                tiles_given = true;
            } else if (option == "--markers") {
                const std::string value = words.value(option);
                if (value == "0" || value == "1" || value == "2") request.markers = static_cast<std::uint8_t>(value[0] - '0');
                else markers_bad = !value.empty();
            } else if (option == "--grid") {
                request.grid = true;
            } else if (option == "--png") {
                request.png_path = words.value(option);
            } else {
                return false;
            }
            return true;
        }))
        return report_usage_error(*error, console);
    if (markers_bad) return report_usage_error(words.error("--markers takes 0, 1 or 2"), console);
    if (auto error = one_map(words)) return report_usage_error(*error, console);
    if (!tiles_given) return report_usage_error(words.error("--tiles NAME is needed"), console);

    const std::string& name = words.operands.front();
    SaidAtOnce said(console);
    const std::optional<InputFile> input = take_file(name, InputKind::scenario_map, "a scenario map (.map)", false, said);
    if (!input) return 1;
    request.game_dir = read_setup(program_directory(), console.line);
    request.map_path = input->path;
    if (request.png_path.empty()) request.png_path = input->dir + input->base_name + ".png";
    const MapPictureOutcome outcome = draw_map_file(request, console.line);
    if (!outcome.ok) {
        said.failed(name, outcome.failure);
        return 1;
    }
    said.done("drew " + name + ": " + std::to_string(outcome.width) + " x " + std::to_string(outcome.height) +
              " cells in " + request.png_path);
    return 0;
}

int run_view(CommandWords& words, const CommandConsole& console) {
    std::string unit, tiles_name;
    if (auto error = words.parse([&](const std::string& option) {
            if (option == "--unit") unit = words.value(option);
            else if (option == "--tiles") tiles_name = words.value(option);
            else return false;
            return true;
        }))
        return report_usage_error(*error, console);
    if (auto error = one_map(words)) return report_usage_error(*error, console);
    const std::string& name = words.operands.front();
    SaidAtOnce said(console);
    const std::optional<InputFile> input = take_file(name, InputKind::scenario_map, "a scenario map (.map)", false, said);
    if (!input) return 1;
    ViewerRequest request;
    request.map_path = input->path;
    request.game_dir = read_setup(program_directory(), console.line);
    request.unit_name = first_item(unit);
    request.tile_set_name = first_item(tiles_name);
    set_screen(graphics_mode_640x480, 8, 2);
    if (!view_map(request, *screen_viewer_devices(false), console.line)) {
        said.failed(name, "the map could not be shown");
        return 1;
    }
    said.done("viewed " + name);
    return 0;
}

int run_animate(CommandWords& words, const CommandConsole& console) {
    AnimateRequest request;
    std::string scale_word;
    if (auto error = words.parse([&](const std::string& option) {
            if (option == "--sprites") request.sprites_path = words.value(option);
            else if (option == "--out") request.output_folder = words.value(option);
            else if (option == "--scale") scale_word = words.value(option);
            else if (option == "--gif") request.gif = true;
            else return false;
            return true;
        }))
        return report_usage_error(*error, console);
    if (!scale_word.empty()) {
        if (!is_count(scale_word) || std::stoi(scale_word) < 1 || std::stoi(scale_word) > animation_scale_limit)
            return report_usage_error(
                words.error("--scale takes a whole number from 1 to " + std::to_string(animation_scale_limit)), console);
        request.scale = std::stoi(scale_word);
    }
    if (words.operands.empty()) return report_usage_error(words.error("no UNIT.fin given"), console);
    if (words.operands.size() > 1) return report_usage_error(words.error("one UNIT.fin only"), console);
    const std::string& name = words.operands.front();
    SaidAtOnce said(console);
    const std::optional<InputFile> input =
        take_file(name, InputKind::animation, "an animation description (.fin)", false, said);
    if (!input) return 1;
    if (!request.sprites_path.empty() && !is_plain_file(request.sprites_path)) {
        said.failed(name, "no sprite set '" + request.sprites_path + "'");
        return 1;
    }
    request.description_path = input->path;
    if (!request.sprites_path.empty()) request.sprites_path = absolute_path(request.sprites_path);
    if (!request.output_folder.empty()) request.output_folder = absolute_path(request.output_folder);
    const AnimateOutcome outcome = animate_unit(request, console.line);
    if (outcome.ok) {
        said.done("animated " + name + ": " + count_text(outcome.written, "picture", "pictures") + " in " +
                  outcome.output_folder);
        return 0;
    }
    const std::string first = outcome.problem_lines.empty() ? std::string() : outcome.problem_lines.front();
    said.failed(name, problems_text(first, outcome.problem_lines.size()) +
                          (outcome.read ? "; " + count_text(outcome.written, "picture", "pictures") + " written in " +
                                              outcome.output_folder
                                        : std::string()));
    return 1;
}

int run_catalogue(CommandWords& words, const CommandConsole& console) {
    CatalogueRequest request;
    if (auto error = words.parse([&](const std::string& option) {
            if (option != "--out") return false;
            request.output_folder = words.value(option);
            return true;
        }))
        return report_usage_error(*error, console);
    if (words.operands.empty()) return report_usage_error(words.error("no GAME_FOLDER given"), console);
    if (words.operands.size() > 1) return report_usage_error(words.error("one GAME_FOLDER only"), console);
    const std::string& name = words.operands.front();
    SaidAtOnce said(console);
    if (!is_folder(name)) {
        said.failed(name, "no such folder | nie ma takiego katalogu");
        return 1;
    }
    request.game_folder = absolute_path(name);
    if (!request.output_folder.empty()) request.output_folder = absolute_path(request.output_folder);
    const CatalogueOutcome outcome = make_catalogue(request, console.line);
    if (outcome.ok) {
        said.done("catalogued " + name + ": " + count_text(outcome.files, "file", "files") + " in " + outcome.front_page);
        return 0;
    }
    said.failed(name, problems_text(outcome.first_problem, outcome.problems) +
                          (outcome.front_page.empty() ? std::string() : "; the catalogue is in " + outcome.front_page));
    return 1;
}

}  // namespace

bool is_command_word(std::string_view word) {
    for (const std::string_view command :
         {"--help", "--version", "extract", "build", "check", "report", "map", "view", "animate", "catalogue"})
        if (word == command) return true;
    return false;
}

std::string_view usage_text() { return usage_lines; }

int run_command(const std::vector<std::string>& words, const CommandConsole& console) {
    const std::string command = words.empty() ? std::string() : words.front();
    CommandWords command_words(command, std::vector<std::string>(words.begin() + (words.empty() ? 0 : 1), words.end()));
    if (command == "extract") return run_extract(command_words, console);
    if (command == "build") return run_build(command_words, console);
    if (command == "check") return run_check(command_words, console);
    if (command == "report") return run_report(command_words, console);
    if (command == "map") return run_map(command_words, console);
    if (command == "animate") return run_animate(command_words, console);
    if (command == "catalogue") return run_catalogue(command_words, console);
    return run_view(command_words, console);
}

int run_command_mode(int argc, char** argv) {
    init_runtime(argc, argv);
    const std::string command = command_argument(1);
    if (command == "--help") {
        std::fputs(usage_lines.data(), stdout);
        return 0;
    }
    if (command == "--version") {
        std::printf("quarnel %.*s\n", static_cast<int>(program_version.size()), program_version.data());
        return 0;
    }
    // Headless whatever the environment says: only the viewer shows a window.
    if (command != "view") forbid_window();
    std::vector<std::string> words;
    for (int i = 1; i < command_argument_count(); ++i) words.push_back(command_argument(i));
    const CommandConsole console{[](std::string_view line) { print_text(0, line, true); },
                                 [](std::string_view text) { print_error_text(text); }};
    const int status = run_command(words, console);
    close_file(0);
    close_screen();
    return status;
}

}  // namespace quarnel
