#include "split/split_engine.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <random>
#include <set>
#include <unordered_set>

#include "checks/hash_pool.h"
#include "checks/xxh3.h"
#include "format/checksums.h"
#include "format/discovery.h"
#include "io/atomic_file.h"
#include "io/file_io.h"
#include "io/file_meta.h"
#include "recovery/par2_packets.h"
#include "recovery/recovery.h"
#include "shell/paths.h"
#include "shell/translate.h"

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

// What a split does to its folder besides writing the pieces.
struct TargetPlan {
    std::int64_t fullPieces = 0;
    std::int64_t pieceCount = 0;
    std::optional<SplitClash> clash;
    std::vector<std::string> leftovers;  // earlier pieces beyond the new count
    bool ownChecksumFile = false;        // one this program wrote lies at the group's name
};

// The header at `path` when the file is a piece: any 256 bytes decode, so the numbers must
// make sense too. Fails only when the disk does not tell: a file that could not be read is
// not taken for one that is no piece, nor for none.
Status PieceAt(const std::string& path, std::optional<PieceHeader>* piece, io::FileType* type) {
    piece->reset();
    Status status = io::TypeAt(path, type);
    if (!status.ok() || *type != io::FileType::kRegular) {
        return status;
    }
    PieceHeader header;
    status = ReadPieceHeader(path, &header);
    if (status.code() == Status::Code::kIoError) {
        return status;
    }
    if (status.ok() && header.PieceIndex >= 1 && header.PieceIndex <= header.PieceCount &&
        header.PieceCount <= kMaxPieces && header.PieceSize >= 1 && StoredSourceLength(header)) {
        *piece = header;
    }
    return Status::Ok();
}

// Whether anything, even a dangling link, is at `path`; fails when the system cannot tell.
Status AnythingAt(const std::string& path, bool* there) {
    std::optional<io::FileId> id;
    const Status status = io::LookUpIdentity(path, &id);
    *there = id.has_value();
    return status;
}

std::string Holds(const PieceHeader& header) {
    return Fill(Tr("piece %1 of %2 of %3"),
                {std::to_string(header.PieceIndex), std::to_string(header.PieceCount),
                 StoredText(header.SourceName)});
}

