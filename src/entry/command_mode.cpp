// quarnel's command mode: the same jobs as an interactive start, on every
// file named, with the answers to their questions taken from the options
// and given to the console beforehand. Each file gets one line that says
// what was done; the exit status tells a script whether all went well.
#include "entry/command_mode.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
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
#include "mapview/map_grid.h"
#include "mapview/map_picture.h"
#include "mapview/map_viewer.h"
#include "png/png_writer.h"
#include "runtime/console.h"
#include "runtime/files.h"
#include "runtime/native_files.h"
#include "runtime/paths.h"
#include "runtime/screen.h"
#include "runtime/text.h"

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

int report_usage_error(const UsageError& error) {
    print_error_text("quarnel: " + error.reason + "\nUsage: " + error.usage + "\nTry 'quarnel --help'.\n");
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

void say_done(const std::string& line) { print_text(0, line, true); }

// A failed file: its line goes to standard error, where a script's
// redirected output does not hide it.
void say_failed(const std::string& name, const std::string& reason) {
    print_error_text("failed " + name + ": " + reason + "\n");
}

std::string count_text(std::uint64_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

// The module state for one input file, as an interactive start sets it
// before the option scan.
void reset_state() {
    ModuleState& state = module_state();
    state.palette_source = 1;
    state.palette_image_name.clear();
    state.keep_indices = false;
    state.nearest_colours = false;
    state.palette_files = false;
    state.archive_kind = archive_kinds::sprite_set;
    state.program_dir = program_directory();
}

bool is_plain_file(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(native::system_path(path), ec);
}

// Finds and classifies one input; a missing file or one of another kind
// than the command takes is a failure.
bool take_file(const std::string& name, InputKind wanted, std::string_view what) {
    if (!is_plain_file(name)) {
        const std::string unusable = unusable_name_reason(name);
        say_failed(name, (unusable.empty() ? "" : "the system cannot take this name (" + unusable + "); ") +
                             "no such file | nie ma takiego pliku");
        return false;
    }
    module_state().input_kind = take_input(name);
    if (module_state().input_kind != wanted) {
        say_failed(name, "not " + std::string(what));
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------

int run_extract(CommandWords& words) {
    bool centre = true, bmp = false, keep_indices = false, raw = false, palette_files = false;
    std::string palette_image, raw_count, raw_width, raw_height;
    if (auto error = words.parse([&](const std::string& option) {
            if (option == "--centre") centre = true;
            else if (option == "--no-centre") centre = false;
            else if (option == "--png") bmp = false;
            else if (option == "--bmp") bmp = true;
            else if (option == "-i") keep_indices = true;
            else if (option == "--palette-files") palette_files = true;
            else if (option == "-p") palette_image = words.value(option);
            else if (option == "--raw") {
                raw = true;
                raw_count = words.value(option);
                raw_width = words.value(option);
                raw_height = words.value(option);
            } else return false;
            return true;
        }))
        return report_usage_error(*error);
    if (raw && !(is_count(raw_count) && is_count(raw_width) && is_count(raw_height)))
        return report_usage_error(words.error("--raw takes three whole numbers: COUNT WIDTH HEIGHT"));
    if (words.operands.empty()) return report_usage_error(words.error("no FILE given"));
    if (!palette_image.empty() && !is_plain_file(palette_image))
        return report_usage_error(words.error("no palette image '" + palette_image + "'"));
    // The palette image as given, from the current folder when relative.
    const std::string palette_path = palette_image.empty() ? std::string() : absolute_path(palette_image);

    int status = 0;
    for (const std::string& name : words.operands) {
        reset_state();
        ModuleState& state = module_state();
        if (raw) state.archive_kind = archive_kinds::raw_data;
        if (!palette_path.empty()) {
            state.palette_source = 2;
            state.palette_image_name = palette_path;
        }
        state.keep_indices = keep_indices;
        state.palette_files = palette_files;
        if (!take_file(name, InputKind::archive, "an archive (.spr .bts .trs .trc .trw, or any file with --raw)")) {
            status = 1;
            continue;
        }
        // The questions in the order the job asks them for this kind.
        std::vector<std::string> answers;
        if (state.archive_kind == archive_kinds::sprite_set) answers.push_back(centre ? "t" : "n");
        answers.push_back(bmp ? "bmp" : "png");
        if (state.archive_kind == archive_kinds::raw_data) answers.insert(answers.end(), {raw_count, raw_width, raw_height});
        give_answers(std::move(answers));
        const JobOutcome outcome = extraction_job();
        if (outcome.ok) {
            say_done("extracted " + name + ": " + count_text(outcome.written, "file", "files") + " in " + outcome.output);
        } else if (outcome.failed_writes > 0) {
            say_failed(name, outcome.first_failure + " (" + count_text(outcome.failed_writes, "file", "files") +
                                 " not written, " + std::to_string(outcome.written) + " written in " + outcome.output +
                                 ")");
            status = 1;
        } else {
            say_failed(name, count_text(outcome.written, "file", "files") + " written in " + outcome.output +
                                 ", not all that the archive holds");
            status = 1;
        }
    }
    return status;
}

// The folder a build or check operand names: a folder, or a picture
// standing for its folder. Nothing (and a failed line) for anything else.
std::optional<BuilderInput> folder_to_build(const std::string& name) {
    BuilderInput input;
    std::error_code ec;
    if (std::filesystem::is_directory(native::system_path(name), ec)) {
        // A folder stands for any picture in it.
        std::string folder = absolute_path(name);
        while (folder.size() > 1 && folder.back() == path_separator) folder.pop_back();
        input.input_dir = folder + path_separator;
        input.input_path = input.input_dir;
        input.input_folder_name = path_file_name(folder);
        return input;
    }
    if (!take_file(name, InputKind::picture, "a folder or a picture (.png)")) return std::nullopt;
    const ModuleState& state = module_state();
    input.input_path = state.input_path;
    input.input_dir = state.input_dir;
    input.input_folder_name = state.input_folder_name;
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

int run_build(CommandWords& words) {
    bool nearest = false;
    if (auto error = nearest_option(words, nearest)) return report_usage_error(*error);
    const BuilderConsole console{[](std::string_view text) { print_text(0, text, true); }, [](int) {}};
    int status = 0;
    for (const std::string& name : words.operands) {
        reset_state();
        std::optional<BuilderInput> input = folder_to_build(name);
        if (!input) {
            status = 1;
            continue;
        }
        input->nearest = nearest;
        const BuilderOutcome outcome = run_builder(*input, console);
        if (outcome.written && outcome.damaged == 0) {
            say_done("built " + outcome.output_path + ": " + count_text(outcome.pictures, "picture", "pictures") + ", " +
                     count_text(outcome.archive_size, "byte", "bytes"));
        } else {
            say_failed(name, outcome.written    ? count_text(outcome.damaged, "picture", "pictures") +
                                                      " could not be read and were stored empty in " + outcome.output_path
                             : !outcome.failure.empty() ? outcome.failure
                                                        : std::string("no archive written"));
            status = 1;
        }
    }
    return status;
}

int run_check(CommandWords& words) {
    bool nearest = false;
    if (auto error = nearest_option(words, nearest)) return report_usage_error(*error);
    int status = 0;
    for (const std::string& name : words.operands) {
        reset_state();
        std::optional<BuilderInput> input = folder_to_build(name);
        if (!input) {
            status = 1;
            continue;
        }
        input->nearest = nearest;
        const CheckOutcome outcome = check_build_folder(*input, [](std::string_view text) { print_text(0, text, true); });
        if (outcome.keeps_everything()) {
            say_done("checked " + name + ": a build keeps every pixel as drawn (" +
                     count_text(outcome.pictures, "picture", "pictures") + ")");
        } else {
            say_failed(name, "a build would not keep every pixel as drawn (" +
                                 count_text(outcome.findings, "finding", "findings") + " above)");
            status = 1;
        }
    }
    return status;
}

int run_report(CommandWords& words) {
    std::string skip;
    if (auto error = words.parse([&](const std::string& option) {
            if (option != "--skip") return false;
            skip = words.value(option);
            return true;
        }))
        return report_usage_error(*error);
    if (words.operands.empty()) return report_usage_error(words.error("no FILE given"));
    int status = 0;
    for (const std::string& name : words.operands) {
        reset_state();
        if (!take_file(name, InputKind::animation, "an animation description (.fin)")) {
            status = 1;
            continue;
        }
        give_answers({skip});
        const JobOutcome outcome = animation_report_job();
        if (outcome.ok) {
            say_done("reported " + name + ": " + outcome.output);
        } else {
            say_failed(name, outcome.first_failure.empty() ? std::string("no report written") : outcome.first_failure);
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

int run_map(CommandWords& words) {
    std::string tiles_name, png_path;
    bool tiles_given = false, grid_lines = false, markers_bad = false;
    std::uint8_t markers = 0;
    if (auto error = words.parse([&](const std::string& option) {
            if (option == "--tiles") {
                tiles_name = words.value(option);
                tiles_given = true;
            } else if (option == "--markers") {
                const std::string value = words.value(option);
                if (value == "0" || value == "1" || value == "2") markers = static_cast<std::uint8_t>(value[0] - '0');
                else markers_bad = !value.empty();
            } else if (option == "--grid") {
                grid_lines = true;
            } else if (option == "--png") {
                png_path = words.value(option);
            } else {
                return false;
            }
            return true;
        }))
        return report_usage_error(*error);
    if (markers_bad) return report_usage_error(words.error("--markers takes 0, 1 or 2"));
    if (auto error = one_map(words)) return report_usage_error(*error);
    if (!tiles_given) return report_usage_error(words.error("--tiles NAME is needed"));

    const std::string& name = words.operands.front();
    reset_state();
    if (!take_file(name, InputKind::scenario_map, "a scenario map (.map)")) return 1;
    read_setup();
    const ModuleState& state = module_state();
    const std::optional<ViewerTileSet> tiles = load_game_tile_set(state.game_dir, tiles_name);
    if (!tiles) {
        say_failed(name, "no tile set '" + tiles_name + "'");
        return 1;
    }
    const std::optional<MapGrid> grid = load_map_grid(state.input_path, tiles->keys);
    if (!grid) {
        say_failed(name, "the map could not be read");
        return 1;
    }
    const ImagePtr indexed = draw_whole_map(*grid, *tiles, markers, grid_lines);
    if (!indexed) {
        say_failed(name, "the map is too large for one picture (at most " + std::to_string(map_picture_pixel_limit) +
                             " pixels)");
        return 1;
    }
    // The colours as the viewer's screen shows them: its palette entries
    // set from the tile set's palette.
    const std::array<std::uint32_t, 256> colours = viewer_screen_colours(tiles->palette);
    ImagePtr picture = colour_picture(*indexed, colours);
    if (png_path.empty()) png_path = state.input_dir + state.input_base_name + ".png";
    const auto file = picture ? png_encode(*picture) : std::nullopt;
    if (!file) {
        say_failed(name, "cannot write " + png_path + ": the picture cannot be coded");
        return 1;
    }
    if (const WriteResult written = write_whole_file(png_path, std::span<const std::uint8_t>(*file)); !written) {
        say_failed(name, "cannot write " + png_path + ": " + written.reason);
        return 1;
    }
    say_done("drew " + name + ": " + std::to_string(grid->width()) + " x " + std::to_string(grid->height()) +
             " cells in " + png_path);
    return 0;
}

int run_view(CommandWords& words) {
    std::string unit, tiles_name;
    if (auto error = words.parse([&](const std::string& option) {
            if (option == "--unit") unit = words.value(option);
            else if (option == "--tiles") tiles_name = words.value(option);
            else return false;
            return true;
        }))
        return report_usage_error(*error);
    if (auto error = one_map(words)) return report_usage_error(*error);
    const std::string& name = words.operands.front();
    reset_state();
    if (!take_file(name, InputKind::scenario_map, "a scenario map (.map)")) return 1;
    read_setup();
    give_answers({unit, tiles_name});
    set_screen(graphics_mode_640x480, 8, 2);
    if (!map_viewer_job()) {
        say_failed(name, "the map could not be shown");
        return 1;
    }
    say_done("viewed " + name);
    return 0;
}

int run_animate(CommandWords& words) {
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
        return report_usage_error(*error);
    if (!scale_word.empty()) {
        if (!is_count(scale_word) || std::stoi(scale_word) < 1 || std::stoi(scale_word) > animation_scale_limit)
            return report_usage_error(
                words.error("--scale takes a whole number from 1 to " + std::to_string(animation_scale_limit)));
        request.scale = std::stoi(scale_word);
    }
    if (words.operands.empty()) return report_usage_error(words.error("no UNIT.fin given"));
    if (words.operands.size() > 1) return report_usage_error(words.error("one UNIT.fin only"));
    const std::string& name = words.operands.front();
    reset_state();
    if (!take_file(name, InputKind::animation, "an animation description (.fin)")) return 1;
    if (!request.sprites_path.empty() && !is_plain_file(request.sprites_path)) {
        say_failed(name, "no sprite set '" + request.sprites_path + "'");
        return 1;
    }
    request.description_path = module_state().input_path;
    if (!request.sprites_path.empty()) request.sprites_path = absolute_path(request.sprites_path);
    if (!request.output_folder.empty()) request.output_folder = absolute_path(request.output_folder);
    const AnimateOutcome outcome = animate_unit(request, [](std::string_view line) { print_text(0, line, true); });
    if (outcome.ok) {
        say_done("animated " + name + ": " + count_text(outcome.written, "picture", "pictures") + " in " +
                 outcome.output_folder);
        return 0;
    }
    say_failed(name, outcome.first_problem +
                         (outcome.problems > 1 ? " (and " + count_text(outcome.problems - 1, "more problem", "more problems") + ")"
                                               : std::string()) +
                         (outcome.read ? "; " + count_text(outcome.written, "picture", "pictures") + " written in " +
                                             outcome.output_folder
                                       : std::string()));
    return 1;
}

int run_catalogue(CommandWords& words) {
    CatalogueRequest request;
    if (auto error = words.parse([&](const std::string& option) {
            if (option != "--out") return false;
            request.output_folder = words.value(option);
            return true;
        }))
        return report_usage_error(*error);
    if (words.operands.empty()) return report_usage_error(words.error("no GAME_FOLDER given"));
    if (words.operands.size() > 1) return report_usage_error(words.error("one GAME_FOLDER only"));
    const std::string& name = words.operands.front();
    std::error_code ec;
    if (!std::filesystem::is_directory(native::system_path(name), ec)) {
        say_failed(name, "no such folder | nie ma takiego katalogu");
        return 1;
    }
    reset_state();
    request.game_folder = absolute_path(name);
    if (!request.output_folder.empty()) request.output_folder = absolute_path(request.output_folder);
    const CatalogueOutcome outcome = make_catalogue(request, [](std::string_view line) { print_text(0, line, true); });
    if (outcome.ok) {
        say_done("catalogued " + name + ": " + count_text(outcome.files, "file", "files") + " in " + outcome.front_page);
        return 0;
    }
    say_failed(name, outcome.first_problem +
                         (outcome.problems > 1 ? " (and " + count_text(outcome.problems - 1, "more problem", "more problems") + ")"
                                               : std::string()) +
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
    for (int i = 2; i < command_argument_count(); ++i) words.push_back(command_argument(i));
    CommandWords command_words(command, std::move(words));
    // Answers stand for the user from the start: nothing is ever read from
    // standard input as an answer, and key waits end at once.
    give_answers({});
    int status = 2;
    if (command == "extract") status = run_extract(command_words);
    else if (command == "build") status = run_build(command_words);
    else if (command == "check") status = run_check(command_words);
    else if (command == "report") status = run_report(command_words);
    else if (command == "map") status = run_map(command_words);
    else if (command == "animate") status = run_animate(command_words);
    else if (command == "catalogue") status = run_catalogue(command_words);
    else status = run_view(command_words);
    close_file(0);
    close_screen();
    return status;
}

}  // namespace quarnel
