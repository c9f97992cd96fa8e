#pragma once

#include <optional>
#include <string>

#include "io/file_meta.h"
#include "shell/status.h"

namespace brindle::io {

// A folder held open while many of its names are looked at and renamed, so that each call
// finds the name in it instead of walking the folder's whole path again.
class OpenFolder {
public:
    OpenFolder() = default;
    ~OpenFolder();
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;
    OpenFolder(OpenFolder&& other) noexcept;
    OpenFolder& operator=(OpenFolder&& other) noexcept;

    Status Open(const std::string& folder);
    const std::string& path() const { return path_; }

    // LookUpIdentity and LookUpStamp of `name` in one look; nothing when nothing is there.
    Status LookUp(const std::string& name, std::optional<FileId>* id, std::optional<std::string>* stamp) const;
    // MoveNoReplace from `from` to `to`, both names in this folder.
    Status MoveNoReplace(const std::string& from, const std::string& to) const;
    // True when the folder's file system tells names apart by their bytes alone (no letter
    // case or other folding), so that its listing says which names are taken. False when it
    // cannot be told.
    bool NamesAreBytes() const;

private:
    int fd_ = -1;
    std::string path_;
};

}  // namespace brindle::io
