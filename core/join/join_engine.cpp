#include "join/join_engine.h"

#include <algorithm>
#include <deque>
#include <limits>
#include <memory>
#include <optional>

#include "checks/hash_pool.h"
#include "format/checksums.h"
#include "format/discovery.h"
#include "format/group_checks.h"
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

// Piece `number` of `count` belongs to the split of `first` and sits in its own place; with no
// `first`, it is the one the others are held to. The group's own fields are the same in
// every piece, so any piece can stand for the first until the first is known.
Status JudgePiece(const std::string& path, const PieceInfo& info, const PieceInfo* first, std::size_t count, int number) {
    if (first == nullptr) {
        Status status = CheckFirstPiece(info.header, path);
        if (status.ok() && info.header.PieceCount != static_cast<std::int64_t>(count)) {
            status = Status::Corruption(
                Fill(TrN("the group has %1 pieces, %2 were given", "the group has %1 pieces, %2 were given",
                         static_cast<unsigned long>(info.header.PieceCount)),
                     {std::to_string(info.header.PieceCount), std::to_string(count)}));
        }
        if (!status.ok()) {
            return status;
        }
        first = &info;
    }
    // One split writes the data hash into every piece or into none.
    if (info.header.GroupId != first->header.GroupId ||
        info.header.DataHash.has_value() != first->header.DataHash.has_value()) {
        return Status::Mismatch(Fill(Tr("the piece comes from another split: %1"), {path}));
    }
    return CheckPlace(first->header, info.header, number, info.dataLength, path);
}

