#include "io/file_meta.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>

#include "io/file_io.h"
#include "shell/translate.h"

#if !defined(BRINDLE_PORTABLE_IO) && (defined(__unix__) || defined(__APPLE__))
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#define BRINDLE_POSIX_IO 1
#endif

namespace brindle::io {
namespace {

Status Errno(std::string_view sentence, const std::string& path, int error) {
    return Status::IoError(Fill(sentence, {path, std::strerror(error)}));
}

std::optional<std::chrono::year_month_day> LocalDay(std::time_t when) {
    std::tm local{};
#if defined(BRINDLE_POSIX_IO)
    if (::localtime_r(&when, &local) == nullptr) {
        return std::nullopt;
    }
#else
    static std::mutex guard;  // std::localtime shares one buffer
    {
        std::lock_guard lock(guard);
        const std::tm* shared = std::localtime(&when);
        if (shared == nullptr) {
            return std::nullopt;
        }
        local = *shared;
    }
#endif
    const std::chrono::year_month_day day{std::chrono::year{local.tm_year + 1900},
                                          std::chrono::month{static_cast<unsigned>(local.tm_mon + 1)},
                                          std::chrono::day{static_cast<unsigned>(local.tm_mday)}};
    return day.ok() ? std::optional(day) : std::nullopt;
}

}  // namespace

#if defined(BRINDLE_POSIX_IO)

Status LookUpIdentity(const std::string& path, std::optional<FileId>* id) {
    id->reset();
    if (const int fault = FaultPoint(Call::kStat)) {
        return Errno(Tr("cannot look at %1: %2"), path, fault);
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return errno == ENOENT || errno == ENOTDIR
                   ? Status::Ok()
                   : Errno(Tr("cannot look at %1: %2"), path, errno);
    }
    *id = FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    return Status::Ok();
}

bool IdentitiesKnown() { return true; }

Status LookUpStamp(const std::string& path, std::optional<std::string>* stamp) {
    stamp->reset();
    if (const int fault = FaultPoint(Call::kStat)) {
        return Errno(Tr("cannot look at %1: %2"), path, fault);
    }
    const auto failed = [&path](int error) {
        return error == ENOENT || error == ENOTDIR
                   ? Status::Ok()
                   : Errno(Tr("cannot look at %1: %2"), path, error);
    };
#if defined(STATX_BTIME)
    struct statx sx {};
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME, &sx) == 0) {
        if ((sx.stx_mask & STATX_BTIME) != 0) {
            *stamp = "b" + std::to_string(sx.stx_btime.tv_sec) + "." + std::to_string(sx.stx_btime.tv_nsec);
            return Status::Ok();
        }
    } else if (errno != ENOSYS) {
        return failed(errno);
    }
#endif
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return failed(errno);
    }
    *stamp = "m" + std::to_string(st.st_size) + "." + std::to_string(st.st_mtim.tv_sec) + "." +
             std::to_string(st.st_mtim.tv_nsec);
    return Status::Ok();
}

namespace {

Status CheckPrivate(const struct stat& st, const std::string& path, bool folder) {
    if (folder ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode)) {
        return Status::IoError(
            Fill(folder ? Tr("not a folder: %1") : Tr("not a regular file: %1"), {path}));
    }
    if (st.st_uid != ::geteuid()) {
        return Status::IoError(Fill(Tr("not yours, so not used: %1"), {path}));
    }
    if ((st.st_mode & 077) != 0) {
        return Status::IoError(
            Fill(folder ? Tr("others may use it, so not used (it must have mode 0700): %1")
                        : Tr("others may use it, so not used (it must have mode 0600): %1"),
                 {path}));
    }
    return Status::Ok();
}

}  // namespace

Status ReadPrivateFile(const std::string& path, std::string* text) {
    if (const int fault = FaultPoint(Call::kOpen)) {
        return Errno(Tr("cannot open %1: %2"), path, fault);
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno == ELOOP ? Status::IoError(Fill(Tr("a link, so not used: %1"), {path}))
                              : Errno(Tr("cannot open %1: %2"), path, errno);
    }
    struct stat st {};
    Status status = ::fstat(fd, &st) == 0 ? CheckPrivate(st, path, false)
                                          : Errno(Tr("cannot read %1: %2"), path, errno);
    text->clear();
    char buffer[1 << 14];
    if (const int fault = status.ok() ? FaultPoint(Call::kRead) : 0) {
        status = Errno(Tr("cannot read %1: %2"), path, fault);
    }
    while (status.ok()) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            status = Errno(Tr("cannot read %1: %2"), path, errno);
        } else if (got == 0) {
            break;
        } else {
            text->append(buffer, static_cast<std::size_t>(got));
        }
    }
    ::close(fd);
    return status;
}

