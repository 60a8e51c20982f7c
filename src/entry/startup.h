// Start-up of quarnel: banner, input selection, setup file, screen, one job,
// the closing key wait.
#pragma once

#include <string>
#include <string_view>

#include "entry/module_state.h"

namespace quarnel {

int quarnel_main(int argc, char** argv);
InputKind select_input();
// The second half of input selection for a file that has been found: the
// path made absolute and split into the module state, its three lines
// printed, and the kind told by the extension (an archive kind of raw data
// set beforehand stands for "-r").
InputKind take_input(const std::string& found_path);
std::string open_file_dialog(std::string_view title, std::string_view start_dir);

}  // namespace quarnel
