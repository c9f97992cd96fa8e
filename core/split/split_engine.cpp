#include "split/split_engine.h"

#include <limits>
#include <random>

#include "shell/file_io.h"
#include "shell/paths.h"

namespace brindle {
namespace {

// The step the bar moves per full piece; it has to fit the 16 bits the bars were built for.
std::optional<int> ProgressStep(int max, std::int64_t parts) {
    if (parts <= 0) {
        return std::nullopt;
    }
    const std::int64_t step = max / parts;
    if (step > std::numeric_limits<std::int16_t>::max() || step < std::numeric_limits<std::int16_t>::min()) {
        return std::nullopt;
    }
    return static_cast<int>(step);
}

Status WritePiece(io::File& source, const std::string& path, const PieceHeader& header,
                  std::int64_t dataLength, std::vector<char>& scratch, ByteMeter& meter,
                  bool* replaced) {
    // Written beside its name and moved there whole: a split stopped at any moment leaves
    // each earlier file as it was, and a pipe or device at the name is never opened.
    io::File piece;
    std::string temporary;
    Status status = piece.CreateTempBeside(path, &temporary);
    if (!status.ok()) {
        return status;
    }
    const HeaderBytes bytes = EncodeHeader(header);
    status = piece.WriteAll(bytes.data(), bytes.size());
    if (status.ok()) {
        status = io::CopyRange(source, piece, dataLength, scratch,
                               [&meter](std::int64_t done) { return meter(done); });
    }
    if (status.ok()) {
        status = piece.Close();
    }
    if (status.ok()) {
        *replaced = *replaced || io::Exists(path);
        status = io::MoveReplacing(temporary, path);
    }
    if (!status.ok()) {
        // A piece cut short would only mislead a later join.
        (void)piece.Close();
        (void)io::RemoveFile(temporary);
    }
    return status;
}

// A stopped split takes back every piece it wrote; what it replaced cannot come back.
SplitResult Stopped(SplitResult result, bool replacedEarlier) {
    for (const std::string& piece : result.pieces) {
        (void)io::RemoveFile(piece);
    }
    result.pieces.clear();
    result.status = Status::Cancelled(
        replacedEarlier ? "Pieces of an earlier split of this file were already replaced, so that "
                          "group is no longer complete; the file itself is unchanged and can be "
                          "split again."
                        : "");
    return result;
}

}  // namespace

std::int32_t DrawGroupId() {
    std::random_device seed;
    std::mt19937 generator(seed());
    std::uniform_int_distribution<std::int32_t> id(0, kMaxGroupId);
    return id(generator);
}

SplitResult SplitFile(const SplitParams& params, Progress& progress) {
    SplitResult result;
    if (params.pieceSize < 1) {
        result.status = Status::InvalidArgument("the piece size must be at least one byte");
        return result;
    }
    io::File source;
    result.status = source.OpenRead(params.sourcePath);
    if (!result.status.ok()) {
        return result;
    }
    std::int64_t length = 0;
    result.status = source.Size(&length);
    if (!result.status.ok()) {
        return result;
    }
    if (length > kMaxSourceLength) {
        result.status = Status::InvalidArgument("the file is larger than 999 pieces can hold");
        return result;
    }
    const std::int64_t fullPieces = length / params.pieceSize;
    const std::optional<int> step = ProgressStep(progress.Max(), fullPieces);
    if (!step) {
        result.status = Status::InvalidArgument("the file is smaller than one piece");
        return result;
    }
    const std::int64_t remainder = length - fullPieces * params.pieceSize;
    const std::int64_t pieceCount = fullPieces + (remainder != 0 ? 1 : 0);

    // A piece written over the source would destroy what is still to be read.
    for (std::int64_t k = 1; k <= std::min<std::int64_t>(pieceCount, kMaxPieces); ++k) {
        const auto name = PieceFileName(params.groupName, static_cast<int>(k), params.extension);
        if (io::SameFile(JoinPath(params.destFolder, *name), params.sourcePath)) {
            result.status = Status::InvalidArgument("a piece would replace the file being split: " + *name);
            return result;
        }
    }

    PieceHeader header;
    header.PieceSize = params.pieceSize;
    header.PieceCount = static_cast<std::int32_t>(std::min<std::int64_t>(pieceCount, std::numeric_limits<std::int32_t>::max()));
    SetSourceLength(header, length);
    SetSourceName(header, GetFileName(params.sourcePath));
    SetSplitDate(header, params.splitDate);
    header.GroupId = params.groupId ? *params.groupId : DrawGroupId();

    std::vector<char> scratch;
    bool replacedEarlier = false;
    for (std::int64_t k = 1; k <= pieceCount; ++k) {
        const bool full = k <= fullPieces;
        const auto name = PieceFileName(params.groupName, static_cast<int>(k), params.extension);
        if (!name) {
            result.status = Status::InvalidArgument("a group cannot have more than 999 pieces");
            return result;
        }
        const std::string path = JoinPath(params.destFolder, *name);
        header.PieceIndex = static_cast<std::int32_t>(k);
        // Inside a piece the bar creeps towards the value it takes at the piece's end; the
        // short last piece moves it towards the end of the job.
        const int before = progress.Value();
        const int after = full ? static_cast<int>(static_cast<float>(before) + static_cast<float>(*step))
                               : progress.Max();
        ByteMeter meter(progress, full ? params.pieceSize : remainder, after);
        result.status = progress.StopRequested()
                            ? Status::Cancelled()
                            : WritePiece(source, path, header, full ? params.pieceSize : remainder,
                                         scratch, meter, &replacedEarlier);
        if (result.status.cancelled()) {
            return Stopped(std::move(result), replacedEarlier);
        }
        if (!result.status.ok()) {
            return result;
        }
        result.pieces.push_back(path);
        if (full) {
            progress.SetValue(after);
            progress.SetPercentText(PercentText(progress.Value(), progress.Max()));
            progress.Yield();
        }
    }
    result.status = source.Close();
    if (result.status.ok()) {
        progress.SetValue(progress.Max());
        progress.SetPercentText("100");
    }
    return result;
}

}  // namespace brindle
