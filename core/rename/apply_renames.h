#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "rename/rename_journal.h"
#include "rename/rename_plan.h"
#include "rename/rename_row.h"
#include "shell/status.h"
#include "shell/translate.h"

namespace brindle {

inline constexpr std::string_view kRenameFinished = N_("Process Finish.");
inline constexpr std::string_view kRenameFailed = N_("Fail to rename some files.");

// The closing report of a run or an undo in the user's language.
inline const char* RenameReport(bool done) {
    return Tr(done ? kRenameFinished.data() : kRenameFailed.data());
}

struct RenameOutcome {
    std::size_t renamed = 0;
    bool stopped = false;       // stopped before every file was renamed; the renames made stay
    std::size_t failedRow = 0;  // meaningful only when !error.ok()
    Status error;
    std::vector<RenameConflict> conflicts;  // when the plan refused the run: nothing was renamed

    bool ok() const { return error.ok(); }
    // "Process Finish." or "Fail to rename some files.", translated.
    std::string_view message() const { return RenameReport(ok()); }
};

// Renames every row that has a location and a new name, checked or not, within its folder and
// never onto a file that stays, as PlanRenames orders it; when any row conflicts, nothing is
// renamed. Stops at the first failure (a name taken since the plan), or before the next file
// once `control` says stop; what was renamed before stays renamed. The rows themselves are
// not changed. With a journal, every rename is recorded in it before it is made, and a
// rename that cannot be recorded is not made.
RenameOutcome RenameListedFiles(std::span<const RenameRow> rows, RenameJournal* journal = nullptr,
                                const RunControl& control = {});

// A run of the front ends: RenameListedFiles with a new journal in `journalFolder`
// (DefaultJournalFolder() when empty), so that the run can be undone. It waits while
// another run or undo holds the journals.
RenameOutcome RenameAndRecord(std::span<const RenameRow> rows, const std::string& journalFolder = {},
                              const RunControl& control = {});

// Refuses names that would leave the folder or name no file: empty, ".", "..", or with "/".
Status CheckNewFileName(std::string_view name);

}  // namespace brindle
