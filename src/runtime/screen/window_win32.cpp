// The real window behind the screen on Windows, with the system's own
// window calls.
//
// One thread of the graphics layer owns the window from start to end: it
// creates the 640 x 480 window, runs its message loop (keys, held keys by
// the PC scan code the key messages carry, the pointer, closing) and, under
// the graphics lock, puts the marked rows of the shown page into the window
// with StretchDIBits: an 8-bit page through a colour table made from the
// palette, a 32-bit page as it is. The title is set through the wide-char
// calls from the program's own Windows-1250 table, whatever the system's
// code page.
#include <windows.h>
#include <windowsx.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <future>
#include <mutex>
#include <thread>

#include "runtime/image/image.h"
#include "runtime/screen/screen.h"
#include "runtime/screen/window.h"
#include "runtime/screen/window_input.h"
#include "runtime/screen/window_shared.h"
#include "runtime/utility/text_encoding.h"

namespace quarnel {

namespace {

std::atomic<bool> g_stop{false};
std::thread* g_thread = nullptr;
bool g_exit_hook = false;

constexpr wchar_t window_class_name[] = L"quarnel_screen";

// A Windows-1250 text as UTF-16, for the wide-char title call.
std::wstring cp1250_to_wide(std::string_view text) {
    std::wstring out;
    for (const char c : text) {
        std::uint32_t u = cp1250_to_unicode(static_cast<std::uint8_t>(c));
        if (u == 0 && c != '\0') u = '?';
        if (u == 0) continue;  // a title ends at a zero
        out.push_back(static_cast<wchar_t>(u));
    }
    return out;
}

// PC scan code (set 1) of a key message: bits 16-23 of its lParam. The
// extended keys (arrows, the block above them, right Ctrl and Alt) share
// the code of their number-pad or left twin.
int scan_code_of(LPARAM lparam) { return static_cast<int>((static_cast<std::uint64_t>(lparam) >> 16) & 0xFFu); }

// Keys that type no text: a zero byte followed by the scan code. Keys that
// type text (Escape, Enter, Backspace, Tab and Ctrl+letter too) come as
// WM_CHAR.
bool is_extended_key(WPARAM key) {
    switch (key) {
        case VK_LEFT: case VK_RIGHT: case VK_UP: case VK_DOWN: case VK_HOME: case VK_END:
        case VK_PRIOR: case VK_NEXT: case VK_INSERT: case VK_DELETE: case VK_CLEAR:
            return true;
        default:
            return key >= VK_F1 && key <= VK_F12;
    }
}

void set_button(UINT message, int bit) {
    auto& s = shared_input();
    std::lock_guard lock(s.mutex);
    if (message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN) s.buttons |= bit;
    else s.buttons &= ~bit;
}

// Puts rows first..last of the shown page into the window (under the
// graphics lock, held by the caller).
void draw_rows(HDC dc, const Image& page, int first, int last) {
    const auto layout = image_layout(page);
    if (!layout) return;
    const int width = static_cast<int>(layout->width);
    const int height = static_cast<int>(layout->height);
    last = std::min(last, height - 1);
    if (first > last) return;
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } info{};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = width;
    info.header.biHeight = -(last - first + 1);  // top row first
    info.header.biPlanes = 1;
    info.header.biBitCount = static_cast<WORD>(8 * layout->bytes_per_pixel);
    info.header.biCompression = BI_RGB;
    if (layout->bytes_per_pixel == 1) {
        info.header.biClrUsed = 256;
        for (int i = 0; i < 256; ++i) {
            // Palette entries hold red in bits 0-7.
            const std::uint32_t e = palette_entry(i);
            info.colours[i] = RGBQUAD{static_cast<BYTE>((e >> 16) & 0xFF), static_cast<BYTE>((e >> 8) & 0xFF),
                                      static_cast<BYTE>(e & 0xFF), 0};
        }
    } else if (layout->bytes_per_pixel == 2) {
        info.header.biCompression = BI_BITFIELDS;
        const DWORD masks[3] = {0xF800, 0x07E0, 0x001F};
        std::memcpy(info.colours, masks, sizeof masks);
    }
    // Rows are as wide as the DIB wants them (a multiple of four bytes) for
    // the screen's width of 640.
    const std::uint8_t* rows = image_row(page, *layout, static_cast<std::uint32_t>(first));
    StretchDIBits(dc, 0, first, width, last - first + 1, 0, 0, width, last - first + 1, rows,
                  reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCCOPY);
}

void present_marked_rows(HWND window, std::vector<bool>& rows) {
    std::lock_guard lock(graphics_lock());
    if (!take_marked_rows(rows)) return;
    const Image* page = screen_page();
    if (page == nullptr) return;
    HDC dc = GetDC(window);
    int first = -1;
    for (int y = 0; y <= static_cast<int>(rows.size()); ++y) {
        const bool marked = y < static_cast<int>(rows.size()) && rows[static_cast<std::size_t>(y)];
        if (marked && first < 0) first = y;
        if (!marked && first >= 0) {
            draw_rows(dc, *page, first, y - 1);
            first = -1;
        }
    }
    ReleaseDC(window, dc);
}

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto& s = shared_input();
    switch (message) {
        case WM_CLOSE: {
            std::lock_guard lock(s.mutex);
            s.closed_by_user = true;
            ShowWindow(window, SW_HIDE);
            s.key_arrived.notify_all();
            return 0;
        }
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            {
                std::lock_guard lock(graphics_lock());
                if (const Image* page = screen_page()) draw_rows(dc, *page, 0, screen_height - 1);
            }
            EndPaint(window, &paint);
            return 0;
        }
        case WM_KILLFOCUS: {
            std::lock_guard lock(s.mutex);
            s.held.fill(false);
            break;
        }
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN: {
            const int code = scan_code_of(lparam);
            {
                std::lock_guard lock(s.mutex);
                s.held[static_cast<std::size_t>(code)] = true;
            }
            if (is_extended_key(wparam) && code != 0) queue_key(std::string{'\0', static_cast<char>(code)});
            if (message == WM_SYSKEYDOWN && wparam != VK_F4) return 0;  // Alt alone must not open the menu
            break;
        }
        case WM_KEYUP:
        case WM_SYSKEYUP: {
            std::lock_guard lock(s.mutex);
            s.held[static_cast<std::size_t>(scan_code_of(lparam))] = false;
            break;
        }
        case WM_CHAR: {
            const auto u = static_cast<std::uint32_t>(wparam);
            const std::uint8_t byte = u < 128 ? static_cast<std::uint8_t>(u) : unicode_to_cp1250(u);
            if (byte != 0) queue_key(std::string(1, static_cast<char>(byte)));
            return 0;
        }
        case WM_MOUSEMOVE: {
            bool entered = false;
            {
                std::lock_guard lock(s.mutex);
                s.pointer_x = GET_X_LPARAM(lparam);
                s.pointer_y = GET_Y_LPARAM(lparam);
                entered = !s.pointer_over;
                s.pointer_over = true;
            }
            if (entered) {
                TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_LEAVE, window, 0};
                TrackMouseEvent(&track);
            }
            return 0;
        }
        case WM_MOUSELEAVE: {
            std::lock_guard lock(s.mutex);
            s.pointer_over = false;
            return 0;
        }
        // Button bits: 1 left, 2 right, 4 middle.
        case WM_LBUTTONDOWN: case WM_LBUTTONUP: set_button(message, 1); return 0;
        case WM_RBUTTONDOWN: case WM_RBUTTONUP: set_button(message, 2); return 0;
        case WM_MBUTTONDOWN: case WM_MBUTTONUP: set_button(message, 4); return 0;
        case WM_MOUSEWHEEL: {
            std::lock_guard lock(s.mutex);
            s.wheel += GET_WHEEL_DELTA_WPARAM(wparam) / WHEEL_DELTA;
            return 0;
        }
        default:
            break;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

