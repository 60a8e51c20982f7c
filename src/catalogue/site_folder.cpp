#include "catalogue/site_folder.h"

#include "runtime/platform/native_files.h"
#include "runtime/utility/paths.h"

namespace quarnel {

namespace {

constexpr std::string_view list_header = "quarnel catalogue 1";

}  // namespace

bool site_path_allowed(std::string_view relative) {
    if (relative.empty() || relative == site_list_file_name) return false;
    std::size_t part_start = 0;
    for (std::size_t i = 0; i <= relative.size(); ++i) {
        if (i == relative.size() || relative[i] == '/') {
            const std::string_view part = relative.substr(part_start, i - part_start);
            if (part.empty() || part == "." || part == "..") return false;
            part_start = i + 1;
            continue;
        }
        const char c = relative[i];
        const bool allowed = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                             c == '-' || c == '_';
        if (!allowed) return false;
    }
    return true;
}

std::string SiteFolder::open(const std::string& folder) {
    folder_ = folder;
    while (folder_.size() > 1 && folder_.back() == path_separator) folder_.pop_back();
    if (!make_folders(folder_)) return "cannot create the folder " + folder_;
    remove_partial_files(folder_);
    if (const auto list = read_whole_file(full_path(site_list_file_name))) {
        const std::string text(list->begin(), list->end());
        std::size_t at = 0;
        bool first = true;
        while (at < text.size()) {
            std::size_t end = text.find('\n', at);
            if (end == std::string::npos) end = text.size();
            const std::string line = text.substr(at, end - at);
            at = end + 1;
            if (first) {
                first = false;
                if (line != list_header) break;  // not a list of ours: nothing on it counts
                continue;
            }
            if (site_path_allowed(line)) earlier_.insert(line);
        }
    }
    return {};
}

std::string SiteFolder::full_path(std::string_view relative) const { return join_path(folder_, with_system_separators(relative)); }

bool SiteFolder::is_ours(const std::string& relative) const {
    return earlier_.count(relative) != 0 || claimed_.count(relative) != 0;
}

std::string SiteFolder::claim(const std::vector<std::string>& relative_paths) {
    bool added = false;
    for (const std::string& relative : relative_paths) {
        if (claimed_.count(relative) != 0) continue;
        if (!site_path_allowed(relative)) return "the name " + relative + " cannot be a file of the catalogue";
        if (!is_ours(relative) && native::name_exists(full_path(relative)))
            return full_path(relative) + " was not written by the catalogue - left as it is";
    }
    for (const std::string& relative : relative_paths)
        if (claimed_.insert(relative).second) added = true;
    if (added)
        if (const WriteResult saved = save_list(); !saved) return "cannot write " + full_path(site_list_file_name) + ": " + saved.error().message;
    return {};
}

WriteResult SiteFolder::save_list() {
    // The list holds the earlier run's files until finish() has removed them.
    std::set<std::string> all = earlier_;
    all.insert(claimed_.begin(), claimed_.end());
    std::string text(list_header);
    text += '\n';
    for (const std::string& relative : all) text += relative + "\n";
    return write_whole_file(full_path(site_list_file_name), text);
}

WriteResult SiteFolder::write(const std::string& relative, std::span<const std::uint8_t> bytes) {
    if (std::string refused = claim({relative}); !refused.empty()) return Error{refused};
    const std::string path = full_path(relative);
    // A file in a folder of the site: the folder is made first.
    const std::string folder = path_dir_part(path);
    if (!folder.empty()) make_folders(folder);
    return write_whole_file(path, bytes);
}

WriteResult SiteFolder::write(const std::string& relative, std::string_view text) {
    return write(relative, std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

void SiteFolder::finish(const LineSink& say) {
    std::set<std::string> kept;
    for (const std::string& relative : earlier_) {
        if (claimed_.count(relative) != 0) continue;
        const std::string path = full_path(relative);
        if (native::name_exists(path) && !native::remove_file(path)) {
            say("cannot remove " + path + " (left from an earlier catalogue): " + native::last_failure_reason());
            kept.insert(relative);  // still ours: a later run may remove it
        }
    }
    earlier_ = std::move(kept);
    // Only the files of this run stay on the list; a claimed file that
    // could not be written is on it too, as a later run may replace it.
    if (const WriteResult saved = save_list(); !saved) say("cannot write " + full_path(site_list_file_name) + ": " + saved.error().message);
}

}  // namespace quarnel
