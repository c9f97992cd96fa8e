#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>

#include "recovery/coding.h"
#include "recovery/recovery_internal.h"
#include "shell/paths.h"
#include "shell/translate.h"

// Rebuilding the faulty files of a check, into temporaries or in one pass with a join.
namespace brindle::recovery {
namespace {

// A damaged file stands aside under this hidden name while the rebuilt one takes its place.
constexpr const char* kAsidePrefix = ".brindle-damaged-";


Status WriteZeros(io::File& file, std::int64_t n) {
    static const std::vector<char> zeros(kChunk, 0);
    for (std::int64_t done = 0; done < n;) {
        const auto step = static_cast<std::size_t>(std::min<std::int64_t>(n - done, static_cast<std::int64_t>(kChunk)));
        if (Status status = file.WriteAll(zeros.data(), step); !status.ok()) {
            return status;
        }
        done += static_cast<std::int64_t>(step);
    }
    return Status::Ok();
}

// The inverse of a square matrix in GF(2^16), or nothing when it has none.
std::optional<std::vector<Gf>> Inverse(std::vector<Gf> a, std::size_t n) {
    std::vector<Gf> inverse(n * n, 0);
    for (std::size_t i = 0; i < n; ++i) {
        inverse[i * n + i] = 1;
    }
    for (std::size_t column = 0; column < n; ++column) {
        std::size_t pivot = column;
        while (pivot < n && a[pivot * n + column] == 0) {
            ++pivot;
        }
        if (pivot == n) {
            return std::nullopt;
        }
        for (std::size_t j = 0; j < n; ++j) {
            std::swap(a[pivot * n + j], a[column * n + j]);
            std::swap(inverse[pivot * n + j], inverse[column * n + j]);
        }
        const Gf scale = GfDiv(1, a[column * n + column]);
        for (std::size_t j = 0; j < n; ++j) {
            a[column * n + j] = GfMul(a[column * n + j], scale);
            inverse[column * n + j] = GfMul(inverse[column * n + j], scale);
        }
        for (std::size_t row = 0; row < n; ++row) {
            const Gf factor = a[row * n + column];
            if (row == column || factor == 0) {
                continue;
            }
            for (std::size_t j = 0; j < n; ++j) {
                a[row * n + j] = static_cast<Gf>(a[row * n + j] ^ GfMul(factor, a[column * n + j]));
                inverse[row * n + j] = static_cast<Gf>(inverse[row * n + j] ^ GfMul(factor, inverse[column * n + j]));
            }
        }
    }
    return inverse;
}

}  // namespace

Rebuilt::~Rebuilt() { RemoveAll(); }

Rebuilt::Rebuilt(Rebuilt&& other) noexcept : status(std::move(other.status)), entries_(std::move(other.entries_)) {
    other.entries_.clear();
}

Rebuilt& Rebuilt::operator=(Rebuilt&& other) noexcept {
    if (this != &other) {
        RemoveAll();
        status = std::move(other.status);
        entries_ = std::move(other.entries_);
        other.entries_.clear();
    }
    return *this;
}

void Rebuilt::Add(std::size_t index, std::string temporary) { entries_.push_back({index, std::move(temporary)}); }

void Rebuilt::RemoveAll() {
    for (const Entry& entry : entries_) {
        (void)io::RemoveFile(entry.temporary);
    }
    entries_.clear();
}

std::vector<std::string> Rebuilt::Substituted(const std::vector<std::string>& files) const {
    std::vector<std::string> result = files;
    for (const Entry& entry : entries_) {
        if (entry.index < result.size()) {
            result[entry.index] = entry.temporary;
        }
    }
    return result;
}

namespace {

// Only a regular file of the user's is ever moved aside for a rebuilt one: a folder or a
// link there is theirs to keep.
Status RegularOrNothing(const std::string& path) {
    bool link = false;
    io::FileType type = io::FileType::kNone;
    Status status = io::IsSymlink(path, &link);
    if (status.ok()) {
        status = io::TypeAt(path, &type);
    }
    if (status.ok() && (link || type == io::FileType::kOther)) {
        return Status::InvalidArgument(
            Fill(Tr("%1 is not a regular file; move it away and repair again. Nothing was changed"), {path}));
    }
    return status;
}

}  // namespace

Status PlacesFree(const Input& input, const Check& check) {
    for (std::size_t f = 0; f < input.files.size() && f < check.files.size(); ++f) {
        if (check.files[f].state != FileState::kOk) {
            if (Status status = RegularOrNothing(input.files[f]); !status.ok()) {
                return status;
            }
        }
    }
    return Status::Ok();
}

Status Rebuilt::PutInPlace(const std::vector<std::string>& files) {
    for (const Entry& entry : entries_) {
        if (Status free = entry.index < files.size() ? RegularOrNothing(files[entry.index]) : Status::Ok();
            !free.ok()) {
            return free;
        }
    }
    Status moved;
    std::vector<Entry> left;
    for (const Entry& entry : entries_) {
        if (!moved.ok() || entry.index >= files.size()) {
            left.push_back(entry);
            continue;
        }
        const std::string& target = files[entry.index];
        const std::string aside = JoinPath(GetFolderName(target), kAsidePrefix + GetFileName(target));
        io::FileType type = io::FileType::kNone;
        moved = io::TypeAt(target, &type);
        const bool there = moved.ok() && type != io::FileType::kNone;
        if (there) {
            moved = io::MoveNoReplace(target, aside);
        }
        if (moved.ok()) {
            moved = io::MoveNoReplace(entry.temporary, target);
            if (!moved.ok() && there) {
                (void)io::MoveNoReplace(aside, target);
            }
        }
        if (moved.ok() && there) {
            moved = io::RemoveFile(aside);
        }
        if (!moved.ok()) {
            left.push_back(entry);
        }
    }
    entries_ = left;
    return moved;
}

namespace {

struct Slice {
    std::size_t file;     // in Input::files
    std::int64_t index;   // of the block within the file
    std::size_t global;   // of the block within the set
};

// The lost blocks as sums of the kept ones and the recovery blocks.
struct RebuildPlan {
    Status status;
    std::vector<Slice> lost;  // both in the order of Input::files, then of their blocks
    std::vector<Slice> kept;
    std::vector<const par2::RecoveryBlock*> blocks;
    Coding coding;  // inputs: the kept blocks, then the recovery blocks; outputs: the lost
};

RebuildPlan PlanRebuild(const Found& found) {
    RebuildPlan plan;
    const par2::Set& set = found.set;
    // Every input block of the set: which are lost, which are there. The sums do not care in
    // which order the inputs come, so they come in the files' own order, as a join reads them.
    std::vector<std::size_t> first(found.badSlices.size(), 0);
    std::size_t global = 0;
    for (const std::size_t f : found.order) {
        first[f] = global;
        global += found.badSlices[f].size();
    }
    for (std::size_t f = 0; f < found.badSlices.size(); ++f) {
        for (std::size_t s = 0; s < found.badSlices[f].size(); ++s) {
            (found.badSlices[f][s] ? plan.lost : plan.kept).push_back({f, static_cast<std::int64_t>(s), first[f] + s});
        }
    }
    for (const auto& [exponent, block] : set.blocks) {
        if (plan.blocks.size() < plan.lost.size() && block.bytes == set.sliceSize && exponent < 65535) {
            plan.blocks.push_back(&block);
        }
    }
    const std::vector<Slice>& lost = plan.lost;
    const std::vector<Slice>& kept = plan.kept;
    const std::vector<const par2::RecoveryBlock*>& blocks = plan.blocks;
    const std::size_t m = lost.size();
    // recovery[r] = sum over kept of c^e * data + sum over lost of c^e * x: solve for x.
    std::vector<Gf> matrix(m * m);
    for (std::size_t r = 0; r < m; ++r) {
        for (std::size_t k = 0; k < m; ++k) {
            matrix[r * m + k] = InputConstantPower(lost[k].global, blocks[r]->exponent);
        }
    }
    const std::optional<std::vector<Gf>> inverse = Inverse(matrix, m);
    if (!inverse) {
        plan.status = Status::Corruption(Tr("the recovery blocks at hand cannot rebuild these blocks"));
        return plan;
    }
    Coding& coding = plan.coding;
    coding.blockSize = static_cast<std::int64_t>(set.sliceSize);
    coding.inputs = kept.size() + m;
    coding.outputs = m;
    coding.coefficients.assign(coding.inputs * coding.outputs, 0);
    std::vector<Gf> powers(m);
    for (std::size_t i = 0; i < kept.size(); ++i) {
        for (std::size_t r = 0; r < m; ++r) {
            powers[r] = InputConstantPower(kept[i].global, blocks[r]->exponent);
        }
        for (std::size_t k = 0; k < m; ++k) {
            Gf sum = 0;
            for (std::size_t r = 0; r < m; ++r) {
                sum = static_cast<Gf>(sum ^ GfMul((*inverse)[k * m + r], powers[r]));
            }
            coding.coefficients[k * coding.inputs + i] = sum;
        }
    }
    for (std::size_t k = 0; k < m; ++k) {
        for (std::size_t r = 0; r < m; ++r) {
            coding.coefficients[k * coding.inputs + kept.size() + r] = (*inverse)[k * m + r];
        }
    }
    return plan;
}

// The bytes of `slice` from `offset` within its block that its file holds, of `n` there.
std::size_t RealBytes(const Found& found, const Slice& slice, std::int64_t blockSize, std::int64_t offset, std::size_t n) {
    const std::int64_t start = slice.index * blockSize + offset;
    return static_cast<std::size_t>(std::clamp<std::int64_t>(
        static_cast<std::int64_t>(found.entries[slice.file]->length) - start, 0, static_cast<std::int64_t>(n)));
}

// Reads input `i` of `plan`'s coding: a kept block (zeros past its file's end) or a recovery block.
Status ReadInput(const RebuildPlan& plan, const Found& found, const Input& input, Reader& reader, std::size_t i,
                 std::int64_t offset, unsigned char* buffer, std::size_t n) {
    if (i >= plan.kept.size()) {
        const par2::RecoveryBlock& block = *plan.blocks[i - plan.kept.size()];
        return reader.ReadAt(found.recoveryFiles[block.source], block.offset + offset, buffer, n);
    }
    const Slice& slice = plan.kept[i];
    const std::size_t real = RealBytes(found, slice, plan.coding.blockSize, offset, n);
    std::memset(buffer + real, 0, n - real);
    return real == 0 ? Status::Ok()
                     : reader.ReadAt(input.files[slice.file], slice.index * plan.coding.blockSize + offset, buffer, real);
}

// Whether each rebuilt block, hashed into `md5` (its padding too), is the one the recovery
// set describes: Corruption naming the first file that is not.
Status CheckRebuilt(const Found& found, const Input& input, const std::vector<Slice>& lost, const Digests& md5) {
    for (std::size_t k = 0; k < lost.size(); ++k) {
        if (ToMd5(md5[k]->RawDigest()) != found.entries[lost[k].file]->slices[static_cast<std::size_t>(lost[k].index)].md5) {
            return Status::Corruption(Fill(Tr("the rebuilt %1 does not match the recovery files"),
                                           {GetFileName(input.files[lost[k].file])}));
        }
    }
    return Status::Ok();
}

// Whether the rebuilt file at `path` is, whole, the file `entry` describes (its MD5, which
// blocks alike do not prove): Corruption naming `shown` when not.
Status CheckWhole(const std::string& path, const par2::FileEntry& entry, const std::string& shown, Progress& progress) {
    io::File file;
    std::int64_t size = 0;
    Status status = file.OpenRead(path);
    if (status.ok()) {
        status = file.Size(&size);
    }
    Digest md5(DigestKind::kMd5);
    std::vector<unsigned char> buffer(kChunk);
    for (std::int64_t done = 0; status.ok() && done < size;) {
        if (progress.StopRequested()) {
            return Status::Cancelled();
        }
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(size - done, static_cast<std::int64_t>(kChunk)));
        status = file.ReadExact(buffer.data(), n);
        md5.Update(buffer.data(), n);
        done += static_cast<std::int64_t>(n);
    }
    if (status.ok() && (static_cast<std::uint64_t>(size) != entry.length || ToMd5(md5.RawDigest()) != entry.md5)) {
        status = Status::Corruption(Fill(Tr("the rebuilt %1 does not match the recovery files"), {GetFileName(shown)}));
    }
    return status;
}

// The temporaries of the faulty files of `check`, beside them or else beside `spareBeside`:
// the good blocks copied, the lost ones zero until they are rebuilt.
Status MakeTemporaries(const Input& input, const Check& check, const std::string& spareBeside, Progress& progress,
                       Reader& reader, std::vector<io::File>* temporaries, Rebuilt* rebuilt) {
    const Found& found = *check.found;
    const std::int64_t blockSize = check.blockSize;
    std::vector<unsigned char> scratch(kChunk);
    Status status;
    for (std::size_t f = 0; f < input.files.size() && status.ok(); ++f) {
        if (check.files[f].state == FileState::kOk) {
            continue;
        }
        std::string temporary;
        status = (*temporaries)[f].CreateTempBeside(input.files[f], &temporary);
        if (!status.ok() && !spareBeside.empty()) {
            status = (*temporaries)[f].CreateTempBeside(spareBeside, &temporary);
        }
        if (!status.ok()) {
            break;
        }
        rebuilt->Add(f, temporary);
        const auto length = static_cast<std::int64_t>(found.entries[f]->length);
        for (std::size_t s = 0; s < found.badSlices[f].size() && status.ok(); ++s) {
            const std::int64_t start = static_cast<std::int64_t>(s) * blockSize;
            const std::int64_t n = std::min(blockSize, length - start);
            if (found.badSlices[f][s]) {
                status = WriteZeros((*temporaries)[f], n);
                continue;
            }
            // The copy is checked as it is made: the file may have changed since it was read.
            Digest md5(DigestKind::kMd5);
            for (std::int64_t done = 0; done < n && status.ok();) {
                if (progress.StopRequested()) {
                    status = Status::Cancelled();
                    break;
                }
                const auto step = static_cast<std::size_t>(std::min<std::int64_t>(n - done, static_cast<std::int64_t>(kChunk)));
                status = reader.ReadAt(input.files[f], start + done, scratch.data(), step);
                if (status.ok()) {
                    md5.Update(scratch.data(), step);
                    status = (*temporaries)[f].WriteAll(scratch.data(), step);
                }
                done += static_cast<std::int64_t>(step);
            }
            for (std::int64_t pad = n; pad < blockSize; pad += static_cast<std::int64_t>(kChunk)) {
                std::fill(scratch.begin(), scratch.end(), 0);
                md5.Update(scratch.data(), static_cast<std::size_t>(std::min<std::int64_t>(blockSize - pad, static_cast<std::int64_t>(kChunk))));
            }
            if (status.ok() && ToMd5(md5.RawDigest()) != found.entries[f]->slices[s].md5) {
                status = Status::Corruption(
                    Fill(Tr("%1 changed while it was rebuilt"), {GetFileName(input.files[f])}));
            }
        }
    }
    return status;
}

}  // namespace

