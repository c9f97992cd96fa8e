#pragma once

#include <string>
#include <vector>

#include "io/file_io.h"
#include "shell/progress.h"
#include "shell/status.h"

// Joining into a stream (standard output), which cannot be taken back: no byte of a piece
// goes out before the whole piece has been checked.
namespace brindle {

struct StreamJoinResult {
    Status status;
    std::string badPiece;  // the piece the output stopped before, when one was refused
};

// Writes the data of `pieces` (the program's own, in order) to `out`. Each piece's header is
// held to the first's split and its place, and its data to its header's hash and to the
// group's checksum file where one lies beside it, all before its first byte is written; a
// piece that fails stops the output at the end of the piece before it. The hashes run ahead
// on the pool's workers while earlier pieces are copied, so each piece is read twice at most.
// With `readFrom`, one per piece, each piece's bytes come from that file (a piece rebuilt from
// recovery files, in a temporary), checked as that piece; names and lists stay the pieces'.
StreamJoinResult JoinToStream(const std::vector<std::string>& pieces, io::File& out, Progress& progress,
                              const std::vector<std::string>& readFrom = {});

// The same for plain numbered pieces NAME.001, ... in `folder`, checked against every checksum
// file that lists them or NAME before the first byte goes out; where only NAME's own sum
// fails, no piece can be told apart, and nothing goes out.
StreamJoinResult JoinNumberedToStream(const std::string& folder, const std::string& base, io::File& out,
                                      Progress& progress);

}  // namespace brindle