// Every piece belongs to the first one's split and sits in its own place, so together they
// hold exactly its bytes in order.
Status CheckPieces(const std::vector<std::string>& pieces, std::vector<PieceInfo>* infos) {
    for (const std::string& path : pieces) {
        io::File file;
        PieceInfo info;
        Status status = ReadPiece(file, path, &info);
        if (status.ok()) {
            status = JudgePiece(path, info, infos->empty() ? nullptr : &infos->front(), pieces.size(),
                                static_cast<int>(infos->size()) + 1);
        }
        if (!status.ok()) {
            return status;
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

// The group's own checksum file, when it lies beside the first piece: it must list every piece.
Status LoadListedChecksums(const std::vector<std::string>& pieces, std::int32_t groupId, std::vector<std::string>* names,
                           GroupChecksums* checksums) {
    for (const std::string& piece : pieces) {
        names->push_back(GetFileName(piece));
    }
    const std::string& first = pieces.front();
    Status status = LoadGroupChecksums(GetFolderName(first), GroupNameFromPiece(first), groupId, *names, checksums);
    for (std::size_t i = 0; status.ok() && checksums->used && i < names->size(); ++i) {
        if (checksums->list.count((*names)[i]) == 0) {
            status = Status::Corruption(Fill(Tr("the checksum file does not list %1"), {pieces[i]}));
        }
    }
    return status;
}

// A file to write, one that is no piece and may be replaced.
Status CheckOutput(const JoinParams& params) {
    if (params.outputPath.empty() || GetFileName(params.outputPath).empty()) {
        return Status::InvalidArgument(Tr("no file to write was given"));
    }
    return CheckJoinTarget(params.pieces, params.outputPath, params.replaceExisting);
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
    Status status = CheckOutput(params);
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
    std::vector<std::string> names;
    GroupChecksums checksums;
    status = LoadListedChecksums(params.pieces, infos.front().header.GroupId, &names, &checksums);
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

Status JoinPiecesInOnePass(const JoinParams& params, const PiecePass& pass, Progress& progress) {
    const std::size_t count = params.pieces.size();
    if (count == 0 || pass.brought.size() != count || !pass.run) {
        return Status::InvalidArgument(Tr("there are no pieces to join"));
    }
    Status status = CheckOutput(params);
    // The pieces on the disk are checked before anything is written, held to the first of
    // them; the ones the pass brings, once their bytes are there.
    std::vector<PieceInfo> infos(count);
    const PieceInfo* held = nullptr;
    for (std::size_t i = 0; status.ok() && i < count; ++i) {
        if (pass.brought[i] >= 0) {
            infos[i].dataLength = pass.brought[i] - static_cast<std::int64_t>(kHeaderSize);
            if (infos[i].dataLength < 1) {
                status = Status::Corruption(Fill(Tr("the piece holds no data: %1"), {params.pieces[i]}));
            }
            continue;
        }
        io::File file;
        status = ReadPiece(file, params.pieces[i], &infos[i]);
        if (status.ok()) {
            status = JudgePiece(params.pieces[i], infos[i], held, count, static_cast<int>(i) + 1);
        }
        held = held != nullptr ? held : &infos[i];
    }
    if (status.ok() && held == nullptr) {
        status = Status::NotFound(Tr("no piece can be read"));
    }
    std::vector<std::string> names;
    GroupChecksums checksums;
    if (status.ok()) {
        status = LoadListedChecksums(params.pieces, held->header.GroupId, &names, &checksums);
    }
    if (!status.ok()) {
        return status;
    }
    const ChecksumList* list = checksums.used ? &checksums.list : nullptr;
    std::vector<std::int64_t> starts(count, 0);
    for (std::size_t i = 1; i < count; ++i) {
        starts[i] = starts[i - 1] + infos[i - 1].dataLength;
    }
    io::AtomicFile output(params.outputPath);
    status = output.Open();
    if (!status.ok()) {
        return status;
    }

    // What the pass has brought of each piece. A piece's bytes are hashed as they come while
    // they come in order; one whose bytes come out of order (a damaged piece, its rebuilt
    // blocks last) is hashed from the output once it is whole.
    struct Seen {
        HeaderBytes header{};
        std::int64_t received = 0;
        std::int64_t inOrder = 0;
        bool readBack = false;
        std::unique_ptr<PieceHashes> hashes;
    };
    std::vector<Seen> seen(count);
    const auto startHashes = [&](std::size_t i) {
        seen[i].hashes = std::make_unique<PieceHashes>(seen[i].header, list != nullptr ? &list->at(names[i]) : nullptr);
    };
    const auto header = static_cast<std::int64_t>(kHeaderSize);
    const PiecePass::Bytes bytes = [&](std::size_t i, std::int64_t offset, const unsigned char* data, std::size_t n) {
        const auto end = offset + static_cast<std::int64_t>(n);
        if (i >= count || offset < 0 || end > header + infos[i].dataLength) {
            return Status::Corruption(
                Fill(Tr("the piece changed during the join: %1"), {params.pieces[std::min(i, count - 1)]}));
        }
        Seen& piece = seen[i];
        if (offset < header) {
            std::copy(data, data + std::min(end, header) - offset, piece.header.begin() + offset);
        }
        const std::int64_t from = std::max(offset, header);
        const bool inOrder = offset == piece.inOrder && !piece.readBack;
        if (inOrder) {
            piece.inOrder = end;
            if (!piece.hashes && end >= header) {
                startHashes(i);
            }
        } else {
            piece.readBack = true;
        }
        // Written and hashed a bit at a time, so the hashing finds the bytes still in the cache.
        constexpr std::int64_t kStep = std::int64_t{256} << 10;
        Status written;
        for (std::int64_t at = from; at < end && written.ok(); at += kStep) {
            const auto step = static_cast<std::size_t>(std::min(kStep, end - at));
            const unsigned char* bytesAt = data + (at - offset);
            written = output.file().WriteAt(starts[i] + at - header, bytesAt, step);
            for (Digest* digest : inOrder && piece.hashes ? piece.hashes->digests() : std::vector<Digest*>{}) {
                digest->Update(bytesAt, step);
            }
        }
        piece.received += static_cast<std::int64_t>(n);
        return written;
    };
    std::optional<ByteMeter> meter;
    status = pass.run(bytes, [&](std::int64_t done, std::int64_t total) {
        if (!meter) {
            meter.emplace(progress, total, progress.Max());
        }
        return (*meter)(done);
    });

    // Now every piece is known: each is held to the first, as a join of them on the disk.
    for (std::size_t i = 0; status.ok() && i < count; ++i) {
        const std::string& path = params.pieces[i];
        if (seen[i].received != header + infos[i].dataLength ||
            (pass.brought[i] < 0 && seen[i].header != infos[i].bytes)) {
            status = Status::Corruption(Fill(Tr("the piece changed during the join: %1"), {path}));
            break;
        }
        infos[i].bytes = seen[i].header;
        infos[i].header = DecodeHeader(infos[i].bytes);
        status = JudgePiece(path, infos[i], i == 0 ? nullptr : &infos[0], count, static_cast<int>(i) + 1);
    }
    std::vector<char> buffer;
    for (std::size_t i = 0; status.ok() && i < count; ++i) {
        if (seen[i].readBack) {
            startHashes(i);
            buffer.resize(io::kCopyBufferSize);
            io::File written;
            status = output.OpenWritten(&written);
            if (status.ok()) {
                status = written.Seek(starts[i]);
            }
            for (std::int64_t done = 0; status.ok() && done < infos[i].dataLength;) {
                const auto n = static_cast<std::size_t>(std::min<std::int64_t>(infos[i].dataLength - done, static_cast<std::int64_t>(buffer.size())));
                status = written.ReadExact(buffer.data(), n);
                for (Digest* digest : status.ok() ? seen[i].hashes->digests() : std::vector<Digest*>{}) {
                    digest->Update(buffer.data(), n);
                }
                done += static_cast<std::int64_t>(n);
            }
        }
        if (status.ok()) {
            status = seen[i].hashes->Check(params.pieces[i]);
        }
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
    if (replaceExisting) {
        return Status::Ok();
    }
    bool there = false;
    if (Status looked = io::AnythingAt(outputPath, &there); !looked.ok()) {
        return looked;
    }
    return there ? Status::InvalidArgument(Fill(Tr("a file is already there: %1"), {outputPath})) : Status::Ok();
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
