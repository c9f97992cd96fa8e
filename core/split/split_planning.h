#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "format/piece_format.h"
#include "split/split_engine.h"
#include "split/split_state.h"

namespace brindle {

// The three ways to split, as indexed by the option buttons.
enum class SplitMode { kPieces = 0, kEqualSizes = 1, kFloppy = 2 };

// What is wrong with a split choice; the number of pieces is wrong in the first three, the
// size in the last two, the file itself in the others.
enum class SplitProblem {
    kPieceCount,         // no number between 2 and the limit
    kEmptyFile,          // nothing to split into pieces
    kPiecesOver2GB,      // so few pieces that each would be over the largest piece file
    kFileTooLarge,       // more than the limit of the largest pieces could hold
    kSmallerThanFloppy,  // fits in one floppy-sized piece
    kTooLargeForFloppy,  // would take more floppy-sized pieces than the limit
    kSizeTooSmall,       // no size, or so small the pieces would be more than the limit
    kSizeOverFile,       // a piece larger than the file
};

// Why a split choice cannot go ahead: the problem, and the message that tells the user.
struct Rejection {
    SplitProblem problem;
    std::string message;
};

inline constexpr std::int64_t kFloppyPieceFileSize = 1'457'664;
inline constexpr int kMinPieces = 2;
// The largest source 999 pieces of at most 2,147,483,647 bytes can hold.
inline constexpr std::int64_t kLargestSplittable = kMaxSourceLength;

// Bytes per unit of "KB", "MB", "GB" and of no unit (1); 0 for anything else.
std::int64_t UnitBytes(std::string_view unitText);

// The checks that a split into this program's pieces and one into plain numbered pieces
// share, with the same texts. A count of pieces: a number from 2 to kMaxPieces, of a file
// that is not empty; on success `*count` holds it, rounded.
std::optional<Rejection> CheckPieceCount(std::int64_t sourceLength, std::string_view numberText,
                                         char decimalSeparator, std::int64_t* count);
// Floppy-sized piece files, each `header` bytes before its data: a file larger than one, in
// at most kMaxPieces of them.
std::optional<Rejection> CheckFloppyPieces(std::int64_t sourceLength, std::int64_t header);
Rejection SizeTooSmall();
Rejection SizeOverFile();

// Checks a split choice against a source of `sourceLength` bytes. On success it records the
// choice in `state` (SplitBySize, SplitPieceCount or SplitPieceSize as a piece file size);
// on a rejection `state` is left exactly as it was.
std::optional<Rejection> CheckSplitChoice(std::int64_t sourceLength, int choiceIndex,
                                          std::string_view numberText, std::string_view sizeText,
                                          std::string_view unitText, SplitState& state,
                                          char decimalSeparator = '.');

// Turns the recorded choice into data bytes per piece (SplitPieceSize).
void ComputePieceDataSize(std::int64_t sourceLength, SplitState& state);

// The split the windows and the command run for `state`'s source, folder and group, with
// full pieces of `pieceDataSize` data bytes (what ComputePieceDataSize gave). The caller adds
// the date and the switches its user chose.
SplitParams PlanSplit(const SplitState& state, std::int32_t pieceDataSize);

// The review text of a planned split, one line per fact, sizes as piece file sizes.
std::string BuildSplitSummary(const SplitState& state, std::int64_t sourceLength,
                              char decimalSeparator = '.');

}  // namespace brindle
