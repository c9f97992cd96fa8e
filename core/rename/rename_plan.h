#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "io/file_meta.h"
#include "rename/rename_row.h"

namespace brindle {

// Where a file waits while a swap or a cycle of renames frees its new name. A name with this
// start left in a folder is the trace of a run that did not finish.
inline constexpr std::string_view kSwapPrefix = ".brindle-swap-";

// One rename of a planned run, in the order the run makes it, within `folder`.
struct RenameStep {
    std::size_t row = 0;
    std::string folder;
    std::string from;
    std::string to;
    io::FileId file;
    std::string stamp;   // io::StampOf the file, which the rename keeps
    bool final = true;   // false for the move to a temporary name
};

// Why a row cannot be renamed as the run stands; a whole sentence in the user's language.
struct RenameConflict {
    std::size_t row = 0;
    std::string reason;
};

struct RenamePlan {
    std::vector<RenameStep> steps;          // empty when anything conflicts
    std::vector<RenameConflict> conflicts;  // in row order
    bool stopped = false;
};

// Plans renaming every row that has a location and a new name, in place and never onto a
// file that stays: a new name must be a file name, unique among the run's new names in its
// folder, and free on disk (asked of the file system, so a folder that ignores letter case is
// heeded) unless a file of the run leaves it first. The steps free each name before it is
// taken: a chain from its end, a cycle through a temporary name. A row whose new name is its
// name gets no step.
RenamePlan PlanRenames(std::span<const RenameRow> rows, const std::function<bool()>& stopped = {});

// The longest file name most file systems hold, in bytes.
inline constexpr std::size_t kLongestName = 255;

}  // namespace brindle