struct ThreadStart {
    std::wstring title;
    std::promise<bool> opened;
};

HWND create_window(const std::wstring& title) {
    static bool registered = false;
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!registered) {
        WNDCLASSEXW window_class{};
        window_class.cbSize = sizeof window_class;
        window_class.style = CS_HREDRAW | CS_VREDRAW;
        window_class.lpfnWndProc = window_procedure;
        window_class.hInstance = instance;
        window_class.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        window_class.lpszClassName = window_class_name;
        if (RegisterClassExW(&window_class) == 0) return nullptr;
        registered = true;
    }
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT frame{0, 0, screen_width, screen_height};
    AdjustWindowRect(&frame, style, FALSE);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    const int x = std::max(0, (GetSystemMetrics(SM_CXSCREEN) - width) / 2);
    const int y = std::max(0, (GetSystemMetrics(SM_CYSCREEN) - height) / 2);
    return CreateWindowExW(0, window_class_name, title.c_str(), style, x, y, width, height, nullptr, nullptr, instance,
                           nullptr);
}

void window_thread(ThreadStart* start) {
    auto& s = shared_input();
    const HWND window = create_window(start->title);
    if (window == nullptr) {
        start->opened.set_value(false);
        return;
    }
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    SetForegroundWindow(window);
    {
        std::lock_guard lock(s.mutex);
        s.system_id = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(window));
    }
    mark_all_rows();
    start->opened.set_value(true);  // start is gone after this

    std::vector<bool> rows;
    while (!g_stop.load()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        std::string title;
        bool retitle = false;
        {
            std::lock_guard lock(s.mutex);
            if (s.title_changed) {
                title = s.pending_title;
                retitle = true;
                s.title_changed = false;
            }
        }
        if (retitle) SetWindowTextW(window, cp1250_to_wide(title).c_str());
        present_marked_rows(window, rows);
        {
            std::lock_guard lock(s.mutex);
            ++s.present_count;
        }
        s.presented.notify_all();
    }
    DestroyWindow(window);
}

