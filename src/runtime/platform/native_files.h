// The operating system's side of the file services: the few calls on which
// the file table, whole-file reads, BMP reading, directory listings and the
// program's own location are built. One file per platform implements them
// (files_posix.cpp, files_windows.cpp); files.cpp holds what is shared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quarnel::native {

using FileHandle = std::intptr_t;
inline constexpr FileHandle no_file = -1;

enum class Access {
    read,              // existing file, reading
    read_write,        // existing file, reading and writing
    read_write_create, // reading and writing, created empty when missing
    write_truncate,    // writing, created or emptied
    write_append,      // writing at the end, created when missing
};

// Opens a file (never a folder; a FIFO opens without waiting for a writer).
// no_file when it cannot be opened.
FileHandle open_file(const std::string& name, Access access);
// False when the system reports a failure on closing (lost written data).
bool close_file(FileHandle file);

// Reads up to count bytes at the 0-based offset, or at the current position
// when offset is -1. Bytes read, 0 at the end, -1 on a failed read.
std::int64_t read_bytes(FileHandle file, std::int64_t offset, std::uint8_t* data, std::size_t count);
// Writes all bytes at the offset, or at the current position when offset is
// -1 (at the end for a file opened with write_append).
bool write_bytes(FileHandle file, std::int64_t offset, const std::uint8_t* data, std::size_t count);
// Puts the current position at the start; false when the file cannot seek.
bool rewind_file(FileHandle file);

struct FileInfo {
    bool known = false;    // the system could tell
    bool plain = false;    // a plain file (not a pipe, device or folder)
    std::int64_t size = 0; // bytes
};
FileInfo file_info(FileHandle file);

bool remove_file(const std::string& name);
bool make_folder(const std::string& name);
// Puts the file from in the place of to in one step, replacing a file that
// stands there; both in one folder. False when the system refuses.
bool replace_file(const std::string& from, const std::string& to);
// Makes a second name for an existing file, sharing its bytes (no copy is
// written); false where the system or the device has no such names.
bool link_file(const std::string& existing, const std::string& new_name);
// What stands at a name an output is about to be written to: nothing, a
// folder or a plain file that may be replaced, a file whose attributes
// forbid writing, or a device or pipe (bytes written to it go to the
// device; nothing replaces it).
enum class OutputTarget { replaceable, read_only, device };
OutputTarget output_target(const std::string& name);
// Why the last failed call of this thread failed, in plain words ("no space
// left on the device", "no permission", ...).
std::string last_failure_reason();
// True when something of that name exists (a file or a folder).
bool name_exists(const std::string& name);

// Path of the running executable; empty when the system cannot tell.
std::string executable_path();
// The full path of a name: a relative name is taken from the current
// folder, "." and ".." parts are resolved.
std::string full_path(std::string_view name);

// Entries of a folder ("" is the current folder), without "." and "..":
// the name and the attribute bits in the Windows sense (0x01 read-only,
// 0x02 hidden, 0x04 system, 0x10 folder, 0x20 archive: every plain file).
struct FolderEntry {
    std::string name;
    unsigned attributes = 0;
};
// False when the folder cannot be read. The 0x01 bit is there only with
// read_only_bits (where it costs a look at every entry).
bool list_folder(const std::string& folder, std::vector<FolderEntry>& entries, bool read_only_bits = false);

// Names are UTF-8 inside the program on every system. Windows takes them in
// UTF-16: each call converts there, and a name that cannot be converted
// (see unusable_name_reason in files.h) reaches no system call: the call
// fails as for a missing file.

// The name for the standard library's file operations; on Windows an empty
// path, which every operation refuses, when it cannot be converted.
std::filesystem::path system_path(std::string_view name);

// The command line's words in UTF-8 (on Windows taken from the wide
// command line, whatever the system's code page).
std::vector<std::string> command_line_words(int argc, char** argv);

// A path read from a text file that the user wrote (setup.txt): UTF-8 as it
// is; on Windows, bytes that are not UTF-8 are read in the system's ANSI
// code page (an editor's "ANSI" file) and converted.
std::string name_from_file_text(std::string_view text);

}  // namespace quarnel::native
