// Hostile files and answers stay inside the folders their jobs own.
//
// Each test lays out a sandbox: prog/ with a copy of quarnel and its
// setup.txt, work/ with the input file, game/ with a sample game. The whole
// sandbox is listed (every path, its kind and its bytes) before and after a
// run; only the job's own output folder may change, and nothing may appear
// beside the sandbox.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "samples/sample_archive.h"
#include "samples/sample_game.h"
#include "support/run_program.h"

using namespace quarnel::test;
namespace fs = std::filesystem;

namespace {

// A name no run may create anywhere: hostile answers and names carry it.
const std::string escape_marker = "h9escape";

// Path (relative to the root) -> kind and contents.
using Snapshot = std::map<std::string, std::string>;

Snapshot snapshot(const std::string& root) {
    Snapshot listing;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::none, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) break;
        const std::string relative = fs::relative(it->path(), root).string();
        const auto status = it->symlink_status();
        if (fs::is_symlink(status))
            listing[relative] = "link:" + fs::read_symlink(it->path()).string();
        else if (fs::is_directory(status))
            listing[relative] = "folder";
        else
            listing[relative] = "file:" + read_file(it->path().string());
    }
    return listing;
}

bool inside(const std::string& relative, const std::string& owned) {
    return !owned.empty() && (relative == owned || relative.rfind(owned + "/", 0) == 0);
}

// Every difference between the two listings lies within an owned folder.
void expect_changes_only_in(const Snapshot& before, const Snapshot& after, const std::vector<std::string>& owned) {
    auto allowed = [&](const std::string& path) {
        for (const auto& folder : owned)
            if (inside(path, folder)) return true;
        return false;
    };
    for (const auto& [path, content] : after) {
        const auto old = before.find(path);
        if (old == before.end() || old->second != content) {
            EXPECT_TRUE(allowed(path)) << "written outside: " << path;
        }
    }
    for (const auto& [path, content] : before) {
        if (!after.count(path)) {
            EXPECT_TRUE(allowed(path)) << "removed: " << path;
        }
    }
}

void expect_no_marker_near(const std::string& folder) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        EXPECT_EQ(entry.path().filename().string().find(escape_marker), std::string::npos) << entry.path();
}

struct Sandbox {
    TempDir root;
    std::string program;
    std::string work;
    std::string game;

    Sandbox() {
        fs::create_directories(root.file("prog"));
        fs::create_directories(root.file("work"));
        program = root.file("prog/quarnel");
        fs::copy_file(quarnel_path(), program);
        chmod(program.c_str(), 0755);
        work = fs::canonical(root.file("work")).string();
        game = fs::canonical(root.path()).string() + "/game";
        std::string error;
        if (!quarnel::write_sample_game(game, quarnel::make_sample_game(), error)) ADD_FAILURE() << error;
    }
    void setup(const std::string& text) const { write_file(root.file("prog/setup.txt"), text); }
    ProgramRun run(const std::vector<std::string>& words, const std::string& answers) const {
        return run_program(program, words, answers, work, 120);
    }
    std::string parent() const { return fs::path(root.path()).parent_path().string(); }
};

// Answers and setup values a hostile script might type: climbing paths,
// absolute paths, zero bytes, every byte value, and a very long line.
std::vector<std::string> hostile_lines() {
    std::vector<std::string> lines = {
        "../../../" + escape_marker,
        "/" + escape_marker + "/../..",
        std::string("..\0/..\0/", 8) + escape_marker,
        "..\\..\\" + escape_marker,
        ".",
        "",
        "\"" + escape_marker + ",../x\"",
        std::string(1 << 20, 'y') + escape_marker,
    };
    std::string every_byte;
    for (int b = 1; b < 256; ++b)
        if (b != '\n') every_byte.push_back(static_cast<char>(b));
    lines.push_back(every_byte + std::string(1, '\0') + escape_marker);
    return lines;
}

std::string joined(const std::vector<std::string>& lines, std::size_t from, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += lines[(from + i) % lines.size()] + "\n";
    return text;
}

