#pragma once

#include "checks/digest.h"

namespace brindle {

// XXH3-128 (seed 0) of a stream of bytes: fast enough to check every byte a copy moves.
// RawDigest gives its canonical 16 bytes, as a piece's header stores them.
class Xxh3 final : public Digest {
public:
    Xxh3() : Digest(DigestKind::kXxh3_128) {}
};

}  // namespace brindle
