#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "checks/checksum_lists.h"
#include "shell/status.h"

// Plain numbered pieces as other tools and downloads bring them: NAME.001, NAME.002, ...
// with no header, laid end to end they are the file NAME. Some tools start at NAME.000, and
// some write a small NAME.000 that only describes the split.
namespace brindle {

// Three digits number at most kMaxPieces pieces; a split never writes more.
inline constexpr std::size_t kNumberedDigits = 3;

struct NumberedName {
    std::string base;            // NAME, also the joined file's name
    std::int64_t number = 0;
    std::size_t digits = 0;      // as written, leading zeros included
};

// "movie.mkv.003" -> {"movie.mkv", 3, 3}; nothing unless the name is NAME.NNN with a
// non-empty NAME and three to nine digits.
std::optional<NumberedName> ParseNumberedName(std::string_view fileName);

// NAME.NNN with the number written in at least `digits` digits.
std::string NumberedPieceName(const std::string& base, std::int64_t number,
                              std::size_t digits = kNumberedDigits);

// One number of a group's run, from its first to its highest number present.
struct NumberedSlot {
    std::string name;
    bool present = false;  // something of this name is there
    bool regular = false;  // and it is a regular file (or a link to one)
    bool outside = false;  // a symbolic link to a file outside the folder: refused
    std::int64_t size = 0;
};

struct NumberedGroup {
    Status status;                    // not ok: the group would not join; the message names why
    // Not ok for a refusal that no rebuilt piece lifts: a checksum file that links outside the
    // folder, or a list, a piece or the folder that could not be read.
    Status standing;
    std::string missingPiece;         // a gap in the numbers: the first piece not there
    std::string folder;
    std::string base;
    std::size_t digits = kNumberedDigits;  // of its lowest number
    std::vector<NumberedSlot> numbers;
    std::vector<std::string> pieces;  // paths, in order; empty unless every slot holds a file
    std::vector<std::int64_t> sizes;
    std::int64_t totalSize = 0;
    std::string leftOut;              // a NAME.000 smaller than a piece: not part of the group
    ChecksumLists lists;              // the checksum files beside it that list its names
    bool Ready() const { return status.ok(); }
};

// The group NAME in `folder`: every NAME.NNN from 001 (or a full-size 000) to the highest
// number present or listed in a checksum file beside it, each a regular file (or a link to
// one in the same folder), all but the last of one size and the last no larger. A checksum
// file beside it that links outside the folder refuses the group too.
NumberedGroup FindNumberedGroup(const std::string& folder, const std::string& base);

// The names (NAME) of the numbered groups in `folder` whose first piece is there,
// alphabetically. Fails when the folder cannot be listed.
Status FindNumberedGroups(const std::string& folder, std::vector<std::string>* bases);

// Those groups, found from one listing of the folder that reads each checksum file once,
// however many groups there are.
Status FindAllNumberedGroups(const std::string& folder, std::vector<NumberedGroup>* groups);

// Their first pieces' names (NAME.001, or NAME.0001 for a group numbered so), from the names
// alone: nothing is read.
Status FirstNumberedPieces(const std::string& folder, std::vector<std::string>* firsts);

// All but the last of one size, the last no larger and not empty. Names the piece at fault.
Status CheckNumberedSizes(const std::vector<std::string>& pieces, const std::vector<std::int64_t>& sizes);

}  // namespace brindle
