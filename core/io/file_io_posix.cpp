#include "io/file_road.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "shell/paths.h"

#if defined(BRINDLE_POSIX_IO)

namespace brindle::io {

Status File::OpenExisting(const std::string& path, bool write) {
    (void)Close();
    path_ = path;
    if (const int fault = FaultPoint(Call::kOpen)) {
        return ErrnoStatus(Tr("cannot open %1: %2"), path, fault);
    }
    // Non-blocking, so a named pipe in place of a piece is refused instead of waiting
    // forever for a writer; a regular file reads the same either way.
    fd_ = ::open(path.c_str(), (write ? O_WRONLY : O_RDONLY) | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) {
        return ErrnoStatus(Tr("cannot open %1: %2"), path, errno);
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        (void)Close();
        return Status::InvalidArgument(Fill(Tr("not a regular file: %1"), {path}));
    }
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags >= 0) {
        (void)::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
    }
    return Status::Ok();
}

Status File::CreateTempBeside(const std::string& target, std::string* tempPath) {
    (void)Close();
    const auto slash = target.rfind(kPathSeparator);
    const std::string folder = slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
    if (const int fault = FaultPoint(Call::kCreate)) {
        return ErrnoStatus(Tr("cannot create a file in %1: %2"), folder, fault);
    }
    const std::string stem = folder == "." ? std::string("./") : folder;
    // Not mkstemp: its 0600 would need the umask read back (process-wide, racy with other
    // threads) to give the finished file ordinary permissions. O_EXCL with 0666 lets the
    // umask apply by itself.
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
        std::string candidate = TemporaryName(stem, "") + ".part";
        fd_ = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            path_ = std::move(candidate);
            *tempPath = path_;
            return Status::Ok();
        }
        error = errno;
    }
    return ErrnoStatus(Tr("cannot create a file in %1: %2"), folder, error);
}

Status File::CreateNew(const std::string& path) {
    (void)Close();
    path_ = path;
    if (const int fault = FaultPoint(Call::kCreate)) {
        return ErrnoStatus(Tr("cannot create %1: %2"), path, fault);
    }
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    return fd_ >= 0 ? Status::Ok() : ErrnoStatus(Tr("cannot create %1: %2"), path, errno);
}

Status File::OpenStandardOutput() {
    (void)Close();
    path_ = Tr("standard output");
    if (const int fault = FaultPoint(Call::kOpen)) {
        return ErrnoStatus(Tr("cannot open %1: %2"), path_, fault);
    }
    fd_ = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
    return fd_ >= 0 ? Status::Ok() : ErrnoStatus(Tr("cannot open %1: %2"), path_, errno);
}

Status File::TakePermissionsOf(const std::string& path) {
    if (const int fault = FaultPoint(Call::kStat)) {
        return ErrnoStatus(Tr("cannot set the permissions of %1: %2"), path_, fault);
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return Status::Ok();
    }
    if (::fchmod(fd_, st.st_mode & 0777) != 0) {
        return ErrnoStatus(Tr("cannot set the permissions of %1: %2"), path_, errno);
    }
    return Status::Ok();
}

Status File::Size(std::int64_t* size) const {
    if (const int fault = FaultPoint(Call::kStat)) {
        return ErrnoStatus(Tr("cannot read the length of %1: %2"), path_, fault);
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        return ErrnoStatus(Tr("cannot read the length of %1: %2"), path_, errno);
    }
    *size = static_cast<std::int64_t>(st.st_size);
    return Status::Ok();
}

Status File::ReadExact(void* buffer, std::size_t n) {
    if (const int fault = FaultPoint(Call::kRead)) {
        return ErrnoStatus(Tr("cannot read %1: %2"), path_, fault);
    }
    auto* out = static_cast<char*>(buffer);
    while (n > 0) {
        const ssize_t got = ::read(fd_, out, n);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return ErrnoStatus(Tr("cannot read %1: %2"), path_, errno);
        }
        if (got == 0) {
            return Status::Corruption(Fill(Tr("unexpected end of %1"), {path_}));
        }
        out += got;
        n -= static_cast<std::size_t>(got);
    }
    return Status::Ok();
}

Status File::Seek(std::int64_t offset) {
    if (const int fault = FaultPoint(Call::kRead)) {
        return ErrnoStatus(Tr("cannot read %1: %2"), path_, fault);
    }
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
        return ErrnoStatus(Tr("cannot read %1: %2"), path_, errno);
    }
    return Status::Ok();
}

