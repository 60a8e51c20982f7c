#include "archive/extraction_folder.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "archive/exact_rebuild_file.h"
#include "runtime/platform/native_files.h"
#include "runtime/utility/paths.h"
#include "runtime/utility/text.h"

namespace quarnel {

namespace {

using native::Access;
using native::FileHandle;
using native::no_file;

// What stands at a path that is about to be written.
enum class Standing { nothing, same_bytes, other_bytes };

Standing standing_at(const std::string& path, std::span<const std::uint8_t> bytes) {
    const FileHandle fd = native::open_file(path, Access::read);
    if (fd == no_file) return native::name_exists(path) ? Standing::other_bytes : Standing::nothing;
    const native::FileInfo info = native::file_info(fd);
    Standing standing = Standing::other_bytes;
    if (info.known && info.plain && static_cast<std::uint64_t>(info.size) == bytes.size()) {
        standing = Standing::same_bytes;
        std::vector<std::uint8_t> block(std::size_t{1} << 16);
        for (std::size_t done = 0; done < bytes.size() && standing == Standing::same_bytes;) {
            const std::size_t want = std::min(block.size(), bytes.size() - done);
            const std::int64_t got = native::read_bytes(fd, -1, block.data(), want);
            if (got <= 0 || std::memcmp(block.data(), bytes.data() + done, static_cast<std::size_t>(got)) != 0)
                standing = Standing::other_bytes;
            else
                done += static_cast<std::size_t>(got);
        }
    }
    native::close_file(fd);
    return standing;
}

bool is_picture_name(std::string_view name) {
    if (name.size() < 4) return false;
    const std::string_view ending = name.substr(name.size() - 4);
    return equal_ignoring_case(ending, ".png") || equal_ignoring_case(ending, ".bmp");
}

// The backup folder's name: the local date and time of the extraction.
std::string backup_folder_name() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    char name[64];
    std::strftime(name, sizeof name, "backup-%Y-%m-%d_%H-%M-%S", &local);
    return name;
}

}  // namespace

void report_write_failure(const LineSink& say, JobOutcome& outcome, std::string_view path, std::string_view reason) {
    say("Blad zapisu | cannot write: " + std::string(path) + ": " + std::string(reason));
    outcome.write_failed(path, reason);
}

ExtractionFolder::ExtractionFolder(std::string folder) : folder_(std::move(folder)) {
    if (!folder_.empty() && folder_.back() != path_separator) folder_.push_back(path_separator);
}

void ExtractionFolder::prepare(const std::vector<std::string>& inner_folders) {
    folders_ = {folder_};
    for (const std::string& inner : inner_folders) folders_.push_back(join_path(folder_, inner) + path_separator);
    for (const std::string& folder : folders_) {
        remove_partial_files(folder);
        std::vector<native::FolderEntry> entries;
        if (!native::list_folder(folder, entries)) continue;
        for (const native::FolderEntry& entry : entries) standing_.insert(folder + entry.name);
    }
}

std::string ExtractionFolder::backup_path_locked(const std::string& path) {
    if (!path.starts_with(folder_)) return {};
    if (backup_.empty()) {
        const std::string base = folder_ + backup_folder_name();
        std::string candidate = base;
        for (std::uint32_t n = 2; !native::make_folder(candidate); ++n) {
            if (!native::name_exists(candidate) || n > 1000) return {};
            candidate = base + "-" + decimal_text(n);
        }
        backup_ = candidate;
    }
    const std::string inner = path.substr(folder_.size());
    const std::string inner_dir = path_dir_part(inner);
    if (!inner_dir.empty()) {
        const std::string dir = join_path(backup_, inner_dir);
        if (!native::name_exists(dir) && !native::make_folder(dir)) return {};
    }
    return join_path(backup_, inner);
}

WriteResult ExtractionFolder::write(const std::string& path, std::span<const std::uint8_t> bytes) {
    bool earlier_run = false;  // what stands there is not this run's own
    {
        std::lock_guard lock(mutex_);
        earlier_run = asked_.insert(path).second;
    }
    // A name nothing stood at when the folder was listed (every picture of
    // a first extraction): written straight away.
    if (earlier_run && !standing_.contains(path)) return write_whole_file(path, bytes, true);
    const Standing standing = standing_at(path, bytes);
    if (standing == Standing::same_bytes) return {};
    if (standing == Standing::other_bytes && earlier_run) {
        // A second name for the earlier file in the backup folder costs no
        // space; where the device has none, a copy is written.
        std::lock_guard lock(mutex_);
        const std::string kept_path = backup_path_locked(path);
        if (kept_path.empty()) return Error{"the earlier file could not be kept: " + native::last_failure_reason()};
        if (!native::link_file(path, kept_path)) {
            const auto earlier = read_whole_file(path);
            if (!earlier) return Error{"the earlier file could not be read to keep it"};
            if (const WriteResult copied = write_whole_file(kept_path, std::span<const std::uint8_t>(*earlier)); !copied)
                return Error{"the earlier file could not be kept: " + copied.error().message};
        }
        ++kept_;
    }
    return write_whole_file(path, bytes);
}

WriteResult ExtractionFolder::write(const std::string& path, std::string_view text) {
    return write(path, std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

void ExtractionFolder::keep_files_not_written(const LineSink& say) {
    std::lock_guard lock(mutex_);
    for (const std::string& folder : folders_) {
        std::vector<native::FolderEntry> entries;
        if (!native::list_folder(folder, entries)) continue;
        for (const native::FolderEntry& entry : entries) {
            if ((entry.attributes & 0x10u) != 0) continue;
            if (!is_picture_name(entry.name) && entry.name != exact_rebuild_file_name) continue;
            const std::string path = folder + entry.name;
            if (asked_.contains(path)) continue;
            const std::string kept_path = backup_path_locked(path);
            if (kept_path.empty() || !native::replace_file(path, kept_path)) {
                say("Nie mozna przeniesc starego pliku | cannot move the earlier file " + path +
                    " into the backup folder: " + native::last_failure_reason());
                continue;
            }
            ++kept_;
        }
    }
}

std::string ExtractionFolder::kept_line() const {
    if (kept_ == 0) return {};
    const std::string count = decimal_text(kept_);
    return "Zachowano wczesniejsze pliki (" + count + ") w " + backup_ + " | kept " + count + " earlier " +
           (kept_ == 1 ? "file" : "files") + " in " + backup_;
}

}  // namespace quarnel
