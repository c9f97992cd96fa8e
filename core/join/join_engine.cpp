#include "join/join_engine.h"

#include <limits>
#include <optional>

#include "join/checksums.h"
#include "join/discovery.h"
#include "join/group_checks.h"
#include "shell/atomic_file.h"
#include "shell/file_io.h"
#include "shell/paths.h"
#include "shell/sha256.h"
#include "split/piece_format.h"

namespace brindle {
namespace {

struct PieceInfo {
    HeaderBytes bytes{};
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
    status = file.ReadExact(info->bytes.data(), info->bytes.size());
    if (status.ok()) {
        info->header = DecodeHeader(info->bytes);
    }
    return status;
}

// Every piece belongs to the first one's split and sits in its own place, so together they
// hold exactly its bytes in order.
Status CheckPieces(const std::vector<std::string>& pieces, std::vector<PieceInfo>* infos) {
    for (const std::string& path : pieces) {
        io::File file;
        PieceInfo info;
        Status status = ReadPiece(file, path, &info);
        if (!status.ok()) {
            return status;
        }
        if (infos->empty()) {
            status = CheckFirstPiece(info.header, path);
            if (status.ok() && info.header.PieceCount != static_cast<std::int64_t>(pieces.size())) {
                status = Status::Corruption("the group has " + std::to_string(info.header.PieceCount) +
                                            " pieces, " + std::to_string(pieces.size()) + " were given");
            }
            if (!status.ok()) {
                return status;
            }
        }
        const PieceHeader& first = infos->empty() ? info.header : infos->front().header;
        if (info.header.GroupId != first.GroupId) {
            return Status::Mismatch("the piece comes from another split: " + path);
        }
        const std::string fault = PlaceFault(first, info.header, static_cast<int>(infos->size()) + 1, info.dataLength);
        if (!fault.empty()) {
            return Status::Corruption("the piece does not fit its place (it " + fault + "): " + path);
        }
        infos->push_back(std::move(info));
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
        if (now.dataLength != infos[i].dataLength || now.bytes != infos[i].bytes) {
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

// Hashes what was written, piece by piece (the header that was checked, then the piece's
// range of the output), against the checksum file: a piece changed while it was copied is
// caught here, before the output takes its place.
Status VerifyWritten(const std::string& output, const std::vector<std::string>& pieces,
                     const std::vector<PieceInfo>& infos, const ChecksumList& list, Progress& progress) {
    io::File file;
    Status status = file.OpenRead(output);
    std::vector<char> buffer;
    for (std::size_t i = 0; status.ok() && i < pieces.size(); ++i) {
        Sha256 hash;
        hash.Update(infos[i].bytes.data(), infos[i].bytes.size());
        const int end = static_cast<int>(static_cast<std::int64_t>(progress.Max()) * static_cast<std::int64_t>(i + 1) /
                                         static_cast<std::int64_t>(pieces.size()));
        ByteMeter meter(progress, infos[i].dataLength, end);
        for (std::int64_t left = infos[i].dataLength; status.ok() && left > 0;) {
            const auto chunk = static_cast<std::size_t>(std::min<std::int64_t>(left, io::kCopyBufferSize));
            buffer.resize(chunk);
            status = file.ReadExact(buffer.data(), chunk);
            hash.Update(buffer.data(), chunk);
            left -= static_cast<std::int64_t>(chunk);
            if (status.ok() && !meter(infos[i].dataLength - left)) {
                status = Status::Cancelled();
            }
        }
        progress.SetValue(end);
        progress.SetPercentText(PercentText(end, progress.Max()));
        if (status.ok() && hash.HexDigest() != list.at(GetFileName(pieces[i]))) {
            status = Status::Corruption("the piece is damaged (its checksum does not match): " + pieces[i]);
        }
    }
    return status;
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
    if (!status.ok()) {
        return status;
    }
    const std::string& first = params.pieces.front();
    std::vector<std::string> names;
    for (const std::string& piece : params.pieces) {
        names.push_back(GetFileName(piece));
    }
    GroupChecksums checksums;
    status = LoadGroupChecksums(GetFolderName(first), GroupNameFromPiece(first), infos.front().header.GroupId,
                                names, &checksums);
    for (std::size_t i = 0; status.ok() && checksums.used && i < names.size(); ++i) {
        if (checksums.list.count(names[i]) == 0) {
            status = Status::Corruption("the checksum file does not list " + params.pieces[i]);
        }
    }
    if (!status.ok()) {
        return status;
    }

    // Hashing what was written is part of the work: it takes the end of the bar, in
    // proportion to the bytes it reads.
    std::int64_t dataBytes = 0;
    for (const PieceInfo& info : infos) {
        dataBytes += info.dataLength;
    }
    const int copyTo = checksums.used && dataBytes > 0 ? progress.Max() / 2 : progress.Max();
    ProgressSpan copying(progress, 0, copyTo);
    ProgressSpan hashing(progress, copyTo, progress.Max());

    io::AtomicFile output(params.outputPath);
    status = output.Open();
    if (status.ok()) {
        status = CopyPieces(params.pieces, infos, output.file(), static_cast<int>(step),
                            checksums.used ? static_cast<Progress&>(copying) : progress);
    }
    if (status.ok() && checksums.used) {
        status = output.file().Flush();
    }
    if (status.ok() && checksums.used) {
        status = VerifyWritten(output.temporaryPath(), params.pieces, infos, checksums.list, hashing);
    }
    if (status.ok() && progress.StopRequested()) {
        status = Status::Cancelled();  // asked in the last moment: still nothing published
    }
    if (status.ok()) {
        status = output.Commit(params.replaceExisting ? io::AtomicFile::Move::kReplace
                                                      : io::AtomicFile::Move::kNoReplace);
    }
    if (!status.ok()) {
        return status;
    }
    progress.SetValue(progress.Max());
    progress.SetPercentText("100");
    return Status::Ok();
}

}  // namespace brindle
