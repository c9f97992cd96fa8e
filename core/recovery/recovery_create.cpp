#include <algorithm>
#include <cstring>
#include <numeric>
#include <optional>

#include "io/atomic_file.h"
#include "recovery/coding.h"
#include "recovery/recovery_internal.h"
#include "shell/paths.h"

// Making recovery files: the set's plan, its arithmetic and its files.
namespace brindle::recovery {
namespace {

constexpr const char* kCreator = "Tarnwick Brindle";

std::string VolumeName(const std::string& name, int first, int count, int width) {
    const auto padded = [width](int number) {
        std::string text = std::to_string(number);
        return std::string(static_cast<std::size_t>(std::max(0, width - static_cast<int>(text.size()))), '0') + text;
    };
    return name + ".vol" + padded(first) + "+" + padded(count) + ".par2";
}

// The recovery files of a feed's files; the feed reads each block once, in the set's order,
// unless the set takes more than one pass. Each step goes on only while the status is ok.
class SetWriter {
public:
    SetWriter(const Feed& feed, const std::string& folder, const std::string& name, int percent, Progress& progress)
        : feed_(feed), folder_(folder), name_(name), progress_(progress), plan_(PlanFor(feed.sizes, percent)) {}

    WriteResult Write() {
        result_.status = OwnFiles(folder_, name_, feed_.files, &earlier_, nullptr);
        if (!result_.status.ok()) {
            return result_;
        }
        result_.plan = plan_;
        Describe();
        PlanVolumes();
        HashWholeFiles();
        OpenOutputs();
        Encode();
        WriteDescription();
        Name();
        return std::move(result_);
    }

private:
    struct Slice {
        std::size_t file;
        std::int64_t index;
    };
    struct Volume {
        std::string path;
        int first;
        int count;
    };

    // The files' entries, the set's id and its input blocks, in the set's order.
    void Describe() {
        const std::vector<std::string>& files = feed_.files;
        entries_.resize(files.size());
        for (std::size_t f = 0; f < files.size(); ++f) {
            entries_[f].name = GetFileName(files[f]);
            entries_[f].length = static_cast<std::uint64_t>(feed_.sizes[f]);
            entries_[f].headMd5 = par2::Md5Of(feed_.heads[f]);
            entries_[f].id = par2::FileId(entries_[f].headMd5, entries_[f].length, entries_[f].name);
        }
        order_.resize(files.size());
        std::iota(order_.begin(), order_.end(), 0);
        std::sort(order_.begin(), order_.end(),
                  [this](std::size_t a, std::size_t b) { return par2::IdBefore(entries_[a].id, entries_[b].id); });
        std::vector<Md5> ids;
        for (const std::size_t f : order_) {
            ids.push_back(entries_[f].id);
        }
        mainBody_ = par2::MainBody(static_cast<std::uint64_t>(plan_.blockSize), ids);
        setId_ = par2::Md5Of(mainBody_);
        for (const std::size_t f : order_) {
            for (std::int64_t s = 0; s < Blocks(feed_.sizes[f], plan_.blockSize); ++s) {
                slices_.push_back({f, s});
            }
        }
        recoveryBlocks_ = static_cast<std::size_t>(plan_.recoveryBlocks);
        fileMd5_ = NewDigests(files.size(), DigestKind::kMd5);
        sliceMd5_ = NewDigests(slices_.size(), DigestKind::kMd5);
        sliceCrc_ = NewDigests(slices_.size(), DigestKind::kCrc32);
        for (std::size_t f = 0; f < files.size(); ++f) {
            entries_[f].slices.resize(static_cast<std::size_t>(Blocks(feed_.sizes[f], plan_.blockSize)));
        }
        packetMd5_ = NewDigests(recoveryBlocks_, DigestKind::kMd5);
        for (std::size_t k = 0; k < recoveryBlocks_; ++k) {
            const std::string prefix = par2::RecoveryHashPrefix(setId_, static_cast<std::uint32_t>(k));
            packetMd5_[k]->Update(prefix.data(), prefix.size());
        }
    }

