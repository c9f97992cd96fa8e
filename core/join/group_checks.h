#pragma once

#include <cstdint>
#include <string>

#include "shell/status.h"
#include "split/piece_format.h"

// What every header of a group holds, checked piece by piece before a join writes anything
// and by `brindle verify`, so that pieces under each other's names, copies and pieces cut
// short or grown never join into scrambled bytes. A group any correct splitter wrote passes.
namespace brindle {

// Ok when the first piece describes a group that can exist: a valid length, 1 to 999 pieces,
// and a piece size that gives exactly that many pieces for that length.
Status CheckFirstPiece(const PieceHeader& first, const std::string& path);

// What is wrong with the piece found in place `number` of the group whose first piece is
// `first` (already checked), in a few words ("holds piece 3", "holds 10 bytes too few");
// empty when it belongs there. A piece of another split is not judged here: compare GroupId
// first.
std::string PlaceFault(const PieceHeader& first, const PieceHeader& piece, int number, std::int64_t dataLength);

}  // namespace brindle
