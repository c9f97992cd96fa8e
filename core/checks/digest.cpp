#include "checks/digest.h"

#include <openssl/evp.h>
#include <xxhash.h>
#include <zlib.h>
// Debian's libxxhash for x86-64 picks AVX2 or AVX-512 as the machine has them through its
// dispatching entry points; the plain ones stay on SSE2 and hash at about half the speed.
#if defined(__x86_64__) && __has_include(<xxh_x86dispatch.h>)
#define XXH_DISPATCH_DISABLE_REPLACE
#include <xxh_x86dispatch.h>
#define BRINDLE_XXH3_UPDATE XXH3_128bits_update_dispatch
#else
#define BRINDLE_XXH3_UPDATE XXH3_128bits_update
#endif

#include <algorithm>
#include <cstring>
#include <new>

namespace brindle {

struct Digest::State {
    EVP_MD_CTX* context = nullptr;
    XXH3_state_t* xxh3 = nullptr;
    unsigned long crc = 0;
};

const char* DigestName(DigestKind kind) {
    switch (kind) {
        case DigestKind::kCrc32: return "CRC-32";
        case DigestKind::kMd5: return "MD5";
        case DigestKind::kSha1: return "SHA-1";
        case DigestKind::kSha256: return "SHA-256";
        case DigestKind::kXxh3_128: return "XXH3-128";
    }
    return "SHA-256";
}

std::size_t DigestHexLength(DigestKind kind) {
    switch (kind) {
        case DigestKind::kCrc32: return 8;
        case DigestKind::kMd5: return 32;
        case DigestKind::kSha1: return 40;
        case DigestKind::kSha256: return 64;
        case DigestKind::kXxh3_128: return 32;
    }
    return 64;
}

Digest::Digest(DigestKind kind) : kind_(kind), state_(std::make_unique<State>()) {
    if (kind == DigestKind::kCrc32) {
        state_->crc = crc32(0L, Z_NULL, 0);
        return;
    }
    if (kind == DigestKind::kXxh3_128) {
        state_->xxh3 = XXH3_createState();
        if (state_->xxh3 == nullptr || XXH3_128bits_reset(state_->xxh3) != XXH_OK) {
            XXH3_freeState(state_->xxh3);
            throw std::bad_alloc();
        }
        return;
    }
    const EVP_MD* md = kind == DigestKind::kMd5 ? EVP_md5() : kind == DigestKind::kSha1 ? EVP_sha1() : EVP_sha256();
    state_->context = EVP_MD_CTX_new();
    if (state_->context == nullptr || EVP_DigestInit_ex(state_->context, md, nullptr) != 1) {
        EVP_MD_CTX_free(state_->context);
        throw std::bad_alloc();
    }
}

Digest::~Digest() {
    EVP_MD_CTX_free(state_->context);
    XXH3_freeState(state_->xxh3);
}

void Digest::Update(const void* data, std::size_t size) {
    if (kind_ == DigestKind::kXxh3_128) {
        BRINDLE_XXH3_UPDATE(state_->xxh3, data, size);
        return;
    }
    if (kind_ != DigestKind::kCrc32) {
        EVP_DigestUpdate(state_->context, data, size);
        return;
    }
    // zlib takes a 32-bit length.
    const auto* bytes = static_cast<const Bytef*>(data);
    while (size > 0) {
        const auto chunk = static_cast<uInt>(std::min<std::size_t>(size, 1u << 30));
        state_->crc = crc32(state_->crc, bytes, chunk);
        bytes += chunk;
        size -= chunk;
    }
}

std::string Digest::RawDigest() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (kind_ == DigestKind::kCrc32) {
        const auto crc = static_cast<std::uint32_t>(state_->crc);
        for (int shift = 24; shift >= 0; shift -= 8) {
            digest[length++] = static_cast<unsigned char>(crc >> shift);
        }
    } else if (kind_ == DigestKind::kXxh3_128) {
        XXH128_canonical_t canonical;
        XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(state_->xxh3));
        static_assert(sizeof(canonical.digest) <= sizeof(digest));
        std::memcpy(digest, canonical.digest, sizeof(canonical.digest));
        length = sizeof(canonical.digest);
    } else {
        EVP_DigestFinal_ex(state_->context, digest, &length);
    }
    return std::string(reinterpret_cast<const char*>(digest), length);
}

std::string Digest::HexDigest() {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (const char c : RawDigest()) {
        const auto byte = static_cast<unsigned char>(c);
        hex += kHex[byte >> 4];
        hex += kHex[byte & 0x0F];
    }
    return hex;
}

}  // namespace brindle