Status PlanTargets(const SplitParams& params, std::int64_t length, TargetPlan* plan) {
    if (params.pieceSize < 1) {
        return Status::InvalidArgument(Tr("the piece size must be at least one byte"));
    }
    if (params.groupName.find_first_of(std::string("/\0", 2)) != std::string::npos) {
        return Status::InvalidArgument(
            Fill(Tr("a group name cannot hold \"/\" or a NUL byte: %1"), {params.groupName}));
    }
    if (length > kMaxSourceLength) {
        return Status::InvalidArgument(
            Fill(Tr("the file is larger than %1 pieces can hold"), {std::to_string(kMaxPieces)}));
    }
    if (params.pieceSize > kMaxPieceFileSize - static_cast<std::int64_t>(kHeaderSize)) {
        return Status::InvalidArgument(Tr("a piece file would be larger than 2,147,483,647 bytes"));
    }
    plan->fullPieces = length / params.pieceSize;
    if (plan->fullPieces == 0) {
        return Status::InvalidArgument(Tr("the file is smaller than one piece"));
    }
    plan->pieceCount = plan->fullPieces + (length % params.pieceSize != 0 ? 1 : 0);
    if (plan->pieceCount > kMaxPieces) {
        return Status::InvalidArgument(
            Fill(Tr("a group cannot have more than 999 pieces; this split would make %1"),
                 {std::to_string(plan->pieceCount)}));
    }
    // The last piece has the longest name, and the checksum file's may be as long.
    Status fits = CheckNameFits(
        params.destFolder, *PieceFileName(params.groupName, static_cast<int>(plan->pieceCount), params.extension));
    if (fits.ok() && params.checksums) {
        fits = CheckNameFits(params.destFolder, GetFileName(ChecksumFilePath(params.destFolder, params.groupName)));
    }
    if (!fits.ok()) {
        return fits;
    }

    // A re-split of the same file replaces its own pieces; anything else needs the user's word.
    // Names compare as bytes: "caf\xE9" in Latin-1 is another file than "café" in UTF-8.
    PieceHeader own;
    SetSourceName(own, GetFileName(params.sourcePath));
    const std::string ownName = StoredBytes(own.SourceName);
    std::set<std::int32_t> replacedGroups;
    const auto note = [&](const std::string& path, std::string holds) {
        if (!plan->clash) {
            plan->clash = SplitClash{path, std::move(holds)};
        }
    };
    for (int k = 1; k <= plan->pieceCount; ++k) {
        const std::string name = *PieceFileName(params.groupName, k, params.extension);
        const std::string path = JoinPath(params.destFolder, name);
        if (io::SameFile(path, params.sourcePath)) {
            return Status::InvalidArgument(
                Fill(Tr("a piece would replace the file being split: %1"), {name}));
        }
        bool there = false;
        Status status = AnythingAt(path, &there);
        if (!status.ok()) {
            return status;
        }
        if (!there) {
            continue;
        }
        std::optional<PieceHeader> piece;
        io::FileType type = io::FileType::kNone;
        status = PieceAt(path, &piece, &type);
        if (!status.ok()) {
            return status;
        }
        if (!piece) {
            note(path, type == io::FileType::kRegular ? Tr("a file that is not a piece")
                                                      : Tr("not a regular file"));
            continue;
        }
        replacedGroups.insert(piece->GroupId);
        if (StoredBytes(piece->SourceName) != ownName) {
            note(path, Holds(*piece));
        }
    }
    // Pieces of the replaced group (or earlier ones of this source) beyond the new count
    // would be orphans.
    std::vector<std::string> listed;
    Status status = io::ListFileNames(params.destFolder, true, &listed);
    if (!status.ok()) {
        return status;
    }
    const std::unordered_set<std::string> present(listed.begin(), listed.end());
    for (int k = static_cast<int>(plan->pieceCount) + 1; k <= kMaxPieces; ++k) {
        const std::string name = *PieceFileName(params.groupName, k, params.extension);
        if (present.count(name) == 0) {
            continue;
        }
        const std::string path = JoinPath(params.destFolder, name);
        std::optional<PieceHeader> piece;
        io::FileType type = io::FileType::kNone;
        status = PieceAt(path, &piece, &type);
        if (!status.ok()) {
            return status;
        }
        if (piece && !io::SameFile(path, params.sourcePath) &&
            (replacedGroups.count(piece->GroupId) != 0 || StoredBytes(piece->SourceName) == ownName)) {
            plan->leftovers.push_back(path);
        }
    }

    const std::string checksumPath = ChecksumFilePath(params.destFolder, params.groupName);
    if (io::SameFile(checksumPath, params.sourcePath)) {
        if (params.checksums) {
            return Status::InvalidArgument(Fill(
                Tr("the checksum file would replace the file being split: %1"), {checksumPath}));
        }
        return Status::Ok();
    }
    bool there = false;
    status = AnythingAt(checksumPath, &there);
    if (!status.ok()) {
        return status;
    }
    if (there) {
        ChecksumList list;
        std::optional<std::int32_t> split;
        status = ReadChecksumFile(checksumPath, &list, &split);
        if (status.code() == Status::Code::kIoError) {
            return status;
        }
        plan->ownChecksumFile = status.ok() && split.has_value();
        if (params.checksums && !plan->ownChecksumFile) {
            note(checksumPath, Tr("a checksum file this program did not write"));
        }
    }
    return Status::Ok();
}

// A piece written under its temporary name, waiting for its data hash before it gets its own.
struct WrittenPiece {
    std::unique_ptr<io::AtomicFile> file;
    std::string path;
    std::int64_t fileLength = 0;
    std::unique_ptr<Xxh3> hash;  // fed on a worker; none without a data check
    std::size_t job = 0;
};

