#include "rename/apply_renames.h"

#include <algorithm>
#include <string>
#include <unordered_map>

#include "io/file_io.h"
#include "io/open_folder.h"
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
    const auto stop = [&outcome](std::size_t row) {
        outcome.stopped = true;
        outcome.failedRow = row;
        outcome.error = Status::Cancelled(Fill(
            TrN("stopped with %1 of the files renamed", "stopped with %1 of the files renamed",
                static_cast<unsigned long>(outcome.renamed)),
            {std::to_string(outcome.renamed)}));
    };
    RenamePlan plan = PlanRenames(rows, control.stopped);
    if (plan.stopped) {
        stop(0);
        return outcome;
    }
    if (!plan.conflicts.empty()) {
        const std::size_t n = plan.conflicts.size();
        outcome.failedRow = plan.conflicts.front().row;
        outcome.error = Status::InvalidArgument(
            Fill(TrN("%1 new name conflicts, so nothing was renamed: %2",
                     "%1 new names conflict, so nothing was renamed: %2", static_cast<unsigned long>(n)),
                 {std::to_string(n), plan.conflicts.front().reason}));
        outcome.conflicts = std::move(plan.conflicts);
        return outcome;
    }
    // The intents of a batch reach the journal in one write before any of its renames, and
    // their outcomes in one after: a crash between leaves entries undo settles by identity.
    constexpr std::size_t kBatch = 1024;
    const std::span<const RenameStep> steps(plan.steps);
    // Each folder is opened once, and its files renamed by their names in it.
    std::unordered_map<std::string, io::OpenFolder> folders;
    const auto move = [&folders](const RenameStep& step) {
        auto found = folders.find(step.folder);
        if (found == folders.end()) {
            io::OpenFolder folder;
            if (const Status opened = folder.Open(step.folder); !opened.ok()) {
                return opened;
            }
            found = folders.emplace(step.folder, std::move(folder)).first;
        }
        return found->second.MoveNoReplace(step.from, step.to);
    };
    for (std::size_t start = 0; start < steps.size(); start += kBatch) {
        const std::span<const RenameStep> batch = steps.subspan(start, std::min(kBatch, steps.size() - start));
        if (control.Stopped()) {
            stop(batch.front().row);
            return outcome;
        }
        if (journal != nullptr) {
            if (const Status recorded = journal->AttemptAll(batch); !recorded.ok()) {
                outcome.failedRow = batch.front().row;
                outcome.error = Status::IoError(
                    Fill(Tr("cannot record the rename for undo: %1"), {recorded.message()}));
                (void)journal->OutcomeAll(0);
                return outcome;
            }
        }
        std::size_t made = 0;
        Status status;
        bool stopped = false;
        for (; made < batch.size(); ++made) {
            const RenameStep& step = batch[made];
            if (made > 0 && control.Stopped()) {
                stopped = true;
                break;
            }
            status = move(step);
            if (!status.ok()) {
                break;
            }
            outcome.renamed += step.final ? 1 : 0;
        }
        if (journal != nullptr) {
            const Status recorded = journal->OutcomeAll(made);
            if (status.ok() && !recorded.ok()) {
                // Done but the outcomes unwritten: undo still finds the files by their inodes.
                status = Status::IoError(
                    Fill(Tr("cannot record the rename for undo: %1"), {recorded.message()}));
            }
        }
        if (stopped && status.ok()) {
            stop(batch[made].row);
            return outcome;
        }
        if (!status.ok()) {
            outcome.failedRow = batch[std::min(made, batch.size() - 1)].row;
            outcome.error = std::move(status);
            return outcome;
        }
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
