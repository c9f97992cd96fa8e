#include "io/file_road.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>

#include "shell/paths.h"

#if !defined(BRINDLE_POSIX_IO)

namespace brindle::io {

// For systems without POSIX calls (and for trying this road on one that has them).
Status File::OpenExisting(const std::string& path, bool write) {
    (void)Close();
    path_ = path;
    if (const int fault = FaultPoint(Call::kOpen)) {
        return ErrnoStatus(Tr("cannot open %1: %2"), path, fault);
    }
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return std::filesystem::exists(path, error)
                   ? Status::InvalidArgument(Fill(Tr("not a regular file: %1"), {path}))
                   : ErrnoStatus(Tr("cannot open %1: %2"), path, ENOENT);
    }
    stream_ = std::fopen(path.c_str(), write ? "r+b" : "rb");
    return stream_ != nullptr ? Status::Ok() : ErrnoStatus(Tr("cannot open %1: %2"), path, errno);
}

Status File::CreateTempBeside(const std::string& target, std::string* tempPath) {
    (void)Close();
    const auto slash = target.rfind(kPathSeparator);
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    if (const int fault = FaultPoint(Call::kCreate)) {
        return ErrnoStatus(Tr("cannot create a file in %1: %2"), folder, fault);
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        path_ = TemporaryName(folder, "") + ".part";
        stream_ = std::fopen(path_.c_str(), "wbx");  // fails when the name is taken
        if (stream_ != nullptr) {
            *tempPath = path_;
            return Status::Ok();
        }
    }
    return ErrnoStatus(Tr("cannot create a file in %1: %2"), folder, errno);
}

Status File::CreateNew(const std::string& path) {
    (void)Close();
    path_ = path;
    if (const int fault = FaultPoint(Call::kCreate)) {
        return ErrnoStatus(Tr("cannot create %1: %2"), path, fault);
    }
    stream_ = std::fopen(path.c_str(), "wbx");
    return stream_ != nullptr ? Status::Ok() : ErrnoStatus(Tr("cannot create %1: %2"), path, errno);
}

Status File::OpenStandardOutput() {
    (void)Close();
    path_ = Tr("standard output");
    if (const int fault = FaultPoint(Call::kOpen)) {
        return ErrnoStatus(Tr("cannot open %1: %2"), path_, fault);
    }
    // The C library names no second handle on it; the system's name for it does.
    stream_ = std::fopen("/dev/stdout", "ab");
    return stream_ != nullptr ? Status::Ok() : ErrnoStatus(Tr("cannot open %1: %2"), path_, errno);
}

Status File::TakePermissionsOf(const std::string& path) {
    if (const int fault = FaultPoint(Call::kStat)) {
        return ErrnoStatus(Tr("cannot set the permissions of %1: %2"), path_, fault);
    }
    std::error_code error;
    const auto existing = std::filesystem::status(path, error);
    if (error || !std::filesystem::is_regular_file(existing)) {
        return Status::Ok();
    }
    std::filesystem::permissions(path_, existing.permissions() & std::filesystem::perms::all, error);
    return error ? Status::IoError(
                       Fill(Tr("cannot set the permissions of %1: %2"), {path_, error.message()}))
                 : Status::Ok();
}

Status File::Size(std::int64_t* size) const {
    if (const int fault = FaultPoint(Call::kStat)) {
        return ErrnoStatus(Tr("cannot read the length of %1: %2"), path_, fault);
    }
    std::error_code error;
    const auto length = std::filesystem::file_size(path_, error);
    if (error) {
        return Status::IoError(
            Fill(Tr("cannot read the length of %1: %2"), {path_, error.message()}));
    }
    *size = static_cast<std::int64_t>(length);
    return Status::Ok();
}

Status File::ReadExact(void* buffer, std::size_t n) {
    if (const int fault = FaultPoint(Call::kRead)) {
        return ErrnoStatus(Tr("cannot read %1: %2"), path_, fault);
    }
    const std::size_t got = std::fread(buffer, 1, n, stream_);
    if (got == n) {
        return Status::Ok();
    }
    return std::ferror(stream_) ? ErrnoStatus(Tr("cannot read %1: %2"), path_, errno)
                                : Status::Corruption(Fill(Tr("unexpected end of %1"), {path_}));
}