    // NAME.par2 with the description alone, then volumes of 1, 2, 4... blocks, at most one
    // largest file's worth each, every one with the description too.
    void PlanVolumes() {
        const std::vector<std::int64_t>& sizes = feed_.sizes;
        const int perVolume = static_cast<int>(
            std::max<std::int64_t>(1, Blocks(*std::max_element(sizes.begin(), sizes.end()), plan_.blockSize)));
        const int width = std::max(2, static_cast<int>(std::to_string(plan_.recoveryBlocks).size()));
        for (int first = 0, count = 1; first < plan_.recoveryBlocks; first += count, count = std::min(count * 2, perVolume)) {
            count = std::min(count, plan_.recoveryBlocks - first);
            volumes_.push_back({JoinPath(folder_, VolumeName(name_, first, count, width)), first, count});
            if (count == plan_.recoveryBlocks - first) {
                break;
            }
        }
    }

    // The whole-file hashes need the files in order, which passes over stretches are not:
    // with more than one pass they are read once first.
    void HashWholeFiles() {
        const std::vector<std::int64_t>& sizes = feed_.sizes;
        passes_ = Passes(plan_.blockSize, recoveryBlocks_);
        const std::int64_t totalBytes = std::accumulate(sizes.begin(), sizes.end(), std::int64_t{0});
        const std::int64_t work = static_cast<std::int64_t>(passes_) * static_cast<std::int64_t>(slices_.size()) * plan_.blockSize +
                                  (passes_ > 1 ? totalBytes : 0);
        meter_.emplace(progress_, std::max<std::int64_t>(work, 1), progress_.Max());
        if (passes_ == 1) {
            return;
        }
        std::vector<char> buffer(kChunk);
        for (std::size_t f = 0; f < feed_.files.size() && result_.status.ok(); ++f) {
            for (std::int64_t done = 0; done < sizes[f] && result_.status.ok();) {
                const auto n = static_cast<std::size_t>(std::min<std::int64_t>(sizes[f] - done, static_cast<std::int64_t>(kChunk)));
                result_.status = feed_.read(f, done, reinterpret_cast<unsigned char*>(buffer.data()), n);
                fileMd5_[f]->Update(buffer.data(), n);
                done += static_cast<std::int64_t>(n);
                if (result_.status.ok() && !(*meter_)(before_ + done)) {
                    result_.status = Status::Cancelled();
                }
            }
            before_ += sizes[f];
        }
    }

    // Temporaries, each part written at its place: the recovery data by stretches, the
    // packets' headers and the description once every hash is known.
    void OpenOutputs() {
        const auto open = [this](const std::string& path) {
            outputs_.push_back(std::make_unique<io::AtomicFile>(path, io::AtomicFile::Flush::kNever));
            return outputs_.back()->Open();
        };
        if (result_.status.ok()) {
            result_.status = open(IndexPath(folder_, name_));
        }
        dataOffset_.resize(recoveryBlocks_);
        for (const Volume& volume : volumes_) {
            if (!result_.status.ok()) {
                break;
            }
            result_.status = open(volume.path);
            std::int64_t at = 0;
            for (int k = volume.first; k < volume.first + volume.count; ++k) {
                const std::size_t header = par2::RecoveryHeader(setId_, static_cast<std::uint32_t>(k), static_cast<std::uint64_t>(plan_.blockSize), {}).size();
                dataOffset_[static_cast<std::size_t>(k)] = at + static_cast<std::int64_t>(header);
                at += static_cast<std::int64_t>(header) + plan_.blockSize;
            }
            volumeEnd_.push_back(at);
        }
    }

    std::size_t VolumeOf(std::size_t k) const {
        std::size_t v = 0;
        while (v + 1 < volumes_.size() && static_cast<std::size_t>(volumes_[v + 1].first) <= k) {
            ++v;
        }
        return v + 1;  // outputs_[0] is NAME.par2
    }

