#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace brindle {

// The checksums that lists from other tools carry: CRC-32 (.sfv), MD5, SHA-1 and SHA-256;
// and XXH3-128, the hash a piece carries in its own header.
enum class DigestKind { kCrc32, kMd5, kSha1, kSha256, kXxh3_128 };

// "CRC-32", "MD5", "SHA-1", "SHA-256", "XXH3-128"
const char* DigestName(DigestKind kind);
// Hex digits of a digest of this kind: 8, 32, 40, 64, 32.
std::size_t DigestHexLength(DigestKind kind);

// One running digest. CRC-32 comes from zlib, XXH3 from libxxhash, the others from libcrypto.
class Digest {
public:
    explicit Digest(DigestKind kind);
    ~Digest();
    Digest(const Digest&) = delete;
    Digest& operator=(const Digest&) = delete;

    DigestKind kind() const { return kind_; }
    void Update(const void* data, std::size_t size);
    // The digest's bytes, most significant first (XXH3's canonical form); the object is
    // spent afterwards.
    std::string RawDigest();
    // The same in lowercase hex.
    std::string HexDigest();

private:
    struct State;
    DigestKind kind_;
    std::unique_ptr<State> state_;
};

}  // namespace brindle