Status File::Seek(std::int64_t offset) {
    if (const int fault = FaultPoint(Call::kRead)) {
        return ErrnoStatus(Tr("cannot read %1: %2"), path_, fault);
    }
    // fseek's long is 32 bits on some systems; the wide seeks are not in the C library.
#if defined(_WIN32)
    const int result = ::_fseeki64(stream_, offset, SEEK_SET);
#elif defined(__unix__) || defined(__APPLE__)
    if (offset > std::numeric_limits<off_t>::max()) {
        return ErrnoStatus(Tr("cannot read %1: %2"), path_, EOVERFLOW);
    }
    const int result = ::fseeko(stream_, static_cast<off_t>(offset), SEEK_SET);
#else
    if (offset > std::numeric_limits<long>::max()) {
        return ErrnoStatus(Tr("cannot read %1: %2"), path_, EOVERFLOW);
    }
    const int result = std::fseek(stream_, static_cast<long>(offset), SEEK_SET);
#endif
    if (result != 0) {
        return ErrnoStatus(Tr("cannot read %1: %2"), path_, errno);
    }
    return Status::Ok();
}

Status File::WriteAll(const void* buffer, std::size_t n) {
    if (const int fault = FaultPoint(Call::kWrite)) {
        return ErrnoStatus(Tr("cannot write %1: %2"), path_, fault);
    }
    if (!TakeBudget(n) || std::fwrite(buffer, 1, n, stream_) != n) {
        return ErrnoStatus(Tr("cannot write %1: %2"), path_, ENOSPC);
    }
    return Status::Ok();
}

Status File::WriteAt(std::int64_t offset, const void* data, std::size_t n) {
    Status status = Seek(offset);
    if (status.ok()) {
        status = WriteAll(data, n);
    }
    // Back to the end, where the next write goes (the stream's own seek flushes what it holds).
    if (std::fseek(stream_, 0, SEEK_END) != 0 && status.ok()) {
        status = ErrnoStatus(Tr("cannot write %1: %2"), path_, errno);
    }
    return status;
}

Status File::Flush() {
    if (const int fault = FaultPoint(Call::kFlush)) {
        return ErrnoStatus(Tr("cannot write %1: %2"), path_, fault);
    }
    return std::fflush(stream_) == 0 ? Status::Ok()
                                     : ErrnoStatus(Tr("cannot write %1: %2"), path_, errno);
}

Status File::Sync() {
    ++g_syncCount;
    if (const int fault = FaultPoint(Call::kFlush)) {
        return ErrnoStatus(Tr("cannot flush to disk %1: %2"), path_, fault);
    }
    // The C library can only hand the bytes to the system; that is as far as this road goes.
    return std::fflush(stream_) == 0 ? Status::Ok()
                                     : ErrnoStatus(Tr("cannot flush %1: %2"), path_, errno);
}

Status File::Close() {
    if (stream_ == nullptr) {
        return Status::Ok();
    }
    const int fault = FaultPoint(Call::kClose);
    const int result = std::fclose(stream_);
    stream_ = nullptr;
    if (result != 0) {
        return ErrnoStatus(Tr("cannot close %1: %2"), path_, errno);
    }
    return fault == 0 ? Status::Ok() : ErrnoStatus(Tr("cannot close %1: %2"), path_, fault);
}

Status CopyRange(File& in, File& out, std::int64_t n, std::vector<char>& scratch,
                 const CopyTick& tick) {
    if (const int fault = FaultPoint(Call::kCopy)) {
        return ErrnoStatus(Tr("cannot copy to %1: %2"), out.path_, fault);
    }
    if (scratch.size() < kCopyBufferSize) {
        scratch.resize(kCopyBufferSize);
    }
    std::int64_t done = 0;
    while (n > 0) {
        const auto chunk = static_cast<std::size_t>(std::min<std::int64_t>(n, static_cast<std::int64_t>(scratch.size())));
        Status status = in.ReadExact(scratch.data(), chunk);
        if (status.ok()) {
            status = out.WriteAll(scratch.data(), chunk);
        }
        if (!status.ok()) {
            return status;
        }
        n -= static_cast<std::int64_t>(chunk);
        done += static_cast<std::int64_t>(chunk);
        if (tick && !tick(done)) {
            return Status::Cancelled();
        }
    }
    return Status::Ok();
}

