#include "join/join_engine.h"

#include <limits>
#include <optional>

#include "join/checksums.h"
#include "join/discovery.h"
#include "shell/file_io.h"
#include "shell/paths.h"
#include "split/piece_format.h"

namespace brindle {
namespace {

struct PieceInfo {
    PieceHeader header;
    std::int64_t dataLength = 0;
};

Status ReadPiece(io::File& file, const std::string& path, PieceInfo* info) {
    Status status = file.OpenRead(path);
    if (!status.ok()) {
        return status;
    }
    std::int64_t size = 0;
    status = file.Size(&size);
    if (!status.ok()) {
        return status;
    }
    info->dataLength = size - static_cast<std::int64_t>(kHeaderSize);
    if (info->dataLength < 1) {
        return Status::Corruption("the piece holds no data: " + path);
    }
    HeaderBytes bytes{};
    status = file.ReadExact(bytes.data(), bytes.size());
    if (status.ok()) {
        info->header = DecodeHeader(bytes);
    }
    return status;
}

// Every piece belongs to the first one's split, and together they hold exactly its bytes.
Status CheckPieces(const std::vector<std::string>& pieces, std::vector<PieceInfo>* infos) {
    std::int64_t total = 0;
    for (const std::string& path : pieces) {
        io::File file;
        PieceInfo info;
        Status status = ReadPiece(file, path, &info);
        if (!status.ok()) {
            return status;
        }
        if (!infos->empty() && info.header.GroupId != infos->front().header.GroupId) {
            return Status::Mismatch("the piece comes from another split: " + path);
        }
        total += info.dataLength;
        infos->push_back(std::move(info));
    }
    const std::optional<std::int64_t> expected = StoredSourceLength(infos->front().header);
    if (!expected) {
        return Status::Corruption("the first piece's header is damaged (its length): " + pieces.front());
    }
    if (total != *expected) {
        return Status::Corruption("the pieces hold " + std::to_string(total) + " bytes, the split file had " +
                                  std::to_string(*expected));
    }
    return Status::Ok();
}

Status CopyPieces(const std::vector<std::string>& pieces, const std::vector<PieceInfo>& infos,
                  io::File& output, int step, Progress& progress) {
    std::vector<char> scratch;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        io::File file;
        PieceInfo now;
        Status status = ReadPiece(file, pieces[i], &now);
        if (!status.ok()) {
            return status;
        }
        // The piece may have changed since it was checked; join only what was checked.
        if (now.dataLength != infos[i].dataLength || now.header.GroupId != infos[i].header.GroupId) {
            return Status::Corruption("the piece changed during the join: " + pieces[i]);
        }
        const int before = progress.Value();
        ByteMeter meter(progress, now.dataLength, before + step);
        status = io::CopyRange(file, output, now.dataLength, scratch,
                               [&meter](std::int64_t done) { return meter(done); });
        if (!status.ok()) {
            return status;
        }
        (void)file.Close();
        progress.Yield();
        progress.SetValue(before + step);
        progress.SetPercentText(PercentText(progress.Value(), progress.Max()));
    }
    return Status::Ok();
}

}  // namespace

Status JoinPieces(const JoinParams& params, Progress& progress) {
    if (params.pieces.empty()) {
        return Status::InvalidArgument("there are no pieces to join");
    }
    const std::int64_t step = progress.Max() / static_cast<std::int64_t>(params.pieces.size());
    if (step > std::numeric_limits<std::int16_t>::max()) {
        return Status::InvalidArgument("the progress bar is too long");
    }
    if (params.outputPath.empty() || GetFileName(params.outputPath).empty()) {
        return Status::InvalidArgument("no file to write was given");
    }
    for (const std::string& piece : params.pieces) {
        if (piece == params.outputPath || io::SameFile(piece, params.outputPath)) {
            return Status::InvalidArgument("the joined file would replace one of its pieces: " + piece);
        }
    }
    if (!params.replaceExisting && io::Exists(params.outputPath)) {
        return Status::InvalidArgument("a file is already there: " + params.outputPath);
    }
    std::vector<PieceInfo> infos;
    Status status = CheckPieces(params.pieces, &infos);
    // Hashing the pieces is part of the work: it takes the front of the bar, in proportion
    // to the bytes it reads.
    const std::string& first = params.pieces.front();
    const bool listed =
        io::IsRegularFile(ChecksumFilePath(GetFolderName(first), GroupNameFromPiece(first)));
    std::int64_t dataBytes = 0;
    for (const PieceInfo& info : infos) {
        dataBytes += info.dataLength;
    }
    const std::int64_t hashBytes = dataBytes + static_cast<std::int64_t>(infos.size() * kHeaderSize);
    const int copyFrom =
        listed && hashBytes > 0 ? static_cast<int>(progress.Max() * hashBytes / (hashBytes + dataBytes)) : 0;
    ProgressSpan hashing(progress, 0, copyFrom);
    ProgressSpan copying(progress, copyFrom, progress.Max());
    if (status.ok()) {
        status = VerifyPiecesIfListed(params.pieces, &hashing);
    }
    if (!status.ok()) {
        return status;
    }

    io::File output;
    std::string temporary;
    status = output.CreateTempBeside(params.outputPath, &temporary);
    if (!status.ok()) {
        return status;
    }
    status = CopyPieces(params.pieces, infos, output, static_cast<int>(step),
                        listed ? static_cast<Progress&>(copying) : progress);
    if (status.ok() && progress.StopRequested()) {
        status = Status::Cancelled();  // asked in the last moment: still nothing published
    }
    // Without the flush a crash just after the move could leave the replaced file empty; a
    // new name has nothing to lose, so it does not wait for the disk.
    const bool replacing = params.replaceExisting && io::Exists(params.outputPath);
    if (status.ok() && replacing) {
        status = output.Sync();
    }
    if (status.ok()) {
        status = output.Close();
    }
    if (status.ok()) {
        status = params.replaceExisting ? io::MoveReplacing(temporary, params.outputPath)
                                        : io::MoveNoReplace(temporary, params.outputPath);
    }
    if (!status.ok()) {
        (void)output.Close();
        (void)io::RemoveFile(temporary);
        return status;
    }
    progress.SetValue(progress.Max());
    progress.SetPercentText("100");
    return Status::Ok();
}

}  // namespace brindle
