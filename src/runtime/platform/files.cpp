// Files and directories: the table of 254 file numbers, the input context,
// directory listings, the command line and the program's own folder.
//
// Files are the system's own handles (native_files.h). Binary reads and
// writes go to the slot's own position, so a read past the end simply
// stops short and the rest of the destination is zero-filled.
#include "runtime/platform/files.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "runtime/platform/native_files.h"
#include "runtime/utility/paths.h"
#include "runtime/utility/text.h"

namespace quarnel {

namespace {

struct FileSlot {
    bool open = false;
    OpenMode mode = OpenMode::binary;
    native::FileHandle fd = native::no_file;
    std::int64_t position = 0;  // 0-based byte offset of the next read or write
    std::string text;           // input mode: the whole file, read at open
};

std::array<FileSlot, max_file_number + 1> g_files;  // index 0 unused (the screen)

// The input context: a typed line, or an open file.
struct InputContext {
    bool from_file = false;
    int file_number = 0;
    std::string line;
    std::size_t line_position = 0;
};
InputContext g_input;

struct Listing {
    std::vector<std::string> names;
    std::size_t next = 0;
};
Listing g_listing;

std::vector<std::string> g_arguments;

bool valid_number(int file_number) { return file_number >= 1 && file_number <= max_file_number; }

FileSlot* open_slot(int file_number) {
    if (!valid_number(file_number)) return nullptr;
    FileSlot& slot = g_files[static_cast<std::size_t>(file_number)];
    return slot.open ? &slot : nullptr;
}

using native::Access;
using native::FileHandle;
using native::no_file;

// Reads to the end of the file, straight into out (empty on entry), at most
// largest_whole_file_bytes: a longer file, or a device that never ends, is
// refused before it can take the memory.
enum class ReadAll { done, failed, too_large };

template <typename Bytes>
ReadAll read_all(FileHandle fd, Bytes& out) {
    std::size_t capacity = std::size_t{1} << 16;
    const native::FileInfo info = native::file_info(fd);
    if (info.known && info.plain) {
        if (static_cast<std::uint64_t>(info.size) > largest_whole_file_bytes) return ReadAll::too_large;
        capacity = static_cast<std::size_t>(info.size) + 1;  // one byte more, to see the end at once
    }
    out.resize(capacity);
    std::size_t done = 0;
    for (;;) {
        if (done == out.size()) {
            if (done > largest_whole_file_bytes) return ReadAll::too_large;
            out.resize(static_cast<std::size_t>(std::min<std::uint64_t>(std::uint64_t{done} * 2, largest_whole_file_bytes + 1)));
        }
        const std::int64_t n =
            native::read_bytes(fd, -1, reinterpret_cast<std::uint8_t*>(out.data()) + done, out.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n == 0) {
            out.resize(done);
            return ReadAll::done;
        } else {
            return ReadAll::failed;
        }
    }
}

// The size of an open file, or 0 when the system cannot tell.
std::int64_t size_of(FileHandle fd) {
    const native::FileInfo info = native::file_info(fd);
    return info.known ? info.size : 0;
}

// Windows-style wildcards: "*" any run, "?" any one character, letters
// compared ignoring case; every other character stands for itself.
bool wildcard_match(std::string_view pattern, std::string_view name) {
    std::size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || equal_ignoring_case(pattern.substr(p, 1), name.substr(n, 1)))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace

int free_file_number() {
    for (int n = 1; n <= max_file_number; ++n)
        if (!g_files[static_cast<std::size_t>(n)].open) return n;
    return 0;
}

int open_file(std::string_view name, OpenMode mode, int file_number) {
    if (!valid_number(file_number)) return 1;
    FileSlot& slot = g_files[static_cast<std::size_t>(file_number)];
    if (slot.open) return 1;  // the number is taken: open nothing
    const std::string path(name);
    if (path.empty()) return 2;
    FileHandle fd = no_file;
    switch (mode) {
        case OpenMode::binary:
            // Existing file read-write, else a new empty one, else read-only.
            fd = native::open_file(path, Access::read_write);
            if (fd == no_file) fd = native::open_file(path, Access::read_write_create);
            if (fd == no_file) fd = native::open_file(path, Access::read);
            break;
        case OpenMode::input: fd = native::open_file(path, Access::read); break;
        case OpenMode::output: fd = native::open_file(path, Access::write_truncate); break;
        case OpenMode::append: fd = native::open_file(path, Access::write_append); break;
    }
    if (fd == no_file) return 2;
    slot = FileSlot{};
    slot.fd = fd;
    slot.mode = mode;
    if (mode == OpenMode::input && read_all(fd, slot.text) != ReadAll::done) {
        native::close_file(fd);
        slot = FileSlot{};
        return 2;
    }
    if (mode == OpenMode::append) slot.position = size_of(fd);
    slot.open = true;
    return 0;
}

int close_file(int file_number) {
    if (file_number == 0) {
        for (int n = 1; n <= max_file_number; ++n) close_file(n);
        return 0;
    }
    FileSlot* slot = open_slot(file_number);
    if (!slot) return 1;
    native::close_file(slot->fd);
    *slot = FileSlot{};
    if (g_input.from_file && g_input.file_number == file_number) g_input = InputContext{};
    return 0;
}

int get_bytes(int file_number, std::int64_t position, std::uint8_t* destination, std::size_t count) {
    FileSlot* slot = open_slot(file_number);
    if (!slot || position < 0 || (count > 0 && !destination)) return 1;
    std::int64_t at = position == 0 ? slot->position : position - 1;
    std::size_t done = 0;
    int result = 0;
    while (done < count) {
        const std::int64_t n = native::read_bytes(slot->fd, at + static_cast<std::int64_t>(done), destination + done, count - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n == 0) {
            break;  // end of file: the rest arrives as zeros
        } else {
            result = 3;
            break;
        }
    }
    if (done < count) std::memset(destination + done, 0, count - done);
    slot->position = at + static_cast<std::int64_t>(count);
    return result;
}

int put_bytes(int file_number, std::int64_t position, std::span<const std::uint8_t> source) {
    FileSlot* slot = open_slot(file_number);
    if (!slot || position < 0 || slot->mode == OpenMode::input) return 1;
    std::int64_t at = position == 0 ? slot->position : position - 1;
    if (slot->mode == OpenMode::append) {
        // Appended text always lands at the end.
        if (!native::write_bytes(slot->fd, -1, source.data(), source.size())) return 3;
        slot->position = size_of(slot->fd);
        return 0;
    }
    const bool ok = native::write_bytes(slot->fd, at, source.data(), source.size());
    if (ok) slot->position = at + static_cast<std::int64_t>(source.size());
    return ok ? 0 : 3;
}

int write_file_text(int file_number, std::string_view text) {
    FileSlot* slot = open_slot(file_number);
    if (!slot || slot->mode == OpenMode::input) return 1;
    return put_bytes(file_number, 0,
                     std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

int input_from_file(int file_number) {
    FileSlot* slot = open_slot(file_number);
    if (!slot) return 1;
    if (slot->mode != OpenMode::input) {
        // A file opened otherwise is read as text from its current position:
        // the slot's position indexes the file's whole content.
        slot->text.clear();
        std::string rest;
        if (!native::rewind_file(slot->fd) || read_all(slot->fd, rest) != ReadAll::done) return 3;
        slot->text = std::move(rest);
    }
    g_input = InputContext{};
    g_input.from_file = true;
    g_input.file_number = file_number;
    return 0;
}

std::string input_item() {
    if (!g_input.from_file) return take_input_item(g_input.line, g_input.line_position);
    FileSlot* slot = open_slot(g_input.file_number);
    if (!slot) return {};
    std::size_t at = slot->position < 0 ? 0 : static_cast<std::size_t>(slot->position);
    std::string item = take_input_item(slot->text, at);
    slot->position = static_cast<std::int64_t>(at);
    return item;
}

void input_from_line(std::string line) {
    g_input = InputContext{};
    g_input.line = std::move(line);
}

bool end_of_file(int file_number) {
    FileSlot* slot = open_slot(file_number);
    if (!slot) return true;
    if (slot->mode == OpenMode::input) return slot->position >= static_cast<std::int64_t>(slot->text.size());
    const native::FileInfo info = native::file_info(slot->fd);
    if (!info.known) return true;
    return slot->position >= info.size;
}

std::int64_t file_length(int file_number) {
    FileSlot* slot = open_slot(file_number);
    if (!slot) return -1;
    if (slot->mode == OpenMode::input) return static_cast<std::int64_t>(slot->text.size());
    const native::FileInfo info = native::file_info(slot->fd);
    return info.known ? info.size : -1;
}

Result<std::vector<std::uint8_t>> read_file_start(std::string_view name, std::size_t count) {
    const FileHandle fd = native::open_file(std::string(name), Access::read);
    if (fd == no_file) return Error{native::last_failure_reason()};
    std::vector<std::uint8_t> bytes(count);
    std::size_t done = 0;
    while (done < count) {
        const std::int64_t n = native::read_bytes(fd, -1, bytes.data() + done, count - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    native::close_file(fd);
    bytes.resize(done);
    return bytes;
}

std::int64_t file_size(std::string_view name) {
    const FileHandle fd = native::open_file(std::string(name), Access::read);
    if (fd == no_file) return 0;
    const std::int64_t size = size_of(fd);
    native::close_file(fd);
    return size;
}

bool file_exists(std::string_view name) {
    if (name.empty()) return false;
    const FileHandle fd = native::open_file(std::string(name), Access::read);
    if (fd == no_file) return false;
    native::close_file(fd);
    return true;
}

bool is_plain_file(std::string_view name) {
    std::error_code ec;
    return std::filesystem::is_regular_file(native::system_path(name), ec);
}

bool is_folder(std::string_view name) {
    std::error_code ec;
    return std::filesystem::is_directory(native::system_path(name), ec);
}

int delete_file(std::string_view name) {
    if (name.empty()) return 1;
    return native::remove_file(std::string(name)) ? 0 : 2;
}

bool make_directory(std::string_view path) { return !path.empty() && native::make_folder(std::string(path)); }

bool make_folders(std::string_view path) {
    std::error_code ec;
    std::filesystem::create_directories(native::system_path(path), ec);
    return is_folder(path);
}

bool name_exists(std::string_view name) { return native::name_exists(std::string(name)); }

std::string program_directory() {
    const std::string exe = native::executable_path();
    const auto cut = exe.find_last_of(path_separator);
    if (cut == std::string::npos) return {};
    return exe.substr(0, cut);
}

std::string absolute_path(std::string_view name) { return native::full_path(name); }

std::string unusable_name_line(std::string_view name) {
    const std::string reason = unusable_name_reason(name);
    if (reason.empty()) return {};
    return "Nazwa nie do uzycia (" + reason + ") | the system cannot take this name: " + std::string(name);
}

std::string first_match(std::string_view pattern, unsigned attribute_mask) {
    g_listing = Listing{};
    const std::string folder = path_dir_part(pattern);
    const std::string wildcard = path_file_name(pattern);
    if (wildcard.empty()) return {};
    std::vector<native::FolderEntry> entries;
    if (!native::list_folder(folder, entries, true)) return {};
    const bool match_all = wildcard == "*.*" || wildcard == "*";
    for (native::FolderEntry& entry : entries) {
        if (!match_all && !wildcard_match(wildcard, entry.name)) continue;
        if ((entry.attributes & ~attribute_mask) != 0) continue;
        g_listing.names.push_back(std::move(entry.name));
    }
    std::sort(g_listing.names.begin(), g_listing.names.end(),
              [](const std::string& a, const std::string& b) { return less_ignoring_case(a, b); });
    return next_match();
}

std::string next_match() {
    if (g_listing.next >= g_listing.names.size()) return {};
    return g_listing.names[g_listing.next++];
}

void set_command_arguments(int argc, char** argv) { g_arguments = native::command_line_words(argc, argv); }

int command_argument_count() { return static_cast<int>(g_arguments.size()); }

std::string command_argument(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= g_arguments.size()) return {};
    return g_arguments[static_cast<std::size_t>(index)];
}

void end_program(int status) {
    close_file(0);
    std::fflush(stdout);
    std::fflush(stderr);
    // std::exit runs the atexit handlers, among them the one that puts the
    // terminal back into its normal mode.
    std::exit(status);
}

Result<std::vector<std::uint8_t>> read_whole_file(std::string_view name) {
    const FileHandle fd = native::open_file(std::string(name), Access::read);
    if (fd == no_file) return Error{native::last_failure_reason(), Error::Kind::not_opened};
    std::vector<std::uint8_t> bytes;
    const ReadAll result = read_all(fd, bytes);
    const std::string reason = result == ReadAll::failed ? native::last_failure_reason() : std::string();
    native::close_file(fd);
    if (result == ReadAll::too_large)
        return Error{"Plik za duzy (najwiecej " + std::to_string(largest_whole_file_bytes) + " bajtow) - nie wczytany: " +
                         std::string(name) + " | file too large, not read",
                     Error::Kind::too_large};
    if (result == ReadAll::failed) return Error{reason, Error::Kind::cut_short};
    return bytes;
}

void say_read_failure(const Error& error, const LineSink& say) {
    if (error.kind == Error::Kind::too_large) say(error.message);
}

WriteResult write_whole_file(std::string_view name, std::span<const std::uint8_t> bytes, bool nothing_stands_there) {
    const std::string target(name);
    const native::OutputTarget standing =
        nothing_stands_there ? native::OutputTarget::replaceable : native::output_target(target);
    if (standing == native::OutputTarget::read_only) return Error{"the file is read-only"};
    const bool in_place = standing == native::OutputTarget::device;
    const std::string partial = in_place ? target : target + std::string(partial_file_suffix);
    const FileHandle fd = native::open_file(partial, Access::write_truncate);
    if (fd == no_file) return Error{native::last_failure_reason()};
    std::string reason;
    if (!native::write_bytes(fd, -1, bytes.data(), bytes.size())) reason = native::last_failure_reason();
    // Closing is where a full disk may show last.
    if (!native::close_file(fd) && reason.empty()) reason = native::last_failure_reason();
    const bool while_writing = !reason.empty();
    if (!in_place) {
        if (reason.empty() && !native::replace_file(partial, target)) reason = native::last_failure_reason();
        if (!reason.empty()) native::remove_file(partial);
    }
    if (reason.empty()) return {};
    return Error{reason, while_writing ? Error::Kind::cut_short : Error::Kind::not_opened};
}

WriteResult write_whole_file(std::string_view name, std::string_view bytes) {
    return write_whole_file(name, std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

void remove_partial_files(std::string_view folder) {
    std::vector<native::FolderEntry> entries;
    if (!native::list_folder(std::string(folder), entries)) return;
    for (const native::FolderEntry& entry : entries) {
        if ((entry.attributes & 0x10u) != 0 || !entry.name.ends_with(partial_file_suffix)) continue;
        native::remove_file(join_path(folder, entry.name));
    }
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
