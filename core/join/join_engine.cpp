#include "join/join_engine.h"

#include <deque>
#include <limits>
#include <memory>
#include <optional>

#include "checks/checksums.h"
#include "checks/group_checks.h"
#include "checks/hash_pool.h"
#include "format/discovery.h"
#include "format/piece_format.h"
#include "io/atomic_file.h"
#include "io/file_io.h"
#include "io/linked_files.h"
#include "shell/paths.h"
#include "shell/translate.h"

namespace brindle {
namespace {

struct PieceInfo {
    HeaderBytes bytes{};
    PieceHeader header;
    std::int64_t dataLength = 0;
};

Status ReadPiece(io::File& file, const std::string& path, PieceInfo* info) {
    Status status = CheckLinkInFolder(path);
    if (status.ok()) {
        status = file.OpenRead(path);
    }
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
        return Status::Corruption(Fill(Tr("the piece holds no data: %1"), {path}));
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
                status = Status::Corruption(
                    Fill(TrN("the group has %1 pieces, %2 were given",
                             "the group has %1 pieces, %2 were given",
                             static_cast<unsigned long>(info.header.PieceCount)),
                         {std::to_string(info.header.PieceCount), std::to_string(pieces.size())}));
            }
            if (!status.ok()) {
                return status;
            }
        }
        const PieceHeader& first = infos->empty() ? info.header : infos->front().header;
        // One split writes the data hash into every piece or into none.
        if (info.header.GroupId != first.GroupId || info.header.DataHash.has_value() != first.DataHash.has_value()) {
            return Status::Mismatch(Fill(Tr("the piece comes from another split: %1"), {path}));
        }
        const std::string fault = PlaceFault(first, info.header, static_cast<int>(infos->size()) + 1, info.dataLength);
        if (!fault.empty()) {
            return Status::Corruption(
                Fill(Tr("the piece does not fit its place (it %1): %2"), {fault, path}));
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
        return Status::Corruption(Fill(Tr("the piece changed during the join: %1"), {path}));
    }
    return status;
}

// Copies the pieces into the output, and checks what was written behind the copy: once a
// piece is in the output, a worker reads its range back while the next piece is copied and
// hashes it after the checked header, for the header's data hash and, with a checksum list,
// for SHA-256 in the same pass. So a piece changed during the copy is caught before the
// output takes its place; a mismatch stops the copy.
Status CopyPieces(const std::vector<std::string>& pieces, const std::vector<std::string>& names,
                  const std::vector<PieceInfo>& infos, io::AtomicFile& output, const ChecksumList* list, int step, Progress& progress) {
    const bool dataChecks = infos.front().header.DataHash.has_value();
    std::deque<std::unique_ptr<PieceHashes>> checks;  // outlive the pool that feeds them
    std::optional<HashPool> pool;
    std::optional<CopyHashBar> both;
    if (list != nullptr || dataChecks) {
        std::int64_t dataBytes = 0;
        for (const PieceInfo& info : infos) {
            dataBytes += info.dataLength;
        }
        pool.emplace();
        pool->ShareCoresWithCopy();
        both.emplace(progress, 2 * dataBytes, std::vector<HashPool*>{&*pool},
                     list != nullptr ? CopyHashBar::Moves::kByBoth : CopyHashBar::Moves::kByCopy);
    }
    std::vector<std::int64_t> sizes;
    for (const PieceInfo& info : infos) {
        sizes.push_back(info.dataLength);
    }
    PieceCopy each;
    each.open = [&](std::size_t i, io::File& file) { return ReopenChecked(file, pieces[i], infos[i]); };
    each.written = [&](std::size_t i, std::int64_t offset) {
        if (!pool) {
            return Status::Ok();
        }
        io::File written;
        const Status opened = output.OpenWritten(&written);
        if (opened.ok()) {
            const std::string* sha256 = list != nullptr ? &list->at(names[i]) : nullptr;
            PieceHashes* hashes = checks.emplace_back(std::make_unique<PieceHashes>(infos[i].bytes, sha256)).get();
            pool->Feed(std::move(written), offset, sizes[i], hashes->digests(),
                       [hashes, path = pieces[i]] { return hashes->Check(path); });
        }
        return opened;
    };
    return CopyPieceByPiece(sizes, output, step, progress, both ? &*both : nullptr, each);
}

}  // namespace

