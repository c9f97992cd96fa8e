#include "join/linked_files.h"

#include "shell/file_io.h"
#include "shell/paths.h"

namespace brindle {

Status CheckLinkInFolder(const std::string& path) {
    if (!io::IsSymlink(path)) {
        return Status::Ok();
    }
    const std::optional<std::string> target = io::ResolvedPath(path);
    if (!target) {
        return Status::Ok();  // a dangling link: the open says so
    }
    const bool bare = path.find(kPathSeparator) == std::string::npos;
    const std::optional<std::string> folder = io::ResolvedPath(bare ? std::string(".") : GetFolderName(path));
    if (!folder || GetFolderName(*target) != *folder) {
        return Status::InvalidArgument("a link to a file outside its folder: " + path);
    }
    return Status::Ok();
}

}  // namespace brindle
