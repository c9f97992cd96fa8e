#include "join/join_engine.h"

#include <limits>
#include <optional>

#include "join/checksums.h"
#include "join/discovery.h"
#include "join/group_checks.h"
#include "shell/atomic_file.h"
#include "shell/file_io.h"
#include "shell/paths.h"
#include "shell/hash_pool.h"
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

// Opens a piece again just before its copy: it may have changed since it was checked, and
// only what was checked is joined.
Status ReopenChecked(io::File& file, const std::string& path, const PieceInfo& checked) {
    PieceInfo now;
    const Status status = ReadPiece(file, path, &now);
    if (status.ok() && (now.dataLength != checked.dataLength || now.bytes != checked.bytes)) {
        return Status::Corruption("the piece changed during the join: " + path);
    }
    return status;
}

Status CopyPieces(const std::vector<std::string>& pieces, const std::vector<PieceInfo>& infos,
                  io::File& output, int step, Progress& progress) {
    std::vector<char> scratch;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        io::File file;
        Status status = ReopenChecked(file, pieces[i], infos[i]);
        if (!status.ok()) {
            return status;
        }
        const int before = progress.Value();
        ByteMeter meter(progress, infos[i].dataLength, before + step);
        status = io::CopyRange(file, output, infos[i].dataLength, scratch,
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

// Copies like CopyPieces, and hashes what was written behind the copy: once a piece is in
// the output, a worker hashes its checked header and its range read back from the output
// against the checksum file, while the next piece is copied. A piece changed while it was
// copied is caught before the output takes its place, and a mismatch stops the copy.
Status CopyAndHashPieces(const std::vector<std::string>& pieces, const std::vector<PieceInfo>& infos,
                         io::AtomicFile& output, const ChecksumList& list, Progress& progress) {
    std::int64_t dataBytes = 0;
    for (const PieceInfo& info : infos) {
        dataBytes += info.dataLength;
    }
    HashPool pool;
    pool.ShareCoresWithCopy();
    CopyHashBar bar(progress, 2 * dataBytes, {&pool});
    std::vector<char> scratch;
    std::int64_t copied = 0;
    Status status;
    for (std::size_t i = 0; status.ok() && i < pieces.size(); ++i) {
        io::File file;
        status = ReopenChecked(file, pieces[i], infos[i]);
        if (status.ok()) {
            status = io::CopyRange(file, output.file(), infos[i].dataLength, scratch, [&](std::int64_t done) {
                return bar.Copied(copied + done);
            });
        }
        (void)file.Close();
        io::File written;
        if (status.ok()) {
            status = output.file().Flush();
        }
        if (status.ok()) {
            status = written.OpenRead(output.temporaryPath());
        }
        if (status.ok()) {
            const std::string header(infos[i].bytes.begin(), infos[i].bytes.end());
            pool.Add(std::move(written), header, copied, infos[i].dataLength, list.at(GetFileName(pieces[i])),
                     pieces[i]);
            copied += infos[i].dataLength;
            progress.Yield();
        }
    }
    return bar.Finish(status, copied);
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

    io::AtomicFile output(params.outputPath);
    status = output.Open();
    if (status.ok() && checksums.used) {
        status = CopyAndHashPieces(params.pieces, infos, output, checksums.list, progress);
    } else if (status.ok()) {
        status = CopyPieces(params.pieces, infos, output.file(), static_cast<int>(step), progress);
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
