#pragma once

// What the parts of recovery.h share: not for use outside core/recovery.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "checks/digest.h"
#include "checks/hash_pool.h"
#include "io/file_io.h"
#include "recovery/galois.h"
#include "recovery/par2_packets.h"
#include "recovery/recovery.h"

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

inline constexpr std::size_t kChunk = std::size_t{1} << 20;

inline std::int64_t Blocks(std::int64_t size, std::int64_t blockSize) { return (size + blockSize - 1) / blockSize; }

// NAME.par2 and NAME.vol*.par2 in `folder`, failing when it cannot be listed.
Status ListRecoveryFiles(const std::string& folder, const std::string& name, std::vector<std::string>* found);

// The constant PAR2 gives input block `input`, to the power `exponent`.
Gf InputConstantPower(std::size_t input, std::uint32_t exponent);

Md5 ToMd5(const std::string& raw);
std::uint32_t Crc(Digest& digest);

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

Digests NewDigests(std::size_t count, DigestKind kind);

// Hashes data[k] into digests[k] for every k, the digests spread over `pool`'s workers; the
// caller goes on (writing the same bytes) and then waits for the pool.
void HashEach(HashPool& pool, const Digests& digests, const std::vector<unsigned char*>& data, std::size_t n);

class NoProgress : public Progress {
public:
    int Max() const override { return 1; }
    int Value() const override { return 0; }
    void SetValue(int) override {}
};

// Every packet of `paths` into `scan`, the recovery packets' hashes checked unless
// `hashRecovery` is false.
Status ScanFiles(const std::vector<std::string>& paths, par2::Scan* scan, Progress& progress, bool hashRecovery = true);

// The files the recovery set NAME.par2 (and its volumes) in `folder` describes, by name in
// its own order; empty when there is none that can be read.
std::vector<std::string> DescribedNames(const std::string& folder, const std::string& name);
// Every complete set of `scan`, the largest first.
std::vector<par2::Set> CompleteSets(const par2::Scan& scan);
// The recovery files that hold packets of other sets and none of set `id`, by name.
std::string ForeignFiles(const std::vector<std::string>& paths, const Md5& id);

// The earlier recovery files of `name` that a new set replaces, or an error naming one that
// belongs to other files.
Status OwnFiles(const std::string& folder, const std::string& name, const std::vector<std::string>& files,
                std::vector<std::string>* own, std::vector<std::string>* kept);

// Whether testing::SetReadBack asked for the road of large sets.
bool ReadingBack();

}  // namespace brindle::recovery