std::vector<std::uint8_t> sample_sprite_set() {
    return quarnel::write_sprite_set(quarnel::sample_palette_block(), quarnel::sample_sprites(), true);
}

void put_file(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    write_file(path, std::string(bytes.begin(), bytes.end()));
}

// A .trc container: 32-byte header with the item count at offset 8, 32-byte
// records (16 name bytes, u24 size at offset 20), then the items' bytes.
std::vector<std::uint8_t> item_container(const std::vector<std::pair<std::string, std::string>>& items) {
    std::vector<std::uint8_t> file(32, 0);
    file[8] = static_cast<std::uint8_t>(items.size());
    for (const auto& [name, bytes] : items) {
        std::vector<std::uint8_t> record(32, 0);
        for (std::size_t i = 0; i < name.size() && i < 16; ++i) record[i] = static_cast<std::uint8_t>(name[i]);
        record[20] = static_cast<std::uint8_t>(bytes.size());
        record[21] = static_cast<std::uint8_t>(bytes.size() >> 8);
        file.insert(file.end(), record.begin(), record.end());
    }
    for (const auto& item : items) file.insert(file.end(), item.second.begin(), item.second.end());
    return file;
}

}  // namespace

// Item names that try to leave the picture folder: every item is written
// inside work/CLIMB/, under its own name or a safe one, and none is lost.
TEST(Containment, ContainerItemNamesStayInThePictureFolder) {
    Sandbox box;
    const std::vector<std::pair<std::string, std::string>> items = {
        {"..", "two dots"},
        {".", "one dot"},
        {"", "no name"},
        {"...", "three dots"},
        {"../../" + escape_marker, "slashes"},
        {"/" + escape_marker, "absolute"},
        {"..\\..\\h9escape", "backslashes"},
        {std::string(".\0.txt", 6), "zero byte"},
        {"build.txt", "not the build file"},
        {"PLAIN.TXT", "plain"},
    };
    put_file(box.work + "/CLIMB.trc", item_container(items));
    const Snapshot before = snapshot(box.root.path());
    const auto run = box.run({"CLIMB.trc"}, "png\n");
    expect_clean_end(run);
    const Snapshot after = snapshot(box.root.path());
    expect_changes_only_in(before, after, {"work/CLIMB"});
    expect_no_marker_near(box.parent());

    // Nothing lost: each item's bytes are in a file of the picture folder.
    std::vector<std::string> written;
    for (const auto& [path, content] : after)
        if (inside(path, "work/CLIMB") && content.rfind("file:", 0) == 0) written.push_back(content.substr(5));
    for (const auto& [name, bytes] : items) {
        if (name == "build.txt") continue;  // the build file of the extraction takes that name
        bool found = false;
        for (const auto& content : written) found = found || content == bytes;
        EXPECT_TRUE(found) << "item lost: " << name << "\n" << run.output;
    }
}

// Typed answers of any bytes to the extraction's questions.
TEST(Containment, ExtractionAnswersOfAnyBytesWriteOnlyThePictureFolder) {
    Sandbox box;
    put_file(box.work + "/SAMPLE.spr", sample_sprite_set());
    const auto lines = hostile_lines();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(i);
        box.setup("DCpath=" + lines[i] + "\r\n");
        const Snapshot before = snapshot(box.root.path());
        expect_clean_end(box.run({"SAMPLE.spr"}, joined(lines, i, 3)));
        expect_changes_only_in(before, snapshot(box.root.path()), {"work/SAMPLE"});
    }
    // The raw-data questions (counts typed as numbers) with the same bytes.
    for (std::size_t i = 0; i < lines.size(); i += 3) {
        SCOPED_TRACE(i);
        const Snapshot before = snapshot(box.root.path());
        expect_clean_end(box.run({"SAMPLE.spr", "-r"}, joined(lines, i, 5)));
        expect_changes_only_in(before, snapshot(box.root.path()), {"work/SAMPLE"});
    }
    expect_no_marker_near(box.parent());
}

