// The folder between extraction and the builder keeps what stands in it:
// a killed run or a full disk never leaves a file empty or cut, a
// re-extraction keeps the modder's edits and leftovers in a backup folder,
// and every failed write is said with its reason and fails the command.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "runtime/platform/files.h"
#include "samples/sample_archive.h"
#include "support/run_program.h"

namespace quarnel {
namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;  // relative name -> bytes

// The files of the folder and of its pass folders (backup folders left out).
Files files_in(const std::string& folder) {
    Files files;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; it != end; it.increment(error)) {
        const std::string name = fs::relative(it->path(), folder).string();
        if (it->is_directory() && name.starts_with("backup-")) it.disable_recursion_pending();
        else if (it->is_regular_file()) files[name] = test::read_file(it->path().string());
    }
    return files;
}

// Every file below the folder's backup folders, by bytes.
std::vector<std::string> backed_up(const std::string& folder) {
    std::vector<std::string> kept;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_directory() && entry.path().filename().string().starts_with("backup-"))
            for (const auto& file : fs::recursive_directory_iterator(entry.path()))
                if (file.is_regular_file()) kept.push_back(test::read_file(file.path().string()));
    return kept;
}

bool contains(const std::vector<std::string>& list, const std::string& bytes) {
    return std::find(list.begin(), list.end(), bytes) != list.end();
}

// A run-length sprite set of many pictures of several sizes, with offsets.
std::string large_sprite_set(std::uint32_t count) {
    std::vector<SamplePicture> pictures;
    std::mt19937 random(7);
    for (std::uint32_t i = 0; i < count; ++i) {
        SamplePicture p;
        p.width = static_cast<std::uint16_t>(8 + random() % 90);
        p.height = static_cast<std::uint16_t>(8 + random() % 60);
        p.x_offset = static_cast<std::uint16_t>(random() % 20);
        p.y_offset = static_cast<std::uint16_t>(random() % 20);
        p.indices.resize(std::size_t{p.width} * p.height);
        for (auto& index : p.indices) index = static_cast<std::uint8_t>(random() % 3 == 0 ? 0 : 1 + random() % 200);
        pictures.push_back(std::move(p));
    }
    const auto bytes = write_sprite_set(sample_palette_block(), pictures, true);
    return std::string(bytes.begin(), bytes.end());
}

// Starts quarnel with these arguments and kills it after the delay; false
// when it ended by itself before.
bool killed_after(const std::vector<std::string>& arguments, std::chrono::microseconds delay) {
    const pid_t child = fork();
    if (child == 0) {
        const int null_fd = ::open("/dev/null", O_RDWR);
        dup2(null_fd, 0);
        dup2(null_fd, 1);
        dup2(null_fd, 2);
        test::exec_program(test::quarnel_path(), arguments);
    }
    std::this_thread::sleep_for(delay);
    const bool killed = kill(child, SIGKILL) == 0;
    int status = 0;
    waitpid(child, &status, 0);
    return killed && WIFSIGNALED(status);
}

// The shortest of three runs (with these arguments by turns): kills at
// random moments within it mostly land while the program works, however
// busy the machine is.
std::chrono::microseconds time_of(const std::vector<std::vector<std::string>>& turns) {
    auto shortest = std::chrono::microseconds::max();
    for (std::size_t run = 0; run < 3; ++run) {
        const auto start = std::chrono::steady_clock::now();
        test::expect_clean_end(test::run_program(test::quarnel_path(), turns[run % turns.size()], ""));
        shortest = std::min(shortest, std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::steady_clock::now() - start));
    }
    return shortest;
}

