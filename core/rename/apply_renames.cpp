#include "rename/apply_renames.h"

#include <string>

#include "shell/file_io.h"
#include "shell/paths.h"

namespace brindle {

Status CheckNewFileName(std::string_view name) {
    if (name.empty() || name == "." || name == ".." ||
        name.find(kPathSeparator) != std::string_view::npos || name.find('\0') != std::string_view::npos) {
        return Status::InvalidArgument("not a file name: \"" + std::string(name) + "\"");
    }
    return Status::Ok();
}

RenameOutcome RenameListedFiles(std::span<const RenameRow> rows) {
    RenameOutcome outcome;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const RenameRow& row = rows[i];
        if (row.fileLocation.empty() || row.newFileName.empty()) {
            continue;
        }
        Status status = CheckNewFileName(row.newFileName);
        if (status.ok()) {
            status = io::MoveNoReplace(row.key, JoinPath(row.fileLocation, row.newFileName));
        }
        if (!status.ok()) {
            outcome.failedRow = i;
            outcome.error = std::move(status);
            return outcome;
        }
        ++outcome.renamed;
    }
    return outcome;
}

}  // namespace brindle
