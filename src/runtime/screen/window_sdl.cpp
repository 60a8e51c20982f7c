// The real window behind the screen, with SDL2.
//
// One thread of the graphics layer owns the window from start to end: it
// initialises SDL's video, creates the 640 x 480 window, pumps its events
// (keys, held keys, the pointer, closing) and, under the graphics lock,
// copies the marked rows of the shown page into a shadow surface (through
// the palette at 8 bits), which it then puts into the window. SDL wants
// events pumped on the thread that created the window, so nothing else
// touches SDL.
#include "runtime/screen/window.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <mutex>
#include <thread>

#include "runtime/image/image.h"
#include "runtime/screen/screen.h"
#include "runtime/screen/window_input.h"
#include "runtime/screen/window_shared.h"
#include "runtime/utility/text_encoding.h"

// Leaks inside the window system's libraries (loaded and unloaded by SDL at
// run time) are not this program's; keep them out of sanitizer builds'
// reports. Only a LeakSanitizer build looks at this function.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libX11\nleak:libxcb\nleak:libSDL2\nleak:libdbus\nleak:libGLX\nleak:libGL\n"
           "leak:libEGL\nleak:libXi\nleak:libXcursor\nleak:libXrandr\nleak:libXext\n"
           "leak:<unknown module>\n";
}

namespace quarnel {

namespace {

std::atomic<bool> g_stop{false};
std::thread* g_thread = nullptr;  // never destroyed, so no destructor runs at exit
bool g_exit_hook = false;

// Held keys are kept by SDL scancode.
static_assert(SDL_NUM_SCANCODES <= std::tuple_size_v<decltype(SharedInput::held)>);

// Keys that type no text: their queued form (zero byte and scan code for
// the extended ones). Empty for keys whose text comes as a text event.
std::string key_press_text(const SDL_KeyboardEvent& key) {
    const SDL_Keycode sym = key.keysym.sym;
    const Uint16 mod = key.keysym.mod;
    switch (sym) {
        case SDLK_ESCAPE: return "\x1b";
        case SDLK_RETURN:
        case SDLK_KP_ENTER: return "\r";
        case SDLK_BACKSPACE: return "\b";
        case SDLK_TAB: return "\t";
        default: break;
    }
    if ((mod & KMOD_CTRL) && sym >= SDLK_a && sym <= SDLK_z) return std::string(1, static_cast<char>(sym - SDLK_a + 1));
    // Printable keys and the number pad with Num Lock type text.
    if (sym >= 32 && sym < 127) return {};
    if ((mod & KMOD_NUM) && ((sym >= SDLK_KP_1 && sym <= SDLK_KP_0) || sym == SDLK_KP_PERIOD)) return {};
    if (sym == SDLK_KP_DIVIDE || sym == SDLK_KP_MULTIPLY || sym == SDLK_KP_MINUS || sym == SDLK_KP_PLUS) return {};
    const int code = pc_scan_code(key.keysym.scancode);
    if (code == 0) return {};
    switch (key.keysym.scancode) {
        case SDL_SCANCODE_LSHIFT: case SDL_SCANCODE_RSHIFT: case SDL_SCANCODE_LCTRL: case SDL_SCANCODE_RCTRL:
        case SDL_SCANCODE_LALT: case SDL_SCANCODE_RALT: case SDL_SCANCODE_CAPSLOCK: case SDL_SCANCODE_NUMLOCKCLEAR:
        case SDL_SCANCODE_SCROLLLOCK:
            return {};  // modifiers alone are not key presses
        default: break;
    }
    return std::string{'\0', static_cast<char>(code)};
}

// Text typed (UTF-8) as Windows-1250 key presses, one per character.
void queue_typed_text(const char* text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p != 0) {
        std::uint32_t code_point = *p;
        int extra = 0;
        if (*p >= 0xF0) { code_point = *p & 0x07u; extra = 3; }
        else if (*p >= 0xE0) { code_point = *p & 0x0Fu; extra = 2; }
        else if (*p >= 0xC0) { code_point = *p & 0x1Fu; extra = 1; }
        ++p;
        for (int i = 0; i < extra && (*p & 0xC0) == 0x80; ++i, ++p) code_point = (code_point << 6) | (*p & 0x3Fu);
        const std::uint8_t byte = code_point < 128 ? static_cast<std::uint8_t>(code_point) : unicode_to_cp1250(code_point);
        if (byte != 0) queue_key(std::string(1, static_cast<char>(byte)));
    }
}

void handle_event(const SDL_Event& event, SDL_Window* window) {
    auto& s = shared_input();
    switch (event.type) {
        case SDL_QUIT: {
            std::lock_guard lock(s.mutex);
            s.closed_by_user = true;
            SDL_HideWindow(window);
            break;
        }
        case SDL_WINDOWEVENT:
            if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
                std::lock_guard lock(s.mutex);
                s.closed_by_user = true;
                SDL_HideWindow(window);
            } else if (event.window.event == SDL_WINDOWEVENT_ENTER) {
                std::lock_guard lock(s.mutex);
                s.pointer_over = true;
            } else if (event.window.event == SDL_WINDOWEVENT_LEAVE) {
                std::lock_guard lock(s.mutex);
                s.pointer_over = false;
            } else if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
                std::lock_guard lock(s.mutex);
                s.held.fill(false);
            }
            break;
        case SDL_KEYDOWN: {
            {
                std::lock_guard lock(s.mutex);
                s.held[static_cast<std::size_t>(event.key.keysym.scancode)] = true;
            }
            std::string key = key_press_text(event.key);
            if (!key.empty()) queue_key(std::move(key));
            break;
        }
        case SDL_KEYUP: {
            std::lock_guard lock(s.mutex);
            s.held[static_cast<std::size_t>(event.key.keysym.scancode)] = false;
            break;
        }
        case SDL_TEXTINPUT:
            queue_typed_text(event.text.text);
            break;
        case SDL_MOUSEMOTION: {
            std::lock_guard lock(s.mutex);
            s.pointer_x = event.motion.x;
            s.pointer_y = event.motion.y;
            s.pointer_over = true;
            break;
        }
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            // Button bits: 1 left, 2 right, 4 middle.
            int bit = 0;
            if (event.button.button == SDL_BUTTON_LEFT) bit = 1;
            else if (event.button.button == SDL_BUTTON_RIGHT) bit = 2;
            else if (event.button.button == SDL_BUTTON_MIDDLE) bit = 4;
            std::lock_guard lock(s.mutex);
            if (event.type == SDL_MOUSEBUTTONDOWN) s.buttons |= bit;
            else s.buttons &= ~bit;
            s.pointer_x = event.button.x;
            s.pointer_y = event.button.y;
            break;
        }
        case SDL_MOUSEWHEEL: {
            std::lock_guard lock(s.mutex);
            s.wheel += event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event.wheel.y : event.wheel.y;
            break;
        }
        default:
            break;
    }
}