Status CheckPrivateFolder(const std::string& folder) {
    if (const int fault = FaultPoint(Call::kStat)) {
        return Errno(Tr("cannot use the folder %1: %2"), folder, fault);
    }
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0) {
        return Errno(Tr("cannot use the folder %1: %2"), folder, errno);
    }
    return CheckPrivate(st, folder, true);
}

std::optional<std::chrono::year_month_day> ModifiedLocalDate(const std::string& path) {
    if (FaultPoint(Call::kStat) != 0) {
        return std::nullopt;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return LocalDay(st.st_mtime);
}

AppendFile::~AppendFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

Status AppendFile::Create(const std::string& path) {
    path_ = path;
    if (const int fault = FaultPoint(Call::kCreate)) {
        return Errno(Tr("cannot create %1: %2"), path, fault);
    }
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600);
    return fd_ >= 0 ? Status::Ok() : Errno(Tr("cannot create %1: %2"), path, errno);
}

Status AppendFile::Append(std::string_view record) {
    if (const int fault = FaultPoint(Call::kWrite)) {
        return Errno(Tr("cannot write %1: %2"), path_, fault);
    }
    if (!WriteAllowed(record.size())) {
        return Errno(Tr("cannot write %1: %2"), path_, ENOSPC);
    }
    while (!record.empty()) {
        const ssize_t put = ::write(fd_, record.data(), record.size());
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Errno(Tr("cannot write %1: %2"), path_, errno);
        }
        record.remove_prefix(static_cast<std::size_t>(put));
    }
    return Status::Ok();
}

Status AppendFile::Close() {
    if (fd_ < 0) {
        return Status::Ok();
    }
    const int syncFault = FaultPoint(Call::kFlush);
    const bool synced = syncFault == 0 && ::fsync(fd_) == 0;
    const int syncError = syncFault != 0 ? syncFault : errno;
    const int closeFault = FaultPoint(Call::kClose);
    const bool closed = ::close(fd_) == 0;
    const int closeError = errno;
    fd_ = -1;
    if (!synced) {
        return Errno(Tr("cannot flush to disk %1: %2"), path_, syncError);
    }
    if (closeFault != 0) {
        return Errno(Tr("cannot close %1: %2"), path_, closeFault);
    }
    return closed || closeError == EINTR ? Status::Ok()
                                         : Errno(Tr("cannot close %1: %2"), path_, closeError);
}

Status MakePrivateFolder(const std::string& folder) {
    if (const int fault = FaultPoint(Call::kCreate)) {
        return Errno(Tr("cannot create the folder %1: %2"), folder, fault);
    }
    std::string partial;
    std::size_t from = 0;
    while (from <= folder.size()) {
        const auto slash = folder.find('/', from);
        partial = folder.substr(0, slash == std::string::npos ? folder.size() : slash);
        from = slash == std::string::npos ? folder.size() + 1 : slash + 1;
        if (partial.empty()) {
            continue;
        }
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
            return Errno(Tr("cannot create the folder %1: %2"), partial, errno);
        }
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return Status::IoError(Fill(Tr("not a folder: %1"), {folder}));
    }
    return Status::Ok();
}

#else  // portable road

Status LookUpIdentity(const std::string& path, std::optional<FileId>* id) {
    id->reset();
    if (const int fault = FaultPoint(Call::kStat)) {
        return Errno(Tr("cannot look at %1: %2"), path, fault);
    }
    std::error_code error;
    const auto status = std::filesystem::symlink_status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        return Status::Ok();
    }
    if (error) {
        return Errno(Tr("cannot look at %1: %2"), path, error.value());
    }
    *id = FileId{};
    return Status::Ok();
}

bool IdentitiesKnown() { return false; }

