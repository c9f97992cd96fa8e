#include "join/linked_files.h"

#include <filesystem>
#include <system_error>

namespace brindle {

Status CheckLinkInFolder(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path link(path);
    if (!fs::is_symlink(fs::symlink_status(link, error))) {
        return Status::Ok();
    }
    const fs::path target = fs::canonical(link, error);
    if (error) {
        return Status::Ok();  // a dangling link: the open says so
    }
    const fs::path folder = fs::canonical(link.has_parent_path() ? link.parent_path() : fs::path("."), error);
    if (error || target.parent_path() != folder) {
        return Status::InvalidArgument("a link to a file outside its folder: " + path);
    }
    return Status::Ok();
}

}  // namespace brindle