// The program's name, for the title of a window that has none yet.
std::wstring program_name() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return L"quarnel";
    std::wstring name(path, n);
    const std::size_t cut = name.find_last_of(L"\\/");
    return cut == std::wstring::npos ? name : name.substr(cut + 1);
}

// A headless run asked for as on Linux (SDL_VIDEODRIVER=dummy or offscreen),
// so that the same scripts drive both builds.
bool headless_environment() {
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    return driver != nullptr && (std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0);
}

void close_at_exit() { window_close(); }

}  // namespace

bool window_open(int depth) {
    (void)depth;  // the window shows either depth; the page says which
    if (g_window_open.load()) window_close();
    if (headless_environment()) return false;
    clear_shared_input();
    ThreadStart start;
    const std::string title = window_title();
    start.title = title.empty() ? program_name() : cp1250_to_wide(title);
    auto opened = start.opened.get_future();
    g_stop = false;
    g_thread = new std::thread(window_thread, &start);
    if (!opened.get()) {
        g_thread->join();
        delete g_thread;
        g_thread = nullptr;
        return false;
    }
    if (!g_exit_hook) {
        g_exit_hook = true;
        std::atexit(close_at_exit);
    }
    g_window_open = true;
    return true;
}

void window_close() {
    if (g_thread == nullptr) return;
    g_stop = true;
    if (std::this_thread::get_id() == g_thread->get_id()) return;
    g_thread->join();
    delete g_thread;
    g_thread = nullptr;
    g_window_open = false;
    forget_window();
}

void window_set_title(std::string_view title) {
    auto& s = shared_input();
    std::lock_guard lock(s.mutex);
    s.pending_title = std::string(title);
    s.title_changed = true;
}

bool window_key_held(int scan_code) {
    if (scan_code <= 0 || scan_code > 255) return false;
    auto& s = shared_input();
    std::lock_guard lock(s.mutex);
    return s.held[static_cast<std::size_t>(scan_code)];
}

bool window_was_closed() {
    if (!g_window_open.load()) return false;
    auto& s = shared_input();
    std::lock_guard lock(s.mutex);
    return s.closed_by_user;
}

}  // namespace quarnel