// Writes the header and the data under a temporary name; with a data check the bytes as
// written are hashed on a worker while the caller copies the next piece.
Status WritePiece(io::File& source, const std::string& path, const PieceHeader& header, std::int64_t dataLength,
                  std::vector<char>& scratch, const io::CopyTick& tick, HashPool* hashing, WrittenPiece* piece) {
    // Written beside its name and moved there whole: a split stopped at any moment leaves
    // each earlier file as it was, and a pipe or device at the name is never opened.
    piece->file = std::make_unique<io::AtomicFile>(path, io::AtomicFile::Flush::kNever);
    piece->path = path;
    piece->fileLength = static_cast<std::int64_t>(kHeaderSize) + dataLength;
    Status status = piece->file->Open();
    const HeaderBytes bytes = EncodeHeader(header);
    if (status.ok()) {
        status = piece->file->file().WriteAll(bytes.data(), bytes.size());
    }
    if (status.ok()) {
        status = io::CopyRange(source, piece->file->file(), dataLength, scratch, tick);
    }
    io::File written;
    if (status.ok() && header.DataHash) {
        status = piece->file->OpenWritten(&written);
    }
    if (status.ok() && header.DataHash) {
        piece->hash = std::make_unique<Xxh3>();
        piece->hash->Update(bytes.data(), kHashedHeaderLength);
        piece->job = hashing->Feed(std::move(written), static_cast<std::int64_t>(kHeaderSize), dataLength,
                                   {piece->hash.get()});
    }
    return status;
}

// Puts the data hash into the header and gives the piece its name. With `checksums` the
// piece as named is queued for its SHA-256; the descriptor opened before the move reads the
// very file that took the name.
Status NamePiece(WrittenPiece& piece, HashPool* hashing, bool checksums, bool* replaced,
                 std::vector<std::size_t>* checksumJobs) {
    Status status;
    if (piece.hash) {
        status = hashing->WaitFor(piece.job);
        const std::string hash = status.ok() ? piece.hash->RawDigest() : std::string();
        if (status.ok()) {
            status = piece.file->file().WriteAt(static_cast<std::int64_t>(kDataHashOffset), hash.data(), hash.size());
        }
    }
    bool there = false;
    if (status.ok()) {
        status = io::AnythingAt(piece.path, &there);
        *replaced = *replaced || there;
    }
    io::File written;
    if (status.ok() && checksums) {
        status = piece.file->OpenWritten(&written);
    }
    if (status.ok()) {
        status = piece.file->Commit(io::AtomicFile::Move::kReplace);
    }
    if (status.ok() && checksums) {
        // The length as written: the portable road can only ask the name, which has moved.
        checksumJobs->push_back(hashing->Add(std::move(written), 0, piece.fileLength));
    }
    return status;
}

// A split with recovery data small enough to be made in the same pass writes each piece a
// block at a time from its own buffer and hands the same bytes to the recovery data, so
// nothing is read back. The recovery set orders its blocks by the pieces' heads, which hold
// each piece's data hash: the hashes come first, from a pass over the source.
class OnePassSplit {
public:
    struct Piece {
        std::string path;
        std::int64_t start = 0;       // of its data in the source
        std::int64_t dataLength = 0;
        HeaderBytes header{};
        std::unique_ptr<Xxh3> hash;   // of the data read in the first pass
    };

    OnePassSplit(const SplitParams& params, io::File& source, HashPool* pool, std::vector<Piece> pieces)
        : params_(params), source_(source), pool_(pool), pieces_(std::move(pieces)), named_(pieces_.size()),
          checksumJobs_(pieces_.size()) {}

    // The data hashes, on the pool's workers; the bar moves by bytes hashed.
    Status HashSource(PieceHeader header, Progress& progress) {
        std::int64_t total = 0;
        Status status;
        for (std::size_t k = 0; k < pieces_.size() && status.ok(); ++k) {
            header.PieceIndex = static_cast<std::int32_t>(k + 1);
            pieces_[k].header = EncodeHeader(header);
            if (!header.DataHash) {
                continue;
            }
            pieces_[k].hash = std::make_unique<Xxh3>();
            pieces_[k].hash->Update(pieces_[k].header.data(), kHashedHeaderLength);
            io::File range;
            status = range.OpenRead(params_.sourcePath);
            if (status.ok()) {
                pool_->Feed(std::move(range), pieces_[k].start, pieces_[k].dataLength, {pieces_[k].hash.get()});
            }
            total += pieces_[k].dataLength;
        }
        ByteMeter meter(progress, std::max<std::int64_t>(total, 1), progress.Max());
        if (pool_ != nullptr && !pool_->Wait([&](std::int64_t hashed) { return meter(hashed); })) {
            status = Status::Cancelled();
        }
        if (status.ok() && pool_ != nullptr) {
            status = pool_->FirstFailure();
            pool_->ShareCoresWithCopy();
        }
        for (std::size_t k = 0; k < pieces_.size() && status.ok() && header.DataHash; ++k) {
            const std::string hash = pieces_[k].hash->RawDigest();
            std::copy(hash.begin(), hash.end(), pieces_[k].header.begin() + kDataHashOffset);
        }
        return status;
    }

