#include "recovery/par2_packets.h"

#include <algorithm>
#include <cstring>

#include "checks/digest.h"

namespace brindle::recovery::par2 {
namespace {

constexpr char kMagic[8] = {'P', 'A', 'R', '2', '\0', 'P', 'K', 'T'};
// No file or slice is larger: sums of sizes and slice counts then never overflow.
constexpr std::uint64_t kLargestSize = std::uint64_t{1} << 62;

void PutLe(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

std::uint64_t GetLe(const unsigned char* in, int bytes) {
    std::uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        value = (value << 8) | in[i];
    }
    return value;
}

void Put(std::string& out, const Md5& md5) { out.append(reinterpret_cast<const char*>(md5.data()), md5.size()); }

Md5 GetMd5(const unsigned char* in) {
    Md5 md5;
    std::memcpy(md5.data(), in, md5.size());
    return md5;
}

Md5 ToMd5(const std::string& raw) {
    Md5 md5{};
    std::memcpy(md5.data(), raw.data(), std::min(raw.size(), md5.size()));
    return md5;
}

void Pad4(std::string& body) {
    while (body.size() % 4 != 0) {
        body.push_back('\0');
    }
}

// A text field padded with NULs: its bytes up to the first NUL.
std::string Unpadded(const unsigned char* in, std::size_t n) {
    std::size_t length = 0;
    while (length < n && in[length] != 0) {
        ++length;
    }
    return {reinterpret_cast<const char*>(in), length};
}

void TakeBody(const Type& type, const unsigned char* body, std::size_t n, Set& set) {
    if (type == kMainType) {
        if (n < 12 || set.hasMain) {
            return;
        }
        const std::uint64_t sliceSize = GetLe(body, 8);
        const std::uint64_t count = GetLe(body + 8, 4);
        if (sliceSize == 0 || sliceSize % 4 != 0 || sliceSize > kLargestSize || count > (n - 12) / 16) {
            return;
        }
        set.hasMain = true;
        set.sliceSize = sliceSize;
        for (std::uint64_t i = 0; i < count; ++i) {
            set.recoveryIds.push_back(GetMd5(body + 12 + 16 * i));
        }
    } else if (type == kFileDescType) {
        if (n < 56 || GetLe(body + 48, 8) > kLargestSize) {
            return;
        }
        FileEntry& file = set.files[GetMd5(body)];
        file.id = GetMd5(body);
        file.md5 = GetMd5(body + 16);
        file.headMd5 = GetMd5(body + 32);
        file.length = GetLe(body + 48, 8);
        file.name = Unpadded(body + 56, n - 56);
    } else if (type == kIfscType) {
        if (n < 16 || (n - 16) % 20 != 0) {
            return;
        }
        FileEntry& file = set.files[GetMd5(body)];
        file.id = GetMd5(body);
        if (!file.slices.empty()) {
            return;
        }
        for (std::size_t at = 16; at + 20 <= n; at += 20) {
            file.slices.push_back({GetMd5(body + at), static_cast<std::uint32_t>(GetLe(body + at + 16, 4))});
        }
    }
}

}  // namespace

Md5 Md5Of(std::string_view bytes) {
    Digest digest(DigestKind::kMd5);
    digest.Update(bytes.data(), bytes.size());
    return ToMd5(digest.RawDigest());
}

Md5 FileId(const Md5& headMd5, std::uint64_t length, std::string_view name) {
    std::string bytes;
    Put(bytes, headMd5);
    PutLe(bytes, length, 8);
    bytes.append(name);
    return Md5Of(bytes);
}

bool IdBefore(const Md5& a, const Md5& b) {
    for (int i = 15; i >= 0; --i) {
        if (a[static_cast<std::size_t>(i)] != b[static_cast<std::size_t>(i)]) {
            return a[static_cast<std::size_t>(i)] < b[static_cast<std::size_t>(i)];
        }
    }
    return false;
}

std::string Packet(const Md5& setId, const Type& type, std::string_view body) {
    std::string hashed;
    Put(hashed, setId);
    hashed.append(type.data(), type.size());
    hashed.append(body);
    Pad4(hashed);
    std::string packet(kMagic, sizeof kMagic);
    PutLe(packet, 32 + hashed.size(), 8);
    Put(packet, Md5Of(hashed));
    packet += hashed;
    return packet;
}

std::string MainBody(std::uint64_t sliceSize, const std::vector<Md5>& sortedIds) {
    std::string body;
    PutLe(body, sliceSize, 8);
    PutLe(body, sortedIds.size(), 4);
    for (const Md5& id : sortedIds) {
        Put(body, id);
    }
    return body;
}

std::string FileDescBody(const FileEntry& file) {
    std::string body;
    Put(body, file.id);
    Put(body, file.md5);
    Put(body, file.headMd5);
    PutLe(body, file.length, 8);
    body += file.name;
    Pad4(body);
    return body;
}

std::string IfscBody(const FileEntry& file) {
    std::string body;
    Put(body, file.id);
    for (const SliceCheck& slice : file.slices) {
        Put(body, slice.md5);
        PutLe(body, slice.crc, 4);
    }
    return body;
}

std::string CreatorBody(std::string_view creator) {
    std::string body(creator);
    Pad4(body);
    return body;
}

std::string RecoveryHashPrefix(const Md5& setId, std::uint32_t exponent) {
    std::string prefix;
    Put(prefix, setId);
    prefix.append(kRecoveryType.data(), kRecoveryType.size());
    PutLe(prefix, exponent, 4);
    return prefix;
}

std::string RecoveryHeader(const Md5& setId, std::uint32_t exponent, std::uint64_t dataBytes, const Md5& packetMd5) {
    std::string header(kMagic, sizeof kMagic);
    PutLe(header, kHeaderBytes + 4 + dataBytes, 8);
    Put(header, packetMd5);
    header += RecoveryHashPrefix(setId, exponent);
    return header;
}

Status ScanPackets(Source& source, std::size_t sourceIndex, Scan* scan, const std::function<bool()>& stopped,
                   bool hashRecovery) {
    const std::int64_t size = source.Size();
    constexpr std::size_t kWindow = std::size_t{1} << 20;
    constexpr std::int64_t kSmallBody = std::int64_t{1} << 20;  // read whole; larger ones stream
    std::vector<unsigned char> window;
    std::int64_t windowStart = 0;
    // Hashing packets that then fail is what a hostile file could make endless: it may cost
    // only a few times the file's own size.
    std::int64_t wasted = 0;
    const std::int64_t wasteLimit = 4 * size + (std::int64_t{1} << 20);
    std::int64_t pos = 0;
    std::vector<unsigned char> body;
    std::vector<unsigned char> chunk;
    while (pos + static_cast<std::int64_t>(kHeaderBytes) <= size) {
        if (stopped && stopped()) {
            return Status::Cancelled();
        }
        // Find the next magic at or after pos.
        if (pos < windowStart || pos + static_cast<std::int64_t>(kHeaderBytes) > windowStart + static_cast<std::int64_t>(window.size())) {
            windowStart = pos;
            window.resize(static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(kWindow), size - pos)));
            if (Status status = source.ReadAt(windowStart, window.data(), window.size()); !status.ok()) {
                return status;
            }
        }
        const std::int64_t windowEnd = windowStart + static_cast<std::int64_t>(window.size());
        const auto found = std::search(window.begin() + (pos - windowStart), window.end(), std::begin(kMagic), std::end(kMagic));
        if (found == window.end()) {
            if (windowEnd >= size) {
                break;
            }
            pos = windowEnd - static_cast<std::int64_t>(sizeof kMagic) + 1;  // a magic may straddle the edge
            window.clear();
            continue;
        }
        pos = windowStart + (found - window.begin());
        if (pos + static_cast<std::int64_t>(kHeaderBytes) > windowEnd) {
            window.clear();  // read again from the magic on
            continue;
        }
        const unsigned char* header = &*found;
        const std::uint64_t length = GetLe(header + 8, 8);
        if (length < kHeaderBytes || length % 4 != 0 || length > static_cast<std::uint64_t>(size - pos) ||
            wasted > wasteLimit) {
            ++scan->damagedPackets;
            pos += 1;
            continue;
        }
        const Md5 expected = GetMd5(header + 16);
        const Md5 setId = GetMd5(header + 32);
        Type type;
        std::memcpy(type.data(), header + 48, type.size());
        const auto bodyBytes = static_cast<std::int64_t>(length - kHeaderBytes);
        const bool recovery = type == kRecoveryType;
        if (recovery && !hashRecovery) {
            std::array<unsigned char, 4> exponent{};
            if (bodyBytes >= 4) {
                const std::int64_t at = pos + static_cast<std::int64_t>(kHeaderBytes);
                if (at + 4 <= windowEnd) {
                    std::memcpy(exponent.data(), window.data() + (at - windowStart), exponent.size());
                } else if (Status status = source.ReadAt(at, exponent.data(), exponent.size()); !status.ok()) {
                    return status;
                }
                Set& set = scan->sets[setId];
                set.id = setId;
                RecoveryBlock block;
                block.exponent = static_cast<std::uint32_t>(GetLe(exponent.data(), 4));
                block.source = sourceIndex;
                block.offset = pos + static_cast<std::int64_t>(kHeaderBytes) + 4;
                block.bytes = static_cast<std::uint64_t>(bodyBytes - 4);
                block.packetMd5 = expected;
                set.blocks.emplace(block.exponent, block);
            }
            pos += static_cast<std::int64_t>(length);
            continue;
        }
        Digest digest(DigestKind::kMd5);
        digest.Update(header + 32, 32);
        bool kept = !recovery && bodyBytes <= kSmallBody;
        if (kept) {
            body.resize(static_cast<std::size_t>(bodyBytes));
            if (Status status = body.empty() ? Status::Ok()
                                             : source.ReadAt(pos + static_cast<std::int64_t>(kHeaderBytes), body.data(), body.size());
                !status.ok()) {
                return status;
            }
            digest.Update(body.data(), body.size());
        } else {
            chunk.resize(kWindow);
            for (std::int64_t done = 0; done < bodyBytes;) {
                const auto n = static_cast<std::size_t>(std::min<std::int64_t>(bodyBytes - done, static_cast<std::int64_t>(kWindow)));
                if (Status status = source.ReadAt(pos + static_cast<std::int64_t>(kHeaderBytes) + done, chunk.data(), n);
                    !status.ok()) {
                    return status;
                }
                if (recovery && done == 0 && n >= 4) {
                    body.assign(chunk.begin(), chunk.begin() + 4);
                }
                digest.Update(chunk.data(), n);
                done += static_cast<std::int64_t>(n);
            }
        }
        if (ToMd5(digest.RawDigest()) != expected) {
            ++scan->damagedPackets;
            wasted += static_cast<std::int64_t>(length);
            pos += 1;
            continue;
        }
        Set& set = scan->sets[setId];
        set.id = setId;
        if (recovery) {
            if (bodyBytes >= 4) {
                RecoveryBlock block;
                block.exponent = static_cast<std::uint32_t>(GetLe(body.data(), 4));
                block.source = sourceIndex;
                block.offset = pos + static_cast<std::int64_t>(kHeaderBytes) + 4;
                block.bytes = static_cast<std::uint64_t>(bodyBytes - 4);
                set.blocks.emplace(block.exponent, block);
            }
        } else if (kept) {
            TakeBody(type, body.data(), body.size(), set);
        }
        pos += static_cast<std::int64_t>(length);
    }
    return Status::Ok();
}

const Set* CompleteSet(const Scan& scan) {
    const Set* best = nullptr;
    for (const auto& entry : scan.sets) {
        const Set& set = entry.second;
        if (!set.hasMain) {
            continue;
        }
        const bool complete = std::all_of(set.recoveryIds.begin(), set.recoveryIds.end(), [&set](const Md5& fileId) {
            const auto file = set.files.find(fileId);
            if (file == set.files.end() || file->second.name.empty()) {
                return false;
            }
            const std::uint64_t slices = (file->second.length + set.sliceSize - 1) / set.sliceSize;
            return file->second.slices.size() == slices;
        });
        if (complete && (best == nullptr || set.blocks.size() > best->blocks.size())) {
            best = &set;
        }
    }
    return best;
}

}  // namespace brindle::recovery::par2