TEST(ExtractionFolder, ReextractionKeepsEditsAndLeftoversAndTheBuildIsTheOriginal) {
    test::TempDir root;
    const auto archive = write_sprite_set(sample_palette_block(), sample_sprites(), true);
    const std::string original(archive.begin(), archive.end());
    test::write_file(root.file("UNIT.spr"), original);
    const std::string folder = root.file("UNIT") + "/";
    const std::vector<std::string> extract{"extract", "-i", root.file("UNIT.spr")};
    test::expect_clean_end(test::run_program(test::quarnel_path(), extract, ""));
    const Files fresh = files_in(folder);

    // An edit, a picture from a longer archive and a file manager's copy.
    const std::string edited = fresh.at("0002.png") + "edited";
    test::write_file(folder + "0002.png", edited);
    test::write_file(folder + "0005.png", fresh.at("0004.png"));
    test::write_file(folder + "0001 copy.png", fresh.at("0001.png"));

    const test::ProgramRun again = test::run_program(test::quarnel_path(), extract, "");
    test::expect_clean_end(again);
    EXPECT_NE(again.output.find("kept 3 earlier files in " + folder + "backup-"), std::string::npos) << again.output;
    EXPECT_EQ(files_in(folder), fresh) << "the folder holds just what a fresh extraction writes";
    const std::vector<std::string> kept = backed_up(folder);
    EXPECT_EQ(kept.size(), 3u);
    EXPECT_TRUE(contains(kept, edited));

    test::expect_clean_end(test::run_program(test::quarnel_path(), {"build", folder}, ""));
    EXPECT_EQ(test::read_file(folder + "UNIT_new.spr"), original);
}

// kill -9 at random moments of large extractions over an edited folder
// (centred and not, by turns, so that every run replaces the pictures),
// and of a large build: every file is as it was before the run or
// complete from it, and the next run succeeds.
TEST(ExtractionFolder, KilledRunsLeaveEveryFileAsItWasOrWhole) {
    test::TempDir root;
    test::write_file(root.file("BIG.spr"), large_sprite_set(400));
    std::vector<std::vector<std::string>> extract;
    std::vector<Files> fresh;
    for (const char* centring : {"--centre", "--no-centre"}) {
        test::TempDir reference;
        test::write_file(reference.file("BIG.spr"), test::read_file(root.file("BIG.spr")));
        test::expect_clean_end(
            test::run_program(test::quarnel_path(), {"extract", centring, reference.file("BIG.spr")}, ""));
        fresh.push_back(files_in(reference.file("BIG")));
        extract.push_back({"extract", centring, root.file("BIG.spr")});
    }

    const std::string folder = root.file("BIG") + "/";
    const auto extraction_time = time_of(extract);
    Files edited = files_in(folder);
    for (const char* name : {"0003.png", "0150.png", "0399.png", "build.txt"}) edited[name] += "edited";
    for (const auto& [name, bytes] : edited) test::write_file(folder + name, bytes);

    std::mt19937 random(11);
    int killed = 0;
    for (int run = 0; run < 24; ++run) {
        const Files before = files_in(folder);
        const Files& complete = fresh[run % 2];
        const auto delay = std::chrono::microseconds(random() % (extraction_time.count() + 1));
        killed += killed_after(extract[run % 2], delay) ? 1 : 0;
        for (const auto& [name, bytes] : files_in(folder)) {
            if (name.ends_with(partial_file_suffix)) continue;  // never taken for an output
            EXPECT_TRUE((complete.contains(name) && bytes == complete.at(name)) ||
                        (before.contains(name) && bytes == before.at(name)))
                << "run " << run << ": " << name << " is neither as it was nor complete (" << bytes.size() << " bytes)";
        }
    }
    EXPECT_GT(killed, 5) << "too few runs were killed while working";
    test::expect_clean_end(test::run_program(test::quarnel_path(), extract[1], ""));
    EXPECT_EQ(files_in(folder), fresh[1]);
    const std::vector<std::string> kept = backed_up(folder);
    for (const char* name : {"0003.png", "0150.png", "0399.png", "build.txt"})
        EXPECT_TRUE(contains(kept, edited.at(name))) << name << " edited bytes are lost";

    // The build: the archive is absent or complete after every kill.
    const std::vector<std::string> build{"build", folder};
    const auto build_time = time_of({build});
    const std::string built = test::read_file(folder + "BIG_new.spr");
    fs::remove(folder + "BIG_new.spr");
    for (int run = 0; run < 15; ++run) {
        killed_after(build, std::chrono::microseconds(random() % (build_time.count() + 1)));
        if (fs::exists(folder + "BIG_new.spr")) {
            EXPECT_EQ(test::read_file(folder + "BIG_new.spr"), built);
        }
        for (const auto& [name, bytes] : files_in(folder)) {
            if (fresh[1].contains(name)) {
                EXPECT_EQ(bytes, fresh[1].at(name)) << name;
            }
        }
    }
    test::expect_clean_end(test::run_program(test::quarnel_path(), build, ""));
    EXPECT_EQ(test::read_file(folder + "BIG_new.spr"), built);
    for (const auto& [name, bytes] : files_in(folder)) EXPECT_FALSE(name.ends_with(partial_file_suffix)) << name;
}

