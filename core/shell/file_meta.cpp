#include "shell/file_meta.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>

#if !defined(BRINDLE_PORTABLE_IO) && (defined(__unix__) || defined(__APPLE__))
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#define BRINDLE_POSIX_IO 1
#endif

namespace brindle::io {
namespace {

Status Errno(const std::string& what, const std::string& path, int error) {
    return Status::IoError(what + " " + path + ": " + std::strerror(error));
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

std::optional<FileId> IdentityOf(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

bool IdentitiesKnown() { return true; }

std::optional<std::chrono::year_month_day> ModifiedLocalDate(const std::string& path) {
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
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600);
    return fd_ >= 0 ? Status::Ok() : Errno("cannot create", path, errno);
}

Status AppendFile::Append(std::string_view record) {
    while (!record.empty()) {
        const ssize_t put = ::write(fd_, record.data(), record.size());
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Errno("cannot write", path_, errno);
        }
        record.remove_prefix(static_cast<std::size_t>(put));
    }
    return Status::Ok();
}

Status AppendFile::Close() {
    if (fd_ < 0) {
        return Status::Ok();
    }
    const bool synced = ::fsync(fd_) == 0;
    const int syncError = errno;
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    if (!synced) {
        return Errno("cannot flush to disk", path_, syncError);
    }
    return closed || errno == EINTR ? Status::Ok() : Errno("cannot close", path_, errno);
}

Status MakePrivateFolder(const std::string& folder) {
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
            return Errno("cannot create the folder", partial, errno);
        }
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return Status::IoError("not a folder: " + folder);
    }
    return Status::Ok();
}

#else  // portable road

std::optional<FileId> IdentityOf(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(path, error))) {
        return std::nullopt;
    }
    return FileId{};
}

bool IdentitiesKnown() { return false; }

std::optional<std::chrono::year_month_day> ModifiedLocalDate(const std::string& path) {
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
    std::FILE* file = std::fopen(path.c_str(), "wbx");
    if (file == nullptr) {
        return Errno("cannot create", path, errno);
    }
    stream_ = file;
    return Status::Ok();
}

Status AppendFile::Append(std::string_view record) {
    auto* file = static_cast<std::FILE*>(stream_);
    if (std::fwrite(record.data(), 1, record.size(), file) != record.size() || std::fflush(file) != 0) {
        return Errno("cannot write", path_, errno);
    }
    return Status::Ok();
}

Status AppendFile::Close() {
    if (stream_ == nullptr) {
        return Status::Ok();
    }
    const bool closed = std::fclose(static_cast<std::FILE*>(stream_)) == 0;
    stream_ = nullptr;
    return closed ? Status::Ok() : Errno("cannot close", path_, errno);
}

Status MakePrivateFolder(const std::string& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!std::filesystem::is_directory(folder, error)) {
        return Status::IoError("cannot create the folder " + folder);
    }
    return Status::Ok();
}

#endif

}  // namespace brindle::io
