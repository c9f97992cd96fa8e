#pragma once

#include <string>

#include "io/file_io.h"
#include "shell/status.h"

namespace brindle::io {

// Writes one file so that it appears whole or not at all. The bytes go to a temporary in
// the target's own folder, which is moved into place only by Commit; one that never gets
// there is removed, whatever went wrong on the way. A file that is replaced keeps its
// permissions, and by default the new bytes reach the disk before they take its place, so a
// power cut leaves the old file or the new one, never an empty one.
class AtomicFile {
public:
    enum class Move { kReplace, kNoReplace };
    // kNever where the bytes still exist elsewhere (a piece holds what its source still does)
    // and waiting for the disk would only slow the job.
    enum class Flush { kBeforeReplacing, kNever };

    explicit AtomicFile(std::string target, Flush flush = Flush::kBeforeReplacing);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary.
    Status Open();
    File& file() { return file_; }
    // Hands what was written so far to the system and opens `reader` on the temporary, so
    // the bytes can be read back (hashed) while more are written, and after the move.
    Status OpenWritten(File* reader);

    // Closes the temporary and moves it onto the target: replacing what is there, or only
    // if nothing is. On failure the temporary is gone and the target as it was.
    Status Commit(Move move);

private:
    std::string target_;
    Flush flush_;
    std::string temporary_;
    File file_;
};

}  // namespace brindle::io
