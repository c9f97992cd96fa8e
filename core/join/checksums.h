#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "shell/progress.h"
#include "shell/status.h"

// Checksum files beside a group's pieces, in the format of coreutils' sha256sum: one line per
// piece file, "<64 lowercase hex>  <file name>", so `sha256sum -c G.sha256` checks a group
// with no program of ours. The pieces themselves are never changed.
namespace brindle {

// The file name -> lowercase hex digest entries of one checksum file.
using ChecksumList = std::map<std::string, std::string>;

// folder/G.sha256
std::string ChecksumFilePath(const std::string& folder, const std::string& groupName);

// SHA-256 of a whole file, in lowercase hex. `tick` hears the bytes read so far and may stop
// the hashing (Cancelled).
Status HashFile(const std::string& path, std::string* hexDigest,
                const std::function<bool(std::int64_t)>& tick = {});

// Hashes every piece and writes the group's checksum file atomically: it appears whole, or
// not at all. With `progress`, the hashing moves it piece by piece and heeds its stop.
Status WriteChecksumFile(const std::string& folder, const std::string& groupName,
                         const std::vector<std::string>& piecePaths, Progress* progress = nullptr);

// NotFound when there is no such file; Corruption when a line is not a checksum line.
Status ReadChecksumFile(const std::string& path, ChecksumList* list);

// Ok when every piece is listed and its bytes match; otherwise Corruption naming the first
// piece that is damaged or missing from the list.
Status VerifyPieces(const ChecksumList& list, const std::vector<std::string>& piecePaths,
                    Progress* progress = nullptr);

// Checks the pieces against the checksum file of their group when one lies beside the first
// piece; Ok when there is none.
Status VerifyPiecesIfListed(const std::vector<std::string>& piecePaths, Progress* progress = nullptr);

// What `brindle verify` finds of each piece of a group.
enum class PieceVerdict { kOk, kMissing, kForeign, kDamaged, kNotRegular };
// "ok", "missing", "from another split", "damaged", "not a regular file" (a folder, pipe or
// device under the piece's name, in the words a join uses for it)
const char* VerdictText(PieceVerdict verdict);

struct PieceCheck {
    std::string name;
    PieceVerdict verdict = PieceVerdict::kOk;
    std::string reason;  // for a damaged piece: why
};

struct GroupCheck {
    Status status;  // not ok: the first piece is missing, unreadable or not sound
    std::vector<PieceCheck> pieces;
    std::int64_t dataBytes = 0;    // of the pieces that are there
    std::int64_t sourceLength = 0;  // as the first piece stores it
    bool checksumsChecked = false;
    // The group would join correctly.
    bool Joinable() const;
};

// Checks a group without joining it: every piece present by exact name, all from the first
// piece's split, their data adding up to the stored length, and each piece's checksum where
// the group's checksum file exists. Every piece is looked at; nothing stops at the first fault.
GroupCheck CheckGroup(const std::string& folder, const std::string& groupName);

}  // namespace brindle
