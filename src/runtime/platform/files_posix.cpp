// The file services' system calls on Linux: plain POSIX descriptors, read
// and written with pread/pwrite at an explicit offset.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "runtime/platform/files.h"
#include "runtime/platform/native_files.h"
#include "runtime/utility/paths.h"

namespace quarnel {

namespace native {

namespace {

int descriptor(FileHandle file) { return static_cast<int>(file); }

}  // namespace

// Opens without blocking on a FIFO, refuses folders, then restores blocking I/O.
FileHandle open_file(const std::string& name, Access access) {
    int flags = O_RDONLY;
    switch (access) {
        case Access::read: flags = O_RDONLY; break;
        case Access::read_write: flags = O_RDWR; break;
        case Access::read_write_create: flags = O_RDWR | O_CREAT; break;
        case Access::write_truncate: flags = O_WRONLY | O_CREAT | O_TRUNC; break;
        case Access::write_append: flags = O_WRONLY | O_CREAT | O_APPEND; break;
    }
    const int fd = ::open(name.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) return no_file;
    struct stat info {};
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(fd);
        return no_file;
    }
    // Waiting or not makes no difference to a plain file (every output
    // picture); a pipe or device waits for its data as usual.
    if (!S_ISREG(info.st_mode)) {
        const int status = fcntl(fd, F_GETFL);
        if (status >= 0) fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
    }
    return fd;
}

bool close_file(FileHandle file) { return ::close(descriptor(file)) == 0; }

std::int64_t read_bytes(FileHandle file, std::int64_t offset, std::uint8_t* data, std::size_t count) {
    for (;;) {
        const ssize_t n = offset < 0 ? ::read(descriptor(file), data, count)
                                     : ::pread(descriptor(file), data, count, static_cast<off_t>(offset));
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        return -1;
    }
}

bool write_bytes(FileHandle file, std::int64_t offset, const std::uint8_t* data, std::size_t count) {
    while (count > 0) {
        const ssize_t n = offset < 0 ? ::write(descriptor(file), data, count)
                                     : ::pwrite(descriptor(file), data, count, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        count -= static_cast<std::size_t>(n);
        if (offset >= 0) offset += n;
    }
    return true;
}

bool rewind_file(FileHandle file) { return ::lseek(descriptor(file), 0, SEEK_SET) >= 0; }

FileInfo file_info(FileHandle file) {
    struct stat info {};
    if (fstat(descriptor(file), &info) != 0) return {};
    return FileInfo{true, S_ISREG(info.st_mode), static_cast<std::int64_t>(info.st_size)};
}

bool remove_file(const std::string& name) { return ::unlink(name.c_str()) == 0; }

bool make_folder(const std::string& name) { return ::mkdir(name.c_str(), 0777) == 0; }

bool replace_file(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()) == 0; }

bool link_file(const std::string& existing, const std::string& new_name) {
    return ::link(existing.c_str(), new_name.c_str()) == 0;
}

// A plain file without write permission for anyone: its owner marked it
// read-only (a rename would replace it even so, and root may write it:
// both are refused here).
OutputTarget output_target(const std::string& name) {
    struct stat info {};
    if (::stat(name.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return OutputTarget::replaceable;
    if (!S_ISREG(info.st_mode)) return OutputTarget::device;
    return (info.st_mode & 0222) == 0 ? OutputTarget::read_only : OutputTarget::replaceable;
}

std::string last_failure_reason() {
    const int error = errno;
    switch (error) {
        case ENOSPC: return "no space left on the device";
        case EDQUOT: return "the disk quota is used up";
        case EFBIG: return "the file is larger than the device or the file size limit allows";
        case EACCES:
        case EPERM: return "no permission";
        case EROFS: return "the device is read-only";
        case ENOENT: return "the folder does not exist";
        case ENOTDIR: return "a part of the path is not a folder";
        case EISDIR: return "a folder of that name is in the way";
        case ENAMETOOLONG: return "the name is too long";
        case EIO: return "the device reported an input/output error";
        case EMFILE:
        case ENFILE: return "too many files are open";
        case EBUSY:
        case ETXTBSY: return "the file is in use";
        case EXDEV: return "the two names are on different devices";
        default: return std::strerror(error);
    }
}

bool name_exists(const std::string& name) {
    std::error_code ec;
    return std::filesystem::exists(name, ec);
}

std::string executable_path() {
    std::string exe(4096, '\0');
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", exe.data(), exe.size());
        if (n < 0) return {};
        if (static_cast<std::size_t>(n) < exe.size()) {
            exe.resize(static_cast<std::size_t>(n));
            return exe;
        }
        exe.resize(exe.size() * 2);
    }
}

std::string full_path(std::string_view name) {
    std::filesystem::path full{std::string(name)};
    if (!is_absolute_path(name)) {
        std::error_code ec;
        const auto current = std::filesystem::current_path(ec);
        if (ec) return std::string(name);
        full = current / full;
    }
    return full.lexically_normal().string();
}

bool list_folder(const std::string& folder, std::vector<FolderEntry>& entries, bool read_only_bits) {
    const std::string where = folder.empty() ? "." : folder;
    DIR* dir = ::opendir(where.c_str());
    if (!dir) return false;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        // Hidden: a name starting with "."; system: not a plain file or folder.
        unsigned attributes = name[0] == '.' ? 0x02u : 0u;
        const std::string full = join_path(where, name);
        // The folder's own record tells the kind on most file systems; a
        // link, or a system that does not tell, is looked at.
        unsigned kind = entry->d_type == DT_DIR ? 0x10u : entry->d_type == DT_REG ? 0x20u : 0u;
        struct stat info {};
        if (kind == 0 && ::stat(full.c_str(), &info) != 0)
            kind = 0x04;
        else if (kind == 0)
            kind = S_ISDIR(info.st_mode) ? 0x10u : S_ISREG(info.st_mode) ? 0x20u : 0x04u;
        attributes |= kind;
        if (read_only_bits && kind != 0x04 && ::access(full.c_str(), W_OK) != 0) attributes |= 0x01;
        entries.push_back(FolderEntry{name, attributes});
    }
    ::closedir(dir);
    return true;
}

std::filesystem::path system_path(std::string_view name) { return std::filesystem::path(std::string(name)); }

std::vector<std::string> command_line_words(int argc, char** argv) {
    std::vector<std::string> words;
    for (int i = 0; i < argc; ++i) words.emplace_back(argv[i] ? argv[i] : "");
    return words;
}

std::string name_from_file_text(std::string_view text) { return std::string(text); }

}  // namespace native

std::string unusable_name_reason(std::string_view) { return {}; }

bool file_name_char_allowed(char c) { return c != '/' && c != '\0'; }

std::string with_allowed_letters(std::string_view name) {
    std::string letters;
    for (const char c : name) letters.push_back(file_name_char_allowed(c) ? c : '_');
    return letters;
}

bool file_name_allowed(std::string_view name) {
    for (const char c : name)
        if (!file_name_char_allowed(c)) return false;
    return true;
}

}  // namespace quarnel
