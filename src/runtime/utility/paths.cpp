#include "runtime/utility/paths.h"

#include <algorithm>

namespace quarnel {

namespace {
char lower_ascii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

std::string with_system_separators(std::string_view path) {
    std::string out(path);
    std::replace(out.begin(), out.end(), '/', path_separator);
    return out;
}

std::string join_path(std::string_view dir, std::string_view name) {
    std::string out(dir);
    if (!out.empty() && out.back() != path_separator) out.push_back(path_separator);
    out.append(name);
    return out;
}

#ifdef _WIN32
namespace {
bool is_slash(char c) { return c == '\\' || c == '/'; }
bool is_drive_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
}  // namespace

bool is_absolute_path(std::string_view path) {
    if (path.size() >= 3 && is_drive_letter(path[0]) && path[1] == ':' && is_slash(path[2])) return true;
    return path.size() >= 2 && is_slash(path[0]) && is_slash(path[1]);
}

bool is_relative_path(std::string_view path) {
    if (path.empty()) return true;
    if (is_absolute_path(path) || is_slash(path[0])) return false;
    return !(path.size() >= 2 && is_drive_letter(path[0]) && path[1] == ':');
}
#else
bool is_absolute_path(std::string_view path) { return !path.empty() && path.front() == '/'; }

bool is_relative_path(std::string_view path) { return !is_absolute_path(path); }
#endif

std::string path_file_name(std::string_view path) {
    const auto cut = path.find_last_of(path_separator);
    return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

std::string path_dir_part(std::string_view path) {
    const auto cut = path.find_last_of(path_separator);
    return cut == std::string_view::npos ? std::string() : std::string(path.substr(0, cut + 1));
}

bool less_ignoring_case(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(lower_ascii(a[i]));
        const auto cb = static_cast<unsigned char>(lower_ascii(b[i]));
        if (ca != cb) return ca < cb;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;  // names equal but for case keep a fixed order
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower_ascii(a[i]) != lower_ascii(b[i])) return false;
    return true;
}

}  // namespace quarnel
