// The file-open dialog on Windows: the common open-file dialog, in its
// wide form, so that a file in a folder of any letters can be chosen; the
// path comes back in UTF-8. Where no dialog can be shown (no desktop, or a
// headless run asked for with SDL_VIDEODRIVER=dummy or offscreen, as on
// Linux), the console asks instead. An empty result means the user
// cancelled.
#include <windows.h>
#include <commdlg.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "runtime/platform/file_dialog.h"
#include "runtime/utility/text_encoding.h"

namespace quarnel {

namespace {

bool headless_requested() {
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    return driver != nullptr && (std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0);
}

// Copies text into a fixed buffer, cut to fit with its NUL.
template <std::size_t N>
void fill(std::array<wchar_t, N>& buffer, std::u16string_view text) {
    buffer.fill(L'\0');
    std::copy_n(text.begin(), std::min(text.size(), N - 1), buffer.begin());
}

}  // namespace

std::optional<std::string> open_file_dialog(std::string_view title, std::string_view start_dir) {
    if (!headless_requested()) {
        // One filter entry, "Wszystkie pliki." with an empty pattern.
        static const wchar_t filter[] = L"Wszystkie pliki.\0\0";
        std::array<wchar_t, 261> file{};
        std::array<wchar_t, 256> initial_dir{};
        std::array<wchar_t, 32> title_buffer{};
        // The folder is UTF-8, the title one of the program's own texts.
        fill(initial_dir, utf16_from_utf8(start_dir).value_or(std::u16string()));
        fill(title_buffer, shown_text(title));
        OPENFILENAMEW dialog{};
        dialog.lStructSize = sizeof dialog;
        dialog.hwndOwner = nullptr;
        dialog.hInstance = GetModuleHandleW(nullptr);
        dialog.lpstrFilter = filter;
        dialog.nFilterIndex = 1;
        dialog.lpstrFile = file.data();
        dialog.nMaxFile = static_cast<DWORD>(file.size());
        dialog.lpstrFileTitle = nullptr;
        dialog.lpstrInitialDir = initial_dir.data();
        dialog.lpstrTitle = title_buffer.data();
        dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
        if (GetOpenFileNameW(&dialog)) return utf8_from_utf16(std::u16string(file.data(), file.data() + std::wcslen(file.data())));
        // No error code: the user cancelled. Otherwise no dialog could be shown.
        if (CommDlgExtendedError() == 0) return {};
    }
    return std::nullopt;
}

}  // namespace quarnel