    // The recovery blocks, written as the arithmetic makes them.
    void Encode() {
        if (!result_.status.ok()) {
            return;
        }
        const std::vector<std::int64_t>& sizes = feed_.sizes;
        Coding coding;
        coding.blockSize = plan_.blockSize;
        coding.inputs = slices_.size();
        coding.outputs = recoveryBlocks_;
        coding.coefficients.resize(coding.inputs * coding.outputs);
        for (std::size_t k = 0; k < coding.outputs; ++k) {
            for (std::size_t i = 0; i < coding.inputs; ++i) {
                coding.coefficients[k * coding.inputs + i] = InputConstantPower(i, static_cast<std::uint32_t>(k));
            }
        }
        coding.read = [&](std::size_t input, std::int64_t offset, unsigned char* buffer, std::size_t n) {
            const Slice& slice = slices_[input];
            const std::int64_t start = slice.index * plan_.blockSize + offset;
            const std::int64_t there = std::clamp<std::int64_t>(sizes[slice.file] - start, 0, static_cast<std::int64_t>(n));
            std::memset(buffer + there, 0, n - static_cast<std::size_t>(there));
            return there == 0 ? Status::Ok() : feed_.read(slice.file, start, buffer, static_cast<std::size_t>(there));
        };
        // The hashes run beside the arithmetic, each on its own worker: the block's MD5, its
        // CRC-32 and, in a single pass, the file's MD5.
        coding.lanes = 2;
        coding.inOrder = passes_ == 1;
        coding.look = [&](int lane, std::size_t input, std::int64_t offset, const unsigned char* data, std::size_t n) {
            const Slice& slice = slices_[input];
            if (lane == 0) {
                sliceMd5_[input]->Update(data, n);
            } else if (lane == 1) {
                sliceCrc_[input]->Update(data, n);
            } else {
                const std::int64_t start = slice.index * plan_.blockSize + offset;
                const std::int64_t there = std::min<std::int64_t>(static_cast<std::int64_t>(n), sizes[slice.file] - start);
                fileMd5_[slice.file]->Update(data, static_cast<std::size_t>(std::max<std::int64_t>(there, 0)));
            }
        };
        coding.done = [&](std::int64_t offset, const std::vector<unsigned char*>& data, std::size_t n) {
            HashEach(lanes_, packetMd5_, data, n);
            Status status;
            for (std::size_t k = 0; k < recoveryBlocks_ && status.ok(); ++k) {
                status = outputs_[VolumeOf(k)]->file().WriteAt(dataOffset_[k] + offset, data[k], n);
            }
            lanes_.Wait();
            return status;
        };
        coding.tick = [&](std::int64_t bytes) { return (*meter_)(before_ + bytes); };
        result_.status = RunCoding(coding);
    }

    // The description, now that every hash is known, and the packets' headers.
    void WriteDescription() {
        std::string description = par2::Packet(setId_, par2::kMainType, mainBody_);
        description += par2::Packet(setId_, par2::kCreatorType, par2::CreatorBody(kCreator));
        if (result_.status.ok()) {
            for (std::size_t i = 0; i < slices_.size(); ++i) {
                par2::SliceCheck& check = entries_[slices_[i].file].slices[static_cast<std::size_t>(slices_[i].index)];
                check.md5 = ToMd5(sliceMd5_[i]->RawDigest());
                check.crc = Crc(*sliceCrc_[i]);
            }
            for (const std::size_t f : order_) {
                entries_[f].md5 = ToMd5(fileMd5_[f]->RawDigest());
                description += par2::Packet(setId_, par2::kFileDescType, par2::FileDescBody(entries_[f]));
                description += par2::Packet(setId_, par2::kIfscType, par2::IfscBody(entries_[f]));
            }
            result_.status = outputs_[0]->file().WriteAll(description.data(), description.size());
        }
        for (std::size_t k = 0; k < recoveryBlocks_ && result_.status.ok(); ++k) {
            const std::string header = par2::RecoveryHeader(setId_, static_cast<std::uint32_t>(k), static_cast<std::uint64_t>(plan_.blockSize),
                                                            ToMd5(packetMd5_[k]->RawDigest()));
            result_.status = outputs_[VolumeOf(k)]->file().WriteAt(dataOffset_[k] - static_cast<std::int64_t>(header.size()), header.data(), header.size());
        }
        for (std::size_t v = 1; v < outputs_.size() && result_.status.ok(); ++v) {
            result_.status = outputs_[v]->file().WriteAt(volumeEnd_[v - 1], description.data(), description.size());
        }
        if (result_.status.ok() && feed_.written) {
            result_.status = feed_.written();
        }
        if (result_.status.ok() && progress_.StopRequested()) {
            result_.status = Status::Cancelled();
        }
    }

    // Named only once all are written; an earlier set's files that are not replaced go.
    void Name() {
        std::vector<std::string> named;
        for (std::size_t v = 0; v < outputs_.size() && result_.status.ok(); ++v) {
            const std::string target = v == 0 ? IndexPath(folder_, name_) : volumes_[v - 1].path;
            result_.status = outputs_[v]->Commit(io::AtomicFile::Move::kReplace);
            if (result_.status.ok()) {
                named.push_back(target);
            }
        }
        for (const std::string& path : earlier_) {
            if (result_.status.ok() && std::find(named.begin(), named.end(), path) == named.end()) {
                result_.status = io::RemoveFile(path);
            }
        }
        if (!result_.status.ok()) {
            for (const std::string& path : named) {
                (void)io::RemoveFile(path);
            }
            return;
        }
        result_.files = named;
    }

