// setup.txt beside the program: items of the form key=value; the key DCpath
// names the game's folder. Comments start with an apostrophe.
#include "entry/setup_file.h"

#include <string>

#include "entry/module_state.h"
#include "runtime/console.h"
#include "runtime/files.h"
#include "runtime/paths.h"
#include "runtime/text.h"

namespace quarnel {

void read_setup() {
    ModuleState& state = module_state();
    if (state.program_dir.empty()) state.program_dir = program_directory();
    const std::string setup_path = state.program_dir + path_separator + "setup.txt";
    if (file_exists(setup_path) == 0) {
        print_text(0, "No setup file!", true);
        return;
    }
    const int file_number = free_file_number();
    if (file_number == 0 || open_file(setup_path, OpenMode::input, file_number) != 0) {
        print_text(0, "No setup file!", true);
        return;
    }
    input_from_file(file_number);
    const std::string separator(1, path_separator);
    while (end_of_file(file_number) == 0) {
        const std::string item = input_item();
        const std::int64_t equals = text_find(1, item, "=");
        if (equals < 1 || item[0] == '\'') continue;  // no setting, or a comment
        // Nothing is trimmed: blanks around "=" belong to the key or the value.
        const std::string key = text_left(item, equals - 1);
        if (key != "DCpath") continue;
        state.game_dir = text_mid(item, equals + 1, -1);
        if (text_right(state.game_dir, 1) != separator) state.game_dir += separator;
    }
    close_file(file_number);
}

}  // namespace quarnel