Rebuilt RebuildFiles(const Input& input, const Check& check, Progress& progress,
                     const std::string& spareBeside) {
    Rebuilt rebuilt;
    if (!check.CanRebuild() || !check.found) {
        rebuilt.status = Status::InvalidArgument(Summary(check));
        return rebuilt;
    }
    const Found& found = *check.found;
    RebuildPlan plan = PlanRebuild(found);
    if (!plan.status.ok()) {
        rebuilt.status = plan.status;
        return rebuilt;
    }
    const std::int64_t blockSize = plan.coding.blockSize;
    const std::vector<Slice>& lost = plan.lost;
    const std::size_t m = lost.size();
    Coding& coding = plan.coding;
    // The temporaries: the good blocks copied, the lost ones zero until they are rebuilt.
    std::vector<io::File> temporaries(input.files.size());
    Reader reader;
    rebuilt.status = MakeTemporaries(input, check, spareBeside, progress, reader, &temporaries, &rebuilt);
    // Each rebuilt block is hashed as it is made (its padding too, as the recovery files hash
    // it) rather than read back.
    const Digests lostMd5 = NewDigests(m, DigestKind::kMd5);
    HashPool lanes;
    const int passes = Passes(blockSize, m);
    ByteMeter meter(progress, std::max<std::int64_t>(static_cast<std::int64_t>(passes) * static_cast<std::int64_t>(coding.inputs) * blockSize, 1),
                    progress.Max());
    if (rebuilt.status.ok()) {
        coding.read = [&](std::size_t i, std::int64_t offset, unsigned char* buffer, std::size_t n) {
            return ReadInput(plan, found, input, reader, i, offset, buffer, n);
        };
        coding.done = [&](std::int64_t offset, const std::vector<unsigned char*>& data, std::size_t n) {
            HashEach(lanes, lostMd5, data, n);
            Status status;
            for (std::size_t k = 0; k < m && status.ok(); ++k) {
                const std::size_t real = RealBytes(found, lost[k], blockSize, offset, n);
                if (real > 0) {
                    status = temporaries[lost[k].file].WriteAt(lost[k].index * blockSize + offset, data[k], real);
                }
            }
            lanes.Wait();
            return status;
        };
        coding.tick = [&meter](std::int64_t bytes) { return meter(bytes); };
        rebuilt.status = RunCoding(coding);
    }
    if (rebuilt.status.ok()) {
        rebuilt.status = CheckRebuilt(found, input, lost, lostMd5);
    }
    for (const Rebuilt::Entry& entry : rebuilt.entries()) {
        if (rebuilt.status.ok()) {
            rebuilt.status = temporaries[entry.index].Close();
        }
    }
    for (const Rebuilt::Entry& entry : rebuilt.entries()) {
        if (rebuilt.status.ok()) {
            rebuilt.status = CheckWhole(entry.temporary, *found.entries[entry.index], input.files[entry.index], progress);
        }
    }
    if (!rebuilt.status.ok()) {
        temporaries.clear();
        reader = Reader();
        rebuilt.RemoveAll();
    }
    return rebuilt;
}

