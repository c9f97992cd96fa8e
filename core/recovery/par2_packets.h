#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/status.h"

// PAR2 2.0 packets. Every packet is a 64-byte header ("PAR2\0PKT", its length with the
// header, the MD5 of everything after that hash, the recovery set's id, its type) and a body
// whose length is a multiple of 4; all integers are little-endian.
namespace brindle::recovery::par2 {

using Md5 = std::array<unsigned char, 16>;
using Type = std::array<char, 16>;

inline constexpr std::size_t kHeaderBytes = 64;
inline constexpr Type kMainType = {'P', 'A', 'R', ' ', '2', '.', '0', '\0', 'M', 'a', 'i', 'n', '\0', '\0', '\0', '\0'};
inline constexpr Type kFileDescType = {'P', 'A', 'R', ' ', '2', '.', '0', '\0', 'F', 'i', 'l', 'e', 'D', 'e', 's', 'c'};
inline constexpr Type kIfscType = {'P', 'A', 'R', ' ', '2', '.', '0', '\0', 'I', 'F', 'S', 'C', '\0', '\0', '\0', '\0'};
inline constexpr Type kRecoveryType = {'P', 'A', 'R', ' ', '2', '.', '0', '\0', 'R', 'e', 'c', 'v', 'S', 'l', 'i', 'c'};
inline constexpr Type kCreatorType = {'P', 'A', 'R', ' ', '2', '.', '0', '\0', 'C', 'r', 'e', 'a', 't', 'o', 'r', '\0'};
// The bytes of a file whose MD5 helps tell files apart before they are read whole.
inline constexpr std::int64_t kHeadBytes = 16384;

Md5 Md5Of(std::string_view bytes);

struct SliceCheck {
    Md5 md5{};
    std::uint32_t crc = 0;  // CRC-32 of the slice, zero padded to the slice size
};

struct FileEntry {
    Md5 id{};
    Md5 md5{};      // of the whole file
    Md5 headMd5{};  // of its first 16 KiB
    std::uint64_t length = 0;
    std::string name;
    std::vector<SliceCheck> slices;  // empty until its IFSC packet is seen
};

// A file's id: the MD5 of its head's MD5, its length and its name.
Md5 FileId(const Md5& headMd5, std::uint64_t length, std::string_view name);
// Ids in the order the main packet lists them: as 128-bit little-endian numbers.
bool IdBefore(const Md5& a, const Md5& b);

// A whole packet: header, hash and `body` padded to a multiple of 4.
std::string Packet(const Md5& setId, const Type& type, std::string_view body);
std::string MainBody(std::uint64_t sliceSize, const std::vector<Md5>& sortedIds);
std::string FileDescBody(const FileEntry& file);
std::string IfscBody(const FileEntry& file);
std::string CreatorBody(std::string_view creator);
// The first 68 bytes of a recovery slice packet (header and exponent) for `dataBytes` of
// data, given the packet's hash, which the caller takes as the data is made.
std::string RecoveryHeader(const Md5& setId, std::uint32_t exponent, std::uint64_t dataBytes, const Md5& packetMd5);
// The bytes a recovery packet's hash starts with, before its data.
std::string RecoveryHashPrefix(const Md5& setId, std::uint32_t exponent);

// Where the bytes of one file come from while it is scanned.
class Source {
public:
    virtual ~Source() = default;
    virtual std::int64_t Size() const = 0;
    // Reads exactly n bytes at offset.
    virtual Status ReadAt(std::int64_t offset, void* buffer, std::size_t n) = 0;
};

struct RecoveryBlock {
    std::uint32_t exponent = 0;
    std::size_t source = 0;  // which scanned file holds it
    std::int64_t offset = 0;  // where its data starts
    std::uint64_t bytes = 0;
    // The hash its packet claims (over the 36 bytes before `offset` and the data), for a
    // block taken unhashed.
    Md5 packetMd5{};
};

// What the packets of one recovery set say, gathered from any number of files.
struct Set {
    Md5 id{};
    bool hasMain = false;
    std::uint64_t sliceSize = 0;
    std::vector<Md5> recoveryIds;  // the files covered, in the main packet's order
    std::map<Md5, FileEntry> files;
    std::map<std::uint32_t, RecoveryBlock> blocks;  // by exponent, the first intact one
};

struct Scan {
    std::map<Md5, Set> sets;
    int damagedPackets = 0;  // packets whose hash or layout did not hold
};

// Adds every intact packet of `source` to `scan`, stepping over damaged ones and anything
// between packets. The work is bounded by a small multiple of the file's size whatever its
// bytes say. `stopped` is asked between packets; a stop returns Cancelled.
// Without `hashRecovery` recovery packets are taken by their length unhashed, their blocks
// kept with the hash their packet claims: enough to learn what a set describes, and the
// caller may hash the blocks later (a packet found damaged then calls for a hashed scan).
Status ScanPackets(Source& source, std::size_t sourceIndex, Scan* scan, const std::function<bool()>& stopped = {},
                   bool hashRecovery = true);

// The set a group's files are described by: the one with a main packet and every file's
// description and checksums, the largest when several are. Nothing when none is complete.
const Set* CompleteSet(const Scan& scan);

}  // namespace brindle::recovery::par2
