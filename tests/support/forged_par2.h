#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

#include "recovery/par2_packets.h"
#include "support/temp_dir.h"

// Recovery files rewritten as a hostile user would: every packet's length and hash made anew,
// so that the forgery passes every packet check.
namespace brindle::test {

inline std::uint64_t Le(const std::string& bytes, std::size_t at, int n) {
    std::uint64_t value = 0;
    for (int i = n - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

inline void PutLe(std::string& bytes, std::size_t at, std::uint64_t value, int n) {
    for (int i = 0; i < n; ++i) {
        bytes[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

// Each packet of the PAR2 file `path` through `change` (its type and body, which it may
// alter); bytes between packets are dropped.
inline void RewritePar2(const std::string& path,
                        const std::function<void(const recovery::par2::Type&, std::string& body)>& change) {
    using namespace recovery::par2;
    const std::string in = ReadFile(path);
    const std::string magic("PAR2\0PKT", 8);
    std::string out;
    for (std::size_t at = in.find(magic); at != std::string::npos && at + kHeaderBytes <= in.size();
         at = in.find(magic, at + 1)) {
        const std::uint64_t length = Le(in, at + 8, 8);
        if (length < kHeaderBytes || at + length > in.size()) {
            continue;
        }
        Md5 setId;
        Type type;
        std::memcpy(setId.data(), in.data() + at + 32, setId.size());
        std::memcpy(type.data(), in.data() + at + 48, type.size());
        std::string body = in.substr(at + kHeaderBytes, length - kHeaderBytes);
        change(type, body);
        out += Packet(setId, type, body);
        at += length - 1;
    }
    WriteFile(path, out);
}

// Describes the file `name` in the PAR2 file `path` as `length` bytes long, its block
// checksums cut or padded to match: all else as it was.
inline void ForgeLength(const std::string& path, const std::string& name, std::uint64_t length) {
    using namespace recovery::par2;
    std::uint64_t sliceSize = 0;
    std::string id;
    RewritePar2(path, [&](const Type& type, std::string& body) {
        if (type == kMainType) {
            sliceSize = Le(body, 0, 8);
        } else if (type == kFileDescType && body.substr(56, body.find_last_not_of('\0') - 55) == name) {
            id = body.substr(0, 16);
            PutLe(body, 48, length, 8);
        }
    });
    const std::size_t slices = static_cast<std::size_t>((length + sliceSize - 1) / sliceSize);
    RewritePar2(path, [&](const Type& type, std::string& body) {
        if (type == kIfscType && body.compare(0, 16, id) == 0) {
            body.resize(16 + 20 * slices, '\0');
        }
    });
}

}  // namespace brindle::test