bool FitsOnePass(const Check& check) {
    return !ReadingBack() && check.blocksNeeded > 0 && check.blockSize > 0 &&
           Passes(check.blockSize, static_cast<std::size_t>(check.blocksNeeded)) == 1;
}

std::vector<std::int64_t> RebuiltLengths(const Check& check) {
    std::vector<std::int64_t> lengths;
    for (std::size_t f = 0; f < check.files.size(); ++f) {
        const bool rebuilt = check.files[f].state != FileState::kOk && check.found && f < check.found->entries.size() &&
                             check.found->entries[f] != nullptr;
        lengths.push_back(rebuilt ? static_cast<std::int64_t>(check.found->entries[f]->length) : -1);
    }
    return lengths;
}

std::vector<std::string> FileMd5s(const Check& check) {
    std::vector<std::string> md5s;
    for (std::size_t f = 0; check.usable && check.found && f < check.found->entries.size(); ++f) {
        std::string hex;
        for (const unsigned char byte : check.found->entries[f]->md5) {
            hex += "0123456789abcdef"[byte >> 4];
            hex += "0123456789abcdef"[byte & 15];
        }
        md5s.push_back(std::move(hex));
    }
    return md5s;
}

Status RebuildInOnePass(const Input& input, const Check& check, const FileBytes& bytes,
                        const std::function<bool(std::int64_t done, std::int64_t total)>& tick) {
    if (!check.CanRebuild() || !check.found || !FitsOnePass(check)) {
        return Status::InvalidArgument(Summary(check));
    }
    const Found& found = *check.found;
    RebuildPlan plan = PlanRebuild(found);
    if (!plan.status.ok()) {
        return plan.status;
    }
    Coding& coding = plan.coding;
    const std::int64_t blockSize = coding.blockSize;
    const std::vector<Slice>& lost = plan.lost;
    const std::size_t kept = plan.kept.size();
    Reader reader;
    coding.read = [&](std::size_t i, std::int64_t offset, unsigned char* buffer, std::size_t n) {
        return ReadInput(plan, found, input, reader, i, offset, buffer, n);
    };
    // The kept blocks go on to `bytes` in order, on the one worker that sees every input,
    // beside the arithmetic; its failure stops the coding at the next tick.
    HashPool lanes;
    Status handed;
    std::mutex handedMutex;
    coding.inOrder = true;
    coding.look = [&](int, std::size_t i, std::int64_t offset, const unsigned char* data, std::size_t n) {
        if (i >= kept) {
            return;
        }
        std::lock_guard<std::mutex> lock(handedMutex);
        const Slice& slice = plan.kept[i];
        const std::size_t real = RealBytes(found, slice, blockSize, offset, n);
        if (handed.ok() && real > 0) {
            handed = bytes(slice.file, slice.index * blockSize + offset, data, real);
        }
    };
    const std::int64_t total = std::max<std::int64_t>(static_cast<std::int64_t>(coding.inputs) * blockSize, 1);
    coding.tick = [&](std::int64_t done) {
        std::lock_guard<std::mutex> lock(handedMutex);
        return handed.ok() && (!tick || tick(done, total));
    };
    // One pass: the lost blocks are whole here, checked against the recovery files before
    // any of their bytes is handed on.
    coding.done = [&](std::int64_t, const std::vector<unsigned char*>& data, std::size_t n) {
        const Digests md5 = NewDigests(lost.size(), DigestKind::kMd5);
        HashEach(lanes, md5, data, n);
        lanes.Wait();
        Status status = CheckRebuilt(found, input, lost, md5);
        // A file rebuilt whole is here whole: its MD5 too, before any of it is handed on.
        std::map<std::size_t, Digest> whole;
        for (std::size_t k = 0; k < lost.size() && status.ok(); ++k) {
            const std::size_t f = lost[k].file;
            if (check.files[f].state == FileState::kMissing) {
                whole.try_emplace(f, DigestKind::kMd5).first->second.Update(data[k], RealBytes(found, lost[k], blockSize, 0, n));
            }
        }
        for (auto& [f, digest] : whole) {
            if (status.ok() && ToMd5(digest.RawDigest()) != found.entries[f]->md5) {
                status = Status::Corruption(Fill(Tr("the rebuilt %1 does not match the recovery files"), {GetFileName(input.files[f])}));
            }
        }
        for (std::size_t k = 0; k < lost.size() && status.ok(); ++k) {
            const std::size_t real = RealBytes(found, lost[k], blockSize, 0, n);
            if (real > 0) {
                status = bytes(lost[k].file, lost[k].index * blockSize, data[k], real);
            }
        }
        return status;
    };
    const Status status = RunCoding(coding);
    return status.cancelled() && !handed.ok() ? handed : status;
}

}  // namespace brindle::recovery