    // Writes the pieces as the recovery data asks for their blocks, naming each once whole.
    recovery::WriteResult Write(Progress& progress) {
        recovery::Feed feed;
        Status status;
        for (std::size_t k = 0; k < pieces_.size() && status.ok(); ++k) {
            const Piece& piece = pieces_[k];
            std::string head(piece.header.begin(), piece.header.end());
            head.resize(static_cast<std::size_t>(std::min<std::int64_t>(recovery::par2::kHeadBytes, kHeaderSize + piece.dataLength)));
            status = source_.Seek(piece.start);
            if (status.ok()) {
                status = source_.ReadExact(head.data() + kHeaderSize, head.size() - kHeaderSize);
            }
            feed.files.push_back(piece.path);
            feed.sizes.push_back(static_cast<std::int64_t>(kHeaderSize) + piece.dataLength);
            feed.heads.push_back(std::move(head));
        }
        if (!status.ok()) {
            return {status, {}, {}};
        }
        feed.read = [this, &progress](std::size_t k, std::int64_t offset, unsigned char* buffer, std::size_t n) {
            return WriteBlock(k, offset, buffer, n, progress);
        };
        return recovery::WriteRecoveryFiles(feed, params_.destFolder, params_.groupName, params_.recoveryPercent, progress);
    }

    // The pieces named so far, in their order, with their checksum jobs.
    void Named(std::vector<std::string>* pieces, std::vector<std::size_t>* checksumJobs) const {
        for (std::size_t k = 0; k < pieces_.size(); ++k) {
            if (named_[k]) {
                pieces->push_back(pieces_[k].path);
                if (params_.checksums) {
                    checksumJobs->push_back(checksumJobs_[k]);
                }
            }
        }
    }
    bool replacedEarlier() const { return replacedEarlier_; }

private:
    Status WriteBlock(std::size_t k, std::int64_t offset, unsigned char* buffer, std::size_t n, Progress& progress) {
        const Piece& piece = pieces_[k];
        Status status;
        if (offset == 0) {
            file_ = std::make_unique<io::AtomicFile>(piece.path, io::AtomicFile::Flush::kNever);
            status = file_->Open();
            written_.emplace();
            written_->Update(piece.header.data(), kHashedHeaderLength);
        }
        const auto headerBytes = static_cast<std::size_t>(
            std::clamp<std::int64_t>(static_cast<std::int64_t>(kHeaderSize) - offset, 0, static_cast<std::int64_t>(n)));
        if (headerBytes > 0) {
            std::copy_n(piece.header.begin() + offset, headerBytes, buffer);
        }
        if (status.ok() && headerBytes < n) {
            status = source_.Seek(piece.start + offset + static_cast<std::int64_t>(headerBytes) - static_cast<std::int64_t>(kHeaderSize));
        }
        if (status.ok() && headerBytes < n) {
            status = source_.ReadExact(buffer + headerBytes, n - headerBytes);
        }
        if (status.ok() && headerBytes < n) {
            written_->Update(buffer + headerBytes, n - headerBytes);
        }
        if (status.ok()) {
            status = file_->file().WriteAll(buffer, n);
        }
        if (!status.ok() || offset + static_cast<std::int64_t>(n) < static_cast<std::int64_t>(kHeaderSize) + piece.dataLength) {
            return status;
        }
        // The bytes written must be the ones the header's hash was taken from.
        if (piece.hash && written_->RawDigest() != piece.hash->RawDigest()) {
            return Status::IoError(Fill(Tr("%1 changed while it was split"), {GetFileName(params_.sourcePath)}));
        }
        bool there = false;
        status = io::AnythingAt(piece.path, &there);
        replacedEarlier_ = replacedEarlier_ || there;
        io::File reader;
        if (status.ok() && params_.checksums) {
            status = file_->OpenWritten(&reader);
        }
        if (status.ok()) {
            status = file_->Commit(io::AtomicFile::Move::kReplace);
        }
        file_.reset();
        if (status.ok()) {
            named_[k] = true;
        }
        if (status.ok() && params_.checksums) {
            checksumJobs_[k] = pool_->Add(std::move(reader), 0, static_cast<std::int64_t>(kHeaderSize) + piece.dataLength);
        }
        progress.Yield();
        return status;
    }

