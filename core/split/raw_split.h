#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "shell/progress.h"
#include "split/split_engine.h"
#include "split/split_planning.h"

// Splitting into plain numbered pieces, FILE.001, FILE.002, ... with no header, for people
// without this program: `cat FILE.[0-9][0-9][0-9] > FILE` puts them back together.
namespace brindle {

// Checks a choice as CheckSplitChoice does, with the same texts, for pieces that are all data:
// a size is the size of each piece, and three digits allow at most 999 pieces. On success
// `*pieceSize` holds the bytes of every piece but the last.
std::optional<Rejection> PlanRawSplit(std::int64_t sourceLength, int choiceIndex, std::string_view numberText,
                                      std::string_view sizeText, std::string_view unitText,
                                      std::int64_t* pieceSize, char decimalSeparator = '.');

// InvalidArgument for a name plain numbered pieces cannot have: one holding "/" or NUL, as
// for the program's own pieces, and "", "." and "..", which would give hidden or odd names.
Status CheckRawBase(std::string_view base);

struct RawSplitParams {
    std::string sourcePath;
    std::string destFolder;
    std::string base;  // the pieces are base.001, base.002, ...
    std::int64_t pieceSize = 0;
    bool checksums = false;  // also BASE.sha256 listing every piece, written last
    int recoveryPercent = 0;  // as SplitParams::recoveryPercent, after the list
};

// Writes the pieces, each exactly pieceSize bytes but the last, holding the folder's lock as
// SplitFile does. Refused before anything is written when the base name is refused, when any
// numbered piece of `base` is already in the folder (an old group's extra pieces would
// otherwise join onto the new one), or, with checksums, when a BASE.sha256 this program did
// not write is there; an earlier BASE.sha256 of its own is replaced, or removed without
// checksums. The pieces are written under hidden names (.BASE.001.brindle-part, ...) and
// named only once all are written, from the last down to BASE.001, then the list: a split
// killed at any moment leaves no group that joins, and a later split of `base` removes its
// hidden files. On a failure or a stop (Cancelled) every file written is removed again.
// Progress moves by Max / pieces after each piece (with checksums, by the bytes written and
// hashed) and ends at Max and "100".
SplitResult SplitRaw(const RawSplitParams& params, Progress& progress);

}  // namespace brindle
