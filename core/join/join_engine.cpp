#include "join/join_engine.h"

#include <limits>
#include <optional>

#include "join/checksums.h"
#include "join/discovery.h"
#include "join/group_checks.h"
#include "shell/atomic_file.h"
#include "shell/file_io.h"
#include "shell/hash_pool.h"
#include "shell/paths.h"
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

// With `hashing`, each piece's range of the output is hashed (the header that was checked,
// then the bytes as written) on a worker while the next piece is copied; a piece changed
// while it was copied is caught before the output takes its place.
Status CopyPieces(const std::vector<std::string>& pieces, const std::vector<PieceInfo>& infos,
                  io::AtomicFile& output, const ChecksumList& checks, HashPool* hashing, int step,
                  Progress& progress) {
    std::vector<char> scratch;
    std::int64_t offset = 0;
    for (std::size_t i = 0; i < pieces.size() && !(hashing != nullptr && hashing->Failed()); ++i) {
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
        status = io::CopyRange(file, output.file(), now.dataLength, scratch,
                               [&meter](std::int64_t done) { return meter(done); });
        if (status.ok() && hashing != nullptr) {
            io::File written;
            status = output.file().Flush();
            if (status.ok()) {
                status = written.OpenRead(output.temporaryPath());
            }
            if (status.ok()) {
                hashing->Add(std::move(written), std::string(infos[i].bytes.begin(), infos[i].bytes.end()), offset,
                             now.dataLength, checks.at(GetFileName(pieces[i])), pieces[i]);
            }
        }
        if (!status.ok()) {
            return status;
        }
        offset += now.dataLength;
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
        // Declared after the output, so its workers are done before the temporary goes.
        std::optional<HashPool> pool;
        if (checksums.used) {
            pool.emplace();
        }
        status = CopyPieces(params.pieces, infos, output, checksums.list, pool ? &*pool : nullptr,
                            static_cast<int>(step), checksums.used ? static_cast<Progress&>(copying) : progress);
        if (pool) {
            if (!status.ok()) {
                pool->Stop();
            }
            ByteMeter meter(hashing, dataBytes, hashing.Max());
            if (!pool->Wait([&meter](std::int64_t done) { return meter(done); }) && status.ok()) {
                status = Status::Cancelled();
            }
            if (status.ok()) {
                status = pool->FirstFailure();
            }
        }
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
