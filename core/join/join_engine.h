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

// Rebuilds the split file from its pieces. Every header is checked first: all pieces share
// one GroupId and each fits its place (its PieceIndex, the group's PieceCount, PieceSize and
// SourceLength, exactly its share of the data). The output is written beside the target and
// moved onto it only when complete, so a failed join leaves no output and never touches a
// file that was there before. When the group's own checksum file lies beside the first
// piece, it must list every piece before anything is written, and the bytes written must
// match it before the output takes its place. A file that is replaced keeps its permissions
// and gets its new bytes flushed to disk first, so a power cut cannot leave it empty.
// Progress moves by Max / pieces after each piece, by bytes inside a piece, and ends at Max
// and "100"; hashing what was written takes the second half of the bar when there is a
// checksum file. A stop the caller asks for (Progress::StopRequested) ends the join as
// Cancelled with no output.
Status JoinPieces(const JoinParams& params, Progress& progress);

}  // namespace brindle
