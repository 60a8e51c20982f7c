// The folder an extraction writes into, and what it does with what stands
// there already. Every file goes in whole or not at all; a file that would
// be replaced by other bytes (a picture the modder edited, say) is kept in
// one backup folder inside it first, and pictures that this extraction does
// not write (a higher number left from a longer archive, a file manager's
// copy) are moved there at the end, so that afterwards the folder holds
// just what a fresh extraction writes and nothing that stood there is lost.
#pragma once

#include <cstdint>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/platform/files.h"

namespace quarnel {

class ExtractionFolder {
public:
    // folder: the picture folder (build.txt, palette images, pictures; the
    // pass folders of a tile set below it).
    explicit ExtractionFolder(std::string folder);

    const std::string& path() const { return folder_; }

    // Before the first write: removes what a killed run left half written
    // in the folder and in these folders below it (a tile set's pass
    // folders), and notes what stands there (a name nothing stands at is
    // written without a look at it).
    void prepare(const std::vector<std::string>& inner_folders);

    // Writes the bytes at path, a file of the folder or of a folder below
    // it. A file that holds these bytes already is left as it is; one with
    // other bytes is kept in the backup folder first (when it cannot be
    // kept, it is not replaced). Safe to call from several threads.
    WriteResult write(const std::string& path, std::span<const std::uint8_t> bytes);
    WriteResult write(const std::string& path, std::string_view text);

    // Moves every picture (.png, .bmp) and exact-rebuild file of the folder
    // and of the folders below it that prepare was given that no write() was
    // asked for into the backup folder. Failures to move are said through say.
    void keep_files_not_written(const LineSink& say);

    // How many files were kept and where; empty when none.
    std::string kept_line() const;

private:
    // The place of a file of the folder inside the backup folder (made, with
    // the pass folder, when first needed); empty when it cannot be made.
    std::string backup_path_locked(const std::string& path);

    std::string folder_;                // ends in the separator
    std::vector<std::string> folders_;  // it and the folders below that prepare was given, with separators
    std::mutex mutex_;
    std::set<std::string> asked_;     // every path write() was asked for
    std::set<std::string> standing_;  // every name that stood there before
    std::string backup_;            // the backup folder, once made
    std::uint32_t kept_ = 0;
};

// A file of an extraction that could not be written: its line with the
// reason said, and the outcome counts it.
void report_write_failure(const LineSink& say, JobOutcome& outcome, std::string_view path, std::string_view reason);

}  // namespace quarnel