namespace {

// Writes all `n` bytes, at `offset` when one is given, else where the file stands.
Status PutAll(int fd, const std::string& path, const void* data, std::size_t n, std::optional<std::int64_t> offset) {
    if (const int fault = FaultPoint(Call::kWrite)) {
        return ErrnoStatus(Tr("cannot write %1: %2"), path, fault);
    }
    if (!TakeBudget(n)) {
        return ErrnoStatus(Tr("cannot write %1: %2"), path, ENOSPC);
    }
    const auto* in = static_cast<const char*>(data);
    while (n > 0) {
        const ssize_t put = offset ? ::pwrite(fd, in, n, static_cast<off_t>(*offset)) : ::write(fd, in, n);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            return ErrnoStatus(Tr("cannot write %1: %2"), path, errno);
        }
        in += put;
        if (offset) {
            *offset += put;
        }
        n -= static_cast<std::size_t>(put);
    }
    return Status::Ok();
}

}  // namespace

Status File::WriteAll(const void* buffer, std::size_t n) { return PutAll(fd_, path_, buffer, n, std::nullopt); }

Status File::WriteAt(std::int64_t offset, const void* data, std::size_t n) {
    return PutAll(fd_, path_, data, n, offset);
}

Status File::Flush() {
    // write(2) keeps nothing back, but the call is a point where a test may fail it.
    const int fault = FaultPoint(Call::kFlush);
    return fault == 0 ? Status::Ok() : ErrnoStatus(Tr("cannot write %1: %2"), path_, fault);
}

Status File::Sync() {
    ++g_syncCount;
    if (const int fault = FaultPoint(Call::kFlush)) {
        return ErrnoStatus(Tr("cannot flush to disk %1: %2"), path_, fault);
    }
    while (::fsync(fd_) != 0) {
        if (errno != EINTR) {
            return ErrnoStatus(Tr("cannot flush to disk %1: %2"), path_, errno);
        }
    }
    return Status::Ok();
}

Status File::Close() {
    if (fd_ < 0) {
        return Status::Ok();
    }
    const int fault = FaultPoint(Call::kClose);
    const int result = ::close(fd_);
    fd_ = -1;
    if (result != 0 && errno != EINTR) {
        return ErrnoStatus(Tr("cannot close %1: %2"), path_, errno);
    }
    return fault == 0 ? Status::Ok() : ErrnoStatus(Tr("cannot close %1: %2"), path_, fault);
}