Status LookUpStamp(const std::string& path, std::optional<std::string>* stamp) {
    stamp->reset();
    if (const int fault = FaultPoint(Call::kStat)) {
        return Errno(Tr("cannot look at %1: %2"), path, fault);
    }
    std::error_code error;
    if (std::filesystem::symlink_status(path, error).type() == std::filesystem::file_type::not_found) {
        return Status::Ok();
    }
    const auto size = std::filesystem::file_size(path, error);
    if (error) {
        return Errno(Tr("cannot look at %1: %2"), path, error.value());
    }
    const auto written = std::filesystem::last_write_time(path, error);
    if (error) {
        return Errno(Tr("cannot look at %1: %2"), path, error.value());
    }
    *stamp = "m" + std::to_string(size) + "." + std::to_string(written.time_since_epoch().count());
    return Status::Ok();
}

// The C and C++ libraries tell no owner: the folder made private is trusted.
Status ReadPrivateFile(const std::string& path, std::string* text) {
    if (const int fault = FaultPoint(Call::kOpen)) {
        return Errno(Tr("cannot open %1: %2"), path, fault);
    }
    std::error_code error;
    if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(path, error))) {
        return Status::IoError(Fill(Tr("not a regular file: %1"), {path}));
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return Errno(Tr("cannot open %1: %2"), path, errno);
    }
    text->clear();
    if (const int fault = FaultPoint(Call::kRead)) {
        std::fclose(file);
        return Errno(Tr("cannot read %1: %2"), path, fault);
    }
    char buffer[1 << 14];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        text->append(buffer, got);
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    return failed ? Status::IoError(Fill(Tr("cannot read %1"), {path})) : Status::Ok();
}

Status CheckPrivateFolder(const std::string& folder) {
    if (const int fault = FaultPoint(Call::kStat)) {
        return Errno(Tr("cannot use the folder %1: %2"), folder, fault);
    }
    std::error_code error;
    if (!std::filesystem::is_directory(std::filesystem::symlink_status(folder, error))) {
        return Status::IoError(Fill(Tr("not a folder: %1"), {folder}));
    }
    return Status::Ok();
}

std::optional<std::chrono::year_month_day> ModifiedLocalDate(const std::string& path) {
    if (FaultPoint(Call::kStat) != 0) {
        return std::nullopt;
    }
    std::error_code error;
    const auto written = std::filesystem::last_write_time(path, error);
    if (error) {
        return std::nullopt;
    }
    const auto system = std::filesystem::file_time_type::clock::to_sys(written);
    return LocalDay(std::chrono::system_clock::to_time_t(system));
}

AppendFile::~AppendFile() {
    if (stream_ != nullptr) {
        std::fclose(static_cast<std::FILE*>(stream_));
    }
}

Status AppendFile::Create(const std::string& path) {
    path_ = path;
    if (const int fault = FaultPoint(Call::kCreate)) {
        return Errno(Tr("cannot create %1: %2"), path, fault);
    }
    std::FILE* file = std::fopen(path.c_str(), "wbx");
    if (file == nullptr) {
        return Errno(Tr("cannot create %1: %2"), path, errno);
    }
    stream_ = file;
    return Status::Ok();
}

Status AppendFile::Append(std::string_view record) {
    auto* file = static_cast<std::FILE*>(stream_);
    if (const int fault = FaultPoint(Call::kWrite)) {
        return Errno(Tr("cannot write %1: %2"), path_, fault);
    }
    if (!WriteAllowed(record.size())) {
        return Errno(Tr("cannot write %1: %2"), path_, ENOSPC);
    }
    if (std::fwrite(record.data(), 1, record.size(), file) != record.size() || std::fflush(file) != 0) {
        return Errno(Tr("cannot write %1: %2"), path_, errno);
    }
    return Status::Ok();
}

Status AppendFile::Close() {
    if (stream_ == nullptr) {
        return Status::Ok();
    }
    const int fault = FaultPoint(Call::kClose);
    const bool closed = std::fclose(static_cast<std::FILE*>(stream_)) == 0;
    stream_ = nullptr;
    if (!closed) {
        return Errno(Tr("cannot close %1: %2"), path_, errno);
    }
    return fault == 0 ? Status::Ok() : Errno(Tr("cannot close %1: %2"), path_, fault);
}

Status MakePrivateFolder(const std::string& folder) {
    if (const int fault = FaultPoint(Call::kCreate)) {
        return Errno(Tr("cannot create the folder %1: %2"), folder, fault);
    }
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!std::filesystem::is_directory(folder, error)) {
        return Status::IoError(Fill(Tr("cannot create the folder %1"), {folder}));
    }
    return Status::Ok();
}

#endif

}  // namespace brindle::io
