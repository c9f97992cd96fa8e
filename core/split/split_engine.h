#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "shell/progress.h"
#include "shell/status.h"
#include "split/piece_format.h"

namespace brindle {

struct SplitParams {
    std::string sourcePath;
    std::string destFolder;
    std::string groupName;  // may be empty
    std::int32_t pieceSize = 0;  // data bytes per full piece
    std::string extension = kPieceExtension;
    std::string splitDate;  // short-date text; the caller knows the user's locale
    std::optional<std::int32_t> groupId;  // drawn at random when not given
};

struct SplitResult {
    Status status;
    std::vector<std::string> pieces;  // every piece written, also when the split failed later
};

// Cuts the source into piece files in `destFolder`. Progress moves by Max / full pieces
// after each full piece (3333, 6666, 9999 for three) and by bytes inside each piece, the
// percent text follows, and both end at Max and "100". Pieces written before a failure stay;
// nothing is rolled back. A stop the caller asks for (Progress::StopRequested) ends the split
// as Cancelled and removes every piece this split wrote.
SplitResult SplitFile(const SplitParams& params, Progress& progress);

// A fresh group identifier, uniform in 0 to 999,999,999.
std::int32_t DrawGroupId();

}  // namespace brindle
