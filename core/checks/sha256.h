#pragma once

#include "checks/digest.h"

namespace brindle {

// SHA-256 of a stream of bytes, from the same well-kept library as every other digest (the
// processor's SHA instructions where it has them).
class Sha256 final : public Digest {
public:
    Sha256() : Digest(DigestKind::kSha256) {}
};

}  // namespace brindle
