#include "support/temp_dir.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <unistd.h>

namespace brindle::test {

TempDir::TempDir(const std::string& under) {
    const std::filesystem::path base = under.empty() ? std::filesystem::temp_directory_path() : std::filesystem::path(under);
    std::string pattern = (base / "brindle-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool Exists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

std::string MemoryFolder() {
    std::error_code error;
    const bool shared = std::filesystem::is_directory("/dev/shm", error) && ::access("/dev/shm", W_OK) == 0;
    return shared ? std::string("/dev/shm") : std::filesystem::temp_directory_path().string();
}

std::string PatternBytes(std::size_t n, std::uint32_t seed) {
    std::string bytes(n, '\0');
    std::uint32_t state = seed * 2654435761u + 1;
    for (std::size_t i = 0; i < n; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = static_cast<char>(state >> 24);
    }
    return bytes;
}

std::vector<std::string> SortedNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void FlipByte(const std::string& path, std::size_t at) {
    std::string bytes = ReadFile(path);
    bytes.at(at) = static_cast<char>(bytes.at(at) ^ 0x10);
    WriteFile(path, bytes);
}

}  // namespace brindle::test