// A small disk of its own (tmpfs, as root), or else a file-size limit.
class SmallDisk {
public:
    explicit SmallDisk(const std::string& folder) : folder_(folder) {
        mounted_ = geteuid() == 0 && ::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=512k") == 0;
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    // Fills the disk up to a few blocks.
    void fill() const {
        if (!mounted_) return;
        std::string block(4096, 'f');
        std::FILE* filler = std::fopen((folder_ + "/filler").c_str(), "wb");
        while (filler && std::fwrite(block.data(), 1, block.size(), filler) == block.size() && std::fflush(filler) == 0) {}
        if (filler) std::fclose(filler);
    }
    // The command; without a disk of its own, under a file-size limit of 0.
    test::ProgramRun run(const std::vector<std::string>& arguments) const {
        if (mounted_) return test::run_program(test::quarnel_path(), arguments, "");
        std::vector<std::string> shell{"-c", "trap '' XFSZ; ulimit -f 0; exec \"$0\" \"$@\"", test::quarnel_path()};
        shell.insert(shell.end(), arguments.begin(), arguments.end());
        return test::run_program("/bin/sh", shell, "");
    }
    std::string reason() const {
        return mounted_ ? "no space left on the device" : "the file is larger than the device or the file size limit allows";
    }

private:
    std::string folder_;
    bool mounted_ = false;
};

TEST(ExtractionFolder, AFullDiskFailsTheCommandWithItsReasonAndChangesNothing) {
    test::TempDir root;
    const SmallDisk disk(root.path());
    test::write_file(root.file("BIG.spr"), large_sprite_set(60));
    const std::string folder = root.file("BIG") + "/";
    const std::vector<std::string> extract{"extract", root.file("BIG.spr")};
    test::expect_clean_end(test::run_program(test::quarnel_path(), extract, ""));
    test::expect_clean_end(test::run_program(test::quarnel_path(), {"build", folder}, ""));
    Files before = files_in(folder);
    before["0002.png"] += "edited";
    test::write_file(folder + "0002.png", before.at("0002.png"));
    disk.fill();

    const test::ProgramRun extraction = disk.run(extract);
    EXPECT_EQ(extraction.exit_status, 1) << extraction.output << extraction.errors;
    EXPECT_NE(extraction.output.find("cannot write: " + folder), std::string::npos) << extraction.output;
    EXPECT_NE(extraction.output.find(": " + disk.reason()), std::string::npos) << extraction.output;
    EXPECT_NE(extraction.errors.find("failed " + root.file("BIG.spr") + ": cannot write " + folder), std::string::npos)
        << extraction.errors;
    EXPECT_EQ(extraction.output.find("extracted "), std::string::npos) << "no success line after a failed write";

    const test::ProgramRun build = disk.run({"build", folder});
    EXPECT_EQ(build.exit_status, 1) << build.output << build.errors;
    EXPECT_NE(build.errors.find(disk.reason()), std::string::npos) << build.errors;

    // Every file that stood there is as it was (a changed one is the edit
    // kept in the backup folder, never cut).
    const Files after = files_in(folder);
    for (const auto& [name, bytes] : before) {
        ASSERT_TRUE(after.contains(name)) << name;
        EXPECT_EQ(after.at(name), bytes) << name;
    }
    for (const auto& [name, bytes] : after) EXPECT_FALSE(name.ends_with(partial_file_suffix)) << name;
}

}  // namespace
}  // namespace quarnel
