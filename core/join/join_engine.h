#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "shell/progress.h"
#include "shell/status.h"

namespace brindle {

namespace io {
class AtomicFile;
class File;
}  // namespace io
class CopyHashBar;

struct JoinParams {
    std::string outputPath;
    std::vector<std::string> pieces;  // in the order their data is laid end to end
    // False for a name the user did not choose: a file already there is then never replaced.
    bool replaceExisting = true;
    // When given, one per piece: the file its bytes are read from (a piece rebuilt from
    // recovery files, in a temporary), checked as that piece; names and lists stay the pieces'.
    std::vector<std::string> readFrom = {};
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

// A pass over the pieces that brings their bytes to the join instead of the join copying
// them from the disk, such as a rebuild of lost pieces that reads the others once.
struct PiecePass {
    // One per piece: the length of its file when the pass brings it and the disk does not
    // have it (a lost piece), else -1.
    std::vector<std::int64_t> brought;
    // Bytes of piece `piece`'s file (its header included) from `offset`.
    using Bytes = std::function<Status(std::size_t piece, std::int64_t offset, const unsigned char* data, std::size_t n)>;
    // The work done so far and in all; false stops the pass.
    using Tick = std::function<bool(std::int64_t done, std::int64_t total)>;
    // Brings every byte of every piece once to `bytes`, one call after another (from any
    // thread); returns the first failure, its own or one `bytes` returned.
    std::function<Status(const Bytes& bytes, const Tick& tick)> run;
};

// JoinPieces with the pieces' bytes brought by `pass` (params.readFrom is not used). The
// pieces on the disk have their headers checked before anything is written; each piece's
// data is checked against its header's hash and the group's checksum list as it comes, a
// brought piece's header once it is there; a piece whose bytes come out of order is hashed
// from the output once it is whole. The output is named only when every piece checks out.
// A stop or failure leaves no output.
Status JoinPiecesInOnePass(const JoinParams& params, const PiecePass& pass, Progress& progress);

// The end of a join: the finished output moves into place (replacing a file there only with
// `replaceExisting`) unless a stop was asked at the last moment, and the bar is filled.
Status PublishJoined(io::AtomicFile& output, bool replaceExisting, Progress& progress);

// The copy both engines run, piece after piece: `open` opens piece `i` (refusing one that is
// no longer what was checked), its `sizes[i]` bytes go onto the end of `output`, and
// `written` is told where they landed, to queue their hashing. The bar moves by `step` a
// piece and by bytes inside one, unless `both` moves it by copy and hashing together; with
// `both` the result is its Finish.
struct PieceCopy {
    std::function<Status(std::size_t i, io::File& piece)> open;
    std::function<Status(std::size_t i, std::int64_t offset)> written;
};
Status CopyPieceByPiece(const std::vector<std::int64_t>& sizes, io::AtomicFile& output, int step,
                        Progress& progress, CopyHashBar* both, const PieceCopy& each);

// What both engines ask before they write: the output may not be one of `pieces`, nor,
// unless `replaceExisting`, a file already there.
Status CheckJoinTarget(const std::vector<std::string>& pieces, const std::string& outputPath,
                       bool replaceExisting);

}  // namespace brindle
