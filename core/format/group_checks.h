#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "checks/digest.h"
#include "format/piece_format.h"
#include "shell/status.h"

// What every header of a group holds, checked piece by piece before a join writes anything
// and by `brindle verify`, so that pieces under each other's names, copies and pieces cut
// short or grown never join into scrambled bytes. A group any correct splitter wrote passes.
namespace brindle {

// A piece whose data differs from what its header's data hash says, in the words of a fault
// on verify's per-piece line: English in every language, as scripts read it. What a person
// reads of it is PieceHashes::Check's sentence.
inline constexpr const char* kDataHashFault = "its data does not match its header's hash";

// What one read of a piece's data checks, each hash started on its share of the header:
// the header's data hash when it carries one, and the whole file's SHA-256 when a checksum
// list gives `sha256`.
class PieceHashes {
public:
    PieceHashes(const HeaderBytes& header, const std::string* sha256);
    // What the data is fed to; kept by this object.
    std::vector<Digest*> digests() const;
    // Once fed: Ok, or Corruption naming the piece at `path` for the first that differs
    // ("NAME: damaged (its data does not match its header's hash)").
    Status Check(const std::string& path);
    bool dataMismatch() const { return dataMismatch_; }

private:
    std::unique_ptr<Digest> data_;
    std::unique_ptr<Digest> sha256_;
    std::string stored_;
    std::string expected_;
    bool dataMismatch_ = false;
};

// Ok when the first piece describes a group that can exist: a valid length, 1 to 999 pieces,
// and a piece size that gives exactly that many pieces for that length.
Status CheckFirstPiece(const PieceHeader& first, const std::string& path);

// What is wrong with the piece found in place `number` of the group whose first piece is
// `first` (already checked), in a few words ("holds piece 3", "holds 10 bytes too few");
// empty when it belongs there. A piece of another split is not judged here: compare GroupId
// first. English in every language: verify's per-piece lines are read by scripts.
std::string PlaceFault(const PieceHeader& first, const PieceHeader& piece, int number, std::int64_t dataLength);
// The same, for a person: Ok, or Corruption with one translated sentence naming `path`.
Status CheckPlace(const PieceHeader& first, const PieceHeader& piece, int number, std::int64_t dataLength,
                  const std::string& path);

}  // namespace brindle
