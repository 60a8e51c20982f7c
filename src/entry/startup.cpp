// Start-up of quarnel: the banner, the choice and classification of the
// input file, the setup file, the screen that suits the job, exactly one
// job with its questions asked on the console, and the closing key wait.
#include "entry/startup.h"

#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "anim/animation_report.h"
#include "archive/extraction.h"
#include "builder/archive_builder.h"
#include "entry/command_mode.h"
#include "entry/setup_file.h"
#include "mapview/map_viewer.h"
#include "runtime/platform/file_dialog.h"
#include "runtime/platform/files.h"
#include "runtime/screen/console.h"
#include "runtime/screen/screen.h"
#include "runtime/utility/paths.h"
#include "runtime/utility/text.h"
#include "runtime/utility/worker_pool.h"

namespace quarnel {

namespace {

constexpr int graphics_mode_640x480 = 18;
const std::string separator(1, path_separator);

// A typed number rounded to the nearest integer (ties to even), kept within
// 0 .. INT32_MAX.
std::uint32_t typed_count(const std::string& answer) {
    const double value = std::nearbyint(number_value(answer));
    if (!(value > 0)) return 0;
    if (value >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max());
    return static_cast<std::uint32_t>(value);
}

// The extraction's questions: whether to centre a sprite set, PNG or BMP,
// and for raw data (asked when the job comes to them) how many images of
// what size.
ExtractionRequest ask_extraction(const Selection& selection, const std::string& program_dir,
                                 const StartConsole& console) {
    ExtractionRequest request = extraction_request(selection.input);
    if (request.kind == ArchiveKind::sprite_set) {
        const std::string answer = console.ask("Centrowac grafike? (t/n) - jedynie DC", true);
        request.centre = !answer.empty() && (answer[0] == 'y' || answer[0] == 't');
    }
    request.bmp = console.ask("Tworzyc png czy bmp", true).find('b') != std::string::npos;
    const auto ask_count = [&console](std::string_view prompt) {
        return Answer<std::uint32_t>::asked([&console, prompt] { return typed_count(console.ask(prompt, false)); });
    };
    request.raw_count = ask_count("number of images | liczba obrazkow: ");
    request.raw_width = ask_count("width | szerokosc: ");
    request.raw_height = ask_count("height | wysokosc: ");
    const StartOptions& options = selection.options;
    if (options.palette_image_given) {
        // A relative name lies beside the program; any other (a drive-letter
        // or UNC path, or "/..." on Linux) is taken as it is.
        request.palette_image = is_relative_path(options.palette_image) ? join_path(program_dir, options.palette_image)
                                                                        : options.palette_image;
    }
    request.keep_indices = options.keep_indices;
    request.palette_files = options.palette_files;
    request.threads = configured_thread_count();
    return request;
}

}  // namespace

StartConsole program_start_console() {
    StartConsole console;
    console.say = [](std::string_view line) { print_text(0, line, true); };
    console.ask = [](std::string_view prompt, bool question) { return ask_answer(prompt, question); };
    console.open_screen = [](int depth) { set_screen(graphics_mode_640x480, depth, 2); };
    console.choose_file = [](std::string_view title, std::string_view start_dir) {
        if (std::optional<std::string> chosen = open_file_dialog(title, start_dir)) return *chosen;
        // Without a dialog, on the console: the typed answer, an empty one cancelling.
        return ask_answer(std::string(title) + ": ", false);
    };
    return console;
}

Selection select_input(const std::vector<std::string>& arguments, const std::string& program_dir,
                       const StartConsole& console) {
    Selection selection;
    StartOptions& options = selection.options;
    const auto argument = [&arguments](std::size_t i) { return i < arguments.size() ? arguments[i] : std::string(); };

    std::string input_path = argument(1);
    if (input_path.empty()) input_path = console.choose_file("Wybierz plik spr/bts", program_dir);
    input_path = with_system_separators(input_path);
    if (input_path.empty()) {
        console.say("No input .spr file! | Nie podales pliku .spr!");
        return selection;
    }
    if (!file_exists(input_path)) {
        // A name the system cannot take gets its line and is not found.
        if (const std::string unusable = unusable_name_line(input_path); !unusable.empty()) console.say(unusable);
        // Second try, for a relative name: the name beside the program.
        const bool relative = is_relative_path(input_path);
        const std::string beside_program = program_dir + separator + input_path;
        if (!relative || !file_exists(beside_program)) {
            console.say("No file found! Nie ma takiego pliku!");
            return selection;
        }
        input_path = beside_program;
    }

    // Option scan from argument 1 (the input itself) to the first empty one.
    // The word after "-p" is examined like any other.
    for (std::size_t i = 1;; ++i) {
        const std::string word = argument(i);
        if (word.empty()) break;
        if (word == "-p") {
            options.palette_image_given = true;
            options.palette_image = argument(i + 1);
            if (const std::string unusable = unusable_name_line(options.palette_image); !unusable.empty())
                console.say(unusable);
        }
        if (word == "-r") options.raw = true;
        if (word == "-i") options.keep_indices = true;
        if (word == "--nearest") options.nearest = true;
        if (word == "-c") options.palette_files = true;
    }
    selection.input = take_input(input_path, options.raw, console.say);
    return selection;
}

InputFile take_input(const std::string& found_path, bool raw, const LineSink& say) {
    InputFile input;
    // Path split on the separator: prev and last are the positions of the
    // last two separators (0 and 1 when there are none), next is one past
    // the last separator.
    const std::string input_path = absolute_path(found_path);
    std::int64_t prev = 0, last = 1, next = 1;
    for (std::int64_t p = text_find(next, input_path, separator); p != 0; p = text_find(next, input_path, separator)) {
        prev = last;
        last = p;
        next = p + 1;
    }
    input.path = input_path;
    // A file in the root folder has no folder name (a negative count would
    // mean "to the end").
    const std::int64_t folder_length = last - prev - 1;
    input.folder_name = folder_length > 0 ? text_mid(input_path, prev + 1, folder_length) : std::string();
    input.dir = text_left(input_path, next - 1);
    const std::string file_name = text_mid(input_path, next, -1);
    input.base_name = text_left(file_name, static_cast<std::int64_t>(text_length(file_name)) - 4);

    say("katalog: '" + input.dir + "'");
    say("koncowka: '" + input.folder_name + "'");
    say("plik: '" + file_name + "'");

    // The extension decides the job; a known archive extension wins over -r.
    const std::string extension = text_lower(text_right(input_path, 4));
    const auto archive = [&input](ArchiveKind kind) {
        input.kind = InputKind::archive;
        input.archive_kind = kind;
        return input;
    };
    if (extension == ".spr") return archive(ArchiveKind::sprite_set);
    if (extension == ".bts") return archive(ArchiveKind::tile_set);
    if (extension == ".trs") return archive(ArchiveKind::trs);
    if (extension == ".trc") return archive(ArchiveKind::trc);
    if (extension == ".trw") return archive(ArchiveKind::trw);
    input.kind = extension == ".map" ? InputKind::scenario_map
                 : extension == ".fin" ? InputKind::animation
                 : extension == ".png" ? InputKind::picture
                                       : InputKind::unknown;
    if (input.kind != InputKind::unknown) return input;
    if (raw) return archive(ArchiveKind::raw_data);
    say("Unrecognized file type!");
    return input;
}

ExtractionRequest extraction_request(const InputFile& input) {
    ExtractionRequest request;
    request.input_path = input.path;
    request.kind = input.archive_kind;
    request.output_folder = join_path(input.dir, input.base_name) + path_separator;
    request.base_name = input.base_name;
    return request;
}

void run_selected_job(const Selection& selection, const std::string& program_dir, const std::string& game_dir,
                      const StartConsole& console) {
    const InputFile& input = selection.input;
    switch (input.kind) {
        case InputKind::archive:
            console.open_screen(32);
            extract_archive(ask_extraction(selection, program_dir, console), console.say);
            break;
        case InputKind::scenario_map: {
            console.open_screen(8);
            ViewerRequest request;
            request.map_path = input.path;
            request.game_dir = game_dir;
            request.unit_name = console.ask("Podaj nazwe jednostki: (drukowanymi literami np. TRSC) ", false);
            request.tile_set_name = Answer<std::string>::asked(
                [&console] { return console.ask("choose type of tile-set: (desert, jungle...) ", false); });
            view_map(request, *screen_viewer_devices(true), console.say);
            break;
        }
        case InputKind::animation: {
            console.open_screen(32);
            ReportRequest request;
            request.skip_text = console.ask("pomijana animacja: (BLOOD, SMOKEY ...) ", false);
            request.description_path = input.path;
            request.output_folder = input.dir + input.base_name + path_separator;
            request.base_name = input.base_name;
            write_animation_report(request, console.say);
            break;
        }
        case InputKind::picture: {
            console.open_screen(32);
            BuilderInput request{input.path, input.dir, input.folder_name};
            request.nearest = selection.options.nearest;
            request.threads = configured_thread_count();
            run_builder(request, BuilderConsole{console.say, [](int milliseconds) { sleep_ms(milliseconds); }});
            break;
        }
        case InputKind::none:
        case InputKind::unknown:
            break;
    }
}

void run_interactive(const std::vector<std::string>& arguments, const std::string& program_dir,
                     const StartConsole& console) {
    console.say(".spr to .bmp converter for Dark Colony.. author: tarnwicker");
    const Selection selection = select_input(arguments, program_dir, console);
    const std::string game_dir = read_setup(program_dir, console.say);
    run_selected_job(selection, program_dir, game_dir, console);
    console.say("Nacisnij dowolny klawisz.");
}

int quarnel_main(int argc, char** argv) {
    // A command word as argument 1 chooses command mode; no file of that
    // name is looked for then.
    if (argc > 1 && is_command_word(argv[1])) end_program(run_command_mode(argc, argv));
    init_runtime(argc, argv);
    std::vector<std::string> arguments;
    for (int i = 0; i < command_argument_count(); ++i) arguments.push_back(command_argument(i));
    run_interactive(arguments, program_directory(), program_start_console());
    // Any key ends the run; at the end of a piped standard input the wait
    // ends too, so that a script never hangs.
    wait_for_key();

    close_file(0);
    close_screen();
    end_program(0);
}

}  // namespace quarnel
