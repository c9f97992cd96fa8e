#include "join/stream_join.h"

#include <deque>
#include <memory>
#include <unordered_set>

#include "checks/hash_pool.h"
#include "format/checksums.h"
#include "format/discovery.h"
#include "format/group_checks.h"
#include "format/numbered_group.h"
#include "join/numbered_join.h"
#include "format/piece_format.h"
#include "io/linked_files.h"
#include "shell/paths.h"
#include "shell/translate.h"

namespace brindle {
namespace {

struct Piece {
    HeaderBytes bytes{};
    PieceHeader header;
    std::int64_t dataLength = 0;
    std::unique_ptr<PieceHashes> hashes;
    std::size_t job = 0;
    Status status;  // of reading and placing it
};

Status ReadHead(const std::string& path, io::File& file, Piece* piece) {
    Status status = CheckLinkInFolder(path);
    std::int64_t size = 0;
    if (status.ok()) {
        status = file.OpenRead(path);
    }
    if (status.ok()) {
        status = file.Size(&size);
    }
    if (status.ok() && size <= static_cast<std::int64_t>(kHeaderSize)) {
        status = Status::Corruption(Fill(Tr("the piece holds no data: %1"), {path}));
    }
    if (status.ok()) {
        status = file.ReadExact(piece->bytes.data(), piece->bytes.size());
    }
    piece->header = DecodeHeader(piece->bytes);
    piece->dataLength = size - static_cast<std::int64_t>(kHeaderSize);
    return status;
}

}  // namespace

StreamJoinResult JoinToStream(const std::vector<std::string>& pieces, io::File& out, Progress& progress,
                              const std::vector<std::string>& readFrom) {
    StreamJoinResult result;
    const auto source = [&](std::size_t i) -> const std::string& { return readFrom.empty() ? pieces[i] : readFrom[i]; };
    if (pieces.empty()) {
        result.status = Status::InvalidArgument(Tr("no pieces to join"));
        return result;
    }
    std::deque<Piece> heads;  // outlive the pool, whose workers feed their hashes
    HashPool pool;
    pool.ShareCoresWithCopy();
    // Pieces are handed to the pool only a few ahead of the copy: queued all at once, the
    // copy of the first would wait for the hashing of those the queue has no room for.
    const std::size_t ahead = HashPool::DefaultThreads() + 1;
    std::size_t fed = 0;
    const auto feed = [&](std::size_t upTo, io::File* opened) {
        for (; fed < std::min(upTo, heads.size()) && heads[fed].status.ok(); ++fed) {
            Piece& piece = heads[fed];
            io::File file;
            if (opened == nullptr) {
                piece.status = file.OpenRead(source(fed));
                if (!piece.status.ok()) {
                    return;
                }
            }
            PieceHashes* hashes = piece.hashes.get();
            piece.job = pool.Feed(opened != nullptr ? std::move(*opened) : std::move(file),
                                  static_cast<std::int64_t>(kHeaderSize), piece.dataLength, hashes->digests(),
                                  [hashes, path = pieces[fed]] { return hashes->Check(path); });
        }
    };
    GroupChecksums checksums;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        Piece& piece = heads.emplace_back();
        io::File file;
        piece.status = ReadHead(source(i), file, &piece);
        const Piece& first = heads.front();
        if (piece.status.ok() && i == 0) {
            piece.status = CheckFirstPiece(piece.header, pieces[i]);
            if (piece.status.ok() && piece.header.PieceCount != static_cast<std::int32_t>(pieces.size())) {
                piece.status = Status::Corruption(Fill(TrN("the group has %1 pieces, %2 were given", "the group has %1 pieces, %2 were given",
                                                           static_cast<unsigned long>(piece.header.PieceCount)),
                                                       {std::to_string(piece.header.PieceCount), std::to_string(pieces.size())}));
            }
            std::vector<std::string> names;
            for (const std::string& path : pieces) {
                names.push_back(GetFileName(path));
            }
            if (piece.status.ok()) {
                piece.status = LoadGroupChecksums(GetFolderName(pieces[0]), GroupNameFromPiece(names[0]),
                                                  piece.header.GroupId, names, &checksums);
            }
        }
        if (piece.status.ok() && (piece.header.GroupId != first.header.GroupId ||
                                  piece.header.DataHash.has_value() != first.header.DataHash.has_value())) {
            piece.status = Status::Mismatch(Fill(Tr("the piece comes from another split: %1"), {pieces[i]}));
        }
        if (piece.status.ok() && i > 0) {
            piece.status = CheckPlace(first.header, piece.header, static_cast<int>(i + 1), piece.dataLength, pieces[i]);
        }
        if (!piece.status.ok()) {
            break;  // nothing from here on goes out
        }
        const auto listed = checksums.used ? checksums.list.find(GetFileName(pieces[i])) : checksums.list.end();
        piece.hashes = std::make_unique<PieceHashes>(piece.bytes, listed != checksums.list.end() ? &listed->second : nullptr);
        if (i < ahead) {
            feed(i + 1, &file);  // while the next heads are read
        }
    }
    std::vector<char> scratch;
    std::int64_t total = 0;
    for (const Piece& piece : heads) {
        total += piece.dataLength;
    }
    ByteMeter meter(progress, std::max<std::int64_t>(total, 1), progress.Max());
    std::int64_t done = 0;
    for (std::size_t i = 0; i < heads.size(); ++i) {
        Piece& piece = heads[i];
        feed(i + ahead, nullptr);
        Status status = piece.status.ok() ? pool.WaitFor(piece.job) : piece.status;
        if (!status.ok()) {
            pool.Stop();
            result.status = status;
            result.badPiece = pieces[i];
            return result;
        }
        io::File data;
        status = data.OpenRead(source(i));
        if (status.ok()) {
            status = data.Seek(static_cast<std::int64_t>(kHeaderSize));
        }
        // Whole, without ticks: the kernel copies a large range far cheaper than many small
        // ones, and a stop is heeded between pieces.
        if (status.ok()) {
            status = io::CopyRange(data, out, piece.dataLength, scratch);
        }
        if (status.ok() && !meter(done + piece.dataLength)) {
            status = Status::Cancelled();
        }
        if (!status.ok()) {
            pool.Stop();
            result.status = status;
            return result;
        }
        done += piece.dataLength;
    }
    return result;
}

