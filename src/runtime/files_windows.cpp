// The file services' system calls on Windows. Names are bytes in the
// system's 8-bit code page, as the command line and the file dialog give
// them, so the ANSI forms of the calls are used throughout. Files are
// opened sharing read, write and delete, as the POSIX build's files are.
#include <windows.h>

#include <cstring>
#include <string>

#include "runtime/files.h"
#include "runtime/native_files.h"
#include "runtime/paths.h"

namespace quarnel {

namespace native {

namespace {

HANDLE handle_of(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

}  // namespace

FileHandle open_file(const std::string& name, Access access) {
    DWORD rights = GENERIC_READ;
    DWORD disposition = OPEN_EXISTING;
    switch (access) {
        case Access::read: break;
        case Access::read_write: rights = GENERIC_READ | GENERIC_WRITE; break;
        case Access::read_write_create: rights = GENERIC_READ | GENERIC_WRITE; disposition = OPEN_ALWAYS; break;
        case Access::write_truncate: rights = GENERIC_WRITE; disposition = CREATE_ALWAYS; break;
        case Access::write_append: rights = FILE_APPEND_DATA | SYNCHRONIZE; disposition = OPEN_ALWAYS; break;
    }
    // A folder does not open without FILE_FLAG_BACKUP_SEMANTICS: refused.
    const HANDLE h = CreateFileA(name.c_str(), rights, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return no_file;
    return reinterpret_cast<FileHandle>(h);
}

bool close_file(FileHandle file) { return CloseHandle(handle_of(file)) != 0; }

std::int64_t read_bytes(FileHandle file, std::int64_t offset, std::uint8_t* data, std::size_t count) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count, std::size_t{1} << 30));
    DWORD got = 0;
    BOOL ok = FALSE;
    if (offset < 0) {
        ok = ReadFile(handle_of(file), data, chunk, &got, nullptr);
    } else {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xFFFFFFFFu);
        at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
        ok = ReadFile(handle_of(file), data, chunk, &got, &at);
    }
    if (!ok) {
        const DWORD error = GetLastError();
        // The end of a file read at an offset, or the writer of a pipe gone.
        if (error == ERROR_HANDLE_EOF || error == ERROR_BROKEN_PIPE) return 0;
        return -1;
    }
    return static_cast<std::int64_t>(got);
}

bool write_bytes(FileHandle file, std::int64_t offset, const std::uint8_t* data, std::size_t count) {
    while (count > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count, std::size_t{1} << 30));
        DWORD put = 0;
        BOOL ok = FALSE;
        if (offset < 0) {
            ok = WriteFile(handle_of(file), data, chunk, &put, nullptr);
        } else {
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xFFFFFFFFu);
            at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
            ok = WriteFile(handle_of(file), data, chunk, &put, &at);
        }
        if (!ok || put == 0) return false;
        data += put;
        count -= put;
        if (offset >= 0) offset += put;
    }
    return true;
}

bool rewind_file(FileHandle file) {
    LARGE_INTEGER zero{};
    return SetFilePointerEx(handle_of(file), zero, nullptr, FILE_BEGIN) != 0;
}

FileInfo file_info(FileHandle file) {
    const DWORD type = GetFileType(handle_of(file));
    if (type != FILE_TYPE_DISK) return FileInfo{type != FILE_TYPE_UNKNOWN, false, 0};
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle_of(file), &size)) return {};
    return FileInfo{true, true, static_cast<std::int64_t>(size.QuadPart)};
}

bool remove_file(const std::string& name) { return DeleteFileA(name.c_str()) != 0; }

bool make_folder(const std::string& name) { return CreateDirectoryA(name.c_str(), nullptr) != 0; }

bool replace_file(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool link_file(const std::string& existing, const std::string& new_name) {
    return CreateHardLinkA(new_name.c_str(), existing.c_str(), nullptr) != 0;
}

OutputTarget output_target(const std::string& name) {
    // Device names (NUL, CON, ...) and \\.\ paths take the bytes in place.
    if (name.rfind("\\\\.\\", 0) == 0) return OutputTarget::device;
    const DWORD attributes = GetFileAttributesA(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return OutputTarget::replaceable;
    if (!file_name_allowed(path_file_name(name))) return OutputTarget::device;
    return (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? OutputTarget::read_only : OutputTarget::replaceable;
}

std::string last_failure_reason() {
    const DWORD error = GetLastError();
    switch (error) {
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return "no space left on the device";
        case ERROR_ACCESS_DENIED: return "no permission";
        case ERROR_WRITE_PROTECT: return "the device is read-only";
        case ERROR_PATH_NOT_FOUND:
        case ERROR_FILE_NOT_FOUND: return "the folder does not exist";
        case ERROR_FILENAME_EXCED_RANGE: return "the name is too long";
        case ERROR_INVALID_NAME: return "the name is not allowed";
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return "the file is in use by another program";
        case ERROR_NOT_SAME_DEVICE: return "the two names are on different devices";
        case ERROR_TOO_MANY_OPEN_FILES: return "too many files are open";
        default: return "system error " + std::to_string(error);
    }
}

bool name_exists(const std::string& name) { return GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string executable_path() {
    std::string exe(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
        if (n == 0) return {};
        if (n < exe.size()) {
            exe.resize(n);
            return exe;
        }
        exe.resize(exe.size() * 2);
    }
}

std::string full_path(std::string_view name) {
    const std::string wanted(name);
    std::string full(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = GetFullPathNameA(wanted.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (n == 0) return wanted;
        if (n < full.size()) {
            full.resize(n);
            return full;
        }
        full.resize(n + 1);
    }
}

bool list_folder(const std::string& folder, std::vector<FolderEntry>& entries, bool) {
    const std::string pattern = join_path(folder.empty() ? "." : folder, "*");
    WIN32_FIND_DATAA found{};
    const HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        // The system's own bits; every plain file counts as an archive.
        unsigned attributes = found.dwFileAttributes & 0x37u;
        if ((attributes & 0x10u) == 0) attributes |= 0x20u;
        entries.push_back(FolderEntry{name, attributes});
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return true;
}

}  // namespace native

bool is_relative_path(std::string_view name) {
    if (name.empty()) return true;
    if (name.front() == '\\' || name.front() == '/') return false;
    return !(name.size() >= 2 && name[1] == ':');
}

bool file_name_char_allowed(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 32 && std::strchr("<>:\"/\\|?*", c) == nullptr;
}

bool file_name_allowed(std::string_view name) {
    if (name.empty()) return true;
    for (const char c : name)
        if (!file_name_char_allowed(c)) return false;
    if (name.back() == '.' || name.back() == ' ') return false;
    // Device names, alone or with an extension ("aux.pal" opens the device).
    std::string base(name.substr(0, name.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char& c : base) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" || base == "CONOUT$")
        return false;
    if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) && base[3] >= '1' &&
        base[3] <= '9')
        return false;
    return true;
}

}  // namespace quarnel
