#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli.h"

namespace brindle::cli {

// `brindle split -`: what the command line chose, checked by SplitFromInput.
struct StreamSplitChoice {
    std::string destFolder;
    std::optional<std::string> group;
    std::optional<std::string> storedName;
    std::optional<std::string> size;
    std::string unit;
    bool raw = false;
    bool checksums = false;
    bool dataCheck = true;
    int recoveryPercent = 0;
};

// Splits standard input; every refusal comes before a byte of it is read.
int SplitFromInput(const StreamSplitChoice& choice, Console& console);

// Joins the program's own `pieces` into standard output; a piece that fails its checks stops
// the output at the end of the piece before it, named on standard error, exit 1.
int JoinToOutput(const std::vector<std::string>& pieces, Console& console);
// Joins the group `group` in `folder` into standard output with its recovery files beside it:
// a lost or damaged piece is rebuilt into a temporary before the output reaches it.
int JoinRebuildingToOutput(const std::string& folder, const std::string& group, Console& console);
// The same for the plain numbered pieces NAME.001, ... in `folder`.
int JoinNumberedToOutput(const std::string& folder, const std::string& base, Console& console);

}  // namespace brindle::cli
