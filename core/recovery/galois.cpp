#include "recovery/galois.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>

extern "C" {
#include <gf_complete.h>
}

namespace brindle::recovery {
namespace {

constexpr std::uint32_t kPolynomial = 0x1100B;
constexpr std::uint32_t kOrder = 65535;

struct Tables {
    std::array<Gf, kOrder * 2> exp{};
    std::array<std::uint32_t, 65536> log{};
    Tables() {
        std::uint32_t x = 1;
        for (std::uint32_t i = 0; i < kOrder; ++i) {
            exp[i] = static_cast<Gf>(x);
            exp[i + kOrder] = static_cast<Gf>(x);
            log[x] = i;
            x <<= 1;
            if (x & 0x10000) {
                x ^= kPolynomial;
            }
        }
    }
};

const Tables& T() {
    static const Tables tables;
    return tables;
}

gf_t* Field() {
    static gf_t field;
    static std::once_flag once;
    // gf-complete's default for w=16 takes PAR2's polynomial and its fastest SIMD split tables.
    std::call_once(once, [] { gf_init_easy(&field, 16); });
    return &field;
}

}  // namespace

Gf GfMul(Gf a, Gf b) {
    if (a == 0 || b == 0) {
        return 0;
    }
    const Tables& t = T();
    return t.exp[t.log[a] + t.log[b]];
}

Gf GfDiv(Gf a, Gf b) {
    if (a == 0) {
        return 0;
    }
    const Tables& t = T();
    return t.exp[t.log[a] + kOrder - t.log[b]];
}

Gf GfExp2(std::uint32_t n) { return T().exp[n % kOrder]; }

Gf GfPow(Gf a, std::uint32_t n) {
    if (n == 0) {
        return 1;
    }
    if (a == 0) {
        return 0;
    }
    const Tables& t = T();
    return t.exp[static_cast<std::uint32_t>((static_cast<std::uint64_t>(t.log[a]) * n) % kOrder)];
}

void MulAddRegion(Gf c, const void* src, void* dest, std::size_t bytes) {
    if (c == 0 || bytes == 0) {
        return;
    }
    const auto from = reinterpret_cast<std::uintptr_t>(src);
    // The library's SIMD road runs over whole 64-byte lines with both regions 16-byte aligned
    // (and strays beyond a shorter region); the words before and after it go the plain road.
    if (((from ^ reinterpret_cast<std::uintptr_t>(dest)) & 15) != 0 || (from & 1) != 0) {
        MulAddRegionPlain(c, src, dest, bytes);
        return;
    }
    const std::size_t head = std::min(bytes, static_cast<std::size_t>((16 - (from & 15)) & 15));
    const std::size_t middle = (bytes - head) / 64 * 64;
    auto* in = static_cast<unsigned char*>(const_cast<void*>(src));
    auto* out = static_cast<unsigned char*>(dest);
    MulAddRegionPlain(c, in, out, head);
    gf_t* field = Field();
    // The library takes an int length.
    constexpr std::size_t kStep = std::size_t{1} << 30;
    for (std::size_t done = 0; done < middle; done += kStep) {
        const std::size_t n = std::min(middle - done, kStep);
        field->multiply_region.w32(field, in + head + done, out + head + done, c, static_cast<int>(n), 1);
    }
    MulAddRegionPlain(c, in + head + middle, out + head + middle, bytes - head - middle);
}

void MulAddRegionPlain(Gf c, const void* src, void* dest, std::size_t bytes) {
    const auto* in = static_cast<const unsigned char*>(src);
    auto* out = static_cast<unsigned char*>(dest);
    for (std::size_t i = 0; i + 1 < bytes; i += 2) {
        const Gf word = static_cast<Gf>(in[i] | (in[i + 1] << 8));
        const Gf product = GfMul(c, word);
        out[i] = static_cast<unsigned char>(out[i] ^ (product & 0xFF));
        out[i + 1] = static_cast<unsigned char>(out[i + 1] ^ (product >> 8));
    }
}

}  // namespace brindle::recovery
