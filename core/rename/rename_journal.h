#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "io/file_io.h"
#include "io/file_meta.h"
#include "rename/rename_plan.h"
#include "shell/status.h"

namespace brindle {

// Where the journals of rename runs are kept: $XDG_STATE_HOME/tarnwick-brindle/renames, or
// ~/.local/state/... when that is not set; empty when neither tells a folder.
std::string DefaultJournalFolder();

// How a front end hears that another rename run or undo holds the journals, and stops one.
struct RunControl {
    std::function<void()> waiting;  // told once, when the wait for the other begins
    std::function<bool()> stopped;  // asked while waiting and before each file
    bool Stopped() const { return stopped && stopped(); }
};

// Makes rename runs and undos of one journal folder take turns, across processes: a run's
// journal is never read, changed or removed while the run still writes it.
class JournalTurn {
public:
    // Waits for the folder, made where needed, and refuses one that is not the user's own
    // and private. Cancelled when `control` stops the wait.
    Status Take(const std::string& folder, const RunControl& control);

private:
    io::FolderLock lock_;
};

// The record of one rename run, one file per run, written as the run goes: each rename is
// written before it is tried and its outcome after it, each record handed to the system
// at once. A run cut short anywhere leaves a journal that undo reads correctly (a rename
// whose outcome is missing is settled by the file's identity).
//
// A line holds the device, inode, stamp (io::LookUpStamp), folder, old name and new name; the
// outcome line of a rename made holds the stamp taken after it. Names are bytes and are
// written with every byte outside printable ASCII, the space and "%" as %XX.
class RenameJournal {
public:
    // Starts the newest journal of `folder`, making the folder where needed; the oldest
    // journals beyond the most recent runs are dropped. The caller holds its JournalTurn.
    Status Begin(const std::string& folder);
    Status Attempt(const std::string& folder, const std::string& oldName,
                   const std::string& newName, io::FileId file);
    Status Outcome(bool renamed);
    // The same for a batch: the intents of all `steps` in one write, before any is made; then
    // their outcomes in one write, the first `renamed` made and the rest not.
    Status AttemptAll(std::span<const RenameStep> steps);
    Status OutcomeAll(std::size_t renamed);
    // Closes the journal; one that records no rename is removed, as there is nothing to undo.
    Status Finish();

private:
    io::AppendFile file_;
    bool open_ = false;
    std::size_t renamed_ = 0;
    std::string pending_;  // the new name of the rename attempted last
    std::vector<std::string> pendingStamps_;  // of the batch attempted last
};

// How many runs stay undoable; older journals are dropped when a new run starts.
inline constexpr std::size_t kKeptRuns = 50;

struct UndoStep {
    std::string from;     // the new name's full path
    std::string to;       // the old name's full path
    std::string skipped;  // why it was (or would be) left alone; empty when undone
};

struct UndoOutcome {
    bool nothingToUndo = false;
    bool stopped = false;         // stopped before every step was tried
    bool kept = false;            // steps are left, so the run stays the one to undo
    std::vector<UndoStep> steps;  // last rename first
    Status error;                 // a journal that could not be read or written

    std::size_t SkippedCount() const;
    std::size_t UndoneCount() const { return steps.size() - SkippedCount(); }
    // Every step undone.
    bool ok() const { return error.ok() && !stopped && SkippedCount() == 0; }
};

// True while `folder` holds a run that undo would revert.
bool HasRunToUndo(const std::string& folder);

// Reverts the most recent run of `folder`, last rename first, never replacing a file and
// never moving one to another folder: a step whose new name now holds another file (told
// by its inode and stamp), or whose old name is taken again, is skipped and the rest still
// undone. The run stays the one to undo, holding only the steps left, until every step is
// undone or ForgetLastRun drops it. A journal that is not the user's own and private, or
// that records a name leading out of its folder, is refused whole and nothing is renamed.
// With `dryRun` it only says what it would do.
UndoOutcome UndoLastRun(const std::string& folder, bool dryRun, const RunControl& control = {});

// Drops the run UndoLastRun would revert, without renaming anything. NotFound when there is
// none.
Status ForgetLastRun(const std::string& folder, const RunControl& control = {});

}  // namespace brindle
