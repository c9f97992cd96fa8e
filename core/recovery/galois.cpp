#include "recovery/galois.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>

extern "C" {
#include <gf_complete.h>
}

#include <atomic>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define BRINDLE_GF_AVX2 1
#endif

namespace brindle::recovery {
namespace {

std::atomic<int> g_ceiling{static_cast<int>(testing::GfRoad::kGfni)};

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

#ifdef BRINDLE_GF_AVX2
namespace {

// The split tables of c: the product of c with a word is the XOR of c times each of the
// word's four nibbles in place, and each such product is looked up by the nibble, a byte
// of it at a time: 8 tables of 16 bytes (GfFactor::low and high).

__attribute__((target("avx2"))) inline __m256i table(const unsigned char* t) {
    return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(t)));
}

// 32 words at a time: their low and high bytes apart, each nibble looked up, the bytes
// put back together and added in.
__attribute__((target("avx2"))) std::size_t MulAddAvx2(const GfFactor& tables, const unsigned char* in,
                                                      unsigned char* out, std::size_t bytes) {
    const __m256i l0 = table(tables.low[0]), l1 = table(tables.low[1]), l2 = table(tables.low[2]), l3 = table(tables.low[3]);
    const __m256i h0 = table(tables.high[0]), h1 = table(tables.high[1]), h2 = table(tables.high[2]),
                  h3 = table(tables.high[3]);
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i lowBytes = _mm256_set1_epi16(0x00FF);
    std::size_t done = 0;
    for (; done + 64 <= bytes; done += 64) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + done));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + done + 32));
        const __m256i lo = _mm256_packus_epi16(_mm256_and_si256(a, lowBytes), _mm256_and_si256(b, lowBytes));
        const __m256i hi = _mm256_packus_epi16(_mm256_srli_epi16(a, 8), _mm256_srli_epi16(b, 8));
        const __m256i n0 = _mm256_and_si256(lo, nibble);
        const __m256i n1 = _mm256_and_si256(_mm256_srli_epi16(lo, 4), nibble);
        const __m256i n2 = _mm256_and_si256(hi, nibble);
        const __m256i n3 = _mm256_and_si256(_mm256_srli_epi16(hi, 4), nibble);
        const __m256i rlo = _mm256_xor_si256(_mm256_xor_si256(_mm256_shuffle_epi8(l0, n0), _mm256_shuffle_epi8(l1, n1)),
                                             _mm256_xor_si256(_mm256_shuffle_epi8(l2, n2), _mm256_shuffle_epi8(l3, n3)));
        const __m256i rhi = _mm256_xor_si256(_mm256_xor_si256(_mm256_shuffle_epi8(h0, n0), _mm256_shuffle_epi8(h1, n1)),
                                             _mm256_xor_si256(_mm256_shuffle_epi8(h2, n2), _mm256_shuffle_epi8(h3, n3)));
        // packus took a's words then b's in each lane; the unpacks give them back so.
        const __m256i ra = _mm256_unpacklo_epi8(rlo, rhi);
        const __m256i rb = _mm256_unpackhi_epi8(rlo, rhi);
        auto* target = reinterpret_cast<__m256i*>(out + done);
        _mm256_storeu_si256(target, _mm256_xor_si256(_mm256_loadu_si256(target), ra));
        _mm256_storeu_si256(target + 1, _mm256_xor_si256(_mm256_loadu_si256(target + 1), rb));
    }
    return done;
}

__attribute__((target("avx512f,avx512bw"))) inline __m512i table512(const unsigned char* t) {
    alignas(64) unsigned char lanes[64];
    for (int lane = 0; lane < 4; ++lane) {
        std::memcpy(lanes + 16 * lane, t, 16);
    }
    return _mm512_load_si512(lanes);
}

