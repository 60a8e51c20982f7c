// The file services' system calls on Windows. Names are UTF-8 inside the
// program and UTF-16 for the system: the wide forms of the calls are used
// throughout, each converting its name at the call, so that a name with
// letters outside the system's ANSI code page (Polish, Greek, Japanese, ...)
// names the same file as it does on Linux. A name that cannot be converted
// reaches no call. Files are opened sharing read, write and delete, as the
// POSIX build's files are.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <optional>
#include <string>
#include <utility>

#include "runtime/platform/files.h"
#include "runtime/platform/native_files.h"
#include "runtime/utility/paths.h"
#include "runtime/utility/text.h"
#include "runtime/utility/text_encoding.h"

namespace quarnel {

namespace native {

namespace {

HANDLE handle_of(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

// A read or write at a 0-based offset of the file.
OVERLAPPED at_offset(std::int64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    return at;
}

// The system takes at most 32767 UTF-16 units in a path and 255 in one part.
constexpr std::size_t longest_path = 32767;
constexpr std::size_t longest_part = 255;

std::size_t longest_part_of(std::u16string_view path) {
    std::size_t longest = 0, part = 0;
    for (const char16_t c : path) {
        part = (c == u'\\' || c == u'/') ? 0 : part + 1;
        longest = std::max(longest, part);
    }
    return longest;
}

// The UTF-16 form of a name for the wide calls, or why the system cannot
// take the name.
struct ConvertedName {
    std::optional<std::wstring> wide;
    std::string reason;
};

ConvertedName convert_name(std::string_view name) {
    if (name.find('\0') != std::string_view::npos) return {std::nullopt, "a NUL byte"};
    const std::optional<std::u16string> utf16 = utf16_from_utf8(name);
    if (!utf16) {
        // The three-byte form of a surrogate: a Windows name's unpaired half.
        for (std::size_t at = 0; at + 1 < name.size(); ++at)
            if (static_cast<unsigned char>(name[at]) == 0xED && static_cast<unsigned char>(name[at + 1]) >= 0xA0)
                return {std::nullopt, "an unpaired surrogate"};
        return {std::nullopt, "bytes that are not UTF-8"};
    }
    if (utf16->size() > longest_path)
        return {std::nullopt, "longer than " + std::to_string(longest_path) + " characters"};
    if (longest_part_of(*utf16) > longest_part)
        return {std::nullopt, "a part longer than " + std::to_string(longest_part) + " characters"};
    return {std::wstring(utf16->begin(), utf16->end()), {}};
}

// The name for a wide call; nothing when it cannot be converted, and the
// thread's last error then says the name is not allowed.
std::optional<std::wstring> wide_name(std::string_view name) {
    ConvertedName converted = convert_name(name);
    if (!converted.wide) SetLastError(ERROR_INVALID_NAME);
    return std::move(converted.wide);
}

std::string utf8_name(const wchar_t* wide, std::size_t length) {
    return utf8_from_utf16(std::u16string(wide, wide + length));
}
std::string utf8_name(const wchar_t* wide) { return utf8_name(wide, std::wcslen(wide)); }

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
    const std::optional<std::wstring> wide = wide_name(name);
    if (!wide) return no_file;
    // A folder does not open without FILE_FLAG_BACKUP_SEMANTICS: refused.
    const HANDLE h = CreateFileW(wide->c_str(), rights, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
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
        OVERLAPPED at = at_offset(offset);
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
            OVERLAPPED at = at_offset(offset);
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

bool remove_file(const std::string& name) {
    const std::optional<std::wstring> wide = wide_name(name);
    return wide && DeleteFileW(wide->c_str()) != 0;
}

bool make_folder(const std::string& name) {
    const std::optional<std::wstring> wide = wide_name(name);
    return wide && CreateDirectoryW(wide->c_str(), nullptr) != 0;
}

bool replace_file(const std::string& from, const std::string& to) {
    const std::optional<std::wstring> wide_from = wide_name(from), wide_to = wide_name(to);
    return wide_from && wide_to && MoveFileExW(wide_from->c_str(), wide_to->c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool link_file(const std::string& existing, const std::string& new_name) {
    const std::optional<std::wstring> wide_existing = wide_name(existing), wide_new = wide_name(new_name);
    return wide_existing && wide_new && CreateHardLinkW(wide_new->c_str(), wide_existing->c_str(), nullptr) != 0;
}

OutputTarget output_target(const std::string& name) {
    // Device names (NUL, CON, ...) and \\.\ paths take the bytes in place.
    if (name.rfind("\\\\.\\", 0) == 0) return OutputTarget::device;
    const std::optional<std::wstring> wide = wide_name(name);
    const DWORD attributes = wide ? GetFileAttributesW(wide->c_str()) : INVALID_FILE_ATTRIBUTES;
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

bool name_exists(const std::string& name) {
    const std::optional<std::wstring> wide = wide_name(name);
    return wide && GetFileAttributesW(wide->c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string executable_path() {
    std::wstring exe(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
        if (n == 0) return {};
        if (n < exe.size()) return utf8_name(exe.data(), n);
        if (exe.size() > longest_path) return {};
        exe.resize(exe.size() * 2);
    }
}

std::string full_path(std::string_view name) {
    const std::optional<std::wstring> wanted = wide_name(name);
    if (!wanted) return std::string(name);
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetFullPathNameW(wanted->c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (n == 0) return std::string(name);
        if (n < full.size()) return utf8_name(full.data(), n);
        full.resize(n + 1);
    }
}

bool list_folder(const std::string& folder, std::vector<FolderEntry>& entries, bool) {
    const std::optional<std::wstring> pattern = wide_name(join_path(folder.empty() ? "." : folder, "*"));
    if (!pattern) return false;
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(pattern->c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        const std::string name = utf8_name(found.cFileName);
        if (name == "." || name == "..") continue;
        // The system's own bits; every plain file counts as an archive.
        unsigned attributes = found.dwFileAttributes & 0x37u;
        if ((attributes & 0x10u) == 0) attributes |= 0x20u;
        entries.push_back(FolderEntry{name, attributes});
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return true;
}

std::filesystem::path system_path(std::string_view name) {
    std::optional<std::wstring> wide = wide_name(name);
    if (!wide) return {};
    return std::filesystem::path(std::move(*wide));
}

std::vector<std::string> command_line_words(int argc, char** argv) {
    std::vector<std::string> words;
    int count = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i) words.push_back(utf8_name(wide[i]));
        LocalFree(wide);
        return words;
    }
    for (int i = 0; i < argc; ++i) words.emplace_back(argv[i] ? argv[i] : "");
    return words;
}

std::string name_from_file_text(std::string_view text) {
    if (is_utf8(text) || text.size() > longest_path) return std::string(text);  // (no name is that long)
    const int length = static_cast<int>(text.size());
    const int units = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (units <= 0) return std::string(text);
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), units);
    return utf8_name(wide.data(), wide.size());
}

}  // namespace native

bool file_name_char_allowed(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 32 && std::strchr("<>:\"/\\|?*", c) == nullptr;
}

std::string unusable_name_reason(std::string_view name) { return native::convert_name(name).reason; }

std::string with_allowed_letters(std::string_view name) {
    std::string letters;
    for (std::size_t at = 0; at < name.size();) {
        const std::size_t length = utf8_sequence_length(name, at);
        if (length > 1) {
            letters.append(name.substr(at, length));
            at += length;
        } else {
            letters.push_back(length == 1 && file_name_char_allowed(name[at]) ? name[at] : '_');
            ++at;
        }
    }
    return letters;
}

bool file_name_allowed(std::string_view name) {
    if (name.empty()) return true;
    for (const char c : name)
        if (!file_name_char_allowed(c)) return false;
    if (!is_utf8(name)) return false;
    if (name.back() == '.' || name.back() == ' ') return false;
    // Device names, alone or with an extension ("aux.pal" opens the device).
    std::string base = text_lower(name.substr(0, name.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    if (base == "con" || base == "prn" || base == "aux" || base == "nul" || base == "conin$" || base == "conout$")
        return false;
    if (base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) && base[3] >= '1' &&
        base[3] <= '9')
        return false;
    return true;
}

}  // namespace quarnel
