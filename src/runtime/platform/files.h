// Files and directories: the table of 254 file numbers with its four open
// modes, the input context for item-by-item reading, directory listing and
// the program's own location.
//
// The file table's error codes: 0 success, 1 bad file number or bad call,
// 2 file cannot be opened or created, 3 failed read or write. Whole files
// are read and written through Result (result.h). Nothing here prints: the
// job's front-end says what it is told.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/utility/job.h"
#include "runtime/utility/result.h"

namespace quarnel {

enum class OpenMode { binary, input, output, append };

inline constexpr int max_file_number = 254;

int free_file_number();
int open_file(std::string_view name, OpenMode mode, int file_number);
// Closes the file; 0 closes every open file.
int close_file(int file_number);

// Reads count bytes at the 1-based position (0 = current) and advances past
// them; bytes beyond the end arrive as zeros.
int get_bytes(int file_number, std::int64_t position, std::uint8_t* destination, std::size_t count);
// Writes at the 1-based position (0 = current), growing the file as needed.
int put_bytes(int file_number, std::int64_t position, std::span<const std::uint8_t> source);

template <typename T>
int get_array(int file_number, std::int64_t position, std::vector<T>& array) {
    return get_bytes(file_number, position, reinterpret_cast<std::uint8_t*>(array.data()), array.size() * sizeof(T));
}
template <typename T>
int put_array(int file_number, std::int64_t position, const std::vector<T>& array) {
    return put_bytes(file_number, position,
                     std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(array.data()), array.size() * sizeof(T)));
}

// Writes text bytes to a file opened for output or append (print_text's file side).
int write_file_text(int file_number, std::string_view text);

// Makes an open file the input context for input_item; 1 when not open.
int input_from_file(int file_number);
// Next item of the input context; empty at the end of input.
std::string input_item();
// Makes a typed line the input context (ask_answer does this).
void input_from_line(std::string line);

// True when no byte is left to read or the number is not open.
bool end_of_file(int file_number);
// Size in bytes; 0 when the file cannot be opened.
std::int64_t file_size(std::string_view name);
// The first count bytes of a file (fewer when it is shorter).
Result<std::vector<std::uint8_t>> read_file_start(std::string_view name, std::size_t count);
// Size in bytes of an open file; -1 when the number is not open.
std::int64_t file_length(int file_number);
// True when the name can be opened for reading as a file (a folder is none).
bool file_exists(std::string_view name);
// Whether the name is a plain file, and whether it is a folder (links
// followed).
bool is_plain_file(std::string_view name);
bool is_folder(std::string_view name);
int delete_file(std::string_view name);
// True when the folder was made now (its parent must exist).
bool make_directory(std::string_view path);
// Makes the folder and the folders above it that are missing; true when a
// folder stands there afterwards.
bool make_folders(std::string_view path);
// True when something of that name exists (a file or a folder).
bool name_exists(std::string_view name);
// Folder of the running executable, without a trailing separator.
std::string program_directory();
// The full path of a name: a relative name is taken from the current
// folder, and "." and ".." parts are resolved.
std::string absolute_path(std::string_view name);

// Why the system cannot take the name as a path; empty when it can. On
// Windows: a NUL byte, bytes that are not UTF-8 (an unpaired surrogate
// among them), a part longer than 255 characters or a whole longer than
// 32767; elsewhere every name can be tried.
std::string unusable_name_reason(std::string_view name);
// The line that says why the name cannot be used; empty when it can. The
// front-end shows it and goes on as for a file that is not there.
std::string unusable_name_line(std::string_view name);

// Whether the system takes the text as the name of a file inside a folder:
// never a separator or a NUL; on Windows also none of < > : " \ | ? * or a
// control byte, no trailing dot or blank, no device name (CON, PRN, AUX,
// NUL, COM1-9, LPT1-9, with any extension), and UTF-8 throughout.
bool file_name_allowed(std::string_view name);
// Whether the byte may stand anywhere in such a name.
bool file_name_char_allowed(char c);
// The name with "_" for every byte that may stand in no such name (on
// Windows also for each byte that is not part of a UTF-8 character).
std::string with_allowed_letters(std::string_view name);

// The name of an entry of folder dir that equals name ignoring ASCII case,
// joined to dir; an exact match is preferred. Empty when there is none.
std::string find_ignoring_case(std::string_view dir, std::string_view name);

// Plain files of dir whose names end in suffix (ignoring case), sorted by
// name in byte order ignoring case.
std::vector<std::string> list_files_with_suffix(std::string_view dir, std::string_view suffix);

inline constexpr unsigned plain_file_mask = 0x21;
// First entry of the folder matching the pattern's wildcard ("dir/*.png"),
// names sorted by byte order ignoring case; empty when none.
std::string first_match(std::string_view pattern, unsigned attribute_mask);
std::string next_match();

// Argument at that index (0 = the program path); empty when absent. The
// arguments are UTF-8 (on Windows read from the wide command line).
std::string command_argument(int index);
// The number of arguments, the program path included.
int command_argument_count();
void set_command_arguments(int argc, char** argv);

[[noreturn]] void end_program(int status);

// The largest file read whole (archives, maps, pictures, descriptions, and
// files opened for input): the game's own are a few MiB. A longer file is
// refused, so no input can make a job take more memory than about this.
inline constexpr std::uint64_t largest_whole_file_bytes = std::uint64_t{256} << 20;

// The one way a file is read whole: its bytes, or why not. A file longer
// than largest_whole_file_bytes is refused (Error::Kind::too_large, with
// the line that says so as its message) before it takes the memory.
Result<std::vector<std::uint8_t>> read_whole_file(std::string_view name);
// What a job says of a file it could not read, before its own line: the
// line of a file over the limit; the job's own line tells the rest.
void say_read_failure(const Error& error, const LineSink& say);

// What became of a write: ok when the file was written whole, otherwise why
// not, in plain words (Error::Kind::cut_short: the file was made, its bytes
// did not all go in).
using WriteResult = Status;

// A file being written carries this ending until it is complete; no job
// takes such a file for one of its own, and the next run removes it.
inline constexpr std::string_view partial_file_suffix = ".quarnel-partial";

// The one way every output file is written: whole or not at all. The bytes
// go to name + partial_file_suffix beside it, which then takes name's
// place in one step. When anything fails the partial file is removed and
// whatever stood at name stays as it was; a read-only file is not replaced.
// A device or pipe named as the output takes the bytes as they come.
// nothing_stands_there: the caller has just seen that no file of that name
// exists (in a folder listing), so the look at it is left out.
WriteResult write_whole_file(std::string_view name, std::span<const std::uint8_t> bytes,
                             bool nothing_stands_there = false);
WriteResult write_whole_file(std::string_view name, std::string_view bytes);

// Removes the partial files that a killed run left in the folder.
void remove_partial_files(std::string_view folder);

}  // namespace quarnel