// Copies the marked rows of the shown page into the shadow surface (32-bit
// XRGB). Returns the first and last row copied, or false when none was.
bool copy_marked_rows(SDL_Surface* shadow, std::vector<bool>& rows, int& first, int& last) {
    std::lock_guard lock(graphics_lock());
    if (!take_marked_rows(rows)) return false;
    const Image* page = screen_page();
    if (page == nullptr) return false;
    const auto layout = image_layout(*page);
    if (!layout) return false;
    std::array<std::uint32_t, 256> palette{};
    if (layout->bytes_per_pixel == 1) {
        for (int i = 0; i < 256; ++i) {
            // Palette entries hold red in bits 0-7; the window wants 0xRRGGBB.
            const std::uint32_t e = palette_entry(i);
            palette[static_cast<std::size_t>(i)] =
                0xFF000000u | ((e & 0xFFu) << 16) | (e & 0xFF00u) | ((e >> 16) & 0xFFu);
        }
    }
    const int height = std::min<int>(static_cast<int>(layout->height), shadow->h);
    const int width = std::min<int>(static_cast<int>(layout->width), shadow->w);
    first = -1;
    for (int y = 0; y < height && y < static_cast<int>(rows.size()); ++y) {
        if (!rows[static_cast<std::size_t>(y)]) continue;
        if (first < 0) first = y;
        last = y;
        const std::uint8_t* source = image_row(*page, *layout, static_cast<std::uint32_t>(y));
        auto* target = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(shadow->pixels) +
                                                        static_cast<std::size_t>(y) * static_cast<std::size_t>(shadow->pitch));
        switch (layout->bytes_per_pixel) {
            case 1:
                for (int x = 0; x < width; ++x) target[x] = palette[source[x]];
                break;
            case 4:
                for (int x = 0; x < width; ++x) target[x] = read_pixel_value(source + 4 * x, 4) | 0xFF000000u;
                break;
            default:
                for (int x = 0; x < width; ++x) {
                    const std::uint32_t v = read_pixel_value(source + 2 * x, 2);
                    const std::uint32_t r = (v >> 11) & 31, g = (v >> 5) & 63, b = v & 31;
                    target[x] = 0xFF000000u | ((r * 255 / 31) << 16) | ((g * 255 / 63) << 8) | (b * 255 / 31);
                }
                break;
        }
    }
    return first >= 0;
}

