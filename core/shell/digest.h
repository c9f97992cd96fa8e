#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace brindle {

// The checksums that lists from other tools carry: CRC-32 (.sfv), MD5, SHA-1 and SHA-256.
enum class DigestKind { kCrc32, kMd5, kSha1, kSha256 };

// "CRC-32", "MD5", "SHA-1", "SHA-256"
const char* DigestName(DigestKind kind);
// Hex digits of a digest of this kind: 8, 32, 40, 64.
std::size_t DigestHexLength(DigestKind kind);

// One running digest. CRC-32 comes from zlib, the others from libcrypto.
class Digest {
public:
    explicit Digest(DigestKind kind);
    ~Digest();
    Digest(const Digest&) = delete;
    Digest& operator=(const Digest&) = delete;

    DigestKind kind() const { return kind_; }
    void Update(const void* data, std::size_t size);
    // The digest in lowercase hex; the object is spent afterwards.
    std::string HexDigest();

private:
    struct State;
    DigestKind kind_;
    std::unique_ptr<State> state_;
};

}  // namespace brindle
