// Paths: the one separator, the one joining rule, the one rule for what is
// absolute, and the comparison of names that ignores letter case for names
// written by case-insensitive systems. Text alone: looking names up in a
// folder is the file services' (files.h).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quarnel {

// The one separator of path parts: the backslash on Windows, "/" elsewhere.
#ifdef _WIN32
inline constexpr char path_separator = '\\';
#else
inline constexpr char path_separator = '/';
#endif

// A path typed or given by the user with every "/" taken as the separator
// (on Windows, where both slashes name folders; elsewhere unchanged).
std::string with_system_separators(std::string_view path);

// dir + separator + name; no separator is doubled when dir already ends in
// one, and an empty dir gives the name alone.
std::string join_path(std::string_view dir, std::string_view name);

// Whether the path names its place from a root of its own, whatever the
// current folder: on Windows a drive letter with a separator (C:\x or C:/x)
// or two separators first (a UNC path such as \\server\share\x, also
// written with "/"); elsewhere a leading "/".
bool is_absolute_path(std::string_view path);
// Whether the system takes the path from the current folder: not absolute
// and, on Windows, neither rooted on the current drive (\x or /x) nor in a
// drive's own current folder (D:x).
bool is_relative_path(std::string_view path);

// The last path part (after the last separator).
std::string path_file_name(std::string_view path);
// Everything up to and including the last separator; empty when none.
std::string path_dir_part(std::string_view path);

// Byte order ignoring ASCII case (the sort order of directory listings).
bool less_ignoring_case(std::string_view a, std::string_view b);
bool equal_ignoring_case(std::string_view a, std::string_view b);

}  // namespace quarnel