// Puts rows first..last of the shadow into the window.
void show_rows(SDL_Window* window, SDL_Surface* shadow, int first, int last) {
    SDL_Surface* surface = SDL_GetWindowSurface(window);
    if (surface == nullptr) return;
    SDL_Rect rect{0, first, shadow->w, last - first + 1};
    SDL_Rect target = rect;
    SDL_BlitSurface(shadow, &rect, surface, &target);
    SDL_UpdateWindowSurfaceRects(window, &rect, 1);
}

// SDL loads the window system's libraries at run time and unloads them at
// SDL_Quit. Loading them once more, never to be unloaded, keeps their code
// in place for the rest of the process, so that the sanitizer builds can
// name (and leave out of their reports) what those libraries keep to the
// end, and a window opened again starts faster.
//
// The X library's own handler of protocol errors ends the process with
// status 1. A protocol error of the window (for instance a request that
// crosses the window's destruction at the program's end) must not end the
// program, so a handler that lets it pass is installed before SDL starts
// (SDL's own handler hands errors on to it).
int let_protocol_error_pass(void*, void*) { return 0; }

// A lost display (the X server went away) is taken as the window closed:
// the X library calls this on the window thread and ends the process when
// it returns, so the thread parks here for good and the program ends at its
// next console call, as when the user closes the window.
std::atomic<bool> g_display_lost{false};
int park_on_lost_display(void*) {
    g_display_lost = true;
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

void keep_window_libraries_loaded() {
    static bool done = false;
    if (done) return;
    done = true;
    for (const char* name : {"libX11.so.6", "libXext.so.6", "libXcursor.so.1", "libXi.so.6", "libXfixes.so.3",
                             "libXrandr.so.2", "libXss.so.1", "libxkbcommon.so.0", "libX11-xcb.so.1"})
        dlopen(name, RTLD_NOW | RTLD_GLOBAL | RTLD_NODELETE);
    if (void* x11 = dlopen("libX11.so.6", RTLD_NOW | RTLD_GLOBAL | RTLD_NODELETE)) {
        using ErrorHandler = int (*)(void*, void*);
        using SetErrorHandler = ErrorHandler (*)(ErrorHandler);
        if (void* set = dlsym(x11, "XSetErrorHandler")) reinterpret_cast<SetErrorHandler>(set)(let_protocol_error_pass);
        using IoErrorHandler = int (*)(void*);
        using SetIoErrorHandler = IoErrorHandler (*)(IoErrorHandler);
        if (void* set = dlsym(x11, "XSetIOErrorHandler")) reinterpret_cast<SetIoErrorHandler>(set)(park_on_lost_display);
    }
}

struct ThreadStart {
    int depth = 32;
    std::string title;
    std::promise<bool> opened;
};

void window_thread(ThreadStart* start) {
    auto& s = shared_input();
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // The window's own surface, put on screen by the window system; no GL.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    keep_window_libraries_loaded();
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        start->opened.set_value(false);
        return;
    }
    // When the display cannot be reached SDL falls back to a driver that
    // shows nothing: that is headless mode, not a window.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver == nullptr || std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        SDL_Quit();
        start->opened.set_value(false);
        return;
    }
    SDL_Window* window = SDL_CreateWindow(start->title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                          screen_width, screen_height, SDL_WINDOW_SHOWN);
    SDL_Surface* shadow = window != nullptr
                              ? SDL_CreateRGBSurfaceWithFormat(0, screen_width, screen_height, 32, SDL_PIXELFORMAT_ARGB8888)
                              : nullptr;
    if (window == nullptr || shadow == nullptr || SDL_GetWindowSurface(window) == nullptr) {
        if (shadow != nullptr) SDL_FreeSurface(shadow);
        if (window != nullptr) SDL_DestroyWindow(window);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        SDL_Quit();
        start->opened.set_value(false);
        return;
    }
    SDL_SetSurfaceBlendMode(shadow, SDL_BLENDMODE_NONE);
    std::memset(shadow->pixels, 0, static_cast<std::size_t>(shadow->pitch) * screen_height);
    {
        std::lock_guard lock(s.mutex);
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        s.system_id = 0;
        if (SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_X11)
            s.system_id = static_cast<std::uint64_t>(info.info.x11.window);
    }
    mark_all_rows();
    start->opened.set_value(true);  // start is gone after this

    std::vector<bool> rows;
    while (!g_stop.load()) {
        SDL_Event event;
        if (SDL_WaitEventTimeout(&event, 10) != 0) {
            handle_event(event, window);
            while (SDL_PollEvent(&event) != 0) handle_event(event, window);
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
        if (retitle) SDL_SetWindowTitle(window, title.c_str());
        int first = 0, last = 0;
        if (copy_marked_rows(shadow, rows, first, last)) show_rows(window, shadow, first, last);
        {
            std::lock_guard lock(s.mutex);
            ++s.present_count;
        }
        s.presented.notify_all();
    }
    SDL_FreeSurface(shadow);
    SDL_DestroyWindow(window);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    SDL_Quit();
}

