#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/status.h"

// Checksum files beside a group's pieces, in the format of coreutils' sha256sum: one line per
// piece file, "<64 lowercase hex>  <file name>", so `sha256sum -c G.sha256` checks a group
// with no program of ours. The first line is a comment naming the split (sha256sum skips
// lines that start with "#"), so a file left by an earlier split is never held against the
// pieces of a later one. The pieces themselves are never changed.
namespace brindle {

// The file name -> lowercase hex digest entries of one checksum file.
using ChecksumList = std::map<std::string, std::string>;

// folder/G.sha256
std::string ChecksumFilePath(const std::string& folder, const std::string& groupName);

// Writes the group's checksum file from digests already taken, one per piece, for the split
// `groupId`, atomically: it appears whole, or not at all.
Status WriteChecksumFile(const std::string& folder, const std::string& groupName, std::int32_t groupId,
                         const std::vector<std::string>& piecePaths, const std::vector<std::string>& digests);

// NotFound when there is no such file; Corruption when a line is not a checksum line.
// `groupId`, when given, gets the split the file names on its first line, or nothing for a
// file this program did not write.
Status ReadChecksumFile(const std::string& path, ChecksumList* list,
                        std::optional<std::int32_t>* groupId = nullptr);

// The checksum file beside a group, when it speaks for these pieces: one this program wrote
// for the split `groupId`, or one it did not write that lists any of them. Another split's
// file, or one about other files, is left out, and `note` says so in one line.
struct GroupChecksums {
    bool used = false;
    ChecksumList list;
    std::string note;
};
Status LoadGroupChecksums(const std::string& folder, const std::string& groupName, std::int32_t groupId,
                          const std::vector<std::string>& pieceNames, GroupChecksums* checksums);

// What `brindle verify` finds of each piece of a group.
enum class PieceVerdict { kOk, kMissing, kForeign, kDamaged, kNotRegular, kLinkedOut };
// "ok", "missing", "from another split", "damaged", "not a regular file" (a folder, pipe or
// device under the piece's name, in the words a join uses for it), "a link to a file outside
// its folder". English in every language, like PlaceFault: scripts read them.
const char* VerdictText(PieceVerdict verdict);

struct PieceCheck {
    std::string name;
    PieceVerdict verdict = PieceVerdict::kOk;
    std::string reason;  // for a damaged piece: why
    std::string fault;   // a header that does not fit its place, in a few words ("holds piece 3")
};

struct GroupCheck {
    Status status;  // not ok: the first piece is missing, unreadable or not sound
    std::vector<PieceCheck> pieces;
    std::int64_t dataBytes = 0;    // of the pieces that are there
    std::int64_t sourceLength = 0;  // as the first piece stores it
    bool checksumsChecked = false;
    std::string checksumNote;  // why a checksum file beside the group was not used
    // "no data check in these pieces" when none carries the hash of its data.
    std::string dataCheckNote;
    // The group would join correctly.
    bool Joinable() const;
};

// Checks a group without joining it: every piece present by exact name, all from the first
// piece's split, each header fitting its place, each piece's data against its header's
// hash, and each piece's checksum where the group's checksum file speaks for it (both in one
// read). In a group where some pieces carry the hash, one that does not is from another
// split. Every piece is looked at; nothing stops at the first fault.
GroupCheck CheckGroup(const std::string& folder, const std::string& groupName);

}  // namespace brindle
