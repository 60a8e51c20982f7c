// The file-open dialog on Windows: the common open-file dialog. Where no
// dialog can be shown (no desktop, or a headless run asked for with
// SDL_VIDEODRIVER=dummy or offscreen, as on Linux), the console asks
// instead. An empty result means the user cancelled.
#include <windows.h>
#include <commdlg.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>

#include "entry/startup.h"
#include "runtime/console.h"

namespace quarnel {

namespace {

bool headless_requested() {
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    return driver != nullptr && (std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0);
}

// Copies text into a fixed buffer, cut to fit with its NUL.
template <std::size_t N>
void fill(std::array<char, N>& buffer, std::string_view text) {
    buffer.fill('\0');
    std::memcpy(buffer.data(), text.data(), std::min(text.size(), N - 1));
}

}  // namespace

std::string open_file_dialog(std::string_view title, std::string_view start_dir) {
    if (!headless_requested()) {
        // One filter entry, "Wszystkie pliki." with an empty pattern.
        static const char filter[] = "Wszystkie pliki.\0\0";
        std::array<char, 261> file{};
        std::array<char, 256> initial_dir{};
        std::array<char, 32> title_buffer{};
        fill(initial_dir, start_dir);
        fill(title_buffer, title);
        OPENFILENAMEA dialog{};
        dialog.lStructSize = sizeof dialog;
        dialog.hwndOwner = nullptr;
        dialog.hInstance = GetModuleHandleA(nullptr);
        dialog.lpstrFilter = filter;
        dialog.nFilterIndex = 1;
        dialog.lpstrFile = file.data();
        dialog.nMaxFile = static_cast<DWORD>(file.size());
        dialog.lpstrFileTitle = nullptr;
        dialog.lpstrInitialDir = initial_dir.data();
        dialog.lpstrTitle = title_buffer.data();
        dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
        if (GetOpenFileNameA(&dialog)) return std::string(file.data());
        // No error code: the user cancelled. Otherwise no dialog could be shown.
        if (CommDlgExtendedError() == 0) return {};
    }
    // On the console: the typed answer, an empty one cancelling.
    return ask_answer(std::string(title) + ": ", false);
}

}  // namespace quarnel
