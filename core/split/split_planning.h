#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "split/piece_format.h"
#include "split/split_state.h"

namespace brindle {

// The three ways to split, as indexed by the option buttons.
enum class SplitMode { kPieces = 0, kEqualSizes = 1, kFloppy = 2 };

enum class MessageIcon { kNone, kError, kWarning, kInformation, kQuestion };
enum class FocusField { kNone, kNumber, kSize };

// Why a split choice cannot go ahead, in the words of the message box that says so.
struct Rejection {
    std::string message;
    std::string title;
    MessageIcon icon = MessageIcon::kError;
    FocusField focus = FocusField::kNone;  // gets the focus with its whole text selected
};

inline constexpr std::int64_t kFloppyPieceFileSize = 1'457'664;
inline constexpr int kMinPieces = 2;
// The largest source 999 pieces of at most 2,147,483,647 bytes can hold.
inline constexpr std::int64_t kLargestSplittable = kMaxSourceLength;

// Bytes per unit of "KB", "MB", "GB" and of no unit (1); 0 for anything else.
std::int64_t UnitBytes(std::string_view unitText);

// Checks a split choice against a source of `sourceLength` bytes. On success it records the
// choice in `state` (SplitBySize, SplitPieceCount or SplitPieceSize as a piece file size);
// on a rejection `state` is left exactly as it was.
std::optional<Rejection> CheckSplitChoice(std::int64_t sourceLength, int choiceIndex,
                                          std::string_view numberText, std::string_view sizeText,
                                          std::string_view unitText, SplitState& state,
                                          char decimalSeparator = '.');

// Turns the recorded choice into data bytes per piece (SplitPieceSize).
void ComputePieceDataSize(std::int64_t sourceLength, SplitState& state);

// The review text of a planned split, one line per fact, sizes as piece file sizes.
std::string BuildSplitSummary(const SplitState& state, std::int64_t sourceLength,
                              char decimalSeparator = '.');

}  // namespace brindle
