#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "shell/progress.h"
#include "split/split_engine.h"

// Splitting what a pipe gives, whose length is known only once it ends.
namespace brindle {

// Puts up to `n` bytes of the input in `buffer` and their number in `*got`; 0 at its end.
using StreamRead = std::function<Status(char* buffer, std::size_t n, std::size_t* got)>;

struct StreamSplitParams {
    std::string destFolder;
    std::string groupName;   // G(1).qmf, G(2).qmf002, ...; with `raw` G.001, G.002, ...
    std::string storedName;  // the file name the program's own pieces store
    std::int64_t pieceSize = 0;  // data bytes of each full piece
    bool raw = false;
    bool checksums = false;
    bool dataCheck = true;
    int recoveryPercent = 0;
    std::string splitDate;
};

// What refuses the split before a byte is read: a name the pieces cannot have, a size no
// piece can be, and anything already at the group's piece names or its checksum file (a
// split from a pipe replaces nothing), or recovery files of other files at its name.
Status CheckStreamSplit(const StreamSplitParams& params);

// Reads the input to its end into hidden pieces (.NAME.brindle-part), a bounded buffer at a
// time. Only once it has ended are the counts, the length and the data hashes written into
// the headers and the pieces named, from the last down to the first, then the recovery
// files and the checksum file: a split stopped, failed or killed at any moment leaves no
// group that joins, and the next split of the group removes the hidden pieces it left. More
// than 999 pieces' worth of input stops it as InvalidArgument, leaving nothing.
SplitResult SplitStream(const StreamSplitParams& params, const StreamRead& read, Progress& progress);

}  // namespace brindle