    const Feed& feed_;
    const std::string& folder_;
    const std::string& name_;
    Progress& progress_;
    const Plan plan_;
    WriteResult result_;
    std::vector<std::string> earlier_;
    std::vector<par2::FileEntry> entries_;
    std::vector<std::size_t> order_;
    std::string mainBody_;
    Md5 setId_{};
    std::vector<Slice> slices_;
    std::size_t recoveryBlocks_ = 0;
    std::vector<Volume> volumes_;
    Digests fileMd5_;
    Digests sliceMd5_;
    Digests sliceCrc_;
    Digests packetMd5_;
    HashPool lanes_;  // the packets' hashes, beside the writing; goes before the digests it feeds
    int passes_ = 1;
    std::optional<ByteMeter> meter_;
    std::int64_t before_ = 0;  // bytes read before the coding: the files' own hashes
    std::vector<std::unique_ptr<io::AtomicFile>> outputs_;
    std::vector<std::int64_t> dataOffset_;
    std::vector<std::int64_t> volumeEnd_;
};

}  // namespace

Plan PlanFor(const std::vector<std::int64_t>& fileSizes, int percent) {
    Plan plan;
    const std::int64_t largest = fileSizes.empty() ? 0 : *std::max_element(fileSizes.begin(), fileSizes.end());
    std::int64_t blockSize = std::max<std::int64_t>(4, (largest + kBlocksPerPiece - 1) / kBlocksPerPiece);
    blockSize = (blockSize + 3) / 4 * 4;
    const auto count = [&fileSizes](std::int64_t size) {
        std::int64_t blocks = 0;
        for (const std::int64_t file : fileSizes) {
            blocks += Blocks(file, size);
        }
        return blocks;
    };
    while (count(blockSize) > kMaxBlocks) {
        blockSize *= 2;
    }
    plan.blockSize = blockSize;
    plan.sourceBlocks = static_cast<int>(count(blockSize));
    percent = std::clamp(percent, kMinPercent, kMaxPercent);
    plan.recoveryBlocks = std::max(1, static_cast<int>((static_cast<std::int64_t>(plan.sourceBlocks) * percent + 99) / 100));
    std::vector<std::int64_t> blocks;
    for (const std::int64_t file : fileSizes) {
        blocks.push_back(Blocks(file, blockSize));
    }
    std::sort(blocks.rbegin(), blocks.rend());
    std::int64_t left = plan.recoveryBlocks;
    for (const std::int64_t file : blocks) {
        if (file > left) {
            break;
        }
        left -= file;
        ++plan.rebuildableFiles;
    }
    return plan;
}

bool OnePass(const std::vector<std::int64_t>& fileSizes, int percent) {
    if (ReadingBack()) {
        return false;
    }
    const Plan plan = PlanFor(fileSizes, percent);
    return Passes(plan.blockSize, static_cast<std::size_t>(plan.recoveryBlocks)) == 1;
}

WriteResult WriteRecoveryFiles(const Feed& feed, const std::string& folder, const std::string& name, int percent,
                               Progress& progress) {
    if (!OnePass(feed.sizes, percent)) {
        return {Status::InvalidArgument("recovery data too large to make as the files are written"), {}, {}};
    }
    return SetWriter(feed, folder, name, percent, progress).Write();
}

WriteResult WriteRecoveryFiles(const std::vector<std::string>& files, const std::string& folder,
                               const std::string& name, int percent, Progress& progress) {
    Feed feed;
    feed.files = files;
    Status status;
    for (std::size_t f = 0; f < files.size() && status.ok(); ++f) {
        io::File file;
        std::int64_t size = 0;
        status = file.OpenRead(files[f]);
        if (status.ok()) {
            status = file.Size(&size);
        }
        std::string head(static_cast<std::size_t>(std::min<std::int64_t>(size, par2::kHeadBytes)), '\0');
        if (status.ok()) {
            status = file.ReadExact(head.data(), head.size());
        }
        feed.sizes.push_back(size);
        feed.heads.push_back(std::move(head));
    }
    if (!status.ok()) {
        return {status, {}, {}};
    }
    Reader reader;
    feed.read = [&reader, &files](std::size_t file, std::int64_t offset, unsigned char* buffer, std::size_t n) {
        return reader.ReadAt(files[file], offset, buffer, n);
    };
    return SetWriter(feed, folder, name, percent, progress).Write();
}

}  // namespace brindle::recovery
