#include "io/linked_files.h"

#include "io/file_io.h"
#include "shell/paths.h"
#include "shell/translate.h"

namespace brindle {

Status CheckLinkInFolder(const std::string& path) {
    // A check the system cannot answer fails: a link not known to be inside is refused.
    bool link = false;
    Status status = io::IsSymlink(path, &link);
    if (!status.ok() || !link) {
        return status;
    }
    std::optional<std::string> target;
    status = io::Resolve(path, &target);
    if (!status.ok() || !target) {
        return status;  // a dangling link: the open says so
    }
    const bool bare = path.find(kPathSeparator) == std::string::npos;
    std::optional<std::string> folder;
    status = io::Resolve(bare ? std::string(".") : GetFolderName(path), &folder);
    if (!status.ok()) {
        return status;
    }
    if (!folder || GetFolderName(*target) != *folder) {
        return Status::InvalidArgument(Fill(Tr("a link to a file outside its folder: %1"), {path}));
    }
    return Status::Ok();
}

}  // namespace brindle