Status JoinPieces(const JoinParams& params, Progress& progress) {
    if (params.pieces.empty()) {
        return Status::InvalidArgument(Tr("there are no pieces to join"));
    }
    const std::int64_t step = progress.Max() / static_cast<std::int64_t>(params.pieces.size());
    if (step > std::numeric_limits<std::int16_t>::max()) {
        return Status::InvalidArgument("the progress bar is too long");
    }
    if (params.outputPath.empty() || GetFileName(params.outputPath).empty()) {
        return Status::InvalidArgument(Tr("no file to write was given"));
    }
    Status status = CheckJoinTarget(params.pieces, params.outputPath, params.replaceExisting);
    if (!status.ok()) {
        return status;
    }
    const std::vector<std::string>& sources =
        params.readFrom.size() == params.pieces.size() ? params.readFrom : params.pieces;
    std::vector<PieceInfo> infos;
    status = CheckPieces(sources, &infos);
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
            status = Status::Corruption(
                Fill(Tr("the checksum file does not list %1"), {params.pieces[i]}));
        }
    }
    if (!status.ok()) {
        return status;
    }

    io::AtomicFile output(params.outputPath);
    status = output.Open();
    if (status.ok()) {
        status = CopyPieces(sources, names, infos, output, checksums.used ? &checksums.list : nullptr,
                            static_cast<int>(step), progress);
    }
    return status.ok() ? PublishJoined(output, params.replaceExisting, progress) : status;
}

Status CopyPieceByPiece(const std::vector<std::int64_t>& sizes, io::AtomicFile& output, int step,
                        Progress& progress, CopyHashBar* both, const PieceCopy& each) {
    // Where the hashing is cheap the copy alone moves the bar; `both` then only stops it.
    const bool meterMoves = both == nullptr || both->moves() == CopyHashBar::Moves::kByCopy;
    std::vector<char> scratch;
    std::int64_t copied = 0;
    Status status;
    for (std::size_t i = 0; status.ok() && i < sizes.size(); ++i) {
        const std::int64_t size = sizes[i];
        const int before = progress.Value();
        ByteMeter meter(progress, size, before + step);
        io::File piece;
        status = each.open(i, piece);
        if (status.ok()) {
            status = io::CopyRange(piece, output.file(), size, scratch, [&](std::int64_t done) {
                return both != nullptr ? both->Copied(copied + done) && (!meterMoves || meter(done)) : meter(done);
            });
        }
        (void)piece.Close();
        if (status.ok()) {
            status = each.written(i, copied);
        }
        if (status.ok()) {
            copied += size;
            progress.Yield();
            if (meterMoves) {
                progress.SetValue(before + step);
                progress.SetPercentText(PercentText(progress.Value(), progress.Max()));
            }
        }
    }
    return both != nullptr ? both->Finish(status, copied) : status;
}

Status CheckJoinTarget(const std::vector<std::string>& pieces, const std::string& outputPath,
                       bool replaceExisting) {
    for (const std::string& piece : pieces) {
        if (piece == outputPath || io::SameFile(piece, outputPath)) {
            return Status::InvalidArgument(
                Fill(Tr("the joined file would replace one of its pieces: %1"), {piece}));
        }
    }
    if (!replaceExisting && io::Exists(outputPath)) {
        return Status::InvalidArgument(Fill(Tr("a file is already there: %1"), {outputPath}));
    }
    return Status::Ok();
}

Status PublishJoined(io::AtomicFile& output, bool replaceExisting, Progress& progress) {
    if (progress.StopRequested()) {
        return Status::Cancelled();  // asked in the last moment: still nothing published
    }
    const Status status =
        output.Commit(replaceExisting ? io::AtomicFile::Move::kReplace : io::AtomicFile::Move::kNoReplace);
    if (status.ok()) {
        progress.SetValue(progress.Max());
        progress.SetPercentText("100");
    }
    return status;
}

}  // namespace brindle
