#include "recovery/recovery.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <future>
#include <limits>
#include <map>
#include <mutex>
#include <numeric>
#include <optional>
#include <string_view>
#include <thread>

#include "checks/checksum_lists.h"
#include "checks/digest.h"
#include "format/checksums.h"
#include "format/discovery.h"
#include "format/numbered_group.h"
#include "io/atomic_file.h"
#include "io/file_io.h"
#include "recovery/coding.h"
#include "recovery/galois.h"
#include "recovery/par2_packets.h"
#include "shell/paths.h"
#include "shell/translate.h"

namespace brindle::recovery {

using par2::Md5;

// What a check found, kept for the rebuild.
struct Found {
    std::vector<std::string> recoveryFiles;
    par2::Set set;
    std::vector<std::size_t> order;              // Input::files in the main packet's order
    std::vector<std::vector<bool>> badSlices;    // per Input::files entry
    std::vector<const par2::FileEntry*> entries;  // per Input::files entry, into set
};

namespace {

constexpr const char* kCreator = "Tarnwick Brindle";
// A damaged file stands aside under this hidden name while the rebuilt one takes its place.
constexpr const char* kAsidePrefix = ".brindle-damaged-";
constexpr std::size_t kChunk = std::size_t{1} << 20;

std::int64_t Blocks(std::int64_t size, std::int64_t blockSize) { return (size + blockSize - 1) / blockSize; }

// NAME.par2 and NAME.vol*.par2 in `folder`, failing when it cannot be listed.
Status ListRecoveryFiles(const std::string& folder, const std::string& name, std::vector<std::string>* found) {
    std::vector<std::string> names;
    const Status status = io::ListFileNames(folder, false, &names);
    const std::string volume = name + ".vol";
    for (const std::string& file : names) {
        const bool par2 = file.size() > 5 && file.compare(file.size() - 5, 5, ".par2") == 0;
        if (par2 && (file == name + ".par2" || file.compare(0, volume.size(), volume) == 0)) {
            found->push_back(JoinPath(folder, file));
        }
    }
    std::sort(found->begin(), found->end(), [](const std::string& a, const std::string& b) {
        return std::make_pair(a.size(), a) < std::make_pair(b.size(), b);  // NAME.par2 first
    });
    return status;
}


// The exponents of the constants PAR2 gives input blocks: 2^n for the n that share no
// factor with 65535, in order.
const std::vector<std::uint32_t>& ConstantLogs() {
    static const std::vector<std::uint32_t> logs = [] {
        std::vector<std::uint32_t> found;
        for (std::uint32_t n = 1; n < 65535; ++n) {
            if (n % 3 != 0 && n % 5 != 0 && n % 17 != 0 && n % 257 != 0) {
                found.push_back(n);
            }
        }
        return found;
    }();
    return logs;
}

Gf InputConstantPower(std::size_t input, std::uint32_t exponent) {
    const std::uint64_t log = static_cast<std::uint64_t>(ConstantLogs()[input]) * exponent;
    return GfExp2(static_cast<std::uint32_t>(log % 65535));
}

Md5 ToMd5(const std::string& raw) {
    Md5 md5{};
    std::memcpy(md5.data(), raw.data(), std::min(raw.size(), md5.size()));
    return md5;
}

std::uint32_t Crc(Digest& digest) {
    const std::string raw = digest.RawDigest();  // most significant byte first
    std::uint32_t crc = 0;
    for (const char byte : raw) {
        crc = (crc << 8) | static_cast<unsigned char>(byte);
    }
    return crc;
}

// Reads through the seam, keeping the one file it last opened.
class Reader {
public:
    Status ReadAt(const std::string& path, std::int64_t offset, void* buffer, std::size_t n) {
        if (path != path_) {
            file_ = io::File();
            path_.clear();
            if (Status status = file_.OpenRead(path); !status.ok()) {
                return status;
            }
            path_ = path;
        }
        Status status = file_.Seek(offset);
        return status.ok() ? file_.ReadExact(buffer, n) : status;
    }

private:
    io::File file_;
    std::string path_;
};

class FileSource : public par2::Source {
public:
    FileSource(std::string path, std::int64_t size) : path_(std::move(path)), size_(size) {}
    std::int64_t Size() const override { return size_; }
    Status ReadAt(std::int64_t offset, void* buffer, std::size_t n) override {
        return reader_.ReadAt(path_, offset, buffer, n);
    }

private:
    std::string path_;
    std::int64_t size_;
    Reader reader_;
};

using Digests = std::vector<std::unique_ptr<Digest>>;

Digests NewDigests(std::size_t count, DigestKind kind) {
    Digests digests(count);
    for (auto& digest : digests) {
        digest = std::make_unique<Digest>(kind);
    }
    return digests;
}

void WaitAll(std::vector<std::future<void>>& work) {
    for (std::future<void>& done : work) {
        done.wait();
    }
}

// Whether every recovery block of `scan` holds the hash its packet claims. The reading stays
// on this thread; the hashing of a few packets at once runs on every core.
Status RecoveryPacketsIntact(const std::vector<std::string>& paths, const par2::Scan& scan, Progress& progress, bool* intact) {
    *intact = true;
    std::vector<const par2::RecoveryBlock*> blocks;
    for (const auto& [id, set] : scan.sets) {
        for (const auto& [exponent, block] : set.blocks) {
            blocks.push_back(&block);
        }
    }
    constexpr std::int64_t kHashedBefore = 36;  // the set id, type and exponent before the data
    const std::size_t threads = std::max(1U, std::thread::hardware_concurrency());
    // As many packets at once as cores, each read in stretches: 256 MiB held at most.
    const std::int64_t stretch = std::max<std::int64_t>(static_cast<std::int64_t>(kChunk), (std::int64_t{256} << 20) / static_cast<std::int64_t>(threads));
    Reader reader;
    for (std::size_t first = 0; first < blocks.size() && *intact; first += threads) {
        const std::size_t count = std::min(threads, blocks.size() - first);
        const Digests digests = NewDigests(count, DigestKind::kMd5);
        std::vector<std::vector<unsigned char>> buffers(count);
        std::int64_t longest = 0;
        for (std::size_t i = 0; i < count; ++i) {
            longest = std::max(longest, static_cast<std::int64_t>(blocks[first + i]->bytes) + kHashedBefore);
        }
        for (std::int64_t at = 0; at < longest; at += stretch) {
            if (progress.StopRequested()) {
                return Status::Cancelled();
            }
            std::vector<std::future<void>> hashing;
            for (std::size_t i = 0; i < count; ++i) {
                const par2::RecoveryBlock& block = *blocks[first + i];
                const std::int64_t n = std::min(stretch, static_cast<std::int64_t>(block.bytes) + kHashedBefore - at);
                if (n <= 0) {
                    continue;
                }
                buffers[i].resize(static_cast<std::size_t>(n));
                if (Status status = reader.ReadAt(paths[block.source], block.offset - kHashedBefore + at, buffers[i].data(), buffers[i].size());
                    !status.ok()) {
                    return status;
                }
                hashing.push_back(std::async(std::launch::async, [&digests, &buffers, i] { digests[i]->Update(buffers[i].data(), buffers[i].size()); }));
            }
            WaitAll(hashing);
        }
        for (std::size_t i = 0; i < count; ++i) {
            *intact = *intact && ToMd5(digests[i]->RawDigest()) == blocks[first + i]->packetMd5;
        }
    }
    return Status::Ok();
}

// Every packet of `paths` into `scan`. Hashing the recovery packets, the bulk of the bytes,
// is done on every core after a scan that steps over them; should one not hold, the files
// are scanned again packet by packet, where a damaged packet may hide intact ones.
Status ScanFiles(const std::vector<std::string>& paths, par2::Scan* scan, Progress& progress, bool hashRecovery = true) {
    if (hashRecovery) {
        par2::Scan quick;
        bool intact = false;
        Status status = ScanFiles(paths, &quick, progress, false);
        if (status.ok()) {
            status = RecoveryPacketsIntact(paths, quick, progress, &intact);
        }
        if (!status.ok() || intact) {
            *scan = std::move(quick);
            return status;
        }
    }
    for (std::size_t i = 0; i < paths.size(); ++i) {
        io::File file;
        std::int64_t size = 0;
        Status status = file.OpenRead(paths[i]);
        if (status.ok()) {
            status = file.Size(&size);
        }
        if (!status.ok()) {
            return status;
        }
        FileSource source(paths[i], size);
        status = par2::ScanPackets(source, i, scan, [&progress] { return progress.StopRequested(); }, hashRecovery);
        if (!status.ok()) {
            return status;
        }
    }
    return Status::Ok();
}

// The name a group's files share: "report" for report(3).qmf003, "data.bin" for data.bin.007.
std::string Family(const std::string& fileName) {
    if (const auto numbered = ParseNumberedName(fileName)) {
        return "#" + numbered->base;
    }
    const std::string group = GroupNameFromPiece(fileName);
    return group.empty() ? "=" + fileName : "(" + group;
}

bool Ours(const par2::Scan& scan, const std::vector<std::string>& files) {
    if (scan.sets.empty()) {
        return false;
    }
    std::vector<std::string> families;
    for (const std::string& path : files) {
        families.push_back(Family(GetFileName(path)));
    }
    for (const auto& [id, set] : scan.sets) {
        for (const auto& [fileId, entry] : set.files) {
            if (!entry.name.empty() && std::find(families.begin(), families.end(), Family(entry.name)) == families.end()) {
                return false;
            }
        }
    }
    return true;
}

class NoProgress : public Progress {
public:
    int Max() const override { return 1; }
    int Value() const override { return 0; }
    void SetValue(int) override {}
};

// The earlier recovery files of `name` that a new set replaces, or an error naming one that
// belongs to other files.
Status OwnFiles(const std::string& folder, const std::string& name, const std::vector<std::string>& files,
                std::vector<std::string>* own, std::vector<std::string>* kept) {
    NoProgress quiet;
    std::vector<std::string> found;
    if (Status listed = ListRecoveryFiles(folder, name, &found); !listed.ok()) {
        return listed;
    }
    for (const std::string& path : found) {
        par2::Scan scan;
        const Status status = ScanFiles({path}, &scan, quiet, false);
        if (!status.ok()) {
            return status;
        }
        if (Ours(scan, files)) {
            own->push_back(path);
        } else if (kept != nullptr) {
            kept->push_back(path);
        } else {
            return Status::InvalidArgument(
                Fill(Tr("%1 is already there: recovery data of other files"), {path}));
        }
    }
    return Status::Ok();
}

std::string VolumeName(const std::string& name, int first, int count, int width) {
    const auto padded = [width](int number) {
        std::string text = std::to_string(number);
        return std::string(static_cast<std::size_t>(std::max(0, width - static_cast<int>(text.size()))), '0') + text;
    };
    return name + ".vol" + padded(first) + "+" + padded(count) + ".par2";
}

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

// Hashes data[k] into digests[k] for every k, the digests spread over every core; the
// caller goes on (writing the same bytes) and waits for the returned work.
std::vector<std::future<void>> HashEach(const Digests& digests, const std::vector<unsigned char*>& data, std::size_t n) {
    const std::size_t lanes = std::min<std::size_t>(digests.size(), std::max(1U, std::thread::hardware_concurrency()));
    std::vector<std::future<void>> work;
    for (std::size_t lane = 0; lane < lanes; ++lane) {
        work.push_back(std::async(std::launch::async, [&digests, &data, n, lane, lanes] {
            for (std::size_t k = lane; k < digests.size(); k += lanes) {
                digests[k]->Update(data[k], n);
            }
        }));
    }
    return work;
}

std::string Counted(const char* text, int n) {
    return Fill(text, {std::to_string(n)});
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

std::string IndexPath(const std::string& folder, const std::string& name) { return JoinPath(folder, name + ".par2"); }

Status FindRecoveryFiles(const std::string& folder, const std::string& name, std::vector<std::string>* found) {
    return ListRecoveryFiles(folder, name, found);
}

Status CheckRecoveryTargets(const std::string& folder, const std::string& name, const std::vector<std::string>& files) {
    std::vector<std::string> own;
    return OwnFiles(folder, name, files, &own, nullptr);
}

Status RemoveOwnRecoveryFiles(const std::string& folder, const std::string& name, const std::vector<std::string>& files,
                              std::vector<std::string>* kept) {
    std::vector<std::string> own;
    std::vector<std::string> others;
    Status status = OwnFiles(folder, name, files, &own, &others);
    for (const std::string& path : own) {
        if (status.ok()) {
            status = io::RemoveFile(path);
        }
    }
    if (kept != nullptr) {
        *kept = others;
    }
    return status;
}

namespace {

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
            std::vector<std::future<void>> hashing = HashEach(packetMd5, data, n);
            Status status;
            for (std::size_t k = 0; k < recoveryBlocks && status.ok(); ++k) {
                status = outputs[volumeOf(k)]->file().WriteAt(dataOffset[k] + offset, data[k], n);
            }
            WaitAll(hashing);
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

std::atomic<bool> g_readBack{false};

}  // namespace

void testing::SetReadBack(bool readBack) { g_readBack.store(readBack); }

bool OnePass(const std::vector<std::int64_t>& fileSizes, int percent) {
    if (g_readBack.load()) {
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

namespace {

// The files the recovery set NAME.par2 (and its volumes) in `folder` describes, by name in
// its own order; empty when there is none that can be read.
std::vector<std::string> DescribedNames(const std::string& folder, const std::string& name) {
    par2::Scan scan;
    std::vector<std::string> found;
    // A folder that cannot be listed describes nothing; the check that follows names why.
    (void)ListRecoveryFiles(folder, name, &found);
    for (const std::string& path : found) {
        // Nor does one that cannot be measured.
        std::int64_t size = 0;
        if (!io::LengthOf(path, &size).ok()) {
            continue;
        }
        FileSource source(path, size);
        (void)par2::ScanPackets(source, 0, &scan, {}, false);
    }
    std::vector<std::string> names;
    const par2::Set* set = par2::CompleteSet(scan);
    if (set != nullptr) {
        for (const Md5& id : set->recoveryIds) {
            names.push_back(set->files.at(id).name);
        }
    }
    return names;
}

// Every complete set of `scan`, the largest first.
std::vector<par2::Set> CompleteSets(const par2::Scan& scan) {
    par2::Scan rest = scan;
    std::vector<par2::Set> sets;
    while (const par2::Set* set = par2::CompleteSet(rest)) {
        const Md5 id = set->id;
        sets.push_back(*set);
        rest.sets.erase(id);
    }
    return sets;
}

// The recovery files that hold packets of other sets and none of set `id`, by name.
std::string ForeignFiles(const std::vector<std::string>& paths, const Md5& id) {
    NoProgress quiet;
    std::string names;
    for (const std::string& path : paths) {
        par2::Scan scan;
        if (ScanFiles({path}, &scan, quiet, false).ok() && !scan.sets.empty() && scan.sets.count(id) == 0) {
            names += (names.empty() ? "" : ", ") + GetFileName(path);
        }
    }
    return names;
}

// Why `set` does not speak for the group `input`, in `*why` (empty when it does); `entries`
// gets its description of each file. It must describe exactly the group's files, all but the
// last alike and at the length most pieces there have, never a piece shorter than the group
// vouches for, and every trusted file as it is: what it says beyond that would override the
// pieces' own checks.
Status Disagreement(const Input& input, const par2::Set& set, const std::vector<FileCheck>& files,
                    const std::string& shown, std::vector<const par2::FileEntry*>* entries, std::string* why) {
    std::map<std::string, const par2::FileEntry*> byName;
    for (const Md5& id : set.recoveryIds) {
        byName[set.files.at(id).name] = &set.files.at(id);
    }
    const std::string another =
        Fill(Tr("the recovery files %1 describe another split; they are not used"), {shown});
    std::size_t named = 0;
    for (const std::string& path : input.files) {
        const auto entry = byName.find(GetFileName(path));
        entries->push_back(entry == byName.end() ? nullptr : entry->second);
        named += entry == byName.end() ? 0 : 1;
    }
    if (input.files.empty() || named != input.files.size() || byName.size() != input.files.size()) {
        *why = named == byName.size() && named > 0
                   ? Fill(Tr("the recovery files %1 describe only some of these pieces; they are not used"), {shown})
                   : another;
        return Status::Ok();
    }
    const std::size_t n = input.files.size();
    std::vector<std::int64_t> lengths(n, -1);
    for (std::size_t f = 0; f < n; ++f) {
        if (files[f].state != FileState::kMissing) {
            if (Status measured = io::LengthOf(input.files[f], &lengths[f]); !measured.ok()) {
                return measured;
            }
        }
    }
    const auto described = [&entries](std::size_t f) { return static_cast<std::int64_t>((*entries)[f]->length); };
    const auto misfit = [&](std::size_t f) {
        *why = Fill(Tr("the recovery files %1 describe %2 as %3 bytes, which does not fit the group; they are not used"),
                    {shown, GetFileName(input.files[f]), std::to_string(described(f))});
        return Status::Ok();
    };
    const std::int64_t full = n > 1 ? described(0) : std::numeric_limits<std::int64_t>::max();
    std::map<std::int64_t, int> held;  // lengths of the pieces there but the last, how many have each
    std::size_t highest = n;           // the last file there
    for (std::size_t f = 0; f < n; ++f) {
        if (f + 1 < n && described(f) != full) {
            return misfit(f);
        }
        if (lengths[f] >= 0) {
            highest = f;
            held[lengths[f]] += f + 1 < n ? 1 : 0;
        }
    }
    if (described(n - 1) > full || described(n - 1) == 0) {
        return misfit(n - 1);
    }
    int most = 0;
    for (const auto& [length, count] : held) {
        most = std::max(most, count);
    }
    if (most > 0 && held[full] < most) {
        return misfit(0);
    }
    // A last piece longer than described, but not than the others: cutting it would be the set's word alone.
    if (lengths[n - 1] > described(n - 1) && lengths[n - 1] <= full) {
        return misfit(n - 1);
    }
    // Numbered pieces beyond a short one: that one was the last, and the set is of a longer file.
    const auto numbered = ParseNumberedName(GetFileName(input.files.back()));
    if (numbered && highest + 1 < n && lengths[highest] < full) {
        return misfit(highest);
    }
    // The program's pieces carry their group in their headers, at their heads: a set that
    // knows none of the heads there is of another split, whatever their blocks would say.
    const bool ownPieces = !numbered;
    int there = 0;
    int known = 0;
    for (std::size_t f = 0; f < n; ++f) {
        const bool trusted = f < input.trusted.size() && input.trusted[f];
        if (lengths[f] < 0 || (!trusted && !ownPieces)) {
            continue;
        }
        io::File in;
        Status status = in.OpenRead(input.files[f]);
        std::string head(static_cast<std::size_t>(std::min<std::int64_t>(lengths[f], par2::kHeadBytes)), '\0');
        if (status.ok()) {
            status = in.ReadExact(head.data(), head.size());
        }
        if (!status.ok()) {
            return status;
        }
        const bool same = lengths[f] == described(f) && par2::Md5Of(head) == (*entries)[f]->headMd5;
        ++there;
        known += same ? 1 : 0;
        // Its own check vouches for it: a set that describes it otherwise is another's.
        if (trusted && !same) {
            *why = another;
            return Status::Ok();
        }
    }
    if (ownPieces && there > 0 && known == 0) {
        *why = another;
    }
    return Status::Ok();
}

// Pieces 1 to `count` of `group` into `input`, each trusted as `trusted` (its number, its path) says.
void AddPieces(Input& input, std::size_t count, const std::function<bool(std::size_t, const std::string&)>& trusted) {
    for (std::size_t k = 1; k <= count; ++k) {
        const std::optional<std::string> piece = PieceFileName(input.name, static_cast<int>(k));
        if (!piece) {
            break;
        }
        input.files.push_back(JoinPath(input.folder, *piece));
        input.trusted.push_back(trusted(k, input.files.back()));
    }
}

// Whether a slice of `set` could be filled by a file of the group or a recovery block
// there: one larger than all of them would cost its declared size in padding to hash.
bool SlicesFit(const par2::Set& set, const Check& check) {
    std::uint64_t largest = 0;
    for (const FileCheck& file : check.files) {
        // One that cannot be measured counts as empty here: reading it fails, naming why.
        std::int64_t length = 0;
        if (file.state != FileState::kMissing && io::LengthOf(file.path, &length).ok()) {
            largest = std::max<std::uint64_t>(largest, static_cast<std::uint64_t>(length));
        }
    }
    for (const auto& [exponent, block] : set.blocks) {
        largest = std::max(largest, block.bytes);
    }
    return set.sliceSize <= (largest + 3) / 4 * 4;
}

}  // namespace

Input PieceGroupInput(const std::string& folder, const std::string& group, const GroupCheck& check) {
    Input input{folder, group, {}, {}, false};
    const std::size_t count = check.status.ok() ? check.pieces.size() : DescribedNames(folder, group).size();
    AddPieces(input, count, [&check](std::size_t k, const std::string&) {
        return check.status.ok() && check.dataCheckNote.empty() && check.pieces[k - 1].verdict == PieceVerdict::kOk;
    });
    return input;
}

Input PieceGroupInputByHeaders(const std::string& folder, const std::string& group) {
    Input input{folder, group, {}, {}, true, true};
    // Whether its header is the one the recovery set knows, CheckFiles tells by its head.
    AddPieces(input, DescribedNames(folder, group).size(), [](std::size_t k, const std::string& path) {
        PieceHeader header;
        return ReadPieceHeader(path, &header).ok() && header.DataHash.has_value() &&
               header.PieceIndex == static_cast<std::int32_t>(k);
    });
    return input;
}

Input NumberedGroupInput(const std::string& folder, const std::string& base) {
    Input input{folder, base, {}, {}, false};
    const std::vector<std::string> described = DescribedNames(folder, base);
    if (described.empty()) {
        return input;
    }
    // The group as it lies there, and the pieces lost past its highest one as the recovery
    // files describe them: a set that describes fewer is not the group's.
    std::map<std::int64_t, std::string> numbered;
    const NumberedGroup group = FindNumberedGroup(folder, base);
    input.lists = std::make_shared<ChecksumLists>(group.lists);
    for (const NumberedSlot& slot : group.numbers) {
        if (const auto parsed = ParseNumberedName(slot.name)) {
            numbered.emplace(parsed->number, slot.name);
        }
    }
    const std::int64_t highest = numbered.empty() ? -1 : numbered.rbegin()->first;
    for (const std::string& name : described) {
        const auto parsed = ParseNumberedName(name);
        if (parsed && parsed->base == base && parsed->number > highest) {
            numbered.emplace(parsed->number, name);
        }
    }
    for (const auto& [number, name] : numbered) {
        input.files.push_back(JoinPath(folder, name));
    }
    return input;
}

Check CheckFiles(const Input& input, Progress& progress) {
    Check check;
    check.files.resize(input.files.size());
    for (std::size_t f = 0; f < input.files.size(); ++f) {
        check.files[f].path = input.files[f];
        io::FileType type = io::FileType::kNone;
        check.status = io::TypeAt(input.files[f], &type);
        if (!check.status.ok()) {
            return check;
        }
        if (type != io::FileType::kRegular) {
            check.files[f].state = FileState::kMissing;
        }
    }
    const auto countFaulty = [&check] {
        check.faultyFiles = static_cast<int>(std::count_if(check.files.begin(), check.files.end(),
                                                           [](const FileCheck& file) { return file.state != FileState::kOk; }));
    };
    check.status = ListRecoveryFiles(input.folder, input.name, &check.recoveryFiles);
    if (!check.status.ok()) {
        return check;
    }
    check.present = !check.recoveryFiles.empty();
    countFaulty();
    if (!check.present) {
        return check;
    }
    auto found = std::make_shared<Found>();
    found->recoveryFiles = check.recoveryFiles;
    par2::Scan scan;
    check.status = ScanFiles(check.recoveryFiles, &scan, progress, !input.packetsUnhashed);
    if (!check.status.ok()) {
        return check;
    }
    const std::string shown = GetFileName(check.recoveryFiles.front());
    std::vector<par2::Set> sets = CompleteSets(scan);
    if (sets.empty()) {
        check.note = Fill(Tr("the recovery files %1 are damaged and cannot be used"), {shown});
        return check;
    }
    // The first set that agrees with the group is used; what another says of it never counts.
    std::string refused;
    std::vector<std::size_t> others;
    for (std::size_t k = 0; k < sets.size(); ++k) {
        std::vector<const par2::FileEntry*> entries;
        std::string why;
        if (!SlicesFit(sets[k], check)) {
            why = Fill(Tr("the recovery files %1 declare blocks larger than any file here; they are not used"), {shown});
        } else {
            check.status = Disagreement(input, sets[k], check.files, shown, &entries, &why);
        }
        if (!check.status.ok()) {
            return check;
        }
        if (!why.empty() || !found->entries.empty()) {
            others.push_back(k);
            refused = refused.empty() ? why : refused;
            continue;
        }
        found->set = std::move(sets[k]);
        found->entries.clear();
        for (const par2::FileEntry* entry : entries) {
            found->entries.push_back(&found->set.files.at(entry->id));
        }
    }
    if (found->entries.empty()) {
        check.note = refused;
        return check;
    }
    if (!others.empty()) {
        check.note = Fill(Tr("the recovery files %1 describe another split; they are not used"),
                          {ForeignFiles(check.recoveryFiles, found->set.id)});
    }
    const par2::Set& ours = found->set;
    check.blockSize = static_cast<std::int64_t>(ours.sliceSize);
    found->badSlices.resize(input.files.size());
    for (const Md5& id : ours.recoveryIds) {
        for (std::size_t f = 0; f < input.files.size(); ++f) {
            if (found->entries[f]->id == id) {
                found->order.push_back(f);
            }
        }
    }
    // Sizes to read, for the bar.
    std::int64_t toRead = 0;
    for (std::size_t f = 0; f < input.files.size(); ++f) {
        const bool trusted = f < input.trusted.size() && input.trusted[f];
        if (!trusted && check.files[f].state != FileState::kMissing) {
            toRead += static_cast<std::int64_t>(found->entries[f]->length);
        }
    }
    ByteMeter meter(progress, std::max<std::int64_t>(toRead, 1), progress.Max());
    std::int64_t read = 0;
    const std::int64_t blockSize = check.blockSize;
    std::vector<unsigned char> buffer(static_cast<std::size_t>(std::min<std::int64_t>(blockSize, static_cast<std::int64_t>(kChunk))));
    for (std::size_t f = 0; f < input.files.size(); ++f) {
        const par2::FileEntry& entry = *found->entries[f];
        FileCheck& file = check.files[f];
        const auto slices = static_cast<std::size_t>(Blocks(static_cast<std::int64_t>(entry.length), blockSize));
        file.blocks = static_cast<int>(slices);
        std::vector<bool>& bad = found->badSlices[f];
        bad.assign(slices, false);
        if (file.state == FileState::kMissing) {
            bad.assign(slices, true);
            file.badBlocks = static_cast<int>(slices);
            continue;
        }
        if (f < input.trusted.size() && input.trusted[f]) {
            continue;  // its own check vouches for its bytes, and the set agrees with its head
        }
        io::File in;
        std::int64_t size = 0;
        check.status = in.OpenRead(file.path);
        if (check.status.ok()) {
            check.status = in.Size(&size);
        }
        if (!check.status.ok()) {
            return check;
        }
        const std::string name = GetFileName(file.path);
        std::vector<std::unique_ptr<Digest>> own;
        if (input.lists) {
            for (const DigestKind kind : KindsListed(*input.lists, name)) {
                own.push_back(std::make_unique<Digest>(kind));
            }
        }
        for (std::size_t s = 0; s < slices; ++s) {
            const std::int64_t start = static_cast<std::int64_t>(s) * blockSize;
            const std::int64_t there = std::clamp<std::int64_t>(size - start, 0, blockSize);
            // A slice past the file's end, or holding bytes beyond its stored length, is lost,
            // and so is every one after it: no need to hash them.
            if (there != std::min<std::int64_t>(blockSize, static_cast<std::int64_t>(entry.length) - start)) {
                bad[s] = true;
                ++file.badBlocks;
                continue;
            }
            Digest md5(DigestKind::kMd5);
            Digest crc(DigestKind::kCrc32);
            std::int64_t done = 0;
            while (done < blockSize) {
                const auto n = static_cast<std::size_t>(std::min<std::int64_t>(blockSize - done, static_cast<std::int64_t>(buffer.size())));
                const std::int64_t real = std::clamp<std::int64_t>(there - done, 0, static_cast<std::int64_t>(n));
                std::fill(buffer.begin() + real, buffer.begin() + static_cast<std::ptrdiff_t>(n), 0);
                if (real > 0) {
                    check.status = in.ReadExact(buffer.data(), static_cast<std::size_t>(real));
                    if (!check.status.ok()) {
                        return check;
                    }
                    for (const auto& digest : own) {
                        digest->Update(buffer.data(), static_cast<std::size_t>(real));
                    }
                }
                md5.Update(buffer.data(), n);
                crc.Update(buffer.data(), n);
                done += static_cast<std::int64_t>(n);
                read += real;
                if (!meter(read)) {
                    check.status = Status::Cancelled();
                    return check;
                }
            }
            bad[s] = ToMd5(md5.RawDigest()) != entry.slices[s].md5 || Crc(crc) != entry.slices[s].crc;
            file.badBlocks += bad[s] ? 1 : 0;
        }
        if (file.badBlocks > 0 || static_cast<std::uint64_t>(size) != entry.length) {
            file.state = FileState::kDamaged;
        }
        // Its list vouches for every byte it holds: what the set says against it does not count.
        if (!own.empty() && file.state == FileState::kDamaged && static_cast<std::int64_t>(slices) * blockSize >= size) {
            std::map<DigestKind, std::string> computed;
            for (const auto& digest : own) {
                computed[digest->kind()] = digest->HexDigest();
            }
            if (CompareListed(*input.lists, name, file.path, computed).ok()) {
                check.note = Fill(Tr("the recovery files %1 describe another split; they are not used"), {shown});
                return check;
            }
        }
    }
    check.usable = true;
    for (const FileCheck& file : check.files) {
        check.blocksNeeded += file.badBlocks;
    }
    for (const auto& [exponent, block] : ours.blocks) {
        if (block.bytes == ours.sliceSize && exponent < 65535) {
            ++check.blocksAvailable;
        }
    }
    countFaulty();
    check.found = found;
    return check;
}

std::string Summary(const Check& check) {
    if (check.faultyFiles == 0) {
        return {};
    }
    const auto n = static_cast<unsigned long>(check.faultyFiles);
    const std::string count = std::to_string(check.faultyFiles);
    if (!check.present) {
        return Fill(
            TrN("%1 piece damaged or missing; there are no recovery files to rebuild it",
                "%1 pieces damaged or missing; there are no recovery files to rebuild them", n),
            {count});
    }
    if (!check.usable) {
        return Fill(TrN("%1 piece damaged or missing; %2", "%1 pieces damaged or missing; %2", n),
                    {count, check.note});
    }
    if (check.CanRebuild()) {
        return Fill(TrN("%1 piece damaged or missing; the recovery files can rebuild it",
                        "%1 pieces damaged or missing; the recovery files can rebuild them", n),
                    {count});
    }
    // Four counts, each with its own plural: one clause each.
    return Fill(
        TrN("%1 piece damaged or missing; the recovery files cannot rebuild it: %2 and %3, %4",
            "%1 pieces damaged or missing; the recovery files cannot rebuild them: %2 and %3, %4",
            n),
        {count,
         Counted(TrN("%1 block is needed", "%1 blocks are needed",
                     static_cast<unsigned long>(check.blocksNeeded)),
                 check.blocksNeeded),
         Counted(TrN("%1 recovery block is there", "%1 recovery blocks are there",
                     static_cast<unsigned long>(check.blocksAvailable)),
                 check.blocksAvailable),
         Fill(TrN("%1 block (%2) of recovery data missing",
                  "%1 blocks (%2) of recovery data missing",
                  static_cast<unsigned long>(check.BlocksShort())),
              {std::to_string(check.BlocksShort()), FormatSize(check.BytesShort())})});
}

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
    std::vector<unsigned char> scratch(kChunk);
    Reader reader;
    for (std::size_t f = 0; f < input.files.size() && rebuilt.status.ok(); ++f) {
        if (check.files[f].state == FileState::kOk) {
            continue;
        }
        std::string temporary;
        rebuilt.status = temporaries[f].CreateTempBeside(input.files[f], &temporary);
        if (!rebuilt.status.ok() && !spareBeside.empty()) {
            rebuilt.status = temporaries[f].CreateTempBeside(spareBeside, &temporary);
        }
        if (!rebuilt.status.ok()) {
            break;
        }
        rebuilt.Add(f, temporary);
        const auto length = static_cast<std::int64_t>(found.entries[f]->length);
        for (std::size_t s = 0; s < found.badSlices[f].size() && rebuilt.status.ok(); ++s) {
            const std::int64_t start = static_cast<std::int64_t>(s) * blockSize;
            const std::int64_t n = std::min(blockSize, length - start);
            if (found.badSlices[f][s]) {
                rebuilt.status = WriteZeros(temporaries[f], n);
                continue;
            }
            // The copy is checked as it is made: the file may have changed since it was read.
            Digest md5(DigestKind::kMd5);
            for (std::int64_t done = 0; done < n && rebuilt.status.ok();) {
                if (progress.StopRequested()) {
                    rebuilt.status = Status::Cancelled();
                    break;
                }
                const auto step = static_cast<std::size_t>(std::min<std::int64_t>(n - done, static_cast<std::int64_t>(kChunk)));
                rebuilt.status = reader.ReadAt(input.files[f], start + done, scratch.data(), step);
                if (rebuilt.status.ok()) {
                    md5.Update(scratch.data(), step);
                    rebuilt.status = temporaries[f].WriteAll(scratch.data(), step);
                }
                done += static_cast<std::int64_t>(step);
            }
            for (std::int64_t pad = n; pad < blockSize; pad += static_cast<std::int64_t>(kChunk)) {
                std::fill(scratch.begin(), scratch.end(), 0);
                md5.Update(scratch.data(), static_cast<std::size_t>(std::min<std::int64_t>(blockSize - pad, static_cast<std::int64_t>(kChunk))));
            }
            if (rebuilt.status.ok() && ToMd5(md5.RawDigest()) != found.entries[f]->slices[s].md5) {
                rebuilt.status = Status::Corruption(
                    Fill(Tr("%1 changed while it was rebuilt"), {GetFileName(input.files[f])}));
            }
        }
    }
    // Each rebuilt block is hashed as it is made (its padding too, as the recovery files hash
    // it) rather than read back.
    const Digests lostMd5 = NewDigests(m, DigestKind::kMd5);
    const int passes = Passes(blockSize, m);
    ByteMeter meter(progress, std::max<std::int64_t>(static_cast<std::int64_t>(passes) * static_cast<std::int64_t>(coding.inputs) * blockSize, 1),
                    progress.Max());
    if (rebuilt.status.ok()) {
        coding.read = [&](std::size_t i, std::int64_t offset, unsigned char* buffer, std::size_t n) {
            return ReadInput(plan, found, input, reader, i, offset, buffer, n);
        };
        coding.done = [&](std::int64_t offset, const std::vector<unsigned char*>& data, std::size_t n) {
            std::vector<std::future<void>> hashing = HashEach(lostMd5, data, n);
            Status status;
            for (std::size_t k = 0; k < m && status.ok(); ++k) {
                const std::size_t real = RealBytes(found, lost[k], blockSize, offset, n);
                if (real > 0) {
                    status = temporaries[lost[k].file].WriteAt(lost[k].index * blockSize + offset, data[k], real);
                }
            }
            WaitAll(hashing);
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
    return !g_readBack.load() && check.blocksNeeded > 0 && check.blockSize > 0 &&
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
        std::vector<std::future<void>> hashing = HashEach(md5, data, n);
        WaitAll(hashing);
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