StreamJoinResult JoinNumberedToStream(const std::string& folder, const std::string& base, io::File& out,
                                      Progress& progress) {
    StreamJoinResult result;
    const NumberedGroup group = FindNumberedGroup(folder, base);
    if (!group.Ready()) {
        result.status = group.status;
        return result;
    }
    // One read of every piece against every list first: a list of NAME speaks only for all.
    const NumberedCheck check = CheckNumberedGroup(folder, base);
    std::unordered_set<std::string> faulty;
    for (const NumberedCheckLine& line : check.lines) {
        if (line.fault) {
            faulty.insert(line.name);
        }
    }
    std::vector<char> scratch;
    ByteMeter meter(progress, std::max<std::int64_t>(group.totalSize, 1), progress.Max());
    std::int64_t done = 0;
    for (std::size_t i = 0; i < group.pieces.size(); ++i) {
        const std::string& path = group.pieces[i];
        if (faulty.count(GetFileName(path)) != 0 || (!check.joinable && faulty.empty())) {
            result.badPiece = path;
            result.status = Status::Corruption(
                faulty.empty() ? Fill(Tr("the pieces do not match the checksum of %1"), {base})
                               : Fill(Tr("%1 does not match its checksum"), {GetFileName(path)}));
            return result;
        }
        io::File piece;
        result.status = piece.OpenRead(path);
        if (result.status.ok()) {
            result.status = io::CopyRange(piece, out, group.sizes[i], scratch);
        }
        if (result.status.ok() && !meter(done + group.sizes[i])) {
            result.status = Status::Cancelled();
        }
        if (!result.status.ok()) {
            return result;
        }
        done += group.sizes[i];
    }
    return result;
}

}  // namespace brindle
