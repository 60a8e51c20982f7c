// Start-up of quarnel: the banner, the choice and classification of the
// input file, the setup file, the screen that suits the job, exactly one
// job, and the closing key wait.
#include "entry/startup.h"

#include <string>

#include "anim/animation_report.h"
#include "archive/extraction.h"
#include "builder/archive_builder.h"
#include "entry/command_mode.h"
#include "entry/setup_file.h"
#include "mapview/map_viewer.h"
#include "runtime/console.h"
#include "runtime/files.h"
#include "runtime/paths.h"
#include "runtime/screen.h"
#include "runtime/text.h"

namespace quarnel {

ModuleState& module_state() {
    static ModuleState state;
    return state;
}

namespace {

constexpr int graphics_mode_640x480 = 18;
const std::string separator(1, path_separator);

}  // namespace

InputKind select_input() {
    ModuleState& state = module_state();
    state.palette_source = 1;
    state.keep_indices = false;
    state.nearest_colours = false;
    state.palette_files = false;
    state.program_dir = program_directory();

    std::string input_path = command_argument(1);
    if (input_path.empty()) input_path = open_file_dialog("Wybierz plik spr/bts", state.program_dir);
    input_path = with_system_separators(input_path);
    if (input_path.empty()) {
        print_text(0, "No input .spr file! | Nie podales pliku .spr!", true);
        return InputKind::none;
    }
    if (file_exists(input_path) == 0) {
        // A name the system cannot take gets its line and is not found.
        report_unusable_name(input_path);
        // Second try, for a relative name: the name beside the program.
        const bool relative = is_relative_path(input_path);
        const std::string beside_program = state.program_dir + separator + input_path;
        if (!relative || file_exists(beside_program) == 0) {
            print_text(0, "No file found! Nie ma takiego pliku!", true);
            return InputKind::none;
        }
        input_path = beside_program;
    }

    // Option scan from argument 1 (the input itself) to the first empty one.
    // The word after "-p" is examined like any other.
    for (int i = 1;; ++i) {
        const std::string word = command_argument(i);
        if (word.empty()) break;
        if (word == "-p") {
            state.palette_source = 2;
            state.palette_image_name = command_argument(i + 1);
            report_unusable_name(state.palette_image_name);
        }
        if (word == "-r") state.archive_kind = archive_kinds::raw_data;
        if (word == "-i") state.keep_indices = true;
        if (word == "--nearest") state.nearest_colours = true;
        if (word == "-c") state.palette_files = true;
    }
    return take_input(input_path);
}

InputKind take_input(const std::string& found_path) {
    ModuleState& state = module_state();
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
    state.input_path = input_path;
    // A file in the root folder has no folder name (a negative count would
    // mean "to the end").
    const std::int64_t folder_length = last - prev - 1;
    state.input_folder_name = folder_length > 0 ? text_mid(input_path, prev + 1, folder_length) : std::string();
    state.input_dir = text_left(input_path, next - 1);
    const std::string file_name = text_mid(input_path, next, -1);
    state.input_base_name = text_left(file_name, static_cast<std::int64_t>(text_length(file_name)) - 4);

    print_text(0, "katalog: '" + state.input_dir + "'", true);
    print_text(0, "koncowka: '" + state.input_folder_name + "'", true);
    print_text(0, "plik: '" + file_name + "'", true);

    // The extension decides the job; a known archive extension wins over -r.
    const std::string extension = text_lower(text_right(input_path, 4));
    if (extension == ".spr") { state.archive_kind = archive_kinds::sprite_set; return InputKind::archive; }
    if (extension == ".bts") { state.archive_kind = archive_kinds::tile_set; return InputKind::archive; }
    if (extension == ".map") return InputKind::scenario_map;
    if (extension == ".fin") return InputKind::animation;
    if (extension == ".png") return InputKind::picture;
    if (extension == ".trs") { state.archive_kind = archive_kinds::trs; return InputKind::archive; }
    if (extension == ".trc") { state.archive_kind = archive_kinds::trc; return InputKind::archive; }
    if (extension == ".trw") { state.archive_kind = archive_kinds::trw; return InputKind::archive; }
    if (state.archive_kind == archive_kinds::raw_data) return InputKind::archive;
    print_text(0, "Unrecognized file type!", true);
    return InputKind::unknown;
}

int quarnel_main(int argc, char** argv) {
    // A command word as argument 1 chooses command mode; no file of that
    // name is looked for then.
    if (argc > 1 && is_command_word(argv[1])) end_program(run_command_mode(argc, argv));
    init_runtime(argc, argv);
    print_text(0, ".spr to .bmp converter for Dark Colony.. author: tarnwicker", true);

    const InputKind kind = select_input();
    module_state().input_kind = kind;
    read_setup();

    switch (kind) {
        case InputKind::archive:
            set_screen(graphics_mode_640x480, 32, 2);
            extraction_job();
            break;
        case InputKind::scenario_map:
            set_screen(graphics_mode_640x480, 8, 2);
            map_viewer_job();
            break;
        case InputKind::animation:
            set_screen(graphics_mode_640x480, 32, 2);
            animation_report_job();
            break;
        case InputKind::picture:
            set_screen(graphics_mode_640x480, 32, 2);
            archive_builder_job();
            break;
        case InputKind::none:
        case InputKind::unknown:
            break;
    }

    print_text(0, "Nacisnij dowolny klawisz.", true);
    // Any key ends the run; at the end of a piped standard input the wait
    // ends too, so that a script never hangs.
    wait_for_key();

    close_file(0);
    close_screen();
    end_program(0);
}

}  // namespace quarnel