#if defined(__linux__) && defined(SYS_copy_file_range)
namespace {

off_t PageSize() {
    static const long size = ::sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<off_t>(size) : 4096;
}

// Whether the file lies on a file system whose copy runs on another machine.
bool OnNetworkFileSystem(int fd) {
    struct statfs info {};
    if (::fstatfs(fd, &info) != 0) {
        return false;
    }
    switch (static_cast<unsigned long>(info.f_type)) {
        case NFS_SUPER_MAGIC:
        case SMB_SUPER_MAGIC:
        case 0xFF534D42UL:  // CIFS
        case 0xFE534D42UL:  // SMB2
        case CEPH_SUPER_MAGIC:
        case 0x65735546UL:  // FUSE
            return true;
        default:
            return false;
    }
}

// Moves the `n` bytes left from `in` to `out` through a pipe of our own, each chunk read into
// the pipe as references to the page cache and copied once, into `out`; `told` takes each
// chunk off `n`. For ranges that sit differently in a page this is as quick as an aligned
// copy, where the kernel's own copy, through a pipe of 16 pages, takes 1.5 times as long.
// kUnsupported: the caller carries on by another road from where this one stopped.
enum class Spliced { kDone, kUnsupported, kFailed };

// 512 KiB copies a tenth quicker than 256 KiB and as steadily; 1 MiB, the most a pipe may
// hold unprivileged, is no quicker and now and then takes twice as long.
constexpr int kSplicePipe = 512 << 10;
constexpr int kSmallestSplicePipe = 256 << 10;  // where a user's pipes are near their limit

Spliced SpliceCopy(int in, const std::string& inPath, int out, const std::string& outPath, std::int64_t& n,
                   const std::function<bool(std::int64_t)>& told, std::vector<char>& scratch, Status* status) {
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) {
        return Spliced::kUnsupported;
    }
    struct Ends {
        int* fds;
        ~Ends() {
            ::close(fds[0]);
            ::close(fds[1]);
        }
    } ends{pipe};
    int room = ::fcntl(pipe[1], F_SETPIPE_SZ, kSplicePipe);
    if (room < kSmallestSplicePipe) {
        room = ::fcntl(pipe[1], F_SETPIPE_SZ, kSmallestSplicePipe);
    }
    if (room < kSmallestSplicePipe) {
        return Spliced::kUnsupported;  // a smaller pipe is slower than reading and writing
    }
    const int fault = SpliceFault();
    bool moved = false;
    while (n > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(n, room));
        if (fault > 0) {
            errno = fault;
        }
        ssize_t got = fault > 0 ? -1 : ::splice(in, nullptr, pipe[1], nullptr, want, SPLICE_F_MOVE);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (!moved && (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
                return Spliced::kUnsupported;
            }
            *status = ErrnoStatus(Tr("cannot read %1: %2"), inPath, errno);
            return Spliced::kFailed;
        }
        if (got == 0) {
            *status = Status::Corruption(Fill(Tr("unexpected end of %1"), {inPath}));
            return Spliced::kFailed;
        }
        for (std::int64_t left = got; left > 0;) {
            ssize_t put = ::splice(pipe[0], nullptr, out, nullptr, static_cast<std::size_t>(left), SPLICE_F_MOVE);
            if (put < 0 && errno == EINVAL && !moved) {
                // `out` takes no splice: what is in the pipe goes out plainly, the rest too.
                scratch.resize(std::max<std::size_t>(scratch.size(), static_cast<std::size_t>(left)));
                const ssize_t drained = ::read(pipe[0], scratch.data(), static_cast<std::size_t>(left));
                put = drained == left ? ::write(out, scratch.data(), static_cast<std::size_t>(left)) : -1;
                if (put == left) {
                    if (!told(left)) {
                        *status = Status::Cancelled();
                        return Spliced::kFailed;
                    }
                    return Spliced::kUnsupported;
                }
            }
            if (put < 0) {
                if (errno == EINTR) {
                    continue;
                }
                *status = ErrnoStatus(Tr("cannot write %1: %2"), outPath, errno);
                return Spliced::kFailed;
            }
            left -= put;
        }
        moved = true;
        if (!told(got)) {
            *status = Status::Cancelled();
            return Spliced::kFailed;
        }
    }
    return Spliced::kDone;
}

}  // namespace
#endif

