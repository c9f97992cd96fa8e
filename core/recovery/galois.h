#pragma once

#include <cstddef>
#include <cstdint>

// Arithmetic in GF(2^16) with the polynomial x^16 + x^12 + x^3 + x + 1 (0x1100B), the field
// of PAR2's Reed-Solomon code. Regions are runs of 16-bit little-endian words.
namespace brindle::recovery {

using Gf = std::uint16_t;

Gf GfMul(Gf a, Gf b);
// a / b for b not 0.
Gf GfDiv(Gf a, Gf b);
// 2 to the power `n`.
Gf GfExp2(std::uint32_t n);
// a to the power `n`.
Gf GfPow(Gf a, std::uint32_t n);

// A constant made ready for region multiplies (its lookup tables or bit matrices), for a
// caller that multiplies many short regions by the same constants.
struct GfFactor {
    explicit GfFactor(Gf value);
    Gf c = 0;
    alignas(16) unsigned char low[4][16] = {};   // the split tables
    alignas(16) unsigned char high[4][16] = {};
    std::uint64_t matrices[4] = {};              // the bit matrices
};

// dest[i] ^= c * src[i] over `bytes` bytes (even). The region multiply of a SIMD library,
// chosen for the processor at run time; src and dest must not overlap.
void MulAddRegion(Gf c, const void* src, void* dest, std::size_t bytes);
void MulAddRegion(const GfFactor& c, const void* src, void* dest, std::size_t bytes);
// dests[k][i] ^= factors[k] * src[i] for each of `count` outputs: the source is read once
// for all of them.
void MulAddRegions(const GfFactor* factors, std::size_t count, const void* src, unsigned char* const* dests,
                   std::size_t bytes);
// The same word by word, through the log tables: the reference the fast one is held to.
void MulAddRegionPlain(Gf c, const void* src, void* dest, std::size_t bytes);

namespace testing {
// The fastest road the region multiplies may take while one lives, so tests hold each road the
// processor has (not only the fastest) to the plain reference.
enum class GfRoad { kLibrary, kAvx2, kAvx512, kGfni };
class GfRoadCeiling {
public:
    explicit GfRoadCeiling(GfRoad highest);
    ~GfRoadCeiling();
    GfRoadCeiling(const GfRoadCeiling&) = delete;
    GfRoadCeiling& operator=(const GfRoadCeiling&) = delete;
};
}  // namespace testing

}  // namespace brindle::recovery
