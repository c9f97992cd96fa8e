#include <algorithm>
#include <cstring>
#include <numeric>

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
// unless the set takes more than one pass.
WriteResult WriteSet(const Feed& feed, const std::string& folder, const std::string& name, int percent, Progress& progress) {
    const std::vector<std::string>& files = feed.files;
    const std::vector<std::int64_t>& sizes = feed.sizes;
    WriteResult result;
    std::vector<std::string> earlier;
    result.status = OwnFiles(folder, name, files, &earlier, nullptr);
    if (!result.status.ok()) {
        return result;
    }
    std::vector<par2::FileEntry> entries(files.size());
    for (std::size_t f = 0; f < files.size(); ++f) {
        entries[f].name = GetFileName(files[f]);
        entries[f].length = static_cast<std::uint64_t>(sizes[f]);
        entries[f].headMd5 = par2::Md5Of(feed.heads[f]);
        entries[f].id = par2::FileId(entries[f].headMd5, entries[f].length, entries[f].name);
    }
    const Plan plan = PlanFor(sizes, percent);
    result.plan = plan;
    std::vector<std::size_t> order(files.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(),
              [&entries](std::size_t a, std::size_t b) { return par2::IdBefore(entries[a].id, entries[b].id); });
    std::vector<Md5> ids;
    for (const std::size_t f : order) {
        ids.push_back(entries[f].id);
    }
    const std::string mainBody = par2::MainBody(static_cast<std::uint64_t>(plan.blockSize), ids);
    const Md5 setId = par2::Md5Of(mainBody);

    // Input blocks in the set's order.
    struct Slice {
        std::size_t file;
        std::int64_t index;
    };
    std::vector<Slice> slices;
    for (const std::size_t f : order) {
        for (std::int64_t s = 0; s < Blocks(sizes[f], plan.blockSize); ++s) {
            slices.push_back({f, s});
        }
    }
    const std::size_t recoveryBlocks = static_cast<std::size_t>(plan.recoveryBlocks);

    // The files: NAME.par2 with the description alone, then volumes of 1, 2, 4... blocks, at
    // most one largest file's worth each, every one with the description too.
    const int perVolume = static_cast<int>(std::max<std::int64_t>(1, Blocks(*std::max_element(sizes.begin(), sizes.end()), plan.blockSize)));
    struct Volume {
        std::string path;
        int first;
        int count;
    };
    std::vector<Volume> volumes;
    const int width = std::max(2, static_cast<int>(std::to_string(plan.recoveryBlocks).size()));
    for (int first = 0, count = 1; first < plan.recoveryBlocks; first += count, count = std::min(count * 2, perVolume)) {
        count = std::min(count, plan.recoveryBlocks - first);
        volumes.push_back({JoinPath(folder, VolumeName(name, first, count, width)), first, count});
        if (count == plan.recoveryBlocks - first) {
            break;
        }
    }
    // The description's packets, complete once the files are hashed.
    const Digests fileMd5 = NewDigests(files.size(), DigestKind::kMd5);
    const Digests sliceMd5 = NewDigests(slices.size(), DigestKind::kMd5);
    const Digests sliceCrc = NewDigests(slices.size(), DigestKind::kCrc32);
    for (std::size_t f = 0; f < files.size(); ++f) {
        entries[f].slices.resize(static_cast<std::size_t>(Blocks(sizes[f], plan.blockSize)));
    }
    const int passes = Passes(plan.blockSize, recoveryBlocks);
    const std::int64_t totalBytes = std::accumulate(sizes.begin(), sizes.end(), std::int64_t{0});
    const std::int64_t work = static_cast<std::int64_t>(passes) * static_cast<std::int64_t>(slices.size()) * plan.blockSize +
                              (passes > 1 ? totalBytes : 0);
    ByteMeter meter(progress, std::max<std::int64_t>(work, 1), progress.Max());
    std::int64_t before = 0;
    if (passes > 1) {
        // The whole-file hashes need the files in order, which passes over stretches are not.
        std::vector<char> buffer(kChunk);
        for (std::size_t f = 0; f < files.size() && result.status.ok(); ++f) {
            for (std::int64_t done = 0; done < sizes[f] && result.status.ok();) {
                const auto n = static_cast<std::size_t>(std::min<std::int64_t>(sizes[f] - done, static_cast<std::int64_t>(kChunk)));
                result.status = feed.read(f, done, reinterpret_cast<unsigned char*>(buffer.data()), n);
                fileMd5[f]->Update(buffer.data(), n);
                done += static_cast<std::int64_t>(n);
                if (result.status.ok() && !meter(before + done)) {
                    result.status = Status::Cancelled();
                }
            }
            before += sizes[f];
        }
    }
    // Temporaries, each part written at its place: the recovery data by stretches, the
    // packets' headers and the description once every hash is known.
    std::vector<std::unique_ptr<io::AtomicFile>> outputs;
    std::vector<std::int64_t> dataOffset(recoveryBlocks);
    std::vector<std::int64_t> volumeEnd;
    const auto open = [&](const std::string& path) {
        outputs.push_back(std::make_unique<io::AtomicFile>(path, io::AtomicFile::Flush::kNever));
        return outputs.back()->Open();
    };
    if (result.status.ok()) {
        result.status = open(IndexPath(folder, name));
    }
    for (const Volume& volume : volumes) {
        if (!result.status.ok()) {
            break;
        }
        result.status = open(volume.path);
        std::int64_t at = 0;
        for (int k = volume.first; k < volume.first + volume.count; ++k) {
            const std::size_t header = par2::RecoveryHeader(setId, static_cast<std::uint32_t>(k), static_cast<std::uint64_t>(plan.blockSize), {}).size();
            dataOffset[static_cast<std::size_t>(k)] = at + static_cast<std::int64_t>(header);
            at += static_cast<std::int64_t>(header) + plan.blockSize;
        }
        volumeEnd.push_back(at);
    }
    const Digests packetMd5 = NewDigests(recoveryBlocks, DigestKind::kMd5);
    HashPool lanes;  // the packets' hashes, beside the writing
    for (std::size_t k = 0; k < recoveryBlocks; ++k) {
        const std::string prefix = par2::RecoveryHashPrefix(setId, static_cast<std::uint32_t>(k));
        packetMd5[k]->Update(prefix.data(), prefix.size());
    }
    const auto volumeOf = [&volumes](std::size_t k) {
        std::size_t v = 0;
        while (v + 1 < volumes.size() && static_cast<std::size_t>(volumes[v + 1].first) <= k) {
            ++v;
        }
        return v + 1;  // outputs[0] is NAME.par2
    };
    if (result.status.ok()) {
        Coding coding;
        coding.blockSize = plan.blockSize;
        coding.inputs = slices.size();
        coding.outputs = recoveryBlocks;
        coding.coefficients.resize(coding.inputs * coding.outputs);
        for (std::size_t k = 0; k < coding.outputs; ++k) {
            for (std::size_t i = 0; i < coding.inputs; ++i) {
                coding.coefficients[k * coding.inputs + i] = InputConstantPower(i, static_cast<std::uint32_t>(k));
            }
        }
        coding.read = [&](std::size_t input, std::int64_t offset, unsigned char* buffer, std::size_t n) {
            const Slice& slice = slices[input];
            const std::int64_t start = slice.index * plan.blockSize + offset;
            const std::int64_t there = std::clamp<std::int64_t>(sizes[slice.file] - start, 0, static_cast<std::int64_t>(n));
            std::memset(buffer + there, 0, n - static_cast<std::size_t>(there));
            return there == 0 ? Status::Ok() : feed.read(slice.file, start, buffer, static_cast<std::size_t>(there));
        };
        // The hashes run beside the arithmetic, each on its own worker: the block's MD5, its
        // CRC-32 and, in a single pass, the file's MD5.
        coding.lanes = 2;
        coding.inOrder = passes == 1;
        coding.look = [&](int lane, std::size_t input, std::int64_t offset, const unsigned char* data, std::size_t n) {
            const Slice& slice = slices[input];
            if (lane == 0) {
                sliceMd5[input]->Update(data, n);
            } else if (lane == 1) {
                sliceCrc[input]->Update(data, n);
            } else {
                const std::int64_t start = slice.index * plan.blockSize + offset;
                const std::int64_t there = std::min<std::int64_t>(static_cast<std::int64_t>(n), sizes[slice.file] - start);
                fileMd5[slice.file]->Update(data, static_cast<std::size_t>(std::max<std::int64_t>(there, 0)));
            }
        };
        coding.done = [&](std::int64_t offset, const std::vector<unsigned char*>& data, std::size_t n) {
            HashEach(lanes, packetMd5, data, n);
            Status status;
            for (std::size_t k = 0; k < recoveryBlocks && status.ok(); ++k) {
                status = outputs[volumeOf(k)]->file().WriteAt(dataOffset[k] + offset, data[k], n);
            }
            lanes.Wait();
            return status;
        };
        coding.tick = [&](std::int64_t bytes) { return meter(before + bytes); };
        result.status = RunCoding(coding);
    }
    // The description, now that every hash is known.
    std::string description = par2::Packet(setId, par2::kMainType, mainBody);
    description += par2::Packet(setId, par2::kCreatorType, par2::CreatorBody(kCreator));
    if (result.status.ok()) {
        for (std::size_t i = 0; i < slices.size(); ++i) {
            par2::SliceCheck& check = entries[slices[i].file].slices[static_cast<std::size_t>(slices[i].index)];
            check.md5 = ToMd5(sliceMd5[i]->RawDigest());
            check.crc = Crc(*sliceCrc[i]);
        }
        for (const std::size_t f : order) {
            entries[f].md5 = ToMd5(fileMd5[f]->RawDigest());
            description += par2::Packet(setId, par2::kFileDescType, par2::FileDescBody(entries[f]));
            description += par2::Packet(setId, par2::kIfscType, par2::IfscBody(entries[f]));
        }
        result.status = outputs[0]->file().WriteAll(description.data(), description.size());
    }
    for (std::size_t k = 0; k < recoveryBlocks && result.status.ok(); ++k) {
        const std::string header = par2::RecoveryHeader(setId, static_cast<std::uint32_t>(k), static_cast<std::uint64_t>(plan.blockSize),
                                                        ToMd5(packetMd5[k]->RawDigest()));
        result.status = outputs[volumeOf(k)]->file().WriteAt(dataOffset[k] - static_cast<std::int64_t>(header.size()), header.data(), header.size());
    }
    for (std::size_t v = 1; v < outputs.size() && result.status.ok(); ++v) {
        result.status = outputs[v]->file().WriteAt(volumeEnd[v - 1], description.data(), description.size());
    }
    if (result.status.ok() && feed.written) {
        result.status = feed.written();
    }
    if (result.status.ok() && progress.StopRequested()) {
        result.status = Status::Cancelled();
    }
    // Named only once all are written; an earlier set's files that are not replaced go.
    std::vector<std::string> named;
    for (std::size_t v = 0; v < outputs.size() && result.status.ok(); ++v) {
        const std::string target = v == 0 ? IndexPath(folder, name) : volumes[v - 1].path;
        result.status = outputs[v]->Commit(io::AtomicFile::Move::kReplace);
        if (result.status.ok()) {
            named.push_back(target);
        }
    }
    for (const std::string& path : earlier) {
        if (result.status.ok() && std::find(named.begin(), named.end(), path) == named.end()) {
            result.status = io::RemoveFile(path);
        }
    }
    if (!result.status.ok()) {
        for (const std::string& path : named) {
            (void)io::RemoveFile(path);
        }
        return result;
    }
    result.files = named;
    return result;
}

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
    return WriteSet(feed, folder, name, percent, progress);
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
    return WriteSet(feed, folder, name, percent, progress);
}

}  // namespace brindle::recovery