// The same, 64 words at a time.
__attribute__((target("avx512f,avx512bw"))) std::size_t MulAddAvx512(const GfFactor& tables, const unsigned char* in,
                                                                    unsigned char* out, std::size_t bytes) {
    const __m512i l0 = table512(tables.low[0]), l1 = table512(tables.low[1]), l2 = table512(tables.low[2]),
                  l3 = table512(tables.low[3]);
    const __m512i h0 = table512(tables.high[0]), h1 = table512(tables.high[1]), h2 = table512(tables.high[2]),
                  h3 = table512(tables.high[3]);
    const __m512i nibble = _mm512_set1_epi8(0x0F);
    const __m512i lowBytes = _mm512_set1_epi16(0x00FF);
    std::size_t done = 0;
    for (; done + 128 <= bytes; done += 128) {
        const __m512i a = _mm512_loadu_si512(in + done);
        const __m512i b = _mm512_loadu_si512(in + done + 64);
        const __m512i lo = _mm512_packus_epi16(_mm512_and_si512(a, lowBytes), _mm512_and_si512(b, lowBytes));
        const __m512i hi = _mm512_packus_epi16(_mm512_srli_epi16(a, 8), _mm512_srli_epi16(b, 8));
        const __m512i n0 = _mm512_and_si512(lo, nibble);
        const __m512i n1 = _mm512_and_si512(_mm512_srli_epi16(lo, 4), nibble);
        const __m512i n2 = _mm512_and_si512(hi, nibble);
        const __m512i n3 = _mm512_and_si512(_mm512_srli_epi16(hi, 4), nibble);
        const __m512i rlo = _mm512_xor_si512(_mm512_xor_si512(_mm512_shuffle_epi8(l0, n0), _mm512_shuffle_epi8(l1, n1)),
                                             _mm512_xor_si512(_mm512_shuffle_epi8(l2, n2), _mm512_shuffle_epi8(l3, n3)));
        const __m512i rhi = _mm512_xor_si512(_mm512_xor_si512(_mm512_shuffle_epi8(h0, n0), _mm512_shuffle_epi8(h1, n1)),
                                             _mm512_xor_si512(_mm512_shuffle_epi8(h2, n2), _mm512_shuffle_epi8(h3, n3)));
        _mm512_storeu_si512(out + done, _mm512_xor_si512(_mm512_loadu_si512(out + done), _mm512_unpacklo_epi8(rlo, rhi)));
        _mm512_storeu_si512(out + done + 64,
                            _mm512_xor_si512(_mm512_loadu_si512(out + done + 64), _mm512_unpackhi_epi8(rlo, rhi)));
    }
    return done;
}

// Multiplying by c is linear over GF(2): each byte of the product is the XOR of two 8x8 bit
// matrices applied to the word's low and high bytes, which GFNI applies 64 bytes at once
// (GfFactor::matrices: low from low, low from high, high from low, high from high).
// For each of `count` outputs, each 128 bytes of the source split into its low and high
// bytes once for all of them.
__attribute__((target("avx512f,avx512bw,gfni"))) std::size_t MulAddGfniMany(const GfFactor* factors, std::size_t count,
                                                                           const unsigned char* in,
                                                                           unsigned char* const* outs, std::size_t bytes) {
    const __m512i lowBytes = _mm512_set1_epi16(0x00FF);
    std::size_t done = 0;
    for (; done + 128 <= bytes; done += 128) {
        const __m512i a = _mm512_loadu_si512(in + done);
        const __m512i b = _mm512_loadu_si512(in + done + 64);
        const __m512i lo = _mm512_packus_epi16(_mm512_and_si512(a, lowBytes), _mm512_and_si512(b, lowBytes));
        const __m512i hi = _mm512_packus_epi16(_mm512_srli_epi16(a, 8), _mm512_srli_epi16(b, 8));
        for (std::size_t k = 0; k < count; ++k) {
            const std::uint64_t* m = factors[k].matrices;
            const __m512i rlo = _mm512_xor_si512(_mm512_gf2p8affine_epi64_epi8(lo, _mm512_set1_epi64(static_cast<long long>(m[0])), 0),
                                                 _mm512_gf2p8affine_epi64_epi8(hi, _mm512_set1_epi64(static_cast<long long>(m[1])), 0));
            const __m512i rhi = _mm512_xor_si512(_mm512_gf2p8affine_epi64_epi8(lo, _mm512_set1_epi64(static_cast<long long>(m[2])), 0),
                                                 _mm512_gf2p8affine_epi64_epi8(hi, _mm512_set1_epi64(static_cast<long long>(m[3])), 0));
            unsigned char* out = outs[k] + done;
            _mm512_storeu_si512(out, _mm512_xor_si512(_mm512_loadu_si512(out), _mm512_unpacklo_epi8(rlo, rhi)));
            _mm512_storeu_si512(out + 64, _mm512_xor_si512(_mm512_loadu_si512(out + 64), _mm512_unpackhi_epi8(rlo, rhi)));
        }
    }
    return done;
}

