// bytediff end to end, headless: the exact transcript for each kind of pair
// of files, plus the block scan on files larger than one block.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "bytediff/bytediff.h"
#include "runtime/platform/files.h"
#include "support/run_program.h"

using namespace quarnel::test;

namespace {

const std::string greeting = "Hello!\r\nThis program shows differences between two files\r\n";
const std::string ending_identical = "Files are identical\r\nzakonczono skanowanie...\r\npress 'q' to quit\r\n";
const std::string ending_different = "Files are different\r\nzakonczono skanowanie...\r\npress 'q' to quit\r\n";

// The transcript up to "scanning..." for the two answers as typed.
// The lines typed are echoed as typed; line 7 shows the names taken from them.
std::string head(const std::string& first, const std::string& second, const std::string& first_typed = "",
                 const std::string& second_typed = "") {
    return greeting + "Please enter first filename: " + (first_typed.empty() ? first : first_typed) + "\r\n" +
           "Please enter second filename: " + (second_typed.empty() ? second : second_typed) + "\r\n" +
           "\r\n" + "Differences will be show in tis orded:\r\n" + "actual position in file, bytes from " + first + " <> " +
           second + ", then chr() for these bytes\r\n" + "scanning...\r\n";
}

std::string difference(int position, unsigned char a, unsigned char b) {
    return "roznica, bajt nr: " + std::to_string(position) + "  bajty: " + std::to_string(a) + " <> " + std::to_string(b) +
           "   chr: " + std::string(1, static_cast<char>(a)) + " <> " + std::string(1, static_cast<char>(b)) + "\r\n";
}

ProgramRun compare(const TempDir& dir, const std::string& answers) {
    auto run = run_program(bytediff_path(), {}, answers, dir.path());
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.errors, "");
    return run;
}

}  // namespace

TEST(Bytediff, EqualFilesEndTogether) {
    TempDir dir;
    write_file(dir.file("a"), "0123456789");
    write_file(dir.file("b"), "0123456789");
    const auto run = compare(dir, "a\nb\nq");
    EXPECT_EQ(run.output, head("a", "b") + "koniec pliku pierwszego\r\nkoniec pliku drugiego\r\n" + ending_identical);
}

TEST(Bytediff, ShorterFirstFileEndsTheScan) {
    TempDir dir;
    write_file(dir.file("short"), "abcde");
    write_file(dir.file("long"), "abcdeXYZ");
    auto run = compare(dir, "short\nlong\nq");
    EXPECT_EQ(run.output, head("short", "long") + "koniec pliku pierwszego\r\n" + ending_identical);
    run = compare(dir, "long\nshort\nq");
    EXPECT_EQ(run.output, head("long", "short") + "koniec pliku drugiego\r\n" + ending_identical);
}

TEST(Bytediff, AtMost31DifferencesAreListed) {
    TempDir dir;
    write_file(dir.file("a"), std::string(100, 'a'));
    write_file(dir.file("b"), std::string(100, 'b'));
    const auto run = compare(dir, "a\nb\n");
    std::string expected = head("a", "b");
    for (int p = 1; p <= 31; ++p) expected += difference(p, 'a', 'b');
    EXPECT_EQ(run.output, expected + ending_different);
}

TEST(Bytediff, ThirtyFirstDifferenceOnTheLastByteShowsBothEnds) {
    TempDir dir;
    write_file(dir.file("a"), std::string(31, 'a'));
    write_file(dir.file("b"), std::string(31, 'b'));
    const auto run = compare(dir, "a\nb\n");
    std::string expected = head("a", "b");
    for (int p = 1; p <= 31; ++p) expected += difference(p, 'a', 'b');
    EXPECT_EQ(run.output, expected + "koniec pliku pierwszego\r\nkoniec pliku drugiego\r\n" + ending_different);
}

TEST(Bytediff, DifferenceLineShowsNumbersAndRawBytes) {
    TempDir dir;
    write_file(dir.file("x"), std::string("zzA\xff", 4));
    write_file(dir.file("y"), std::string("zzB\x00", 4));
    const auto run = compare(dir, "x\ny\n");
    EXPECT_EQ(run.output, head("x", "y") + "roznica, bajt nr: 3  bajty: 65 <> 66   chr: A <> B\r\n" + difference(4, 0xff, 0) +
                              "koniec pliku pierwszego\r\nkoniec pliku drugiego\r\n" + ending_different);
}

TEST(Bytediff, EmptyAnswersUseTheDefaultNames) {
    TempDir dir;
    const auto run = compare(dir, "\n\n");
    EXPECT_EQ(run.output, head("", "") + "koniec pliku pierwszego\r\nkoniec pliku drugiego\r\n" + ending_identical);
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.file("test.txt")));
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.file("wynik_decode.txt")));
    EXPECT_EQ(std::filesystem::file_size(dir.file("test.txt")), 0u);
}

TEST(Bytediff, EmptyFileComparesOneZeroByte) {
    TempDir dir;
    write_file(dir.file("full"), "Qrs");
    // The missing name is created empty; its first byte reads as 0.
    auto run = compare(dir, "new\nfull\n");
    EXPECT_EQ(run.output, head("new", "full") + difference(1, 0, 'Q') + "koniec pliku pierwszego\r\n" + ending_different);
    EXPECT_TRUE(std::filesystem::exists(dir.file("new")));
    write_file(dir.file("zero"), std::string("\0\1", 2));
    run = compare(dir, "zero\nnew\n");
    EXPECT_EQ(run.output, head("zero", "new") + "koniec pliku drugiego\r\n" + ending_identical);
}

