#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "shell/file_meta.h"
#include "shell/status.h"

namespace brindle {

// Where the journals of rename runs are kept: $XDG_STATE_HOME/tarnwick-brindle/renames, or
// ~/.local/state/... when that is not set; empty when neither tells a folder.
std::string DefaultJournalFolder();

// The record of one rename run, one file per run, written as the run goes: each rename is
// written before it is tried and its outcome right after, each line handed to the system
// at once. A run cut short anywhere leaves a journal that undo reads correctly (a rename
// whose outcome is missing is settled by the file's identity).
//
// A line holds the device, inode, folder, old name and new name; names are bytes and are
// written with every byte outside printable ASCII, the space and "%" as %XX.
class RenameJournal {
public:
    // Starts the newest journal of `folder`, making the folder where needed; the oldest
    // journals beyond the most recent runs are dropped.
    Status Begin(const std::string& folder);
    Status Attempt(const std::string& folder, const std::string& oldName,
                   const std::string& newName, io::FileId file);
    Status Outcome(bool renamed);
    // Closes the journal; one that records no rename is removed, as there is nothing to undo.
    Status Finish();

private:
    io::AppendFile file_;
    bool open_ = false;
    std::size_t renamed_ = 0;
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
    std::vector<UndoStep> steps;  // last rename first
    Status error;                 // a journal that could not be read or removed

    std::size_t SkippedCount() const;
    // Every step undone.
    bool ok() const { return error.ok() && SkippedCount() == 0; }
};

// True while `folder` holds a run that undo would revert.
bool HasRunToUndo(const std::string& folder);

// Reverts the most recent run of `folder`, last rename first, never replacing a file: a
// step whose new name now holds another file, or whose old name is taken again, is skipped
// and the rest still undone. The run then counts as undone, so the next call reverts the
// run before it. With `dryRun` it only says what it would do.
UndoOutcome UndoLastRun(const std::string& folder, bool dryRun);

}  // namespace brindle
