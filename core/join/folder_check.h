#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shell/status.h"

// Every group of a folder checked at once, for `brindle verify DIR`.
namespace brindle {

struct FolderGroupVerdict {
    std::string kind;        // "pieces" (the program's own) or "numbered"
    std::string name;        // the group's name: G of G(1).qmf, NAME of NAME.001
    std::string firstPiece;  // path
    int pieces = 0;          // found or expected
    int faulty = 0;          // missing, damaged, misplaced or from another split
    std::int64_t bytes = 0;  // the file it joins into, when known
    bool joinable = false;   // joins correctly as it is
    bool recoveryFiles = false;
    bool rebuildable = false;  // not joinable, but the recovery files beside it mend it
    std::string reason;        // why it does not join, in a sentence
};

// Checks every group in `folder`: own pieces (with their checksum file), numbered pieces
// with the lists beside them, and the recovery files of either. Up to as many groups as
// there are cores are checked side by side, each hashing its pieces on its own pool, so each
// piece is read once. Ordered by kind, then name.
Status CheckFolderGroups(const std::string& folder, std::vector<FolderGroupVerdict>* verdicts);

}  // namespace brindle
