#include "rename/apply_renames.h"

#include <algorithm>
#include <string>

#include "io/file_io.h"
#include "shell/paths.h"

namespace brindle {

Status CheckNewFileName(std::string_view name) {
    if (name.empty() || name == "." || name == ".." ||
        name.find(kPathSeparator) != std::string_view::npos || name.find('\0') != std::string_view::npos) {
        return Status::InvalidArgument(Fill(Tr("not a file name: \"%1\""), {name}));
    }
    return Status::Ok();
}

RenameOutcome RenameListedFiles(std::span<const RenameRow> rows, RenameJournal* journal,
                                const RunControl& control) {
    RenameOutcome outcome;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const RenameRow& row = rows[i];
        if (row.fileLocation.empty() || row.newFileName.empty()) {
            continue;
        }
        if (control.Stopped()) {
            outcome.stopped = true;
            outcome.failedRow = i;
            outcome.error = Status::Cancelled(Fill(
                TrN("stopped with %1 of the files renamed", "stopped with %1 of the files renamed",
                    static_cast<unsigned long>(outcome.renamed)),
                {std::to_string(outcome.renamed)}));
            return outcome;
        }
        Status status = CheckNewFileName(row.newFileName);
        if (status.ok() && journal != nullptr) {
            std::optional<io::FileId> file;
            status = io::LookUpIdentity(row.key, &file);
            if (status.ok()) {
                status =
                    file ? journal->Attempt(row.fileLocation, GetFileName(row.key), row.newFileName,
                                            *file)
                         : Status::NotFound(Fill(Tr("cannot rename %1: no such file"), {row.key}));
            }
            if (file && !status.ok()) {
                status = Status::IoError(
                    Fill(Tr("cannot record the rename for undo: %1"), {status.message()}));
            }
        }
        if (status.ok()) {
            status = io::MoveNoReplace(row.key, JoinPath(row.fileLocation, row.newFileName));
            if (journal != nullptr) {
                const Status recorded = journal->Outcome(status.ok());
                if (status.ok() && !recorded.ok()) {
                    // Done but its outcome unwritten: undo still finds it by its inode.
                    ++outcome.renamed;
                    status = Status::IoError(
                        Fill(Tr("cannot record the rename for undo: %1"), {recorded.message()}));
                }
            }
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

RenameOutcome RenameAndRecord(std::span<const RenameRow> rows, const std::string& journalFolder,
                              const RunControl& control) {
    const bool anything = std::any_of(rows.begin(), rows.end(), [](const RenameRow& row) {
        return !row.fileLocation.empty() && !row.newFileName.empty();
    });
    if (!anything) {
        return {};
    }
    const std::string folder = journalFolder.empty() ? DefaultJournalFolder() : journalFolder;
    JournalTurn turn;
    RenameJournal journal;
    Status status = turn.Take(folder, control);
    if (status.ok()) {
        status = journal.Begin(folder);
    }
    if (!status.ok()) {
        (void)journal.Finish();
        RenameOutcome outcome;
        outcome.stopped = status.cancelled();
        outcome.error =
            outcome.stopped
                ? status
                : Status::IoError(
                      Fill(Tr("cannot record the renames for undo, so nothing was renamed: %1"),
                           {status.message()}));
        return outcome;
    }
    RenameOutcome outcome = RenameListedFiles(rows, &journal, control);
    status = journal.Finish();
    if (outcome.ok() && !status.ok()) {
        outcome.error = status;
        outcome.failedRow = rows.size();
    }
    return outcome;
}

}  // namespace brindle
