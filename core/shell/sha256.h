#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace brindle {

// SHA-256 of a stream of bytes. The digest comes from a well-kept library (the processor's
// SHA instructions where it has them); this is the only place core reaches it.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(const void* data, std::size_t size);
    // The digest in lowercase hex; the object is spent afterwards.
    std::string HexDigest();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace brindle
