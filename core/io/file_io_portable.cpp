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
Status File::OpenRead(const std::string& path) {
    (void)Close();
    path_ = path;
    if (const int fault = FaultPoint(Call::kOpen)) {
        return ErrnoStatus("cannot open", path, fault);
    }
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return std::filesystem::exists(path, error) ? Status::InvalidArgument("not a regular file: " + path)
                                                    : ErrnoStatus("cannot open", path, ENOENT);
    }
    stream_ = std::fopen(path.c_str(), "rb");
    return stream_ != nullptr ? Status::Ok() : ErrnoStatus("cannot open", path, errno);
}

Status File::CreateTempBeside(const std::string& target, std::string* tempPath) {
    (void)Close();
    const auto slash = target.rfind(kPathSeparator);
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    if (const int fault = FaultPoint(Call::kCreate)) {
        return ErrnoStatus("cannot create a file in", folder, fault);
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        path_ = TemporaryName(folder, "") + ".part";
        stream_ = std::fopen(path_.c_str(), "wbx");  // fails when the name is taken
        if (stream_ != nullptr) {
            *tempPath = path_;
            return Status::Ok();
        }
    }
    return ErrnoStatus("cannot create a file in", folder, errno);
}

Status File::CreateNew(const std::string& path) {
    (void)Close();
    path_ = path;
    if (const int fault = FaultPoint(Call::kCreate)) {
        return ErrnoStatus("cannot create", path, fault);
    }
    stream_ = std::fopen(path.c_str(), "wbx");
    return stream_ != nullptr ? Status::Ok() : ErrnoStatus("cannot create", path, errno);
}

Status File::TakePermissionsOf(const std::string& path) {
    if (const int fault = FaultPoint(Call::kStat)) {
        return ErrnoStatus("cannot set the permissions of", path_, fault);
    }
    std::error_code error;
    const auto existing = std::filesystem::status(path, error);
    if (error || !std::filesystem::is_regular_file(existing)) {
        return Status::Ok();
    }
    std::filesystem::permissions(path_, existing.permissions() & std::filesystem::perms::all, error);
    return error ? Status::IoError("cannot set the permissions of " + path_ + ": " + error.message()) : Status::Ok();
}

Status File::Size(std::int64_t* size) const {
    if (const int fault = FaultPoint(Call::kStat)) {
        return ErrnoStatus("cannot read the length of", path_, fault);
    }
    std::error_code error;
    const auto length = std::filesystem::file_size(path_, error);
    if (error) {
        return Status::IoError("cannot read the length of " + path_ + ": " + error.message());
    }
    *size = static_cast<std::int64_t>(length);
    return Status::Ok();
}

Status File::ReadExact(void* buffer, std::size_t n) {
    if (const int fault = FaultPoint(Call::kRead)) {
        return ErrnoStatus("cannot read", path_, fault);
    }
    const std::size_t got = std::fread(buffer, 1, n, stream_);
    if (got == n) {
        return Status::Ok();
    }
    return std::ferror(stream_) ? ErrnoStatus("cannot read", path_, errno)
                                : Status::Corruption("unexpected end of " + path_);
}

Status File::Seek(std::int64_t offset) {
    if (const int fault = FaultPoint(Call::kRead)) {
        return ErrnoStatus("cannot read", path_, fault);
    }
    // fseek's long is 32 bits on some systems; the wide seeks are not in the C library.
#if defined(_WIN32)
    const int result = ::_fseeki64(stream_, offset, SEEK_SET);
#elif defined(__unix__) || defined(__APPLE__)
    if (offset > std::numeric_limits<off_t>::max()) {
        return ErrnoStatus("cannot read", path_, EOVERFLOW);
    }
    const int result = ::fseeko(stream_, static_cast<off_t>(offset), SEEK_SET);
#else
    if (offset > std::numeric_limits<long>::max()) {
        return ErrnoStatus("cannot read", path_, EOVERFLOW);
    }
    const int result = std::fseek(stream_, static_cast<long>(offset), SEEK_SET);
#endif
    if (result != 0) {
        return ErrnoStatus("cannot read", path_, errno);
    }
    return Status::Ok();
}

Status File::WriteAll(const void* buffer, std::size_t n) {
    if (const int fault = FaultPoint(Call::kWrite)) {
        return ErrnoStatus("cannot write", path_, fault);
    }
    if (!TakeBudget(n) || std::fwrite(buffer, 1, n, stream_) != n) {
        return ErrnoStatus("cannot write", path_, ENOSPC);
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
        status = ErrnoStatus("cannot write", path_, errno);
    }
    return status;
}

Status File::Flush() {
    if (const int fault = FaultPoint(Call::kFlush)) {
        return ErrnoStatus("cannot write", path_, fault);
    }
    return std::fflush(stream_) == 0 ? Status::Ok() : ErrnoStatus("cannot write", path_, errno);
}

Status File::Sync() {
    ++g_syncCount;
    if (const int fault = FaultPoint(Call::kFlush)) {
        return ErrnoStatus("cannot flush to disk", path_, fault);
    }
    // The C library can only hand the bytes to the system; that is as far as this road goes.
    return std::fflush(stream_) == 0 ? Status::Ok() : ErrnoStatus("cannot flush", path_, errno);
}

Status File::Close() {
    if (stream_ == nullptr) {
        return Status::Ok();
    }
    const int fault = FaultPoint(Call::kClose);
    const int result = std::fclose(stream_);
    stream_ = nullptr;
    if (result != 0) {
        return ErrnoStatus("cannot close", path_, errno);
    }
    return fault == 0 ? Status::Ok() : ErrnoStatus("cannot close", path_, fault);
}

Status CopyRange(File& in, File& out, std::int64_t n, std::vector<char>& scratch,
                 const CopyTick& tick) {
    if (const int fault = FaultPoint(Call::kCopy)) {
        return ErrnoStatus("cannot copy to", out.path_, fault);
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
        return ErrnoStatus("cannot lock the folder", folder, fault);
    }
    std::error_code error;
    if (!std::filesystem::is_directory(folder.empty() ? "." : folder, error)) {
        return Status::NotFound("no such folder: " + folder);
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
        return ErrnoStatus("cannot move onto", to, fault);
    }
    std::error_code error;
    std::filesystem::rename(from, to, error);
    return error ? Status::IoError("cannot move onto " + to + ": " + error.message()) : Status::Ok();
}

Status MoveNoReplace(const std::string& from, const std::string& to) {
    const std::string name = GetFileName(to);
    if (name.empty() || name == "." || name == "..") {
        return Status::InvalidArgument("not a file name: " + to);
    }
    if (const int fault = FaultPoint(Call::kRename)) {
        return ErrnoStatus("cannot rename to", to, fault);
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
        return Status::IoError("cannot rename to " + to + ": the name is taken");
    }
    std::filesystem::rename(from, to, error);
    return error ? Status::IoError("cannot rename to " + to + ": " + error.message()) : Status::Ok();
}

Status RemoveFile(const std::string& path) {
    if (const int fault = FaultPoint(Call::kRemove)) {
        return ErrnoStatus("cannot delete", path, fault);
    }
    std::error_code error;
    if (!std::filesystem::remove(path, error)) {
        return Status::IoError("cannot delete " + path + ": " + (error ? error.message() : "no such file"));
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
