#include "split/split_engine.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <memory>
#include <random>
#include <set>

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
    // What the folder holds is read for later pieces' names, rather than every later name
    // made and looked for: a name counts when it is exactly the one piece k would get.
    std::vector<std::pair<int, std::string>> later;
    const std::string prefix = params.groupName + '(';
    for (std::string& name : listed) {
        int k = 0;
        const char* digits = name.data() + prefix.size();
        const char* end = name.data() + name.size();
        if (!name.starts_with(prefix) ||
            std::from_chars(digits, end, k).ec != std::errc() || k <= plan->pieceCount || k > kMaxPieces ||
            name != *PieceFileName(params.groupName, k, params.extension)) {
            continue;
        }
        later.emplace_back(k, std::move(name));
    }
    std::sort(later.begin(), later.end());
    for (const auto& [k, name] : later) {
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

// A piece file, written beside its name and moved there whole: a split stopped at any moment
// leaves each earlier file as it was, and a pipe or device at the name is never opened. Both
// piece writers write, hash and name their pieces through it.
class PieceFile {
public:
    Status Open(const std::string& path, std::int64_t fileLength) {
        file_ = std::make_unique<io::AtomicFile>(path, io::AtomicFile::Flush::kNever);
        path_ = path;
        fileLength_ = fileLength;
        return file_->Open();
    }
    bool IsOpen() const { return file_ != nullptr; }
    const std::string& path() const { return path_; }
    io::File& file() { return file_->file(); }
    // A descriptor reading the bytes written, for a hash taken beside the writing.
    Status OpenWritten(io::File* written) { return file_->OpenWritten(written); }

    // Puts `dataHash`, when given, into the header and gives the piece its name. With
    // `checksums` the piece as named is queued on `hashing` for its SHA-256, its job in
    // `*checksumJob`; the descriptor opened before the move reads the very file that took
    // the name.
    Status Name(const std::string& dataHash, HashPool* hashing, bool checksums, bool* replaced,
                std::size_t* checksumJob) {
        Status status;
        if (!dataHash.empty()) {
            status = file_->file().WriteAt(static_cast<std::int64_t>(kDataHashOffset), dataHash.data(), dataHash.size());
        }
        bool there = false;
        if (status.ok()) {
            status = io::AnythingAt(path_, &there);
            *replaced = *replaced || there;
        }
        io::File written;
        if (status.ok() && checksums) {
            status = file_->OpenWritten(&written);
        }
        if (status.ok()) {
            status = file_->Commit(io::AtomicFile::Move::kReplace);
        }
        file_.reset();
        if (status.ok() && checksums) {
            // The length as written: the portable road can only ask the name, which has moved.
            *checksumJob = hashing->Add(std::move(written), 0, fileLength_);
        }
        return status;
    }

private:
    std::unique_ptr<io::AtomicFile> file_;
    std::string path_;
    std::int64_t fileLength_ = 0;
};

// A piece written under its temporary name, waiting for its data hash before it gets its own.
struct WrittenPiece {
    PieceFile file;
    std::unique_ptr<Xxh3> hash;  // fed on a worker; none without a data check
    std::size_t job = 0;
};

// Writes the header and the data under a temporary name; with a data check the bytes as
// written are hashed on a worker while the caller copies the next piece.
Status WritePiece(io::File& source, const std::string& path, const PieceHeader& header, std::int64_t dataLength,
                  std::vector<char>& scratch, const io::CopyTick& tick, HashPool* hashing, WrittenPiece* piece) {
    Status status = piece->file.Open(path, static_cast<std::int64_t>(kHeaderSize) + dataLength);
    const HeaderBytes bytes = EncodeHeader(header);
    if (status.ok()) {
        status = piece->file.file().WriteAll(bytes.data(), bytes.size());
    }
    if (status.ok()) {
        status = io::CopyRange(source, piece->file.file(), dataLength, scratch, tick);
    }
    io::File written;
    if (status.ok() && header.DataHash) {
        status = piece->file.OpenWritten(&written);
    }
    if (status.ok() && header.DataHash) {
        piece->hash = std::make_unique<Xxh3>();
        piece->hash->Update(bytes.data(), kHashedHeaderLength);
        piece->job = hashing->Feed(std::move(written), static_cast<std::int64_t>(kHeaderSize), dataLength,
                                   {piece->hash.get()});
    }
    return status;
}

// Once its data hash is taken, puts it into the header and gives the piece its name.
Status NamePiece(WrittenPiece& piece, HashPool* hashing, bool checksums, bool* replaced,
                 std::vector<std::size_t>* checksumJobs) {
    Status status;
    std::string hash;
    if (piece.hash) {
        status = hashing->WaitFor(piece.job);
        hash = status.ok() ? piece.hash->RawDigest() : std::string();
    }
    std::size_t job = 0;
    if (status.ok()) {
        status = piece.file.Name(hash, hashing, checksums, replaced, &job);
    }
    if (status.ok() && checksums) {
        checksumJobs->push_back(job);
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
            status = file_.Open(piece.path, static_cast<std::int64_t>(kHeaderSize) + piece.dataLength);
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
            status = file_.file().WriteAll(buffer, n);
        }
        if (!status.ok() || offset + static_cast<std::int64_t>(n) < static_cast<std::int64_t>(kHeaderSize) + piece.dataLength) {
            return status;
        }
        // The bytes written must be the ones the header's hash was taken from.
        if (piece.hash && written_->RawDigest() != piece.hash->RawDigest()) {
            return Status::IoError(Fill(Tr("%1 changed while it was split"), {GetFileName(params_.sourcePath)}));
        }
        status = file_.Name({}, pool_, params_.checksums, &replacedEarlier_, &checksumJobs_[k]);
        if (status.ok()) {
            named_[k] = true;
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
    PieceFile file_;  // the piece being written
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

namespace {

// A split, step by step; each step goes on only while the result's status is ok.
class Splitter {
public:
    // With recovery data the pieces take the first half of the bar, the recovery files the
    // rest; in one pass, the data hashes take the first tenth.
    Splitter(const SplitParams& params, Progress& whole)
        : params_(params), whole_(whole), recovery_(params.recoveryPercent > 0),
          piecesBar_(whole, 0, whole.Max() / 2), recoveryBar_(whole, whole.Max() / 2, whole.Max()),
          hashBar_(whole, 0, whole.Max() / 10), passBar_(whole, whole.Max() / 10, whole.Max()),
          progress_(recovery_ ? static_cast<Progress&>(piecesBar_) : whole) {}

    SplitResult Run() {
        result_.status = Prepare();
        if (!result_.status.ok()) {
            return std::move(result_);
        }
        MakeHeader();
        SetUpHashing();
        if (onePass_) {
            WriteInOnePass();
        } else {
            WritePieces();
        }
        if (result_.status.ok()) {
            result_.status = source_.Close();
        }
        if (result_.status.ok()) {
            result_.status = Finish();
        }
        if (!result_.status.ok()) {
            result_.DropRecovery();
            return TakeBack(std::move(result_), replacedEarlier_);
        }
        whole_.SetValue(whole_.Max());
        whole_.SetPercentText("100");
        return std::move(result_);
    }

private:
    std::string PiecePath(std::int64_t k) const {
        return JoinPath(params_.destFolder, *PieceFileName(params_.groupName, static_cast<int>(k), params_.extension));
    }
    std::int64_t DataLength(std::int64_t k) const {
        return k <= plan_.fullPieces ? params_.pieceSize : length_ - plan_.fullPieces * params_.pieceSize;
    }

    // The folder's lock, the source and its length as the split starts (the file may have
    // grown since the split was planned), and the targets.
    Status Prepare() {
        Status status = lock_.Lock(params_.destFolder, [this] { return progress_.StopRequested(); });
        if (status.ok()) {
            status = source_.OpenRead(params_.sourcePath);
        }
        if (!status.ok()) {
            return status;
        }
        status = source_.Size(&length_);
        if (status.ok()) {
            status = PlanTargets(params_, length_, &plan_);
        }
        if (status.ok() && plan_.clash && !params_.replaceOthers) {
            status = Status::InvalidArgument(Fill(Tr("%1 is already there: %2"), {plan_.clash->path, plan_.clash->holds}));
        }
        if (status.ok() && recovery_) {
            std::vector<std::string> names;
            for (std::int64_t k = 1; k <= plan_.pieceCount; ++k) {
                names.push_back(*PieceFileName(params_.groupName, static_cast<int>(k), params_.extension));
            }
            status = recovery::CheckRecoveryTargets(params_.destFolder, params_.groupName, names);
        }
        if (!status.ok()) {
            return status;
        }
        const std::optional<int> step = ProgressStep(progress_.Max(), plan_.fullPieces);
        if (!step) {
            return Status::InvalidArgument("the progress bar is too short for this many pieces");
        }
        step_ = *step;
        return Status::Ok();
    }

    void MakeHeader() {
        header_.PieceSize = params_.pieceSize;
        header_.PieceCount = static_cast<std::int32_t>(plan_.pieceCount);
        SetSourceLength(header_, length_);
        SetSourceName(header_, GetFileName(params_.sourcePath));
        SetSplitDate(header_, params_.splitDate);
        header_.GroupId = params_.groupId ? *params_.groupId : DrawGroupId();
        if (params_.dataCheck) {
            header_.DataHash.emplace();  // the marker now, the hash once the data is written
        }
    }

    // Hashes are taken on a worker while the next piece is written. With checksums the one
    // bar counts the bytes written and the bytes hashed together; the data hash alone costs
    // too little to show.
    void SetUpHashing() {
        onePass_ = recovery_ && recovery::OnePass(PieceFileSizes(length_, params_.pieceSize), params_.recoveryPercent);
        if (params_.checksums || params_.dataCheck) {
            pool_.emplace();
            if (!onePass_) {
                pool_->ShareCoresWithCopy();  // in one pass, once the data hashes are taken
            }
        }
        if (params_.checksums) {
            const std::int64_t fileBytes = length_ + static_cast<std::int64_t>(kHeaderSize) * plan_.pieceCount;
            both_.emplace(progress_, 2 * fileBytes + (params_.dataCheck ? length_ : 0), std::vector<HashPool*>{&*pool_});
        }
    }

    HashPool* pool() { return pool_ ? &*pool_ : nullptr; }

    // The pieces and the recovery data in the same pass.
    void WriteInOnePass() {
        std::vector<OnePassSplit::Piece> pieces;
        for (std::int64_t k = 1; k <= plan_.pieceCount; ++k) {
            OnePassSplit::Piece piece;
            piece.path = PiecePath(k);
            piece.start = (k - 1) * params_.pieceSize;
            piece.dataLength = DataLength(k);
            pieces.push_back(std::move(piece));
        }
        oneSplit_.emplace(params_, source_, pool(), std::move(pieces));
        result_.status = oneSplit_->HashSource(header_, hashBar_);
        if (result_.status.ok()) {
            result_.TakeRecovery(oneSplit_->Write(passBar_));
        }
        oneSplit_->Named(&result_.pieces, &checksumJobs_);
        replacedEarlier_ = oneSplit_->replacedEarlier();
        if (result_.status.ok() && pool_ && !pool_->Wait([this](std::int64_t) { return !whole_.StopRequested(); })) {
            result_.status = Status::Cancelled();
        }
        if (result_.status.ok() && pool_) {
            result_.status = pool_->FirstFailure();
        }
    }

    Status NamePending() {
        const std::string path = pending_.file.path();
        const Status named = NamePiece(pending_, pool(), params_.checksums, &replacedEarlier_, &checksumJobs_);
        if (named.ok()) {
            result_.pieces.push_back(path);
        }
        pending_ = {};
        return named;
    }

    // The pieces one after another, each named once the next is written, so its hash runs
    // meanwhile.
    void WritePieces() {
        std::int64_t written = 0;  // piece file bytes, headers included
        for (std::int64_t k = 1; k <= plan_.pieceCount && result_.status.ok(); ++k) {
            const bool full = k <= plan_.fullPieces;
            const std::int64_t dataLength = DataLength(k);
            header_.PieceIndex = static_cast<std::int32_t>(k);
            // Inside a piece the bar creeps towards the value it takes at the piece's end; the
            // short last piece moves it towards the end of the job.
            const int before = progress_.Value();
            const int after = full ? static_cast<int>(static_cast<float>(before) + static_cast<float>(step_))
                                   : progress_.Max();
            ByteMeter meter(progress_, dataLength, after);
            const io::CopyTick tick = [&](std::int64_t done) {
                return both_ ? both_->Copied(written + static_cast<std::int64_t>(kHeaderSize) + done) : meter(done);
            };
            result_.status = progress_.StopRequested()
                                 ? Status::Cancelled()
                                 : WritePiece(source_, PiecePath(k), header_, dataLength, scratch_, tick, pool(), &next_);
            if (result_.status.ok() && pending_.file.IsOpen()) {
                result_.status = NamePending();
            }
            if (!result_.status.ok()) {
                break;
            }
            pending_ = std::move(next_);
            next_ = {};
            written += static_cast<std::int64_t>(kHeaderSize) + dataLength;
            if (full && !both_) {
                progress_.SetValue(after);
                progress_.SetPercentText(PercentText(progress_.Value(), progress_.Max()));
            }
            if (full || both_) {
                progress_.Yield();
            }
        }
        if (result_.status.ok() && pending_.file.IsOpen()) {
            result_.status = NamePending();
        }
        if (both_) {
            // A hash that failed and so stopped the writing is told as itself.
            result_.status = both_->Finish(result_.status, written);
        }
    }

    // What the earlier split left, the recovery files and the checksum file, once every
    // piece is there.
    Status Finish() {
        Status status;
        for (const std::string& leftover : plan_.leftovers) {
            if (status.ok()) {
                status = io::RemoveFile(leftover);
                replacedEarlier_ = true;
            }
        }
        // Recovery files of the earlier split speak for pieces that are gone: replaced or
        // removed, before the checksum file, which comes last.
        if (status.ok() && recovery_ && !onePass_) {
            result_.TakeRecovery(recovery::WriteRecoveryFiles(result_.pieces, params_.destFolder, params_.groupName,
                                                              params_.recoveryPercent, recoveryBar_));
            status = result_.status;
        } else if (status.ok() && !recovery_) {
            std::vector<std::string> others;
            status = recovery::RemoveOwnRecoveryFiles(params_.destFolder, params_.groupName, result_.pieces, &others);
        }
        const std::string checksumPath = ChecksumFilePath(params_.destFolder, params_.groupName);
        if (status.ok() && params_.checksums) {
            // Written last, and only once every piece is there.
            const std::vector<std::string> digests = pool_->digests();
            std::vector<std::string> pieceDigests;
            for (const std::size_t job : checksumJobs_) {
                pieceDigests.push_back(digests[job]);
            }
            status = WriteChecksumFile(params_.destFolder, params_.groupName, header_.GroupId, result_.pieces,
                                       pieceDigests);
            result_.checksumFile = checksumPath;
        } else if (status.ok() && plan_.ownChecksumFile) {
            status = io::RemoveFile(checksumPath);  // it speaks for pieces that are gone
        }
        return status;
    }

    const SplitParams& params_;
    Progress& whole_;
    const bool recovery_;
    PartOfBar piecesBar_;
    PartOfBar recoveryBar_;
    PartOfBar hashBar_;
    PartOfBar passBar_;
    Progress& progress_;
    SplitResult result_;
    io::FolderLock lock_;
    io::File source_;
    std::int64_t length_ = 0;
    TargetPlan plan_;
    int step_ = 0;
    PieceHeader header_;
    bool onePass_ = false;
    bool replacedEarlier_ = false;
    std::vector<std::size_t> checksumJobs_;
    std::vector<char> scratch_;
    // The piece written last and the one being written, and the one-pass writer's pieces,
    // outlive the pool, whose workers may be feeding their digests.
    WrittenPiece pending_;
    WrittenPiece next_;
    std::optional<OnePassSplit> oneSplit_;
    std::optional<HashPool> pool_;
    std::optional<CopyHashBar> both_;
};

}  // namespace

SplitResult SplitFile(const SplitParams& params, Progress& whole) { return Splitter(params, whole).Run(); }

}  // namespace brindle
