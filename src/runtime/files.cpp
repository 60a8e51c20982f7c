// Provisional: whole-file helpers only; the file-number table comes next.
#include "runtime/files.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace quarnel {

namespace {
std::vector<std::string> g_arguments;
}

void set_command_arguments(int argc, char** argv) {
    g_arguments.assign(argv, argv + argc);
}

std::string command_argument(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= g_arguments.size()) return {};
    return g_arguments[static_cast<std::size_t>(index)];
}

int write_file_text(int, std::string_view) { return 1; }

std::optional<std::vector<std::uint8_t>> read_whole_file(std::string_view name) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::string(name), ec)) return std::nullopt;
    std::ifstream in(std::string(name), std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return bytes;
}

bool write_whole_file(std::string_view name, std::span<const std::uint8_t> bytes) {
    std::ofstream out(std::string(name), std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool write_whole_file(std::string_view name, std::string_view bytes) {
    return write_whole_file(name, std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

int file_exists(std::string_view name) {
    std::error_code ec;
    return std::filesystem::is_regular_file(std::string(name), ec) ? -1 : 0;
}

int make_directory(std::string_view path) {
    std::error_code ec;
    return std::filesystem::create_directory(std::string(path), ec) ? 0 : -1;
}

std::string program_directory() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return exe.parent_path().string();
}

}  // namespace quarnel