bool Allowed(testing::GfRoad road) {
    return static_cast<int>(road) <= g_ceiling.load(std::memory_order_relaxed);
}

bool HaveGfni() {
    static const bool gfni = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                             __builtin_cpu_supports("gfni");
    return gfni && Allowed(testing::GfRoad::kGfni);
}

bool HaveAvx512() {
    static const bool avx512 = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
    return avx512 && Allowed(testing::GfRoad::kAvx512);
}

bool HaveAvx2() {
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2 && Allowed(testing::GfRoad::kAvx2);
}

}  // namespace
#endif

GfFactor::GfFactor(Gf value) : c(value) {
    // The products of c with each single bit: every other product is an XOR of them.
    Gf columns[16];
    std::uint32_t x = value;
    for (Gf& column : columns) {
        column = static_cast<Gf>(x);
        x <<= 1;
        if (x & 0x10000) {
            x ^= kPolynomial;
        }
    }
#ifdef BRINDLE_GF_AVX2
    if (HaveGfni()) {
        for (int j = 0; j < 16; ++j) {
            for (int i = 0; i < 16; ++i) {
                if (((columns[j] >> i) & 1U) != 0) {
                    matrices[(i < 8 ? 0 : 2) + (j < 8 ? 0 : 1)] |= std::uint64_t{1} << (8 * (7 - i % 8) + j % 8);
                }
            }
        }
        return;
    }
#endif
    for (int nibble = 0; nibble < 4; ++nibble) {
        for (int n = 0; n < 16; ++n) {
            Gf product = 0;
            for (int bit = 0; bit < 4; ++bit) {
                if ((n >> bit) & 1) {
                    product = static_cast<Gf>(product ^ columns[4 * nibble + bit]);
                }
            }
            low[nibble][n] = static_cast<unsigned char>(product & 0xFF);
            high[nibble][n] = static_cast<unsigned char>(product >> 8);
        }
    }
}

void MulAddRegion(Gf c, const void* src, void* dest, std::size_t bytes) {
    if (c != 0 && bytes != 0) {
        MulAddRegion(GfFactor(c), src, dest, bytes);
    }
}

void MulAddRegion(const GfFactor& factor, const void* src, void* dest, std::size_t bytes) {
    const Gf c = factor.c;
    if (c == 0 || bytes == 0) {
        return;
    }
#ifdef BRINDLE_GF_AVX2
    // Where the processor has AVX2 (or AVX-512) our own split tables beat the library's
    // SSSE3 road about twice (four times), GFNI's bit matrices those again; the library
    // serves the others.
    if (HaveAvx2()) {
        const auto* in = static_cast<const unsigned char*>(src);
        auto* out = static_cast<unsigned char*>(dest);
        std::size_t done = 0;
        if (HaveGfni()) {
            done = MulAddGfniMany(&factor, 1, in, &out, bytes);
        } else {
            done = HaveAvx512() ? MulAddAvx512(factor, in, out, bytes) : 0;
            done += MulAddAvx2(factor, in + done, out + done, bytes - done);
        }
        MulAddRegionPlain(c, in + done, out + done, bytes - done);
        return;
    }
#endif
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

void MulAddRegions(const GfFactor* factors, std::size_t count, const void* src, unsigned char* const* dests,
                   std::size_t bytes) {
    std::size_t done = 0;
#ifdef BRINDLE_GF_AVX2
    if (HaveGfni()) {
        done = MulAddGfniMany(factors, count, static_cast<const unsigned char*>(src), dests, bytes);
    }
#endif
    for (std::size_t k = 0; k < count; ++k) {
        MulAddRegion(factors[k], static_cast<const unsigned char*>(src) + done, dests[k] + done, bytes - done);
    }
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

namespace testing {
GfRoadCeiling::GfRoadCeiling(GfRoad highest) {
    g_ceiling.store(static_cast<int>(highest), std::memory_order_relaxed);
}
GfRoadCeiling::~GfRoadCeiling() {
    g_ceiling.store(static_cast<int>(GfRoad::kGfni), std::memory_order_relaxed);
}
}  // namespace testing

}  // namespace brindle::recovery
