#include "split/raw_split.h"

#include <algorithm>

#include "checks/hash_pool.h"
#include "format/checksums.h"
#include "format/numbered_group.h"
#include "format/piece_format.h"
#include "io/file_io.h"
#include "recovery/par2_packets.h"
#include "recovery/recovery.h"
#include "shell/numbers.h"
#include "shell/paths.h"
#include "shell/translate.h"

namespace brindle {
namespace {

std::int64_t CeilDiv(std::int64_t a, std::int64_t b) { return (a + b - 1) / b; }


constexpr std::string_view kTemporarySuffix = ".brindle-part";

// Piece `number` while the split runs: hidden, and not a numbered name, so no join, listing
// or `cat NAME.[0-9][0-9][0-9]` takes it for a piece.
std::string PieceWhileWritten(const std::string& base, int number) {
    return "." + NumberedPieceName(base, number) + std::string(kTemporarySuffix);
}

// Such a temporary of `base`, left by a split of it that was killed.
bool IsTemporaryOf(std::string_view name, const std::string& base) {
    if (name.size() <= kTemporarySuffix.size() + 1 || name.front() != '.' ||
        name.substr(name.size() - kTemporarySuffix.size()) != kTemporarySuffix) {
        return false;
    }
    const std::optional<NumberedName> parsed =
        ParseNumberedName(name.substr(1, name.size() - 1 - kTemporarySuffix.size()));
    return parsed && parsed->base == base && parsed->digits == kNumberedDigits;
}

// Whether a list this program wrote for plain numbered pieces of `base` is at `path`; fails
// when the disk does not tell.
Status IsOwnList(const std::string& path, const std::string& base, bool* own) {
    ChecksumList list;
    std::optional<std::int32_t> split;
    const Status status = ReadChecksumFile(path, &list, &split);
    if (status.code() == Status::Code::kIoError) {
        return status;
    }
    *own = status.ok() && split && std::all_of(list.begin(), list.end(), [&base](const auto& entry) {
        const std::optional<NumberedName> parsed = ParseNumberedName(entry.first);
        return parsed && parsed->base == base;
    });
    return Status::Ok();
}

// Writes a new file at `path`, removed again when anything fails. With `written`, that is
// then opened on it, for hashing.
Status WriteRawPiece(io::File& source, const std::string& path, std::int64_t length, std::vector<char>& scratch,
                     const io::CopyTick& tick, io::File* written) {
    // The bytes are still in the source, so the disk is not waited for.
    io::File piece;
    Status status = piece.CreateNew(path);
    if (!status.ok()) {
        return status;
    }
    status = io::CopyRange(source, piece, length, scratch, tick);
    const Status closed = piece.Close();  // a full disk may show only here
    if (status.ok()) {
        status = closed;
    }
    if (status.ok() && written != nullptr) {
        status = written->OpenRead(path);
    }
    if (!status.ok()) {
        (void)io::RemoveFile(path);
    }
    return status;
}

// Whether `path` holds exactly the `length` bytes of `source` from `offset`, as a split of it
// killed while it named its pieces leaves them: replacing such a piece loses nothing.
Status HoldsSourceBytes(io::File& source, std::int64_t offset, std::int64_t length, const std::string& path,
                        bool* same) {
    *same = false;
    io::File piece;
    std::int64_t size = 0;
    Status status = piece.OpenRead(path);
    if (status.ok()) {
        status = piece.Size(&size);
    }
    if (!status.ok() || size != length) {
        return status.code() == Status::Code::kIoError ? status : Status::Ok();
    }
    status = source.Seek(offset);
    constexpr std::int64_t kChunk = 64 << 10;
    std::vector<char> mine(kChunk);
    std::vector<char> theirs(kChunk);
    for (std::int64_t left = length; status.ok() && left > 0;) {
        const auto chunk = static_cast<std::size_t>(std::min(left, kChunk));
        status = source.ReadExact(mine.data(), chunk);
        if (status.ok()) {
            status = piece.ReadExact(theirs.data(), chunk);
        }
        const auto end = mine.begin() + static_cast<std::ptrdiff_t>(chunk);
        if (status.ok() && !std::equal(mine.begin(), end, theirs.begin())) {
            return source.Seek(0);
        }
        left -= static_cast<std::int64_t>(chunk);
    }
    if (status.ok()) {
        status = source.Seek(0);
    }
    *same = status.ok();
    return status;
}

}  // namespace

Status CheckRawBase(std::string_view base) {
    if (base.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos) {
        return Status::InvalidArgument(
            Fill(Tr("a group name cannot hold \"/\" or a NUL byte: %1"), {base}));
    }
    if (base.empty() || base == "." || base == "..") {
        return Status::InvalidArgument(Fill(
            Tr("plain numbered pieces cannot be named \"%1\": their names would be hidden or odd"),
            {base}));
    }
    return Status::Ok();
}

std::optional<Rejection> PlanRawSplit(std::int64_t sourceLength, int choiceIndex, std::string_view numberText,
                                      std::string_view sizeText, std::string_view unitText,
                                      std::int64_t* pieceSize, char decimalSeparator) {
    const auto mode = static_cast<SplitMode>(choiceIndex);
    if (mode == SplitMode::kPieces) {
        std::int64_t count = 0;
        if (auto rejection = CheckPieceCount(sourceLength, numberText, decimalSeparator, &count)) {
            return rejection;
        }
        *pieceSize = CeilDiv(sourceLength, count);
        return std::nullopt;
    }
    if (mode == SplitMode::kFloppy) {
        if (auto rejection = CheckFloppyPieces(sourceLength, 0)) {
            return rejection;
        }
        *pieceSize = kFloppyPieceFileSize;
        return std::nullopt;
    }
    const std::int64_t units = RoundHalfEven(NumberValue(sizeText, decimalSeparator));
    const std::int64_t unitBytes = UnitBytes(unitText);
    if (units <= 0 || unitBytes <= 0) {
        return SizeTooSmall();
    }
    if (units > sourceLength / unitBytes + 1 || units * unitBytes > sourceLength) {
        return SizeOverFile();
    }
    const std::int64_t size = units * unitBytes;
    if (CeilDiv(sourceLength, size) > kMaxPieces) {
        return SizeTooSmall();
    }
    *pieceSize = size;
    return std::nullopt;
}

SplitResult SplitRaw(const RawSplitParams& params, Progress& whole) {
    const bool recovery = params.recoveryPercent > 0;
    PartOfBar piecesBar(whole, 0, whole.Max() / 2);
    PartOfBar recoveryBar(whole, whole.Max() / 2, whole.Max());
    Progress& progress = recovery ? piecesBar : whole;
    SplitResult result;
    result.status = CheckRawBase(params.base);
    if (!result.status.ok()) {
        return result;
    }
    // Splits into one folder take turns, so none removes the temporaries of a running one.
    io::FolderLock lock;
    result.status = lock.Lock(params.destFolder, [&progress] { return progress.StopRequested(); });
    io::File source;
    std::int64_t length = 0;
    if (result.status.ok()) {
        result.status = source.OpenRead(params.sourcePath);
    }
    if (result.status.ok()) {
        result.status = source.Size(&length);
    }
    if (!result.status.ok()) {
        return result;
    }
    if (params.pieceSize <= 0 || length <= 0 || CeilDiv(length, params.pieceSize) > kMaxPieces) {
        result.status =
            Status::InvalidArgument(Fill(Tr("the pieces would not number from 001 to at most %1"),
                                         {std::to_string(kMaxPieces)}));
        return result;
    }
    const auto count = static_cast<int>(CeilDiv(length, params.pieceSize));
    // The last temporary is the longest name written.
    result.status = CheckNameFits(params.destFolder, PieceWhileWritten(params.base, count));
    if (result.status.ok() && recovery) {
        result.status = recovery::CheckRecoveryTargets(params.destFolder, params.base, {NumberedPieceName(params.base, 1)});
    }
    if (!result.status.ok()) {
        return result;
    }
    std::vector<std::string> taken;
    std::vector<std::string> stale;
    std::vector<io::FolderEntry> entries;
    // A folder that cannot be listed could hide an old group's higher pieces.
    result.status = io::ListFolder(params.destFolder, &entries);
    if (!result.status.ok()) {
        return result;
    }
    for (const io::FolderEntry& entry : entries) {
        if (!entry.regular) {
            continue;
        }
        const std::string& name = entry.name;
        const std::optional<NumberedName> parsed = ParseNumberedName(name);
        if (parsed && parsed->base == params.base) {
            taken.push_back(name);
        } else if (IsTemporaryOf(name, params.base)) {
            stale.push_back(JoinPath(params.destFolder, name));
        }
    }
    for (int i = 1; i <= count && taken.empty(); ++i) {
        bool there = false;
        result.status = io::AnythingAt(JoinPath(params.destFolder, NumberedPieceName(params.base, i)), &there);
        if (!result.status.ok()) {
            return result;
        }
        if (there) {
            taken.push_back(NumberedPieceName(params.base, i));
        }
    }
    // What this split would write there anyway is no clash.
    std::vector<bool> same(static_cast<std::size_t>(count) + 1, false);
    std::erase_if(taken, [&](const std::string& name) {
        const std::optional<NumberedName> parsed = ParseNumberedName(name);
        if (!result.status.ok() || !parsed || parsed->digits != kNumberedDigits || parsed->number > count) {
            return false;
        }
        const std::int64_t offset = (parsed->number - 1) * params.pieceSize;
        bool identical = false;
        result.status = HoldsSourceBytes(source, offset, std::min(params.pieceSize, length - offset),
                                         JoinPath(params.destFolder, name), &identical);
        same[static_cast<std::size_t>(parsed->number)] = identical;
        return identical;
    });
    if (!result.status.ok()) {
        return result;
    }
    if (!taken.empty()) {
        std::sort(taken.begin(), taken.end());
        result.status = Status::InvalidArgument(Fill(Tr("a numbered piece is already there: %1"),
                                                     {JoinPath(params.destFolder, taken.front())}));
        return result;
    }
    // An earlier split's own list speaks for pieces that are gone: it is replaced, or removed.
    const std::string listPath = ChecksumFilePath(params.destFolder, params.base);
    const bool listThere = std::any_of(entries.begin(), entries.end(), [&](const io::FolderEntry& entry) {
        return entry.name == GetFileName(listPath);
    });
    bool ownList = false;
    result.status = listThere ? IsOwnList(listPath, params.base, &ownList) : Status::Ok();
    if (!result.status.ok()) {
        return result;
    }
    if (params.checksums && listThere && !ownList) {
        result.status = Status::InvalidArgument(
            Fill(Tr("%1 is already there, and this program did not write it"), {listPath}));
        return result;
    }
    for (const std::string& path : stale) {
        (void)io::RemoveFile(path);
    }

    std::vector<std::int64_t> sizes;
    for (int i = 1; i <= count; ++i) {
        sizes.push_back(std::min(params.pieceSize, length - (i - 1) * params.pieceSize));
    }
    // Recovery data that fits in memory is made from the bytes as they are written, the
    // pieces never read back; then the whole bar is one pass.
    const bool onePass = recovery && recovery::OnePass(sizes, params.recoveryPercent);
    Progress& piecesProgress = onePass ? whole : progress;
    const int step = piecesProgress.Max() / count;
    // With checksums each piece is hashed on a worker while the next is written, and the one
    // bar counts both; the checksum file is written last.
    HashPool pool(params.checksums ? HashPool::DefaultThreads() : 0);
    pool.ShareCoresWithCopy();
    CopyHashBar bar(piecesProgress, 2 * length, {&pool});
    std::vector<char> scratch;
    std::vector<std::string> temporaries(static_cast<std::size_t>(count));
    std::vector<std::size_t> jobs(static_cast<std::size_t>(count));
    std::int64_t left = length;
    for (int i = 1; i <= count && result.status.ok() && !onePass; ++i) {
        const std::string path = JoinPath(params.destFolder, PieceWhileWritten(params.base, i));
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
            temporaries[static_cast<std::size_t>(i - 1)] = path;
            left -= pieceLength;
            if (params.checksums) {
                jobs[static_cast<std::size_t>(i - 1)] = pool.Add(std::move(written), 0, pieceLength);
            }
            progress.Yield();
            if (!params.checksums) {
                progress.SetValue(value + step);
                progress.SetPercentText(PercentText(progress.Value(), progress.Max()));
            }
        }
    }
    if (params.checksums && !onePass) {
        result.status = bar.Finish(result.status, length - left);
    }
    // Plain pieces carry no count: until .001 has its name, nothing of this group joins, so
    // a split killed at any moment leaves no shorter group that would.
    std::vector<std::string> pieces(static_cast<std::size_t>(count));
    const auto nameAll = [&] {
        Status status = piecesProgress.StopRequested() ? Status::Cancelled() : Status::Ok();
        if (status.ok() && ownList) {
            status = io::RemoveFile(listPath);
        }
        for (int i = count; i >= 1 && status.ok(); --i) {
            const std::string path = JoinPath(params.destFolder, NumberedPieceName(params.base, i));
            const std::string& temporary = temporaries[static_cast<std::size_t>(i - 1)];
            status = same[static_cast<std::size_t>(i)] ? io::MoveReplacing(temporary, path)
                                                       : io::MoveNoReplace(temporary, path);
            if (status.ok()) {
                pieces[static_cast<std::size_t>(i - 1)] = path;
            }
        }
        return status;
    };
    if (onePass && result.status.ok()) {
        recovery::Feed feed;
        io::File piece;
        for (int i = 1; i <= count && result.status.ok(); ++i) {
            std::string head(static_cast<std::size_t>(std::min<std::int64_t>(sizes[static_cast<std::size_t>(i - 1)], recovery::par2::kHeadBytes)), '\0');
            result.status = source.Seek((i - 1) * params.pieceSize);
            if (result.status.ok()) {
                result.status = source.ReadExact(head.data(), head.size());
            }
            feed.files.push_back(JoinPath(params.destFolder, NumberedPieceName(params.base, i)));
            feed.heads.push_back(std::move(head));
        }
        feed.sizes = sizes;
        feed.read = [&](std::size_t k, std::int64_t offset, unsigned char* buffer, std::size_t n) {
            Status status;
            if (offset == 0) {
                const std::string path = JoinPath(params.destFolder, PieceWhileWritten(params.base, static_cast<int>(k) + 1));
                piece = io::File();
                status = piece.CreateNew(path);
                if (status.ok()) {
                    temporaries[k] = path;
                }
            }
            if (status.ok()) {
                status = source.Seek(static_cast<std::int64_t>(k) * params.pieceSize + offset);
            }
            if (status.ok()) {
                status = source.ReadExact(buffer, n);
            }
            if (status.ok()) {
                status = piece.WriteAll(buffer, n);
            }
            if (!status.ok() || offset + static_cast<std::int64_t>(n) < sizes[k]) {
                return status;
            }
            status = piece.Close();
            io::File written;
            if (status.ok() && params.checksums) {
                status = written.OpenRead(temporaries[k]);
            }
            if (status.ok() && params.checksums) {
                jobs[k] = pool.Add(std::move(written), 0, sizes[k]);
            }
            whole.Yield();
            return status;
        };
        feed.written = [&] {
            if (params.checksums && !pool.Wait([&whole](std::int64_t) { return !whole.StopRequested(); })) {
                return Status::Cancelled();
            }
            const Status hashed = params.checksums ? pool.FirstFailure() : Status::Ok();
            return hashed.ok() ? nameAll() : hashed;
        };
        if (result.status.ok()) {
            result.TakeRecovery(recovery::WriteRecoveryFiles(feed, params.destFolder, params.base, params.recoveryPercent, whole));
        }
    } else if (result.status.ok()) {
        result.status = nameAll();
    }
    // The recovery files before the list, which comes last.
    if (result.status.ok() && recovery && !onePass) {
        result.TakeRecovery(recovery::WriteRecoveryFiles(pieces, params.destFolder, params.base, params.recoveryPercent, recoveryBar));
    } else if (result.status.ok() && !recovery) {
        std::vector<std::string> others;
        result.status = recovery::RemoveOwnRecoveryFiles(params.destFolder, params.base, pieces, &others);
    }
    if (result.status.ok() && params.checksums) {
        const std::vector<std::string> digests = pool.digests();
        std::vector<std::string> pieceDigests;
        for (const std::size_t job : jobs) {
            pieceDigests.push_back(digests[job]);
        }
        result.status = WriteChecksumFile(params.destFolder, params.base, DrawGroupId(), pieces, pieceDigests);
    }
    if (!result.status.ok()) {
        result.DropRecovery();
        // Half a group would only mislead a later join.
        for (const std::string& path : temporaries) {
            if (!path.empty()) {
                (void)io::RemoveFile(path);
            }
        }
        for (const std::string& path : pieces) {
            if (!path.empty()) {
                (void)io::RemoveFile(path);
            }
        }
        return result;
    }
    result.pieces = std::move(pieces);
    result.checksumFile = params.checksums ? listPath : std::string();
    whole.SetValue(whole.Max());
    whole.SetPercentText("100");
    return result;
}

}  // namespace brindle
