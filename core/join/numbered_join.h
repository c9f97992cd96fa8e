#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "format/numbered_group.h"
#include "shell/progress.h"
#include "shell/status.h"

namespace brindle {

struct NumberedJoinParams {
    std::string outputPath;
    std::string folder;  // of the pieces
    std::string base;    // NAME of NAME.001
    // False for a name the user did not choose: a file already there is then never replaced.
    bool replaceExisting = true;
    // When given, the group's pieces in order, and the file each one's bytes are read from
    // (a piece rebuilt from recovery files, in a temporary): the group is then these, its
    // numbering and sizes checked, and listed checksums still matched by the pieces' names.
    std::vector<std::string> pieces = {};
    std::vector<std::string> readFrom = {};
    // When given, each piece's MD5 (hex) as recovery files describe it: the bytes written of
    // a piece are matched against it, as against a list.
    std::vector<std::string> md5 = {};
};

// Joins plain numbered pieces into one file, as the program's own pieces are joined: the
// group is found afresh and its numbering and sizes are checked first (all but the last of
// one size, the last no larger). The output is written beside its target and moved into
// place only when complete and, where checksum files list the pieces or NAME, only when the
// written bytes (hashed behind the copy) match them. A failed or stopped join leaves nothing
// behind. Progress moves inside each piece, stands at Max / pieces after each one and ends
// at Max; with checksums it counts the bytes written and the bytes hashed together.
Status JoinNumberedPieces(const NumberedJoinParams& params, Progress& progress);

// What `brindle verify` finds in a numbered group, one line per name.
struct NumberedCheckLine {
    std::string name;
    std::string verdict;  // "ok", "missing", "damaged", "not a piece", ...
    std::string reason;   // why, for a fault
    bool fault = false;
};

struct NumberedCheck {
    std::vector<NumberedCheckLine> lines;
    std::vector<std::string> checksumFiles;  // used
    int unreadLines = 0;                     // lines of those files that are no checksum lines
    std::int64_t totalSize = 0;
    int pieceCount = 0;
    bool joinable = false;
};

// Checks a numbered group without joining it: the numbering, the sizes, each piece and the
// joined bytes (hashed from the pieces in order) against every checksum file that lists
// them, and names every listed file that is not there.
NumberedCheck CheckNumberedGroup(const std::string& folder, const std::string& base);

}  // namespace brindle
