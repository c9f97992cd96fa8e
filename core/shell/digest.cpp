#include "shell/digest.h"

#include <openssl/evp.h>
#include <zlib.h>

#include <algorithm>
#include <new>

namespace brindle {

struct Digest::State {
    EVP_MD_CTX* context = nullptr;
    unsigned long crc = 0;
};

const char* DigestName(DigestKind kind) {
    switch (kind) {
        case DigestKind::kCrc32: return "CRC-32";
        case DigestKind::kMd5: return "MD5";
        case DigestKind::kSha1: return "SHA-1";
        case DigestKind::kSha256: return "SHA-256";
    }
    return "SHA-256";
}

std::size_t DigestHexLength(DigestKind kind) {
    switch (kind) {
        case DigestKind::kCrc32: return 8;
        case DigestKind::kMd5: return 32;
        case DigestKind::kSha1: return 40;
        case DigestKind::kSha256: return 64;
    }
    return 64;
}

Digest::Digest(DigestKind kind) : kind_(kind), state_(std::make_unique<State>()) {
    if (kind == DigestKind::kCrc32) {
        state_->crc = crc32(0L, Z_NULL, 0);
        return;
    }
    const EVP_MD* md = kind == DigestKind::kMd5 ? EVP_md5() : kind == DigestKind::kSha1 ? EVP_sha1() : EVP_sha256();
    state_->context = EVP_MD_CTX_new();
    if (state_->context == nullptr || EVP_DigestInit_ex(state_->context, md, nullptr) != 1) {
        EVP_MD_CTX_free(state_->context);
        throw std::bad_alloc();
    }
}

Digest::~Digest() { EVP_MD_CTX_free(state_->context); }

void Digest::Update(const void* data, std::size_t size) {
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

std::string Digest::HexDigest() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (kind_ == DigestKind::kCrc32) {
        const auto crc = static_cast<std::uint32_t>(state_->crc);
        for (int shift = 24; shift >= 0; shift -= 8) {
            digest[length++] = static_cast<unsigned char>(crc >> shift);
        }
    } else {
        EVP_DigestFinal_ex(state_->context, digest, &length);
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 0x0F];
    }
    return hex;
}

}  // namespace brindle
