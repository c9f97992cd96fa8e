#include "split/split_planning.h"

#include "format/piece_format.h"
#include "shell/numbers.h"
#include "shell/paths.h"
#include "shell/translate.h"

namespace brindle {
namespace {

constexpr std::int64_t kHeader = static_cast<std::int64_t>(kHeaderSize);

std::int64_t CeilDiv(std::int64_t a, std::int64_t b) { return (a + b - 1) / b; }

}  // namespace

Rejection SizeTooSmall() {
    return {SplitProblem::kSizeTooSmall, Tr("The size you entered is too small.")};
}

Rejection SizeOverFile() {
    return {SplitProblem::kSizeOverFile,
            Tr("The size you entered is greater than your original file size.")};
}

std::optional<Rejection> CheckPieceCount(std::int64_t sourceLength, std::string_view numberText,
                                         char decimalSeparator, std::int64_t* count) {
    const NumberReading number = ReadNumber(numberText, decimalSeparator);
    if (!number.numeric || number.value < kMinPieces || number.value > kMaxPieces) {
        return Rejection{
            SplitProblem::kPieceCount,
            Fill(Tr("You must enter a number between 2 and %1."), {std::to_string(kMaxPieces)})};
    }
    if (sourceLength <= 0) {
        return Rejection{SplitProblem::kEmptyFile, Tr("The file is empty.")};
    }
    *count = RoundHalfEven(number.value);
    return std::nullopt;
}

std::optional<Rejection> CheckFloppyPieces(std::int64_t sourceLength, std::int64_t header) {
    if (sourceLength <= kFloppyPieceFileSize) {
        return Rejection{SplitProblem::kSmallerThanFloppy,
                         Tr("The File size is smaller than the size of floppy.")};
    }
    if (CeilDiv(sourceLength, kFloppyPieceFileSize - header) > kMaxPieces) {
        return Rejection{SplitProblem::kTooLargeForFloppy,
                         Tr("The file is too large for floppy-sized pieces.")};
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
        return Rejection{SplitProblem::kFileTooLarge,
                         Tr("The file is larger than 2 TB and cannot be split.")};
    }
    const auto mode = static_cast<SplitMode>(choiceIndex);
    if (mode == SplitMode::kPieces) {
        std::int64_t rounded = 0;
        if (auto rejection = CheckPieceCount(sourceLength, numberText, decimalSeparator, &rounded)) {
            return rejection;
        }
        const auto count = static_cast<std::int32_t>(rounded);
        if (CeilDiv(sourceLength, count) + kHeader > kMaxPieceFileSize) {
            return Rejection{SplitProblem::kPiecesOver2GB,
                             Tr("Each piece would be larger than 2 GB. Choose more pieces.")};
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
    const auto line = [&text](const char* translated,
                              std::initializer_list<std::string_view> values) {
        text += Fill(translated, values) + "\n";
    };
    line(Tr("File Name: %1"), {GetFileName(state.SplitSourcePath)});
    line(Tr("File Size: %1"), {size(length)});
    line(Tr("File location: %1"), {JoinPath(GetFolderName(state.SplitSourcePath), "")});
    line(Tr("Split Destination: %1"), {state.SplitDestFolder});
    text += "\n";
    // Sizes and counts are those of the pieces the engine will really cut, so the review
    // never promises a piece that will not be there.
    const std::int64_t data = std::max<std::int32_t>(state.SplitPieceSize, 1);
    const std::int64_t full = length / data;
    const std::int64_t rest = length - full * data;
    const std::int64_t pieces = full + (rest != 0 ? 1 : 0);
    line(TrN("This file will be splitted to %1 pieces.", "This file will be splitted to %1 pieces.",
             static_cast<unsigned long>(pieces)),
         {std::to_string(pieces)});
    if (!state.SplitBySize) {
        line(TrN("Action: Split into %1 pieces", "Action: Split into %1 pieces",
                 static_cast<unsigned long>(state.SplitPieceCount)),
             {std::to_string(state.SplitPieceCount)});
        if (rest == 0) {
            line(Tr("Size of the file pieces: %1"), {size(data + kHeader)});
        } else {
            line(TrN("%1 file(s) size will be : %2", "%1 file(s) size will be : %2",
                     static_cast<unsigned long>(full)),
                 {std::to_string(full), size(data + kHeader)});
            line(Tr("and one file size will be : %1"), {size(rest + kHeader)});
        }
        return text;
    }
    line(Tr("Action: Split into same size"), {});
    if (rest == 0) {
        line(Tr("Size of each file: %1"), {size(data + kHeader)});
    } else {
        line(TrN("Size of %1 file(s): %2", "Size of %1 file(s): %2",
                 static_cast<unsigned long>(full)),
             {std::to_string(full), size(data + kHeader)});
        line(Tr("and the remaining file is: %1"), {size(rest + kHeader)});
    }
    return text;
}

}  // namespace brindle
