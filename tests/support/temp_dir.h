#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brindle::test {

// A fresh folder under the system's temporary folder (or under `under`), removed with
// everything in it.
class TempDir {
public:
    explicit TempDir(const std::string& under = {});
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
// A folder in memory (/dev/shm) where the system has one, else the temporary folder: for tests
// that flush to disk thousands of times and check nothing of the disk itself.
std::string MemoryFolder();
// Deterministic bytes that differ at every offset, so a shifted copy never passes.
std::string PatternBytes(std::size_t n, std::uint32_t seed = 1);
std::vector<std::string> SortedNames(const std::string& folder);
// One bit of the byte at `at` flipped in place.
void FlipByte(const std::string& path, std::size_t at);

}  // namespace brindle::test
