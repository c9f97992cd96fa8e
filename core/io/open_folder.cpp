#include "io/open_folder.h"

#include <cerrno>
#include <utility>

#include "io/file_road.h"
#include "shell/paths.h"

#if defined(BRINDLE_POSIX_IO)
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#endif

namespace brindle::io {

OpenFolder::OpenFolder(OpenFolder&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

OpenFolder& OpenFolder::operator=(OpenFolder&& other) noexcept {
    if (this != &other) {
        this->~OpenFolder();
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

#if defined(BRINDLE_POSIX_IO)

OpenFolder::~OpenFolder() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

Status OpenFolder::Open(const std::string& folder) {
    path_ = folder;
    if (const int fault = FaultPoint(Call::kOpen)) {
        return ErrnoStatus(Tr("cannot open %1: %2"), folder, fault);
    }
    // Readable where it may be, for the file system's flags; a folder one may only pass
    // through still serves for looking up and renaming.
    fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#if defined(O_PATH)
    if (fd_ < 0 && errno == EACCES) {
        fd_ = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    }
#endif
    return fd_ >= 0 ? Status::Ok() : ErrnoStatus(Tr("cannot open %1: %2"), folder, errno);
}

Status OpenFolder::LookUp(const std::string& name, std::optional<FileId>* id,
                          std::optional<std::string>* stamp) const {
    id->reset();
    stamp->reset();
    if (const int fault = FaultPoint(Call::kStat)) {
        return ErrnoStatus(Tr("cannot look at %1: %2"), JoinPath(path_, name), fault);
    }
    const auto failed = [&](int error) {
        return error == ENOENT || error == ENOTDIR
                   ? Status::Ok()
                   : ErrnoStatus(Tr("cannot look at %1: %2"), JoinPath(path_, name), error);
    };
    // The same identity and stamp as LookUpIdentity and LookUpStamp give, from one call.
#if defined(STATX_BTIME)
    struct statx sx {};
    if (::statx(fd_, name.c_str(), AT_SYMLINK_NOFOLLOW,
                STATX_INO | STATX_BTIME | STATX_SIZE | STATX_MTIME, &sx) == 0) {
        *id = FileId{static_cast<std::uint64_t>(makedev(sx.stx_dev_major, sx.stx_dev_minor)), sx.stx_ino};
        if ((sx.stx_mask & STATX_BTIME) != 0) {
            *stamp = "b" + std::to_string(sx.stx_btime.tv_sec) + "." + std::to_string(sx.stx_btime.tv_nsec);
        } else {
            *stamp = "m" + std::to_string(sx.stx_size) + "." + std::to_string(sx.stx_mtime.tv_sec) + "." +
                     std::to_string(sx.stx_mtime.tv_nsec);
        }
        return Status::Ok();
    }
    if (errno != ENOSYS) {
        return failed(errno);
    }
#endif
    struct stat st {};
    if (::fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return failed(errno);
    }
    *id = FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    *stamp = "m" + std::to_string(st.st_size) + "." + std::to_string(st.st_mtim.tv_sec) + "." +
             std::to_string(st.st_mtim.tv_nsec);
    return Status::Ok();
}

Status OpenFolder::MoveNoReplace(const std::string& from, const std::string& to) const {
#if defined(__linux__) && defined(SYS_renameat2)
    if (to.empty() || to == "." || to == "..") {
        return Status::InvalidArgument(Fill(Tr("not a file name: %1"), {JoinPath(path_, to)}));
    }
    if (const int fault = FaultPoint(Call::kRename)) {
        return ErrnoStatus(Tr("cannot rename to %1: %2"), JoinPath(path_, to), fault);
    }
    constexpr unsigned kNoReplace = 1;  // RENAME_NOREPLACE
    if (::syscall(SYS_renameat2, fd_, from.c_str(), fd_, to.c_str(), kNoReplace) == 0) {
        return Status::Ok();
    }
    // A name the file itself holds (letter case ignored), or a file system without the
    // call: the road by whole paths knows both.
    if (errno != EEXIST && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
        return ErrnoStatus(Tr("cannot rename to %1: %2"), JoinPath(path_, to), errno);
    }
#endif
    return io::MoveNoReplace(JoinPath(path_, from), JoinPath(path_, to));
}

bool OpenFolder::NamesAreBytes() const {
#if defined(__linux__)
    struct statfs fs {};
    if (fd_ < 0 || ::fstatfs(fd_, &fs) != 0) {
        return false;
    }
    constexpr long kExt = 0xEF53;  // ext2, ext3 and ext4
    constexpr long kBtrfs = 0x9123683E;
    constexpr long kTmpfs = 0x01021994;
    constexpr int kCaseFold = 0x40000000;  // FS_CASEFOLD_FL, per folder on ext4 and tmpfs
    const long type = static_cast<long>(fs.f_type);
    if (type == kBtrfs) {
        return true;
    }
    if (type != kExt && type != kTmpfs) {
        return false;
    }
    int flags = 0;
    return ::ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0 && (flags & kCaseFold) == 0;
#else
    return false;
#endif
}

#else

OpenFolder::~OpenFolder() = default;

Status OpenFolder::Open(const std::string& folder) {
    path_ = folder;
    return Status::Ok();
}

Status OpenFolder::LookUp(const std::string& name, std::optional<FileId>* id,
                          std::optional<std::string>* stamp) const {
    stamp->reset();
    Status status = LookUpIdentity(JoinPath(path_, name), id);
    if (status.ok() && *id) {
        status = LookUpStamp(JoinPath(path_, name), stamp);
    }
    return status;
}

Status OpenFolder::MoveNoReplace(const std::string& from, const std::string& to) const {
    return io::MoveNoReplace(JoinPath(path_, from), JoinPath(path_, to));
}

bool OpenFolder::NamesAreBytes() const { return false; }

#endif

}  // namespace brindle::io