// The report's question answered with any bytes: only work/REAP/ changes.
TEST(Containment, ReportAnswersOfAnyBytesWriteOnlyTheReportFolder) {
    Sandbox box;
    fs::copy_file(box.game + "/animate/REAP.FIN", box.work + "/REAP.fin");
    const auto lines = hostile_lines();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(i);
        const Snapshot before = snapshot(box.root.path());
        expect_clean_end(box.run({"REAP.fin"}, joined(lines, i, 2)));
        expect_changes_only_in(before, snapshot(box.root.path()), {"work/REAP"});
    }
    expect_no_marker_near(box.parent());
}

// The map viewer only reads: a setup.txt of any bytes, unit and tile set
// names of any bytes, write nothing at all. One setup names the real game
// folder so that the viewer loads and its loop runs on the answers.
TEST(Containment, SetupAndViewerAnswersOfAnyBytesWriteNothing) {
    Sandbox box;
    fs::copy_file(quarnel::sample_map_path(box.game), box.work + "/SAMPLE.map");
    auto lines = hostile_lines();
    lines.push_back("REAP");
    lines.push_back("desert");
    std::vector<std::string> setups;
    for (const auto& line : hostile_lines()) setups.push_back("DCpath=" + line + "\r\n" + line + "\r\n");
    setups.push_back(std::string("DCpath=") + box.game + "/../game/\r\n");
    setups.push_back(std::string("\0\0DCpath=\0", 10) + box.game + "\r\n");
    for (std::size_t i = 0; i < setups.size(); ++i) {
        SCOPED_TRACE(i);
        box.setup(setups[i]);
        const std::string answers = i + 2 >= setups.size() ? "REAP\ndesert\n" + joined(lines, i, 2)
                                                           : joined(lines, i, 4);
        const Snapshot before = snapshot(box.root.path());
        const auto run = box.run({"SAMPLE.map"}, answers);
        expect_clean_end(run);
        if (i + 2 == setups.size()) {  // the setup that names the game folder
            EXPECT_NE(run.output.find("wczytano mape"), std::string::npos) << run.output;
        }
        expect_changes_only_in(before, snapshot(box.root.path()), {});
    }
    expect_no_marker_near(box.parent());
}

// Without an input argument the typed file name is the input: any bytes
// typed there write nothing outside a folder beside an existing input.
TEST(Containment, TypedInputNamesOfAnyBytesWriteNothing) {
    Sandbox box;
    const auto lines = hostile_lines();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(i);
        const Snapshot before = snapshot(box.root.path());
        expect_clean_end(box.run({}, joined(lines, i, 4)));
        expect_changes_only_in(before, snapshot(box.root.path()), {});
    }
    expect_no_marker_near(box.parent());
}

// bytediff writes no file of its own: opening a missing name in binary mode
// creates it empty (as the defaults test.txt and wynik_decode.txt are), but
// no file is ever given bytes, and no existing file is changed. It runs four
// folders deep so that the climbing names stay within the sandbox.
TEST(Containment, BytediffNamesOfAnyBytesOnlyCreateEmptyFiles) {
    Sandbox box;
    const std::string deep = box.work + "/a/b/c/d";
    fs::create_directories(deep);
    write_file(deep + "/a.bin", "abc");
    const auto lines = hostile_lines();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(i);
        const Snapshot before = snapshot(box.root.path());
        // Two names, then the q that ends the wait for a key.
        const auto run = run_program(bytediff_path(), {}, joined(lines, i, 2) + "q", deep, 60);
        expect_clean_end(run);
        const Snapshot after = snapshot(box.root.path());
        for (const auto& [path, content] : before) {
            const auto now = after.find(path);
            EXPECT_TRUE(now != after.end() && now->second == content) << "changed: " << path;
        }
        for (const auto& [path, content] : after) {
            if (before.count(path)) continue;
            EXPECT_TRUE(content == "file:" || content == "folder") << "written: " << path;
            EXPECT_EQ(content, "file:") << "new folder: " << path;
        }
    }
    expect_no_marker_near(box.parent());
}
