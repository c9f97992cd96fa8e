#include "split/stream_split.h"

#include <algorithm>
#include <memory>
#include <unordered_set>

#include "checks/hash_pool.h"
#include "checks/xxh3.h"
#include "format/checksums.h"
#include "format/numbered_group.h"
#include "format/piece_format.h"
#include "io/file_io.h"
#include "recovery/recovery.h"
#include "shell/paths.h"
#include "shell/translate.h"
#include "split/raw_split.h"

namespace brindle {
namespace {

constexpr std::string_view kHiddenSuffix = ".brindle-part";

std::string FinalName(const StreamSplitParams& params, int k) {
    return params.raw ? NumberedPieceName(params.groupName, k) : *PieceFileName(params.groupName, k);
}

// Not a piece's name, so no join or listing takes it for one while the input runs.
std::string HiddenName(const StreamSplitParams& params, int k) {
    return "." + FinalName(params, k) + std::string(kHiddenSuffix);
}

bool IsPieceName(const StreamSplitParams& params, const std::unordered_set<std::string>& own, const std::string& name) {
    if (params.raw) {
        const std::optional<NumberedName> parsed = ParseNumberedName(name);
        return parsed && parsed->base == params.groupName;
    }
    return own.count(name) != 0;
}

// The folder's hidden pieces of this group, left by a split that was killed.
Status CheckTargets(const StreamSplitParams& params, std::vector<std::string>* stale) {
    if (params.raw) {
        if (Status refused = CheckRawBase(params.groupName); !refused.ok()) {
            return refused;
        }
    } else if (params.groupName.find_first_of(std::string("/\0", 2)) != std::string::npos) {
        return Status::InvalidArgument(
            Fill(Tr("a group name cannot hold \"/\" or a NUL byte: %1"), {params.groupName}));
    }
    const std::int64_t largest = params.raw ? std::int64_t{1} << 40
                                            : kMaxPieceFileSize - static_cast<std::int64_t>(kHeaderSize);
    if (params.pieceSize < 1 || params.pieceSize > largest) {
        return Status::InvalidArgument(Tr("a piece file would be larger than 2,147,483,647 bytes"));
    }
    std::unordered_set<std::string> own;
    for (int k = 1; k <= kMaxPieces && !params.raw; ++k) {
        own.insert(FinalName(params, k));
    }
    std::vector<io::FolderEntry> entries;
    Status status = io::ListFolder(params.destFolder, &entries);
    if (!status.ok()) {
        return status;
    }
    const std::string list = GetFileName(ChecksumFilePath(params.destFolder, params.groupName));
    for (const io::FolderEntry& entry : entries) {
        const std::string& name = entry.name;
        if (name == list || IsPieceName(params, own, name)) {
            return Status::InvalidArgument(
                Fill(Tr("%1 is already there; a split from standard input replaces nothing"),
                     {JoinPath(params.destFolder, name)}));
        }
        if (name.size() > kHiddenSuffix.size() + 1 && name.front() == '.' && name.ends_with(kHiddenSuffix) &&
            IsPieceName(params, own, name.substr(1, name.size() - 1 - kHiddenSuffix.size()))) {
            stale->push_back(JoinPath(params.destFolder, name));
        }
    }
    status = CheckNameFits(params.destFolder, HiddenName(params, 1));
    if (status.ok() && params.recoveryPercent > 0) {
        status = recovery::CheckRecoveryTargets(params.destFolder, params.groupName, {FinalName(params, 1)});
    }
    return status;
}

// Fills in each hidden piece's header now that the count and the length are known; the data
// hash covers the header, so each piece is read back once, on the pool's workers.
Status CompleteHeaders(const StreamSplitParams& params, const std::vector<std::string>& hidden,
                       const std::vector<std::int64_t>& lengths, std::int64_t total, std::int32_t groupId) {
    PieceHeader header;
    header.GroupId = groupId;
    header.PieceSize = static_cast<std::int32_t>(params.pieceSize);
    header.PieceCount = static_cast<std::int32_t>(hidden.size());
    SetSourceLength(header, total);
    SetSourceName(header, params.storedName);
    SetSplitDate(header, params.splitDate);
    if (params.dataCheck) {
        header.DataHash.emplace();
    }
    std::vector<HeaderBytes> headers;
    std::vector<std::unique_ptr<Xxh3>> hashes;
    std::optional<HashPool> pool;
    if (params.dataCheck) {
        pool.emplace();
    }
    Status status;
    for (std::size_t k = 0; k < hidden.size() && status.ok(); ++k) {
        header.PieceIndex = static_cast<std::int32_t>(k + 1);
        headers.push_back(EncodeHeader(header));
        if (!pool) {
            continue;
        }
        hashes.push_back(std::make_unique<Xxh3>());
        hashes.back()->Update(headers.back().data(), kHashedHeaderLength);
        io::File data;
        status = data.OpenRead(hidden[k]);
        if (status.ok()) {
            pool->Feed(std::move(data), static_cast<std::int64_t>(kHeaderSize), lengths[k], {hashes.back().get()});
        }
    }
    if (pool) {
        pool->Wait();
        if (status.ok()) {
            status = pool->FirstFailure();
        }
    }
    for (std::size_t k = 0; k < hidden.size() && status.ok(); ++k) {
        if (pool) {
            const std::string hash = hashes[k]->RawDigest();
            std::copy(hash.begin(), hash.end(), headers[k].begin() + kDataHashOffset);
        }
        io::File piece;
        status = piece.OpenWrite(hidden[k]);
        if (status.ok()) {
            status = piece.WriteAt(0, headers[k].data(), headers[k].size());
        }
        const Status closed = piece.Close();
        if (status.ok()) {
            status = closed;
        }
    }
    return status;
}

}  // namespace

Status CheckStreamSplit(const StreamSplitParams& params) {
    std::vector<std::string> stale;
    return CheckTargets(params, &stale);
}

SplitResult SplitStream(const StreamSplitParams& params, const StreamRead& read, Progress& progress) {
    SplitResult result;
    // Splits into one folder take turns, so none takes the hidden pieces of a running one.
    io::FolderLock lock;
    result.status = lock.Lock(params.destFolder, [&progress] { return progress.StopRequested(); });
    std::vector<std::string> stale;
    if (result.status.ok()) {
        result.status = CheckTargets(params, &stale);
    }
    if (!result.status.ok()) {
        return result;
    }
    for (const std::string& path : stale) {
        (void)io::RemoveFile(path);
    }
    const std::int64_t header = params.raw ? 0 : static_cast<std::int64_t>(kHeaderSize);
    std::vector<std::string> hidden;
    std::vector<std::int64_t> lengths;
    std::vector<std::string> named;
    const auto takeBack = [&](Status status) {
        result.DropRecovery();
        for (const std::string& path : named) {
            (void)io::RemoveFile(path);
        }
        for (const std::string& path : hidden) {
            (void)io::RemoveFile(path);
        }
        result.pieces.clear();
        result.checksumFile.clear();
        result.status = std::move(status);
        return result;
    };

    std::vector<char> buffer(io::kCopyBufferSize);
    const std::vector<char> blankHeader(static_cast<std::size_t>(header), '\0');
    io::File piece;
    bool open = false;
    std::int64_t inPiece = 0;
    std::int64_t total = 0;
    Status status;
    for (;;) {
        if (progress.StopRequested()) {
            return takeBack(Status::Cancelled());
        }
        std::size_t got = 0;
        status = read(buffer.data(), buffer.size(), &got);
        if (!status.ok() || got == 0) {
            break;
        }
        for (std::size_t at = 0; at < got && status.ok();) {
            if (!open) {
                if (hidden.size() == static_cast<std::size_t>(kMaxPieces)) {
                    return takeBack(Status::InvalidArgument(
                        Fill(Tr("the input needs more than %1 pieces of this size; nothing of it is left"),
                             {std::to_string(kMaxPieces)})));
                }
                const std::string path =
                    JoinPath(params.destFolder, HiddenName(params, static_cast<int>(hidden.size()) + 1));
                status = piece.CreateNew(path);
                if (!status.ok()) {
                    break;
                }
                hidden.push_back(path);
                open = true;
                inPiece = 0;
                status = piece.WriteAll(blankHeader.data(), blankHeader.size());
            }
            const auto n = static_cast<std::size_t>(std::min<std::int64_t>(
                static_cast<std::int64_t>(got - at), params.pieceSize - inPiece));
            if (status.ok()) {
                status = piece.WriteAll(buffer.data() + at, n);
            }
            at += n;
            inPiece += static_cast<std::int64_t>(n);
            total += static_cast<std::int64_t>(n);
            if (status.ok() && inPiece == params.pieceSize) {
                status = piece.Close();  // a full disk may show only here
                lengths.push_back(inPiece);
                open = false;
            }
        }
        if (!status.ok()) {
            break;
        }
        progress.SetPercentText(FormatSize(total));
        progress.Yield();
    }
    if (status.ok() && open) {
        status = piece.Close();
        lengths.push_back(inPiece);
    }
    if (status.ok() && total == 0) {
        status = Status::InvalidArgument(Tr("standard input gave no bytes to split"));
    }
    const std::int32_t groupId = DrawGroupId();
    if (status.ok() && !params.raw) {
        status = CompleteHeaders(params, hidden, lengths, total, groupId);
    }
    // Plain pieces carry no count, and the program's own pieces join only all together: until
    // the first has its name nothing of this group joins.
    for (std::size_t k = hidden.size(); k >= 1 && status.ok(); --k) {
        const std::string path = JoinPath(params.destFolder, FinalName(params, static_cast<int>(k)));
        status = progress.StopRequested() ? Status::Cancelled() : io::MoveNoReplace(hidden[k - 1], path);
        if (status.ok()) {
            named.insert(named.begin(), path);
            hidden[k - 1].clear();
        }
    }
    std::erase(hidden, std::string());
    if (!status.ok()) {
        return takeBack(status);
    }
    if (params.recoveryPercent > 0) {
        result.TakeRecovery(
            recovery::WriteRecoveryFiles(named, params.destFolder, params.groupName, params.recoveryPercent, progress));
        status = result.status;
    } else {
        std::vector<std::string> others;
        status = recovery::RemoveOwnRecoveryFiles(params.destFolder, params.groupName, named, &others);
    }
    if (status.ok() && params.checksums) {
        HashPool pool;
        std::vector<std::size_t> jobs;
        for (std::size_t k = 0; k < named.size() && status.ok(); ++k) {
            io::File file;
            status = file.OpenRead(named[k]);
            if (status.ok()) {
                jobs.push_back(pool.Add(std::move(file), 0, header + lengths[k]));
            }
        }
        pool.Wait();
        if (status.ok()) {
            status = pool.FirstFailure();
        }
        std::vector<std::string> digests;
        const std::vector<std::string> all = pool.digests();
        for (const std::size_t job : jobs) {
            digests.push_back(all[job]);
        }
        if (status.ok()) {
            status = WriteChecksumFile(params.destFolder, params.groupName, groupId, named, digests);
        }
        result.checksumFile = ChecksumFilePath(params.destFolder, params.groupName);
    }
    if (!status.ok()) {
        return takeBack(status);
    }
    result.status = Status::Ok();
    result.pieces = std::move(named);
    progress.SetValue(progress.Max());
    progress.SetPercentText("100");
    return result;
}

}  // namespace brindle