TEST(Bytediff, FileThatCannotBeOpenedReadsAsEnded) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("folder"));
    write_file(dir.file("data"), std::string("\0abc", 4));
    const auto run = compare(dir, "folder\ndata\n");
    EXPECT_EQ(run.output, head("folder", "data") + "koniec pliku pierwszego\r\n" + ending_identical);
}

TEST(Bytediff, AnswersAreFirstInputItems) {
    TempDir dir;
    write_file(dir.file("a"), "same");
    write_file(dir.file("b"), "same");
    const auto run = compare(dir, "  a,ignored\n\"b\"\n");
    EXPECT_EQ(run.output, head("a", "b", "  a,ignored", "\"b\"") + "koniec pliku pierwszego\r\nkoniec pliku drugiego\r\n" +
                              ending_identical);
    EXPECT_FALSE(std::filesystem::exists(dir.file("ignored")));
}

TEST(Bytediff, EndsAtTheEndOfInputWithoutQ) {
    TempDir dir;
    const auto run = compare(dir, "a\nb\nxyzQ");
    EXPECT_NE(run.output.find("press 'q' to quit\r\n"), std::string::npos);
}

// Keys that wait are taken without a sleep between them: a long piped input
// before the q is read through at once (at one byte per 50 ms sleep these
// 20000 bytes would keep it waiting over 16 minutes).
TEST(Bytediff, LongPipedInputBeforeQIsTakenAtOnce) {
    TempDir dir;
    const auto run = run_program(bytediff_path(), {}, "a\nb\n" + std::string(20000, 'x') + "q", dir.path(), 120);
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_NE(run.output.find("press 'q' to quit\r\n"), std::string::npos);
}

// Only a lower-case q ends the wait: with the input still open, Q leaves the
// program waiting, and q then ends it.
TEST(Bytediff, UpperCaseQDoesNotQuit) {
    TempDir dir;
    int in_pipe[2], out_pipe[2];
    ASSERT_EQ(pipe(in_pipe), 0);
    ASSERT_EQ(pipe(out_pipe), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(in_pipe[0], 0);
        dup2(out_pipe[1], 1);
        for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1]}) close(fd);
        if (chdir(dir.path().c_str()) != 0) _exit(126);
        execl(bytediff_path().c_str(), "bytediff", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(in_pipe[0]);
    close(out_pipe[1]);
    signal(SIGPIPE, SIG_IGN);
    const std::string answers = "a\nb\nQ";
    ASSERT_EQ(write(in_pipe[1], answers.data(), answers.size()), static_cast<ssize_t>(answers.size()));

    // Read until the last line has been written.
    std::string output;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    char buffer[4096];
    while (output.find("press 'q' to quit\r\n") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd p{out_pipe[0], POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            const ssize_t n = read(out_pipe[0], buffer, sizeof buffer);
            if (n <= 0) break;
            output.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ASSERT_NE(output.find("press 'q' to quit\r\n"), std::string::npos) << output;
    // Give the wait loop several turns over the Q: it must still be running.
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0) << "bytediff ended on Q";
    // Now q, with the input still open: it ends by itself.
    ASSERT_EQ(write(in_pipe[1], "q", 1), 1);
    pid_t ended = 0;
    for (int i = 0; i < 300 && ended == 0; ++i) {
        ended = waitpid(pid, &status, WNOHANG);
        if (ended == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (ended == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    close(in_pipe[1]);
    close(out_pipe[0]);
    ASSERT_EQ(ended, pid) << "bytediff did not end on q";
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Files larger than one read block: differences found across block edges,
// and the end-of-file step counted from the real sizes.
TEST(BytediffScan, DifferencesAcrossBlocks) {
    TempDir dir;
    std::string a(3 * (1 << 20) + 17, '\0');
    for (std::size_t i = 0; i < a.size(); ++i) a[i] = static_cast<char>(i * 13);
    std::string b = a;
    const std::vector<std::size_t> changed = {0, (1u << 20) - 1, 1u << 20, 2u * (1u << 20) + 5, a.size() - 1};
    for (std::size_t at : changed) b[at] = static_cast<char>(~b[at]);
    write_file(dir.file("a"), a);
    write_file(dir.file("b"), b + "tail");
    using namespace quarnel;
    ASSERT_EQ(open_file(dir.file("a"), OpenMode::binary, 1), 0);
    ASSERT_EQ(open_file(dir.file("b"), OpenMode::binary, 2), 0);
    const ByteScan scan = scan_files(1, 2);
    close_file(0);
    ASSERT_EQ(scan.differences.size(), changed.size());
    for (std::size_t i = 0; i < changed.size(); ++i) {
        EXPECT_EQ(scan.differences[i].position, static_cast<std::int64_t>(changed[i]) + 1);
        EXPECT_EQ(scan.differences[i].first, static_cast<std::uint8_t>(a[changed[i]]));
        EXPECT_EQ(scan.differences[i].second, static_cast<std::uint8_t>(b[changed[i]]));
    }
    EXPECT_TRUE(scan.first_ended);
    EXPECT_FALSE(scan.second_ended);
}

TEST(BytediffScan, NeitherFileOpen) {
    using namespace quarnel;
    const ByteScan scan = scan_files(200, 201);
    EXPECT_TRUE(scan.differences.empty());
    EXPECT_TRUE(scan.first_ended);
    EXPECT_TRUE(scan.second_ended);
}
