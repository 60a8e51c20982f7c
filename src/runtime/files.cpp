// Files and directories: the table of 254 file numbers, the input context,
// directory listings, the command line and the program's own folder.
//
// Files are plain POSIX descriptors. Binary reads and writes go through
// pread/pwrite at the slot's own position, so a read past the end simply
// stops short and the rest of the destination is zero-filled.
#include "runtime/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include <dirent.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/console.h"
#include "runtime/paths.h"
#include "runtime/text.h"

namespace quarnel {

namespace {

struct FileSlot {
    bool open = false;
    OpenMode mode = OpenMode::binary;
    int fd = -1;
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

// Opens without blocking on a FIFO, refuses folders, then restores blocking I/O.
int open_plain(const std::string& name, int flags, mode_t create_mode = 0666) {
    const int fd = ::open(name.c_str(), flags | O_CLOEXEC | O_NONBLOCK, create_mode);
    if (fd < 0) return -1;
    struct stat info {};
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    const int status = fcntl(fd, F_GETFL);
    if (status >= 0) fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
    return fd;
}

// Reads to the end of the file, straight into out (empty on entry), at most
// largest_whole_file_bytes: a longer file, or a device that never ends, is
// refused before it can take the memory.
enum class ReadAll { done, failed, too_large };

template <typename Bytes>
ReadAll read_all(int fd, Bytes& out) {
    std::size_t capacity = std::size_t{1} << 16;
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        if (static_cast<std::uint64_t>(info.st_size) > largest_whole_file_bytes) return ReadAll::too_large;
        capacity = static_cast<std::size_t>(info.st_size) + 1;  // one byte more, to see the end at once
    }
    out.resize(capacity);
    std::size_t done = 0;
    for (;;) {
        if (done == out.size()) {
            if (done > largest_whole_file_bytes) return ReadAll::too_large;
            out.resize(static_cast<std::size_t>(std::min<std::uint64_t>(std::uint64_t{done} * 2, largest_whole_file_bytes + 1)));
        }
        const ssize_t n = ::read(fd, out.data() + done, out.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n == 0) {
            out.resize(done);
            return ReadAll::done;
        } else if (errno != EINTR) {
            return ReadAll::failed;
        }
    }
}

bool write_all(int fd, const std::uint8_t* data, std::size_t count, std::int64_t* offset) {
    while (count > 0) {
        const ssize_t n = offset ? ::pwrite(fd, data, count, *offset) : ::write(fd, data, count);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        count -= static_cast<std::size_t>(n);
        if (offset) *offset += n;
    }
    return true;
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

// Attribute bits of a listed entry, in the Windows sense: 0x01 read-only,
// 0x02 hidden (a name starting with "."), 0x04 system (not a plain file or
// folder), 0x10 folder, 0x20 archive (every plain file).
unsigned entry_attributes(const std::string& folder, const std::string& name) {
    unsigned attributes = 0;
    if (!name.empty() && name[0] == '.') attributes |= 0x02;
    struct stat info {};
    const std::string full = join_path(folder, name);
    if (::stat(full.c_str(), &info) != 0) return attributes | 0x04;
    if (S_ISDIR(info.st_mode)) attributes |= 0x10;
    else if (S_ISREG(info.st_mode)) attributes |= 0x20;
    else attributes |= 0x04;
    if (::access(full.c_str(), W_OK) != 0) attributes |= 0x01;
    return attributes;
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
    int fd = -1;
    switch (mode) {
        case OpenMode::binary:
            // Existing file read-write, else a new empty one, else read-only.
            fd = open_plain(path, O_RDWR);
            if (fd < 0) fd = open_plain(path, O_RDWR | O_CREAT);
            if (fd < 0) fd = open_plain(path, O_RDONLY);
            break;
        case OpenMode::input: fd = open_plain(path, O_RDONLY); break;
        case OpenMode::output: fd = open_plain(path, O_WRONLY | O_CREAT | O_TRUNC); break;
        case OpenMode::append: fd = open_plain(path, O_WRONLY | O_CREAT | O_APPEND); break;
    }
    if (fd < 0) return 2;
    slot = FileSlot{};
    slot.fd = fd;
    slot.mode = mode;
    if (mode == OpenMode::input && read_all(fd, slot.text) != ReadAll::done) {
        ::close(fd);
        slot = FileSlot{};
        return 2;
    }
    if (mode == OpenMode::append) {
        const off_t end = ::lseek(fd, 0, SEEK_END);
        slot.position = end > 0 ? end : 0;
    }
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
    ::close(slot->fd);
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
        const ssize_t n = ::pread(slot->fd, destination + done, count - done, at + static_cast<std::int64_t>(done));
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n == 0) {
            break;  // end of file: the rest arrives as zeros
        } else if (errno != EINTR) {
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
        if (!write_all(slot->fd, source.data(), source.size(), nullptr)) return 3;
        const off_t end = ::lseek(slot->fd, 0, SEEK_END);
        slot->position = end > 0 ? end : 0;
        return 0;
    }
    const bool ok = write_all(slot->fd, source.data(), source.size(), &at);
    slot->position = at;
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
        if (::lseek(slot->fd, 0, SEEK_SET) < 0 || read_all(slot->fd, rest) != ReadAll::done) return 3;
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

int end_of_file(int file_number) {
    FileSlot* slot = open_slot(file_number);
    if (!slot) return -1;
    if (slot->mode == OpenMode::input) return slot->position >= static_cast<std::int64_t>(slot->text.size()) ? -1 : 0;
    struct stat info {};
    if (fstat(slot->fd, &info) != 0) return -1;
    return slot->position >= static_cast<std::int64_t>(info.st_size) ? -1 : 0;
}

std::int64_t file_length(int file_number) {
    FileSlot* slot = open_slot(file_number);
    if (!slot) return -1;
    if (slot->mode == OpenMode::input) return static_cast<std::int64_t>(slot->text.size());
    struct stat info {};
    return fstat(slot->fd, &info) == 0 ? static_cast<std::int64_t>(info.st_size) : -1;
}

std::int64_t file_size(std::string_view name) {
    const int fd = open_plain(std::string(name), O_RDONLY);
    if (fd < 0) return 0;
    struct stat info {};
    const std::int64_t size = fstat(fd, &info) == 0 ? static_cast<std::int64_t>(info.st_size) : 0;
    ::close(fd);
    return size;
}

int file_exists(std::string_view name) {
    if (name.empty()) return 0;
    const int fd = open_plain(std::string(name), O_RDONLY);
    if (fd < 0) return 0;
    ::close(fd);
    return -1;
}

int delete_file(std::string_view name) {
    if (name.empty()) return 1;
    return ::unlink(std::string(name).c_str()) == 0 ? 0 : 2;
}

int make_directory(std::string_view path) {
    if (path.empty()) return -1;
    return ::mkdir(std::string(path).c_str(), 0777) == 0 ? 0 : -1;
}

std::string program_directory() {
    std::string exe(4096, '\0');
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", exe.data(), exe.size());
        if (n < 0) return {};
        if (static_cast<std::size_t>(n) < exe.size()) {
            exe.resize(static_cast<std::size_t>(n));
            break;
        }
        exe.resize(exe.size() * 2);
    }
    const auto cut = exe.find_last_of(path_separator);
    if (cut == std::string::npos) return {};
    return exe.substr(0, cut);
}

std::string first_match(std::string_view pattern, unsigned attribute_mask) {
    g_listing = Listing{};
    const std::string folder = path_dir_part(pattern);
    const std::string wildcard = path_file_name(pattern);
    if (wildcard.empty()) return {};
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return {};
    const bool match_all = wildcard == "*.*" || wildcard == "*";
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (!match_all && !wildcard_match(wildcard, name)) continue;
        if ((entry_attributes(folder.empty() ? "." : folder, name) & ~attribute_mask) != 0) continue;
        g_listing.names.push_back(name);
    }
    ::closedir(dir);
    std::sort(g_listing.names.begin(), g_listing.names.end(),
              [](const std::string& a, const std::string& b) { return less_ignoring_case(a, b); });
    return next_match();
}

std::string next_match() {
    if (g_listing.next >= g_listing.names.size()) return {};
    return g_listing.names[g_listing.next++];
}

void set_command_arguments(int argc, char** argv) {
    g_arguments.clear();
    for (int i = 0; i < argc; ++i) g_arguments.emplace_back(argv[i] ? argv[i] : "");
}

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

std::optional<std::vector<std::uint8_t>> read_whole_file(std::string_view name) {
    const int fd = open_plain(std::string(name), O_RDONLY);
    if (fd < 0) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    const ReadAll result = read_all(fd, bytes);
    ::close(fd);
    if (result == ReadAll::too_large)
        print_text(0, "Plik za duzy (najwiecej " + std::to_string(largest_whole_file_bytes) + " bajtow) - nie wczytany: " +
                          std::string(name) + " | file too large, not read", true);
    if (result != ReadAll::done) return std::nullopt;
    return bytes;
}

bool write_whole_file(std::string_view name, std::span<const std::uint8_t> bytes) {
    const int fd = open_plain(std::string(name), O_WRONLY | O_CREAT | O_TRUNC);
    if (fd < 0) return false;
    const bool ok = write_all(fd, bytes.data(), bytes.size(), nullptr);
    return (::close(fd) == 0) && ok;
}

bool write_whole_file(std::string_view name, std::string_view bytes) {
    return write_whole_file(name, std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

}  // namespace quarnel
