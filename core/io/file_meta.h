#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "shell/status.h"

// Facts about files and an append-only record file: the part of the file seam that the
// rename journal and the file dates need.
namespace brindle::io {

// Which file a name leads to: device and inode where the system has them.
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileId&) const = default;
};

// The file at `path` itself (a symbolic link is not followed); nothing when nothing is there.
// Fails when the system cannot tell.
Status LookUpIdentity(const std::string& path, std::optional<FileId>* id);
// False on the portable road, which cannot tell two files apart: every FileId is then zero.
bool IdentitiesKnown();

// What tells the file at `path` (not followed) from a later one that took its inode number:
// its birth time where the file system keeps one, else its size and modification time. A
// rename changes neither. One word of printable ASCII; nothing when nothing is there. Fails
// when the system cannot tell.
Status LookUpStamp(const std::string& path, std::optional<std::string>* stamp);

// Reads the whole of a regular file of the user's own that no one else may read or write;
// anything else (a link, another owner, access for others) is refused unread.
Status ReadPrivateFile(const std::string& path, std::string* text);
// Refuses anything at `folder` but a folder of the user's own that only the user may use.
Status CheckPrivateFolder(const std::string& folder);

// The calendar day, in local time, of the file's last modification; links are followed.
std::optional<std::chrono::year_month_day> ModifiedLocalDate(const std::string& path);

// A new file that only its owner can read, written in whole records: each Append reaches
// the system at once, so a crash of the process loses no record that was appended.
class AppendFile {
public:
    AppendFile() = default;
    ~AppendFile();
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    // Fails when anything is already at `path`.
    Status Create(const std::string& path);
    Status Append(std::string_view record);
    // Flushes to the disk itself and closes.
    Status Close();
    const std::string& path() const { return path_; }

private:
    int fd_ = -1;
    void* stream_ = nullptr;  // the portable road's FILE
    std::string path_;
};

// Creates `folder` and its parents where missing, the new ones readable by the owner only.
Status MakePrivateFolder(const std::string& folder);

}  // namespace brindle::io
