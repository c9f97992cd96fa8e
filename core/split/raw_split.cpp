#include "split/raw_split.h"

#include <algorithm>

#include "join/checksums.h"
#include "join/numbered_group.h"
#include "shell/atomic_file.h"
#include "shell/file_io.h"
#include "shell/hash_pool.h"
#include "shell/numbers.h"
#include "shell/paths.h"

namespace brindle {
namespace {

std::int64_t CeilDiv(std::int64_t a, std::int64_t b) { return (a + b - 1) / b; }

Rejection TooSmall() {
    return {"The size you entered is too small.", "Size Invalid", MessageIcon::kError, FocusField::kSize};
}

// With `written`, it is opened on the piece as written before the move, so hashing it reads
// the very file that took the piece's name.
Status WriteRawPiece(io::File& source, const std::string& path, std::int64_t length, std::vector<char>& scratch,
                     const io::CopyTick& tick, io::File* written) {
    // The bytes are still in the source, so the disk is not waited for.
    io::AtomicFile piece(path, io::AtomicFile::Flush::kNever);
    Status status = piece.Open();
    if (status.ok()) {
        status = io::CopyRange(source, piece.file(), length, scratch, tick);
    }
    if (status.ok() && written != nullptr) {
        status = piece.OpenWritten(written);
    }
    return status.ok() ? piece.Commit(io::AtomicFile::Move::kNoReplace) : status;
}

}  // namespace

std::optional<Rejection> PlanRawSplit(std::int64_t sourceLength, int choiceIndex, std::string_view numberText,
                                      std::string_view sizeText, std::string_view unitText,
                                      std::int64_t* pieceSize, char decimalSeparator) {
    const auto mode = static_cast<SplitMode>(choiceIndex);
    if (mode == SplitMode::kPieces) {
        const NumberReading number = ReadNumber(numberText, decimalSeparator);
        if (!number.numeric || number.value < kMinPieces || number.value > kMaxNumberedPieces) {
            return Rejection{"You must enter a number between 2 and " + std::to_string(kMaxNumberedPieces) + ".",
                             "Invalid number", MessageIcon::kError, FocusField::kNumber};
        }
        if (sourceLength <= 0) {
            return Rejection{"The file is empty.", "No splitting required", MessageIcon::kInformation,
                             FocusField::kNumber};
        }
        *pieceSize = CeilDiv(sourceLength, RoundHalfEven(number.value));
        return std::nullopt;
    }
    std::int64_t size = kFloppyPieceFileSize;
    if (mode == SplitMode::kFloppy) {
        if (sourceLength <= kFloppyPieceFileSize) {
            return Rejection{"The File size is smaller than the size of floppy.", "No splitting required",
                             MessageIcon::kInformation, FocusField::kNone};
        }
        if (CeilDiv(sourceLength, size) > kMaxNumberedPieces) {
            return Rejection{"The file is too large for floppy-sized pieces.", "Invalid size",
                             MessageIcon::kError, FocusField::kNone};
        }
        *pieceSize = size;
        return std::nullopt;
    }
    const std::int64_t units = RoundHalfEven(NumberValue(sizeText, decimalSeparator));
    const std::int64_t unitBytes = UnitBytes(unitText);
    if (units <= 0 || unitBytes <= 0) {
        return TooSmall();
    }
    if (units > sourceLength / unitBytes + 1 || units * unitBytes > sourceLength) {
        return Rejection{"The size you entered is greater than your original file size.", "Invalid size",
                         MessageIcon::kError, FocusField::kSize};
    }
    size = units * unitBytes;
    if (CeilDiv(sourceLength, size) > kMaxNumberedPieces) {
        return TooSmall();
    }
    *pieceSize = size;
    return std::nullopt;
}

SplitResult SplitRaw(const RawSplitParams& params, Progress& progress) {
    SplitResult result;
    io::File source;
    std::int64_t length = 0;
    result.status = source.OpenRead(params.sourcePath);
    if (result.status.ok()) {
        result.status = source.Size(&length);
    }
    if (!result.status.ok()) {
        return result;
    }
    if (params.pieceSize <= 0 || length <= 0 || CeilDiv(length, params.pieceSize) > kMaxNumberedPieces) {
        result.status = Status::InvalidArgument("the pieces would not number from 001 to at most 999");
        return result;
    }
    const auto count = static_cast<int>(CeilDiv(length, params.pieceSize));
    std::vector<std::string> taken;
    for (const std::string& name : io::FileNamesIn(params.destFolder, true)) {
        const std::optional<NumberedName> parsed = ParseNumberedName(name);
        if (parsed && parsed->base == params.base) {
            taken.push_back(name);
        }
    }
    for (int i = 1; i <= count && taken.empty(); ++i) {
        if (io::Exists(JoinPath(params.destFolder, NumberedPieceName(params.base, i)))) {
            taken.push_back(NumberedPieceName(params.base, i));
        }
    }
    if (!taken.empty()) {
        std::sort(taken.begin(), taken.end());
        result.status = Status::InvalidArgument("a numbered piece is already there: " +
                                                JoinPath(params.destFolder, taken.front()));
        return result;
    }
    const int step = progress.Max() / count;
    // With checksums each piece is hashed on a worker while the next is written, and the one
    // bar counts both; the checksum file is written last.
    HashPool pool(params.checksums ? HashPool::DefaultThreads() : 0);
    pool.ShareCoresWithCopy();
    CopyHashBar bar(progress, 2 * length, {&pool});
    std::vector<char> scratch;
    std::int64_t left = length;
    for (int i = 1; i <= count && result.status.ok(); ++i) {
        const std::string path = JoinPath(params.destFolder, NumberedPieceName(params.base, i));
        const std::int64_t pieceLength = std::min(left, params.pieceSize);
        const std::int64_t before = length - left;
        const int value = progress.Value();
        ByteMeter meter(progress, pieceLength, value + step);
        io::File written;
        result.status = WriteRawPiece(
            source, path, pieceLength, scratch,
            [&](std::int64_t done) { return params.checksums ? bar.Copied(before + done) : meter(done); },
            params.checksums ? &written : nullptr);
        if (result.status.ok()) {
            result.pieces.push_back(path);
            left -= pieceLength;
            if (params.checksums) {
                pool.Add(std::move(written), {}, 0, pieceLength);
            }
            progress.Yield();
            if (!params.checksums) {
                progress.SetValue(value + step);
                progress.SetPercentText(PercentText(progress.Value(), progress.Max()));
            }
        }
    }
    if (params.checksums) {
        result.status = bar.Finish(result.status, length - left);
    }
    if (result.status.ok() && params.checksums) {
        result.checksumFile = ChecksumFilePath(params.destFolder, params.base);
        result.status =
            WriteChecksumFile(params.destFolder, params.base, DrawGroupId(), result.pieces, pool.digests());
    }
    if (!result.status.ok()) {
        // Half a group would only mislead a later join.
        for (const std::string& piece : result.pieces) {
            (void)io::RemoveFile(piece);
        }
        result.pieces.clear();
        result.checksumFile.clear();
        return result;
    }
    progress.SetValue(progress.Max());
    progress.SetPercentText("100");
    return result;
}

}  // namespace brindle
