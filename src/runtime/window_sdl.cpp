// Provisional: no window yet, every screen is headless.
#include "runtime/window.h"

namespace quarnel {
bool window_open(int) { return false; }
void window_close() {}
bool window_is_open() { return false; }
void window_set_title(std::string_view) {}
}  // namespace quarnel