    const SplitParams& params_;
    io::File& source_;
    HashPool* pool_;
    std::vector<Piece> pieces_;
    std::vector<bool> named_;
    std::vector<std::size_t> checksumJobs_;
    std::unique_ptr<io::AtomicFile> file_;  // the piece being written
    std::optional<Xxh3> written_;
    bool replacedEarlier_ = false;
};

// A split that stops or fails takes back every piece it wrote; what it replaced cannot come
// back, and it says so.
SplitResult TakeBack(SplitResult result, bool replacedEarlier) {
    for (const std::string& piece : result.pieces) {
        (void)io::RemoveFile(piece);
    }
    result.pieces.clear();
    result.checksumFile.clear();
    const std::string note =
        replacedEarlier ? Tr("Pieces of an earlier split of this file were already replaced, so "
                             "that group is no longer complete; the file itself is unchanged "
                             "and can be split again.")
                        : "";
    if (result.status.cancelled()) {
        result.status = Status::Cancelled(note);
    } else if (!note.empty()) {
        result.status = Status::IoError(result.status.message() + "\n" + note);
    }
    return result;
}

// The size of each piece file, header included: what the recovery data is planned for.
std::vector<std::int64_t> PieceFileSizes(std::int64_t length, std::int32_t pieceSize) {
    std::vector<std::int64_t> sizes;
    for (std::int64_t start = 0; start < length; start += pieceSize) {
        sizes.push_back(static_cast<std::int64_t>(kHeaderSize) + std::min<std::int64_t>(pieceSize, length - start));
    }
    return sizes;
}

}  // namespace

void SplitResult::TakeRecovery(recovery::WriteResult written) {
    status = written.status;
    recoveryFiles = std::move(written.files);
    rebuildablePieces = written.plan.rebuildableFiles;
}

void SplitResult::DropRecovery() {
    for (const std::string& path : recoveryFiles) {
        (void)io::RemoveFile(path);
    }
    recoveryFiles.clear();
}

std::int32_t DrawGroupId() {
    std::random_device seed;
    std::mt19937 generator(seed());
    std::uniform_int_distribution<std::int32_t> id(0, kMaxGroupId);
    return id(generator);
}

Status CheckNameFits(const std::string& folder, const std::string& name) {
    const std::optional<std::int64_t> limit = io::NameLimit(folder);
    if (limit && static_cast<std::int64_t>(name.size()) > *limit) {
        return Status::InvalidArgument(
            Fill(Tr("the name %1 is longer than the folder allows (%2 bytes)"),
                 {name, std::to_string(*limit)}));
    }
    return Status::Ok();
}

int RebuildablePieces(std::int64_t length, std::int32_t pieceSize, int percent) {
    return pieceSize > 0 ? recovery::PlanFor(PieceFileSizes(length, pieceSize), percent).rebuildableFiles : 0;
}

Status CheckSplitTargets(const SplitParams& params, std::int64_t sourceLength, std::optional<SplitClash>* clash) {
    TargetPlan plan;
    const Status status = PlanTargets(params, sourceLength, &plan);
    *clash = plan.clash;
    return status;
}

