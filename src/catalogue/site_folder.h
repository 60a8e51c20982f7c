// The folder a catalogue is written into. It keeps a list of the files the
// catalogue wrote there (the file .quarnel-catalogue), so that a later run
// replaces those and removes the ones it no longer writes, and touches
// nothing else: a file of the folder that is not on the list is never
// overwritten or removed. A path is put on the list before its file is
// written, so a run that is killed leaves no file of its own off the list.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/platform/files.h"
#include "runtime/utility/job.h"

namespace quarnel {

inline constexpr std::string_view site_list_file_name = ".quarnel-catalogue";

class SiteFolder {
public:
    // folder: the catalogue's folder (made when missing). Reads the list of
    // an earlier run; the reason when the folder cannot be made or used.
    std::string open(const std::string& folder);

    const std::string& path() const { return folder_; }
    // The full path of a file of the site, given with "/" between its parts.
    std::string full_path(std::string_view relative) const;

    // Puts paths on the list (and the list on the disk) before they are
    // written. A path of a file that stands in the folder but is not on the
    // list is refused: the reason, and the path is not claimed.
    std::string claim(const std::vector<std::string>& relative_paths);
    // Writes a file of the site, whole or not at all; a path not claimed
    // before is claimed first.
    WriteResult write(const std::string& relative, std::span<const std::uint8_t> bytes);
    WriteResult write(const std::string& relative, std::string_view text);

    // Removes the files an earlier run wrote that this run did not, and
    // leaves the list with this run's files. Each failure goes to say.
    void finish(const LineSink& say);

private:
    WriteResult save_list();
    bool is_ours(const std::string& relative) const;

    std::string folder_;
    std::set<std::string> earlier_;  // on the list of the run before
    std::set<std::string> claimed_;  // on the list of this run
};

// Whether a path read from the list may stand for a file of the folder:
// parts of letters, digits, ".", "-" and "_" joined by "/", none "." or
// "..", and not the list itself.
bool site_path_allowed(std::string_view relative);

}  // namespace quarnel
