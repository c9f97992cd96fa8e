#include <algorithm>
#include <atomic>
#include <cstring>

#include "recovery/recovery_internal.h"
#include "shell/paths.h"

namespace brindle::recovery {
namespace {

std::atomic<bool> g_readBack{false};

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

}  // namespace

void testing::SetReadBack(bool readBack) { g_readBack.store(readBack); }

bool ReadingBack() { return g_readBack.load(); }

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

Digests NewDigests(std::size_t count, DigestKind kind) {
    Digests digests(count);
    for (auto& digest : digests) {
        digest = std::make_unique<Digest>(kind);
    }
    return digests;
}

void HashEach(HashPool& pool, const Digests& digests, const std::vector<unsigned char*>& data, std::size_t n) {
    const std::size_t lanes = std::min<std::size_t>(digests.size(), HashPool::DefaultThreads());
    for (std::size_t lane = 0; lane < lanes; ++lane) {
        // A job of no file bytes: its check is the work.
        pool.Feed(io::File(), 0, 0, {}, [&digests, &data, n, lane, lanes] {
            for (std::size_t k = lane; k < digests.size(); k += lanes) {
                digests[k]->Update(data[k], n);
            }
            return Status::Ok();
        });
    }
}

std::string IndexPath(const std::string& folder, const std::string& name) { return JoinPath(folder, name + ".par2"); }

}  // namespace brindle::recovery
