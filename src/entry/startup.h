// Start-up of quarnel: banner, input selection, setup file, screen, one job,
// the closing key wait.
#pragma once

#include <string>
#include <string_view>

#include "entry/module_state.h"

namespace quarnel {

int quarnel_main(int argc, char** argv);
InputKind select_input();
std::string open_file_dialog(std::string_view title, std::string_view start_dir);

}  // namespace quarnel
