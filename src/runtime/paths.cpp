#include "runtime/paths.h"

#include <algorithm>

#include "runtime/native_files.h"

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

std::string find_ignoring_case(std::string_view dir, std::string_view name) {
    const std::string exact = join_path(dir, name);
    if (native::name_exists(exact)) return exact;
    std::vector<native::FolderEntry> entries;
    native::list_folder(std::string(dir), entries);
    std::vector<std::string> found;
    for (const native::FolderEntry& entry : entries)
        if (equal_ignoring_case(entry.name, name)) found.push_back(entry.name);
    if (found.empty()) return {};
    std::sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) { return a < b; });
    return join_path(dir, found.front());
}

std::vector<std::string> list_files_with_suffix(std::string_view dir, std::string_view suffix) {
    std::vector<native::FolderEntry> entries;
    native::list_folder(std::string(dir), entries);
    std::vector<std::string> names;
    for (const native::FolderEntry& folder_entry : entries) {
        if ((folder_entry.attributes & 0x20u) == 0) continue;  // plain files only
        const std::string& entry = folder_entry.name;
        if (entry.size() >= suffix.size() &&
            equal_ignoring_case(std::string_view(entry).substr(entry.size() - suffix.size()), suffix))
            names.push_back(entry);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return less_ignoring_case(a, b); });
    return names;
}

}  // namespace quarnel