// The program's name, for the title of a window that has none yet.
std::string program_name() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "quarnel";
    std::string name(path, static_cast<std::size_t>(n));
    const std::size_t slash = name.rfind('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

bool headless_environment() {
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    if (driver != nullptr && (std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0)) return true;
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (display == nullptr || *display == '\0') && (wayland == nullptr || *wayland == '\0');
}

void close_at_exit() { window_close(); }

}  // namespace

bool window_open(int depth) {
    if (g_window_open.load()) window_close();
    if (headless_environment()) return false;
    clear_shared_input();
    ThreadStart start;
    start.depth = depth;
    start.title = cp1250_to_utf8(window_title());
    if (start.title.empty()) start.title = program_name();
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
    if (g_display_lost.load()) {
        // The window thread is parked for good (see park_on_lost_display).
        g_thread->detach();
        delete g_thread;
        g_thread = nullptr;
        g_window_open = false;
        return;
    }
    // The window thread itself ends the process when the window system's
    // library gives up on a lost display (it calls exit): nothing to join.
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
    s.pending_title = cp1250_to_utf8(title);
    s.title_changed = true;
}

bool window_key_held(int scan_code) {
    if (scan_code <= 0) return false;
    auto& s = shared_input();
    std::lock_guard lock(s.mutex);
    for (int sdl = 0; sdl < SDL_NUM_SCANCODES; ++sdl)
        if (s.held[static_cast<std::size_t>(sdl)] && pc_scan_code(sdl) == scan_code) return true;
    return false;
}

bool window_was_closed() {
    if (!g_window_open.load()) return false;
    if (g_display_lost.load()) return true;
    auto& s = shared_input();
    std::lock_guard lock(s.mutex);
    return s.closed_by_user;
}

