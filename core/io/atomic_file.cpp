#include "io/atomic_file.h"

#include <utility>

namespace brindle::io {

AtomicFile::AtomicFile(std::string target, Flush flush) : target_(std::move(target)), flush_(flush) {}

AtomicFile::~AtomicFile() {
    if (!temporary_.empty()) {
        (void)file_.Close();
        (void)RemoveFile(temporary_);
    }
}

Status AtomicFile::Open() {
    return file_.CreateTempBeside(target_, &temporary_);
}

Status AtomicFile::OpenWritten(File* reader) {
    const Status status = file_.Flush();
    return status.ok() ? reader->OpenRead(temporary_) : status;
}

Status AtomicFile::Commit(Move move) {
    Status status;
    // A new name has nothing to lose, so it does not wait for the disk; a target the system
    // cannot look at is not taken for a new name.
    FileType type = FileType::kNone;
    if (move == Move::kReplace) {
        status = TypeAt(target_, &type);
    }
    if (status.ok() && type == FileType::kRegular) {
        status = file_.TakePermissionsOf(target_);
        if (status.ok() && flush_ == Flush::kBeforeReplacing) {
            status = file_.Sync();
        }
    }
    if (status.ok()) {
        status = file_.Close();
    }
    if (status.ok()) {
        status = move == Move::kReplace ? MoveReplacing(temporary_, target_) : MoveNoReplace(temporary_, target_);
    }
    if (status.ok()) {
        temporary_.clear();
    }
    return status;
}

}  // namespace brindle::io
