#include <algorithm>
#include <optional>
#include <thread>

#include "format/discovery.h"
#include "format/numbered_group.h"
#include "recovery/recovery_internal.h"
#include "shell/paths.h"
#include "shell/translate.h"

// Reading recovery files: their packets, the sets they hold, whose files they are.
namespace brindle::recovery {
namespace {

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
    HashPool lanes(static_cast<unsigned>(threads));
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
            for (std::size_t i = 0; i < count; ++i) {
                const par2::RecoveryBlock& block = *blocks[first + i];
                const std::int64_t n = std::min(stretch, static_cast<std::int64_t>(block.bytes) + kHashedBefore - at);
                if (n <= 0) {
                    continue;
                }
                buffers[i].resize(static_cast<std::size_t>(n));
                if (Status status = reader.ReadAt(paths[block.source], block.offset - kHashedBefore + at, buffers[i].data(), buffers[i].size());
                    !status.ok()) {
                    lanes.Wait();  // the buffers go with this call
                    return status;
                }
                lanes.Feed(io::File(), 0, 0, {}, [&digests, &buffers, i] {
                    digests[i]->Update(buffers[i].data(), buffers[i].size());
                    return Status::Ok();
                });
            }
            lanes.Wait();
        }
        for (std::size_t i = 0; i < count; ++i) {
            *intact = *intact && ToMd5(digests[i]->RawDigest()) == blocks[first + i]->packetMd5;
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

}  // namespace

// Every packet of `paths` into `scan`. Hashing the recovery packets, the bulk of the bytes,
// is done on every core after a scan that steps over them; should one not hold, the files
// are scanned again packet by packet, where a damaged packet may hide intact ones.
Status ScanFiles(const std::vector<std::string>& paths, par2::Scan* scan, Progress& progress, bool hashRecovery) {
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

}  // namespace brindle::recovery
