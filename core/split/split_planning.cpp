#include "split/split_planning.h"

#include "format/piece_format.h"
#include "shell/numbers.h"
#include "shell/paths.h"

namespace brindle {
namespace {

constexpr std::int64_t kHeader = static_cast<std::int64_t>(kHeaderSize);

std::int64_t CeilDiv(std::int64_t a, std::int64_t b) { return (a + b - 1) / b; }

}  // namespace

Rejection SizeTooSmall() {
    return {SplitProblem::kSizeTooSmall, "The size you entered is too small."};
}

Rejection SizeOverFile() {
    return {SplitProblem::kSizeOverFile, "The size you entered is greater than your original file size."};
}

std::optional<Rejection> CheckPieceCount(std::int64_t sourceLength, std::string_view numberText,
                                         char decimalSeparator, std::int64_t* count) {
    const NumberReading number = ReadNumber(numberText, decimalSeparator);
    if (!number.numeric || number.value < kMinPieces || number.value > kMaxPieces) {
        return Rejection{SplitProblem::kPieceCount,
                         "You must enter a number between 2 and " + std::to_string(kMaxPieces) + "."};
    }
    if (sourceLength <= 0) {
        return Rejection{SplitProblem::kEmptyFile, "The file is empty."};
    }
    *count = RoundHalfEven(number.value);
    return std::nullopt;
}

std::optional<Rejection> CheckFloppyPieces(std::int64_t sourceLength, std::int64_t header) {
    if (sourceLength <= kFloppyPieceFileSize) {
        return Rejection{SplitProblem::kSmallerThanFloppy, "The File size is smaller than the size of floppy."};
    }
    if (CeilDiv(sourceLength, kFloppyPieceFileSize - header) > kMaxPieces) {
        return Rejection{SplitProblem::kTooLargeForFloppy, "The file is too large for floppy-sized pieces."};
    }
    return std::nullopt;
}

std::int64_t UnitBytes(std::string_view unitText) {
    if (unitText == "KB") return 1024;
    if (unitText == "MB") return 1024 * 1024;
    if (unitText == "GB") return 1024 * 1024 * 1024;
    if (unitText.empty()) return 1;
    return 0;
}

std::optional<Rejection> CheckSplitChoice(std::int64_t sourceLength, int choiceIndex,
                                          std::string_view numberText, std::string_view sizeText,
                                          std::string_view unitText, SplitState& state,
                                          char decimalSeparator) {
    // Pieces hold at most 2,147,483,647 bytes each, and there are at most 999 of them.
    if (sourceLength > kLargestSplittable) {
        return Rejection{SplitProblem::kFileTooLarge, "The file is larger than 2 TB and cannot be split."};
    }
    const auto mode = static_cast<SplitMode>(choiceIndex);
    if (mode == SplitMode::kPieces) {
        std::int64_t rounded = 0;
        if (auto rejection = CheckPieceCount(sourceLength, numberText, decimalSeparator, &rounded)) {
            return rejection;
        }
        const auto count = static_cast<std::int32_t>(rounded);
        if (CeilDiv(sourceLength, count) + kHeader > kMaxPieceFileSize) {
            return Rejection{SplitProblem::kPiecesOver2GB, "Each piece would be larger than 2 GB. Choose more pieces."};
        }
        state.SplitBySize = false;
        state.SplitPieceCount = count;
        return std::nullopt;
    }

    if (mode == SplitMode::kFloppy) {
        if (auto rejection = CheckFloppyPieces(sourceLength, kHeader)) {
            return rejection;
        }
        state.SplitBySize = true;
        state.SplitPieceSize = static_cast<std::int32_t>(kFloppyPieceFileSize);
        return std::nullopt;
    }

    // Equal sizes. The product is formed in 64 bits so no size can wrap around.
    const std::int64_t units = RoundHalfEven(NumberValue(sizeText, decimalSeparator));
    const std::int64_t unitBytes = UnitBytes(unitText);
    if (units <= 0 || unitBytes <= 0) {
        return SizeTooSmall();
    }
    if (units > kMaxPieceFileSize / unitBytes) {
        return SizeOverFile();
    }
    const std::int64_t pieceFileSize = units * unitBytes;
    if (pieceFileSize > sourceLength) {
        return SizeOverFile();
    }
    if (pieceFileSize <= kHeader || sourceLength / pieceFileSize > kMaxPieces ||
        CeilDiv(sourceLength, pieceFileSize - kHeader) > kMaxPieces) {
        return SizeTooSmall();
    }
    state.SplitBySize = true;
    state.SplitPieceSize = static_cast<std::int32_t>(pieceFileSize);
    return std::nullopt;
}

SplitParams PlanSplit(const SplitState& state, std::int32_t pieceDataSize) {
    SplitParams params;
    params.sourcePath = state.SplitSourcePath;
    params.destFolder = state.SplitDestFolder;
    params.groupName = state.SplitGroupName;
    params.pieceSize = pieceDataSize;
    params.extension = kPieceExtension;
    return params;
}

void ComputePieceDataSize(std::int64_t sourceLength, SplitState& state) {
    if (state.SplitBySize) {
        state.SplitPieceSize -= static_cast<std::int32_t>(kHeader);
        return;
    }
    if (state.SplitPieceCount <= 0) {
        state.SplitPieceSize = 0;
        return;
    }
    const std::int64_t share = sourceLength / state.SplitPieceCount;
    state.SplitPieceSize =
        static_cast<std::int32_t>(share * state.SplitPieceCount == sourceLength ? share : share + 1);
}

std::string BuildSplitSummary(const SplitState& state, std::int64_t length, char decimalSeparator) {
    const auto size = [&](std::int64_t bytes) { return FormatSize(bytes, decimalSeparator); };
    std::string text;
    text += "File Name: " + GetFileName(state.SplitSourcePath) + "\n";
    text += "File Size: " + size(length) + "\n";
    text += "File location: " + JoinPath(GetFolderName(state.SplitSourcePath), "") + "\n";
    text += "Split Destination: " + state.SplitDestFolder + "\n";
    text += "\n";
    // Sizes and counts are those of the pieces the engine will really cut, so the review
    // never promises a piece that will not be there.
    const std::int64_t data = std::max<std::int32_t>(state.SplitPieceSize, 1);
    const std::int64_t full = length / data;
    const std::int64_t rest = length - full * data;
    text += "This file will be splitted to " + std::to_string(full + (rest != 0 ? 1 : 0)) + " pieces.\n";
    if (!state.SplitBySize) {
        text += "Action: Split into " + std::to_string(state.SplitPieceCount) + " pieces\n";
        if (rest == 0) {
            text += "Size of the file pieces: " + size(data + kHeader) + "\n";
        } else {
            text += std::to_string(full) + " file(s) size will be : " + size(data + kHeader) + "\n";
            text += "and one file size will be : " + size(rest + kHeader) + "\n";
        }
        return text;
    }
    text += "Action: Split into same size\n";
    if (rest == 0) {
        text += "Size of each file: " + size(data + kHeader) + "\n";
    } else {
        text += "Size of " + std::to_string(full) + " file(s): " + size(data + kHeader) + "\n";
        text += "and the remaining file is: " + size(rest + kHeader) + "\n";
    }
    return text;
}

}  // namespace brindle
