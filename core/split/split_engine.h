#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "format/piece_format.h"
#include "shell/progress.h"
#include "shell/status.h"

namespace brindle::recovery {
struct WriteResult;
}

namespace brindle {

struct SplitParams {
    std::string sourcePath;
    std::string destFolder;
    std::string groupName;  // may be empty
    std::int32_t pieceSize = 0;  // data bytes per full piece
    std::string extension = kPieceExtension;
    std::string splitDate;  // short-date text; the caller knows the user's locale
    std::optional<std::int32_t> groupId;  // drawn at random when not given
    bool checksums = false;  // also write groupName.sha256 beside the pieces
    // The user said to replace what is not this source's own earlier pieces (another file's
    // group, a file that is not a piece, a checksum file this program did not write).
    bool replaceOthers = false;
    // Each piece's header carries the hash of its data, which every join checks; without it
    // Reserved stays zero, byte for byte the format earlier writers knew.
    bool dataCheck = true;
    // Percent (1..100) of the group's size written as PAR2 recovery data beside the pieces
    // once all are named; 0 for none, which removes this source's earlier recovery files.
    int recoveryPercent = 0;
};

struct SplitResult {
    Status status;
    std::vector<std::string> pieces;  // every piece written; none when the split failed
    std::string checksumFile;         // when one was written
    std::vector<std::string> recoveryFiles;  // NAME.par2 first, when asked for
    int rebuildablePieces = 0;               // lost pieces the recovery files can rebuild

    // Takes the outcome of writing the recovery files.
    void TakeRecovery(recovery::WriteResult written);
    // Removes the recovery files written: a split that fails leaves none.
    void DropRecovery();
};

// Lost pieces the recovery files of `percent` can rebuild, for a split of `length` bytes into
// pieces of `pieceSize` data bytes: what that split's rebuildablePieces says, known before it.
int RebuildablePieces(std::int64_t length, std::int32_t pieceSize, int percent);

// A file a split would replace without having been asked to.
struct SplitClash {
    std::string path;
    std::string holds;  // what it is: "piece 1 of 3 of report.txt", "a file that is not a piece"
};

// InvalidArgument when `name` is longer than the file names `folder` takes.
Status CheckNameFits(const std::string& folder, const std::string& name);

// Checks, without writing, what a split of a source of `sourceLength` bytes would do to its
// folder. InvalidArgument for what is never done: more than 999 pieces, a piece file above
// 2,147,483,647 bytes, a group name holding "/" or NUL, a piece or the checksum file on the
// source itself, a last piece (or checksum file) whose name the folder cannot take. `clash` gets the first file that is replaced only when the user says so;
// the source's own earlier pieces (their stored name is the source's) are no clash.
Status CheckSplitTargets(const SplitParams& params, std::int64_t sourceLength, std::optional<SplitClash>* clash);

// Cuts the source into piece files in `destFolder`, holding the folder's lock throughout, so
// a second split into it waits; a stop asked while it waits ends the wait as Cancelled. Everything CheckSplitTargets checks is checked again on the
// source's length as the split starts, before the first file is created; a clash fails the
// split unless `replaceOthers`. The replaced group's pieces beyond the new count and its
// checksum file go too (the checksum file is written anew when asked for). Progress moves by
// Max / full pieces after each full piece (3333, 6666, 9999 for three), the percent text
// follows, and both end at Max and "100"; inside each piece it moves by bytes, and with
// checksums the hashing takes the second half of the bar. A failure, or a stop the caller
// asks for (Progress::StopRequested, then Cancelled), removes every piece this split wrote;
// when pieces of an earlier group were already replaced, the message says so. Each piece's
// data hash is taken from the temporary piece on a worker while the next one is copied, and
// written into its header before the piece gets its name.
SplitResult SplitFile(const SplitParams& params, Progress& progress);

// A fresh group identifier, uniform in 0 to 999,999,999.
std::int32_t DrawGroupId();

}  // namespace brindle
