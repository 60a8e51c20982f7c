// setup.txt beside the program, or else in the user's configuration folder:
// items of the form key=value; the key DCpath names the game's folder.
// Comments start with an apostrophe.
#include "entry/setup_file.h"

#include <cstdlib>
#include <string>

#include "runtime/platform/files.h"
#include "runtime/platform/native_files.h"
#include "runtime/utility/paths.h"
#include "runtime/utility/text.h"

namespace quarnel {

namespace {

// The user's own setup file, for a program installed where the user cannot
// write: $XDG_CONFIG_HOME/quarnel/setup.txt, or ~/.config/quarnel/setup.txt
// when that variable is unset, empty or not an absolute path. Empty when
// neither place can be named.
std::string user_setup_path() {
    const char* config_home = std::getenv("XDG_CONFIG_HOME");
    if (config_home && is_absolute_path(config_home)) return join_path(join_path(config_home, "quarnel"), "setup.txt");
    const char* home = std::getenv("HOME");
    if (home && is_absolute_path(home)) return join_path(join_path(join_path(home, ".config"), "quarnel"), "setup.txt");
    return {};
}

}  // namespace

std::string read_setup(const std::string& program_dir, const LineSink& say) {
    // Beside the program first, then in the user's configuration folder.
    std::string setup_path = program_dir + path_separator + "setup.txt";
    if (!file_exists(setup_path)) {
        const std::string user_path = user_setup_path();
        if (!user_path.empty() && file_exists(user_path)) setup_path = user_path;
    }
    if (!file_exists(setup_path)) {
        say("No setup file!");
        return {};
    }
    const int file_number = free_file_number();
    if (file_number == 0 || open_file(setup_path, OpenMode::input, file_number) != 0) {
        say("No setup file!");
        return {};
    }
    input_from_file(file_number);
    const std::string separator(1, path_separator);
    std::string game_dir;
    while (!end_of_file(file_number)) {
        const std::string item = input_item();
        const std::int64_t equals = text_find(1, item, "=");
        if (equals < 1 || item[0] == '\'') continue;  // no setting, or a comment
        // Nothing is trimmed: blanks around "=" belong to the key or the value.
        const std::string key = text_left(item, equals - 1);
        if (key != "DCpath") continue;
        // The folder in the program's one encoding, with the system's separators.
        game_dir = with_system_separators(native::name_from_file_text(text_mid(item, equals + 1, -1)));
        if (text_right(game_dir, 1) != separator) game_dir += separator;
    }
    close_file(file_number);
    if (const std::string unusable = unusable_name_line(game_dir); !game_dir.empty() && !unusable.empty()) say(unusable);
    return game_dir;
}

}  // namespace quarnel
