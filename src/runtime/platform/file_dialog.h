// The system's file-open dialog: zenity's file selection on Linux when a
// display and zenity are there, the common dialog on Windows.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quarnel {

// The chosen file; empty when the user cancelled; nothing when no dialog
// could be shown (the caller asks on the console instead).
std::optional<std::string> open_file_dialog(std::string_view title, std::string_view start_dir);

}  // namespace quarnel
