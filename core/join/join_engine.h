#pragma once

#include <string>
#include <vector>

#include "shell/progress.h"
#include "shell/status.h"

namespace brindle {

struct JoinParams {
    std::string outputPath;
    std::vector<std::string> pieces;  // in the order their data is laid end to end
    // False for a name the user did not choose: a file already there is then never replaced.
    bool replaceExisting = true;
};

// Rebuilds the split file from its pieces. Every header is checked first: all pieces must
// share one GroupId and their data must add up to the stored SourceLength. The output is
// written beside the target and moved onto it only when complete, so a failed join leaves
// no output and never touches a file that was there before. When the group's checksum file
// lies beside the first piece, every piece must match it before anything is written. A file
// that is replaced gets its new bytes flushed to disk first, so a power cut cannot leave it
// empty. Progress moves by Max / pieces after each piece, by bytes inside a piece, and ends
// at Max and "100"; hashing against a checksum file moves the front of the bar first. A stop
// the caller asks for (Progress::StopRequested) ends the join as Cancelled with no output.
Status JoinPieces(const JoinParams& params, Progress& progress);

}  // namespace brindle
