#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "format/piece_format.h"
#include "shell/status.h"

namespace brindle {

inline constexpr const char* kNoGroupText = "No File Group Available";

// The group name of a piece file name or path: the text before the last "(", without folder.
std::string GroupNameFromPiece(std::string_view pieceName);

// The groups of a folder, one per name, in the order of their first file in the
// alphabetical listing. A group counts as soon as any of its pieces is there. Fails when the
// folder cannot be listed.
Status FindGroups(const std::string& folder, std::vector<std::string>* groups);

std::string FirstPiecePath(const std::string& folder, const std::string& groupName);

// Reads the 256-byte header at the start of a piece file.
Status ReadPieceHeader(const std::string& path, PieceHeader* header);

// Of `headers`, the first that stores the name most of them store: a piece whose name field
// differs from the others' is damaged and never names the group. Nothing for none.
std::optional<PieceHeader> MostStoredName(const std::vector<PieceHeader>& headers);

// The header that speaks for a group: of the first piece and the later ones whose header is
// sound and names its own number, the lowest-numbered that stores the name most of them
// store. Every piece carries the source's name, length and date, so a group whose first
// piece is lost or damaged (and can be rebuilt) can still be shown. The first piece's
// failure when none reads.
Status ReadGroupHeader(const std::string& folder, const std::string& groupName, PieceHeader* header);

// What the join windows show of a group: the stored name, size text and split date.
struct GroupDetails {
    std::string originalName;
    std::string sizeText;
    std::string splitDate;
};
GroupDetails DescribeGroup(const PieceHeader& firstPiece, char decimalSeparator = '.');

// The name a group stores for its joined file, as bytes: exactly as stored in pieces that carry
// the data-hash marker; in an earlier writer's pieces, a name that is not UTF-8 read as
// Windows-1252 (as the windows show it) and written as UTF-8, unless that reading is longer
// than kLongestFileName bytes.
inline constexpr std::size_t kLongestFileName = 255;
std::string OriginalNameBytes(const PieceHeader& firstPiece);

// The name to give the joined file by default: OriginalNameBytes, reduced to a plain file name
// so that a crafted piece cannot aim the output at another folder; the group's name when
// nothing is left.
std::string SafeOriginalName(std::string_view originalName, const std::string& groupName);
std::string SafeOriginalName(const PieceHeader& firstPiece, const std::string& groupName);

// The ordered piece list of a group, found by exact name from the count in its first piece.
struct JoinPlan {
    Status status;               // not ok: the first piece could not be read or is not sound
    std::string missingPiece;    // set when a piece from 2 to n is not in the folder
    PieceHeader firstPiece;
    std::vector<std::string> pieces;
    bool Ready() const { return status.ok() && missingPiece.empty(); }
};
JoinPlan PlanJoin(const std::string& folder, const std::string& groupName);

}  // namespace brindle