int pc_scan_code(int sdl_scancode) {
    // SDL scancodes are USB usage codes; PC set 1 codes as the program
    // knows them (the extended keys share the code of their number-pad twin).
    static const std::array<std::uint8_t, SDL_NUM_SCANCODES> table = [] {
        std::array<std::uint8_t, SDL_NUM_SCANCODES> t{};
        auto set = [&](SDL_Scancode code, int pc) { t[static_cast<std::size_t>(code)] = static_cast<std::uint8_t>(pc); };
        set(SDL_SCANCODE_ESCAPE, 1);
        for (int i = 0; i < 9; ++i) set(static_cast<SDL_Scancode>(SDL_SCANCODE_1 + i), 2 + i);
        set(SDL_SCANCODE_0, 11);
        set(SDL_SCANCODE_MINUS, 12);
        set(SDL_SCANCODE_EQUALS, 13);
        set(SDL_SCANCODE_BACKSPACE, 14);
        set(SDL_SCANCODE_TAB, 15);
        const char* const letters = "qwertyuiopasdfghjklzxcvbnm";
        const int letter_codes[] = {16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 30, 31, 32,
                                    33, 34, 35, 36, 37, 38, 44, 45, 46, 47, 48, 49, 50};
        for (int i = 0; i < 26; ++i) set(static_cast<SDL_Scancode>(SDL_SCANCODE_A + (letters[i] - 'a')), letter_codes[i]);
        set(SDL_SCANCODE_LEFTBRACKET, 26);
        set(SDL_SCANCODE_RIGHTBRACKET, 27);
        set(SDL_SCANCODE_RETURN, 28);
        set(SDL_SCANCODE_KP_ENTER, 28);
        set(SDL_SCANCODE_LCTRL, 29);
        set(SDL_SCANCODE_RCTRL, 29);
        set(SDL_SCANCODE_SEMICOLON, 39);
        set(SDL_SCANCODE_APOSTROPHE, 40);
        set(SDL_SCANCODE_GRAVE, 41);
        set(SDL_SCANCODE_LSHIFT, 42);
        set(SDL_SCANCODE_BACKSLASH, 43);
        set(SDL_SCANCODE_COMMA, 51);
        set(SDL_SCANCODE_PERIOD, 52);
        set(SDL_SCANCODE_SLASH, 53);
        set(SDL_SCANCODE_KP_DIVIDE, 53);
        set(SDL_SCANCODE_RSHIFT, 54);
        set(SDL_SCANCODE_KP_MULTIPLY, 55);
        set(SDL_SCANCODE_LALT, 56);
        set(SDL_SCANCODE_RALT, 56);
        set(SDL_SCANCODE_SPACE, 57);
        set(SDL_SCANCODE_CAPSLOCK, 58);
        for (int i = 0; i < 10; ++i) set(static_cast<SDL_Scancode>(SDL_SCANCODE_F1 + i), 59 + i);
        set(SDL_SCANCODE_NUMLOCKCLEAR, 69);
        set(SDL_SCANCODE_SCROLLLOCK, 70);
        set(SDL_SCANCODE_KP_7, 71);
        set(SDL_SCANCODE_HOME, 71);
        set(SDL_SCANCODE_KP_8, 72);
        set(SDL_SCANCODE_UP, 72);
        set(SDL_SCANCODE_KP_9, 73);
        set(SDL_SCANCODE_PAGEUP, 73);
        set(SDL_SCANCODE_KP_MINUS, 74);
        set(SDL_SCANCODE_KP_4, 75);
        set(SDL_SCANCODE_LEFT, 75);
        set(SDL_SCANCODE_KP_5, 76);
        set(SDL_SCANCODE_KP_6, 77);
        set(SDL_SCANCODE_RIGHT, 77);
        set(SDL_SCANCODE_KP_PLUS, 78);
        set(SDL_SCANCODE_KP_1, 79);
        set(SDL_SCANCODE_END, 79);
        set(SDL_SCANCODE_KP_2, 80);
        set(SDL_SCANCODE_DOWN, 80);
        set(SDL_SCANCODE_KP_3, 81);
        set(SDL_SCANCODE_PAGEDOWN, 81);
        set(SDL_SCANCODE_KP_0, 82);
        set(SDL_SCANCODE_INSERT, 82);
        set(SDL_SCANCODE_KP_PERIOD, 83);
        set(SDL_SCANCODE_DELETE, 83);
        set(SDL_SCANCODE_F11, 87);
        set(SDL_SCANCODE_F12, 88);
        return t;
    }();
    if (sdl_scancode < 0 || sdl_scancode >= SDL_NUM_SCANCODES) return 0;
    return table[static_cast<std::size_t>(sdl_scancode)];
}

}  // namespace quarnel