namespace {
std::timed_mutex g_folderLock;
}  // namespace

FolderLock::~FolderLock() {
    if (fd_ >= 0) {
        g_folderLock.unlock();
    }
}

// The C and C++ libraries lock no files: locks of this program take turns, whatever folder.
Status FolderLock::Lock(const std::string& folder, const std::function<bool()>& stopped,
                        const std::function<void()>& waiting, Links /*links*/) {
    if (const int fault = FaultPoint(Call::kLock)) {
        return ErrnoStatus(Tr("cannot lock the folder %1: %2"), folder, fault);
    }
    std::error_code error;
    if (!std::filesystem::is_directory(folder.empty() ? "." : folder, error)) {
        return Status::NotFound(Fill(Tr("no such folder: %1"), {folder}));
    }
    bool told = false;
    while (!g_folderLock.try_lock_for(kLockPoll)) {
        if (stopped && stopped()) {
            return Status::Cancelled();
        }
        if (!told && waiting) {
            waiting();
        }
        told = true;
    }
    fd_ = 0;
    return Status::Ok();
}

std::optional<std::int64_t> NameLimit(const std::string& /*folder*/) { return std::nullopt; }

Status MoveReplacing(const std::string& from, const std::string& to) {
    if (const int fault = FaultPoint(Call::kRename)) {
        return ErrnoStatus(Tr("cannot move onto %1: %2"), to, fault);
    }
    std::error_code error;
    std::filesystem::rename(from, to, error);
    return error ? Status::IoError(Fill(Tr("cannot move onto %1: %2"), {to, error.message()}))
                 : Status::Ok();
}

Status MoveNoReplace(const std::string& from, const std::string& to) {
    const std::string name = GetFileName(to);
    if (name.empty() || name == "." || name == "..") {
        return Status::InvalidArgument(Fill(Tr("not a file name: %1"), {to}));
    }
    if (const int fault = FaultPoint(Call::kRename)) {
        return ErrnoStatus(Tr("cannot rename to %1: %2"), to, fault);
    }
    // Without an atomic no-replace move the check and the move are two steps; a case-only
    // change is let through since the "existing" file is the one being renamed.
    const auto sameIgnoringCase = [&] {
        return from.size() == to.size() &&
               std::equal(from.begin(), from.end(), to.begin(), [](unsigned char x, unsigned char y) {
                   return std::tolower(x) == std::tolower(y);
               });
    };
    std::error_code error;
    if (std::filesystem::exists(to, error) && !(SameFile(from, to) && sameIgnoringCase())) {
        return Status::IoError(Fill(Tr("cannot rename to %1: the name is taken"), {to}));
    }
    std::filesystem::rename(from, to, error);
    return error ? Status::IoError(Fill(Tr("cannot rename to %1: %2"), {to, error.message()}))
                 : Status::Ok();
}

Status RemoveFile(const std::string& path) {
    if (const int fault = FaultPoint(Call::kRemove)) {
        return ErrnoStatus(Tr("cannot delete %1: %2"), path, fault);
    }
    std::error_code error;
    if (!std::filesystem::remove(path, error)) {
        return Status::IoError(error ? Fill(Tr("cannot delete %1: %2"), {path, error.message()})
                                     : Fill(Tr("cannot delete %1: no such file"), {path}));
    }
    return Status::Ok();
}

bool SameFile(const std::string& a, const std::string& b) {
    if (FaultPoint(Call::kStat) != 0) {
        return false;
    }
    std::error_code error;
    return std::filesystem::equivalent(a, b, error) && !error;
}

}  // namespace brindle::io

#endif