Status CopyRange(File& in, File& out, std::int64_t n, std::vector<char>& scratch,
                 const CopyTick& tick) {
    if (const int fault = FaultPoint(Call::kCopy)) {
        return ErrnoStatus(Tr("cannot copy to %1: %2"), out.path_, fault);
    }
    if (!TakeBudget(static_cast<std::size_t>(n))) {
        return ErrnoStatus(Tr("cannot write %1: %2"), out.path_, ENOSPC);
    }
    std::int64_t done = 0;
    const auto told = [&](std::int64_t moved) {
        n -= moved;
        done += moved;
        return !tick || tick(done);
    };
#if defined(__linux__) && defined(SYS_copy_file_range)
    // The kernel copies (or shares extents) without the bytes passing through us.
    bool kernelCopies = KernelCopyOn();
    const off_t from = kernelCopies && n > 0 ? ::lseek(in.fd_, 0, SEEK_CUR) : -1;
    const off_t to = kernelCopies && n > 0 ? ::lseek(out.fd_, 0, SEEK_CUR) : -1;
#if defined(FICLONERANGE)
    // Where the file system shares blocks and the range fits its blocks (plain numbered
    // pieces do, from offset 0), the output takes the piece's blocks and nothing is copied.
    if (kernelCopies && n > 0) {
        file_clone_range range{};
        range.src_fd = in.fd_;
        range.src_offset = static_cast<std::uint64_t>(from);
        range.src_length = static_cast<std::uint64_t>(n);
        range.dest_offset = static_cast<std::uint64_t>(to);
        if (from >= 0 && to >= 0 && ::ioctl(out.fd_, FICLONERANGE, &range) == 0) {
            if (::lseek(in.fd_, from + n, SEEK_SET) < 0 || ::lseek(out.fd_, to + n, SEEK_SET) < 0) {
                return ErrnoStatus(Tr("cannot copy to %1: %2"), out.path_, errno);
            }
            return Status::Ok();
        }
    }
#endif
    // Where the two offsets sit differently in a page, as a piece's data 256 bytes in does
    // against the joined file, the kernel's copy takes 1.5 times as long as an aligned one;
    // a pipe of our own is as quick. A network file system still copies on its server.
    if (kernelCopies && from >= 0 && to >= 0 && !KernelCopyChosen() && (from - to) % PageSize() != 0 &&
        !OnNetworkFileSystem(out.fd_)) {
        kernelCopies = false;
        Status status;
        switch (SpliceCopy(in.fd_, in.path_, out.fd_, out.path_, n, told, scratch, &status)) {
            case Spliced::kDone:
                return Status::Ok();
            case Spliced::kFailed:
                return status;
            case Spliced::kUnsupported:
                break;  // the plain road below
        }
    }
    const std::int64_t most = tick ? kTickChunk : std::int64_t{1} << 30;
    while (n > 0 && kernelCopies) {
        const auto chunk = static_cast<std::size_t>(std::min<std::int64_t>(n, most));
        const int fault = KernelCopyFault();
        if (fault > 0) {
            errno = fault;
        }
        const ssize_t copied =
            fault >= 0 ? (fault == 0 ? 0 : -1) : ::copy_file_range(in.fd_, nullptr, out.fd_, nullptr, chunk, 0);
        if (copied > 0) {
            if (!told(copied)) {
                return Status::Cancelled();
            }
            continue;
        }
        if (copied == 0) {
            // Some file systems copy nothing before the end; the plain road tells a real end.
            kernelCopies = false;
            continue;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
            errno == EPERM || errno == ETXTBSY) {
            kernelCopies = false;  // this pair of files needs the plain road
        } else {
            return ErrnoStatus(Tr("cannot copy to %1: %2"), out.path_, errno);
        }
    }
#endif
    // Writes of 128 KiB: a megabyte at a time, some kernels (6.18 here) give the page cache
    // folios so large that their writes now and then take three times as long.
    constexpr std::size_t kPlainChunk = std::size_t{128} << 10;
    if (n > 0 && scratch.size() < kPlainChunk) {
        scratch.resize(kPlainChunk);
    }
    while (n > 0) {
        const auto chunk = static_cast<std::size_t>(std::min<std::int64_t>(n, static_cast<std::int64_t>(kPlainChunk)));
        const ssize_t got = ::read(in.fd_, scratch.data(), chunk);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return ErrnoStatus(Tr("cannot read %1: %2"), in.path_, errno);
        }
        if (got == 0) {
            return Status::Corruption(Fill(Tr("unexpected end of %1"), {in.path_}));
        }
        const char* data = scratch.data();
        std::size_t left = static_cast<std::size_t>(got);
        while (left > 0) {
            const ssize_t put = ::write(out.fd_, data, left);
            if (put < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return ErrnoStatus(Tr("cannot write %1: %2"), out.path_, errno);
            }
            data += put;
            left -= static_cast<std::size_t>(put);
        }
        if (!told(got)) {
            return Status::Cancelled();
        }
    }
    return Status::Ok();
}

FolderLock::~FolderLock() {
    if (fd_ >= 0) {
        ::close(fd_);  // releases the lock
    }
}

Status FolderLock::Lock(const std::string& folder, const std::function<bool()>& stopped,
                        const std::function<void()>& waiting, Links links) {
    if (const int fault = FaultPoint(Call::kLock)) {
        return ErrnoStatus(Tr("cannot lock the folder %1: %2"), folder, fault);
    }
    const int noFollow = links == Links::kRefuse ? O_NOFOLLOW : 0;
    fd_ = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | noFollow);
    if (fd_ < 0) {
        return ErrnoStatus(Tr("cannot open the folder %1: %2"), folder, errno);
    }
    bool told = false;
    // Polled, not waited on: a blocking flock sleeps through Ctrl-C and a window's Cancel.
    while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) {
            continue;
        }
        if (errno == EWOULDBLOCK) {
            if (stopped && stopped()) {
                ::close(fd_);
                fd_ = -1;
                return Status::Cancelled();
            }
            if (!told && waiting) {
                waiting();
            }
            told = true;
            std::this_thread::sleep_for(kLockPoll);
            continue;
        }
        if (errno == ENOLCK || errno == EOPNOTSUPP || errno == ENOSYS || errno == EINVAL) {
            return Status::Ok();  // a file system without locks
        }
        return ErrnoStatus(Tr("cannot lock the folder %1: %2"), folder, errno);
    }
    return Status::Ok();
}