SplitResult SplitFile(const SplitParams& params, Progress& whole) {
    // With recovery data the pieces take the first half of the bar, the recovery files the
    // rest; in one pass, the data hashes take the first tenth.
    const bool recovery = params.recoveryPercent > 0;
    PartOfBar piecesBar(whole, 0, whole.Max() / 2);
    PartOfBar recoveryBar(whole, whole.Max() / 2, whole.Max());
    PartOfBar hashBar(whole, 0, whole.Max() / 10);
    PartOfBar passBar(whole, whole.Max() / 10, whole.Max());
    Progress& progress = recovery ? piecesBar : whole;
    SplitResult result;
    io::FolderLock lock;
    result.status = lock.Lock(params.destFolder, [&progress] { return progress.StopRequested(); });
    if (!result.status.ok()) {
        return result;
    }
    io::File source;
    result.status = source.OpenRead(params.sourcePath);
    if (!result.status.ok()) {
        return result;
    }
    // The length as the split starts: the file may have grown since the split was planned.
    std::int64_t length = 0;
    result.status = source.Size(&length);
    TargetPlan plan;
    if (result.status.ok()) {
        result.status = PlanTargets(params, length, &plan);
    }
    if (result.status.ok() && plan.clash && !params.replaceOthers) {
        result.status = Status::InvalidArgument(
            Fill(Tr("%1 is already there: %2"), {plan.clash->path, plan.clash->holds}));
    }
    if (!result.status.ok()) {
        return result;
    }
    if (recovery) {
        std::vector<std::string> names;
        for (std::int64_t k = 1; k <= plan.pieceCount; ++k) {
            names.push_back(*PieceFileName(params.groupName, static_cast<int>(k), params.extension));
        }
        result.status = recovery::CheckRecoveryTargets(params.destFolder, params.groupName, names);
        if (!result.status.ok()) {
            return result;
        }
    }
    const std::optional<int> step = ProgressStep(progress.Max(), plan.fullPieces);
    if (!step) {
        result.status = Status::InvalidArgument("the progress bar is too short for this many pieces");
        return result;
    }
    const std::int64_t remainder = length - plan.fullPieces * params.pieceSize;

    PieceHeader header;
    header.PieceSize = params.pieceSize;
    header.PieceCount = static_cast<std::int32_t>(plan.pieceCount);
    SetSourceLength(header, length);
    SetSourceName(header, GetFileName(params.sourcePath));
    SetSplitDate(header, params.splitDate);
    header.GroupId = params.groupId ? *params.groupId : DrawGroupId();
    if (params.dataCheck) {
        header.DataHash.emplace();  // the marker now, the hash once the data is written
    }

    // Hashes are taken on a worker while the next piece is written. With checksums the one
    // bar counts the bytes written and the bytes hashed together; the data hash alone costs
    // too little to show.
    std::vector<char> scratch;
    // The piece written last is named once the next one is written, so its hash runs
    // meanwhile. Both outlive the pool, whose workers may be feeding their digests.
    WrittenPiece pending;
    WrittenPiece next;
    std::optional<OnePassSplit> oneSplit;
    bool replacedEarlier = false;
    std::vector<OnePassSplit::Piece> onePassPieces;
    const std::vector<std::int64_t> fileSizes =
        recovery ? PieceFileSizes(length, params.pieceSize) : std::vector<std::int64_t>{};
    for (std::int64_t k = 1; k <= plan.pieceCount && recovery; ++k) {
        OnePassSplit::Piece piece;
        piece.path = JoinPath(params.destFolder, *PieceFileName(params.groupName, static_cast<int>(k), params.extension));
        piece.start = (k - 1) * params.pieceSize;
        piece.dataLength = k <= plan.fullPieces ? params.pieceSize : remainder;
        onePassPieces.push_back(std::move(piece));
    }
    const bool onePass = recovery && recovery::OnePass(fileSizes, params.recoveryPercent);
    std::optional<HashPool> pool;
    std::optional<CopyHashBar> both;
    if (params.checksums || params.dataCheck) {
        pool.emplace();
        if (!onePass) {
            pool->ShareCoresWithCopy();  // in one pass, once the data hashes are taken
        }
    }
    if (params.checksums) {
        const std::int64_t fileBytes = length + static_cast<std::int64_t>(kHeaderSize) * plan.pieceCount;
        both.emplace(progress, 2 * fileBytes + (params.dataCheck ? length : 0), std::vector<HashPool*>{&*pool});
    }
    std::vector<std::size_t> checksumJobs;
    const auto namePending = [&] {
        const Status named = NamePiece(pending, pool ? &*pool : nullptr, params.checksums, &replacedEarlier,
                                       &checksumJobs);
        if (named.ok()) {
            result.pieces.push_back(pending.path);
        }
        pending = {};
        return named;
    };
    if (onePass) {
        oneSplit.emplace(params, source, pool ? &*pool : nullptr, std::move(onePassPieces));
        result.status = oneSplit->HashSource(header, hashBar);
        if (result.status.ok()) {
            result.TakeRecovery(oneSplit->Write(passBar));
        }
        oneSplit->Named(&result.pieces, &checksumJobs);
        replacedEarlier = oneSplit->replacedEarlier();
        if (result.status.ok() && pool && !pool->Wait([&whole](std::int64_t) { return !whole.StopRequested(); })) {
            result.status = Status::Cancelled();
        }
        if (result.status.ok() && pool) {
            result.status = pool->FirstFailure();
        }
    }
    std::int64_t written = 0;  // piece file bytes, headers included
    for (std::int64_t k = 1; k <= plan.pieceCount && result.status.ok() && !onePass; ++k) {
        const bool full = k <= plan.fullPieces;
        const std::int64_t dataLength = full ? params.pieceSize : remainder;
        const std::string path =
            JoinPath(params.destFolder, *PieceFileName(params.groupName, static_cast<int>(k), params.extension));
        header.PieceIndex = static_cast<std::int32_t>(k);
        // Inside a piece the bar creeps towards the value it takes at the piece's end; the
        // short last piece moves it towards the end of the job.
        const int before = progress.Value();
        const int after = full ? static_cast<int>(static_cast<float>(before) + static_cast<float>(*step))
                               : progress.Max();
        ByteMeter meter(progress, dataLength, after);
        const io::CopyTick tick = [&](std::int64_t done) {
            return both ? both->Copied(written + static_cast<std::int64_t>(kHeaderSize) + done) : meter(done);
        };
        result.status = progress.StopRequested()
                            ? Status::Cancelled()
                            : WritePiece(source, path, header, dataLength, scratch, tick, pool ? &*pool : nullptr,
                                         &next);
        if (result.status.ok() && pending.file) {
            result.status = namePending();
        }
        if (!result.status.ok()) {
            break;
        }
        pending = std::move(next);
        next = {};
        written += static_cast<std::int64_t>(kHeaderSize) + dataLength;
        if (full && !both) {
            progress.SetValue(after);
            progress.SetPercentText(PercentText(progress.Value(), progress.Max()));
        }
        if (full || both) {
            progress.Yield();
        }
    }
    if (result.status.ok() && pending.file) {
        result.status = namePending();
    }
    if (both && !onePass) {
        // A hash that failed and so stopped the writing is told as itself.
        result.status = both->Finish(result.status, written);
    }
    if (!result.status.ok()) {
        result.DropRecovery();
        return TakeBack(std::move(result), replacedEarlier);
    }
    result.status = source.Close();
    for (const std::string& leftover : plan.leftovers) {
        if (result.status.ok()) {
            result.status = io::RemoveFile(leftover);
            replacedEarlier = true;
        }
    }
    // Recovery files of the earlier split speak for pieces that are gone: replaced or removed,
    // before the checksum file, which comes last.
    if (result.status.ok() && recovery && !onePass) {
        result.TakeRecovery(
            recovery::WriteRecoveryFiles(result.pieces, params.destFolder, params.groupName, params.recoveryPercent, recoveryBar));
    } else if (result.status.ok() && !recovery) {
        std::vector<std::string> others;
        result.status = recovery::RemoveOwnRecoveryFiles(params.destFolder, params.groupName, result.pieces, &others);
    }
    const std::string checksumPath = ChecksumFilePath(params.destFolder, params.groupName);
    if (result.status.ok() && params.checksums) {
        // Written last, and only once every piece is there.
        const std::vector<std::string> digests = pool->digests();
        std::vector<std::string> pieceDigests;
        for (const std::size_t job : checksumJobs) {
            pieceDigests.push_back(digests[job]);
        }
        result.status = WriteChecksumFile(params.destFolder, params.groupName, header.GroupId, result.pieces,
                                          pieceDigests);
        result.checksumFile = checksumPath;
    } else if (result.status.ok() && plan.ownChecksumFile) {
        result.status = io::RemoveFile(checksumPath);  // it speaks for pieces that are gone
    }
    if (!result.status.ok()) {
        result.DropRecovery();
        return TakeBack(std::move(result), replacedEarlier);
    }
    whole.SetValue(whole.Max());
    whole.SetPercentText("100");
    return result;
}

}  // namespace brindle
