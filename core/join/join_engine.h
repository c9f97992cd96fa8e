#pragma once

#include <string>
#include <vector>

#include "shell/progress.h"
#include "shell/status.h"

namespace brindle {

namespace io {
class AtomicFile;
}

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
// file that was there before. Pieces whose headers carry a data hash (all of the group's or
// none: a mix is refused as pieces of another split) are checked against it, on the bytes
// written, hashed behind the copy, before the output takes its place; a mismatch names the
// piece ("NAME: damaged (its data does not match its header's hash)"). When the group's own
// checksum file lies beside the first piece, it must list every piece before anything is
// written, and the bytes written must match it too, hashed in the same pass. A file that is replaced
// keeps its permissions and gets its new bytes flushed to disk first, so a power cut cannot
// leave it empty. Progress moves by Max / pieces after each piece, by bytes inside a piece,
// and ends at Max and "100"; with a checksum file it counts the bytes written and the bytes
// hashed together. A stop the caller asks for (Progress::StopRequested) ends the join as
// Cancelled with no output.
Status JoinPieces(const JoinParams& params, Progress& progress);

// The end of a join: the finished output moves into place (replacing a file there only with
// `replaceExisting`) unless a stop was asked at the last moment, and the bar is filled.
Status PublishJoined(io::AtomicFile& output, bool replaceExisting, Progress& progress);

}  // namespace brindle