std::optional<std::int64_t> NameLimit(const std::string& folder) {
    if (FaultPoint(Call::kStat) != 0) {
        return std::nullopt;
    }
    const long limit = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    return limit > 0 ? std::optional<std::int64_t>(limit) : std::nullopt;
}

Status MoveReplacing(const std::string& from, const std::string& to) {
    if (const int fault = FaultPoint(Call::kRename)) {
        return ErrnoStatus(Tr("cannot move onto %1: %2"), to, fault);
    }
    if (::rename(from.c_str(), to.c_str()) != 0) {
        return ErrnoStatus(Tr("cannot move onto %1: %2"), to, errno);
    }
    return Status::Ok();
}

namespace {

// One move that never replaces: renameat2 where the file system has it, else a hard link
// (which fails when the target exists) and an unlink. Returns 0 or the errno.
int MoveOnceNoReplace(const std::string& from, const std::string& to) {
#if defined(__linux__) && defined(SYS_renameat2)
    constexpr unsigned kNoReplace = 1;  // RENAME_NOREPLACE
    if (::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), kNoReplace) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
        return errno;
    }
#endif
    if (::link(from.c_str(), to.c_str()) != 0) {
        return errno;
    }
    if (::unlink(from.c_str()) != 0) {
        const int error = errno;
        ::unlink(to.c_str());
        return error;
    }
    return 0;
}

// `to` names the file `from` itself: a folder that ignores letter case (photo.JPG to
// photo.jpg), the same path, or another hard link. Moving aside to a free name first lets
// the first two through, while a real second link still blocks the second step.
Status MoveThroughFreeName(const std::string& from, const std::string& to) {
    const auto slash = from.rfind(kPathSeparator);
    const std::string folder = slash == std::string::npos ? std::string() : from.substr(0, slash + 1);
    std::string aside;
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
        aside = TemporaryName(folder, "renaming-");
        error = MoveOnceNoReplace(from, aside);
    }
    if (error != 0) {
        return ErrnoStatus(Tr("cannot rename %1: %2"), from, error);
    }
    error = MoveOnceNoReplace(aside, to);
    if (error == 0) {
        return Status::Ok();
    }
    if (MoveOnceNoReplace(aside, from) != 0) {
        std::string left = Fill(Tr("cannot rename to %1 and the file was left at %2: %3"),
                                {to, aside, std::strerror(error)});
        return error == ENOENT ? Status::NotFound(std::move(left))
                               : Status::IoError(std::move(left));
    }
    return ErrnoStatus(Tr("cannot rename to %1: %2"), to, error);
}

}  // namespace

Status MoveNoReplace(const std::string& from, const std::string& to) {
    const std::string name = GetFileName(to);
    if (name.empty() || name == "." || name == "..") {
        return Status::InvalidArgument(Fill(Tr("not a file name: %1"), {to}));
    }
    if (const int fault = FaultPoint(Call::kRename)) {
        return ErrnoStatus(Tr("cannot rename to %1: %2"), to, fault);
    }
    const int error = MoveOnceNoReplace(from, to);
    if (error == 0) {
        return Status::Ok();
    }
    if (error == EEXIST && SameFile(from, to)) {
        return MoveThroughFreeName(from, to);
    }
    return ErrnoStatus(Tr("cannot rename to %1: %2"), to, error);
}

Status RemoveFile(const std::string& path) {
    if (const int fault = FaultPoint(Call::kRemove)) {
        return ErrnoStatus(Tr("cannot delete %1: %2"), path, fault);
    }
    if (::unlink(path.c_str()) != 0) {
        return ErrnoStatus(Tr("cannot delete %1: %2"), path, errno);
    }
    return Status::Ok();
}

bool SameFile(const std::string& a, const std::string& b) {
    if (FaultPoint(Call::kStat) != 0) {
        return false;
    }
    struct stat sa {};
    struct stat sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

}  // namespace brindle::io

#endif
