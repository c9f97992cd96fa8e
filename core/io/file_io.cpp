#include "io/file_io.h"

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

#if !defined(BRINDLE_PORTABLE_IO) && (defined(__unix__) || defined(__APPLE__))
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#endif
#define BRINDLE_POSIX_IO 1
#else
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>
#include <mutex>
#include <random>
#if defined(__unix__) || defined(__APPLE__)
#include <sys/types.h>  // off_t, for fseeko
#endif
#endif

namespace brindle::io {
namespace {

std::atomic<testing::FaultPlan*> g_faultPlan{nullptr};

std::atomic<int> g_syncCount{0};

// How often a wait for a folder lock looks whether it should stop.
constexpr std::chrono::milliseconds kLockPoll{50};

// Takes `n` bytes from a test's write limit; false once it is spent.
bool TakeBudget(std::size_t n) {
    testing::FaultPlan* plan = g_faultPlan.load();
    return plan == nullptr || plan->Spend(n);
}

[[maybe_unused]] bool KernelCopyOn() {
    const testing::FaultPlan* plan = g_faultPlan.load();
    return plan == nullptr || plan->KernelCopy();
}

[[maybe_unused]] int KernelCopyFault() {
    const testing::FaultPlan* plan = g_faultPlan.load();
    return plan == nullptr ? -1 : plan->KernelCopyFault();
}

// A hidden name beside the others in `folder` (empty, or ending in a separator) for a file
// that lives only until it is moved on: `kind`, then a number that changes with each call,
// so a taken name is tried again under the next one.
std::string TemporaryName(const std::string& folder, std::string_view kind) {
    static std::atomic<unsigned> counter{0};
#if defined(BRINDLE_POSIX_IO)
    const unsigned salt = static_cast<unsigned>(::getpid()) * 2654435761u;
#else
    const unsigned salt = std::random_device{}();
#endif
    return folder + ".brindle-" + std::string(kind) + std::to_string(salt + counter++);
}

Status ErrnoStatus(const std::string& what, const std::string& path, int error) {
    std::string message = what + " " + path + ": " + std::strerror(error);
    if (error == ENOENT) {
        return Status::NotFound(message);
    }
    return Status::IoError(message);
}

}  // namespace

bool WriteAllowed(std::size_t n) { return TakeBudget(n); }

const char* CallName(Call call) {
    switch (call) {
        case Call::kOpen: return "open";
        case Call::kCreate: return "create";
        case Call::kRead: return "read";
        case Call::kWrite: return "write";
        case Call::kCopy: return "copy";
        case Call::kFlush: return "flush";
        case Call::kClose: return "close";
        case Call::kStat: return "stat";
        case Call::kList: return "list";
        case Call::kRename: return "rename";
        case Call::kRemove: return "remove";
        case Call::kTruncate: return "truncate";
        case Call::kLock: return "lock";
    }
    return "call";
}

int FaultPoint(Call call) {
    testing::FaultPlan* plan = g_faultPlan.load();
    return plan == nullptr ? 0 : plan->Hit(call);
}

namespace testing {

struct FaultPlan::State {
    mutable std::mutex mutex;
    std::vector<Call> calls;
    int failAt = 0;
    int error = 0;
    int crashAt = 0;
    std::int64_t writeLimit = -1;
    bool kernelCopy = true;
    int kernelCopyFault = -1;
};

FaultPlan::FaultPlan() : state_(std::make_unique<State>()) {
    FaultPlan* none = nullptr;
    if (!g_faultPlan.compare_exchange_strong(none, this)) {
        std::abort();  // two plans would count each other's calls
    }
}

FaultPlan::~FaultPlan() {
    g_faultPlan.store(nullptr);
}

void FaultPlan::FailCall(int n, int error) {
    const std::lock_guard lock(state_->mutex);
    state_->failAt = static_cast<int>(state_->calls.size()) + n;
    state_->error = error;
}

void FaultPlan::CrashAtCall(int n) {
    const std::lock_guard lock(state_->mutex);
    state_->crashAt = static_cast<int>(state_->calls.size()) + n;
}

void FaultPlan::LimitWrites(std::int64_t bytes) {
    const std::lock_guard lock(state_->mutex);
    state_->writeLimit = bytes;
}

void FaultPlan::UseKernelCopy(bool enabled) {
    const std::lock_guard lock(state_->mutex);
    state_->kernelCopy = enabled;
}

void FaultPlan::FailKernelCopy(int error) {
    const std::lock_guard lock(state_->mutex);
    state_->kernelCopyFault = error;
}

bool FaultPlan::Spend(std::size_t n) {
    const std::lock_guard lock(state_->mutex);
    if (state_->writeLimit < 0) {
        return true;
    }
    if (state_->writeLimit < static_cast<std::int64_t>(n)) {
        state_->writeLimit = 0;
        return false;
    }
    state_->writeLimit -= static_cast<std::int64_t>(n);
    return true;
}

bool FaultPlan::KernelCopy() const {
    const std::lock_guard lock(state_->mutex);
    return state_->kernelCopy;
}

int FaultPlan::KernelCopyFault() const {
    const std::lock_guard lock(state_->mutex);
    return state_->kernelCopyFault;
}

int FaultPlan::Calls() const {
    const std::lock_guard lock(state_->mutex);
    return static_cast<int>(state_->calls.size());
}

Call FaultPlan::CallAt(int n) const {
    const std::lock_guard lock(state_->mutex);
    return n >= 1 && n <= static_cast<int>(state_->calls.size()) ? state_->calls[static_cast<std::size_t>(n - 1)]
                                                                   : Call::kOpen;
}

int FaultPlan::Hit(Call call) {
    const std::lock_guard lock(state_->mutex);
    state_->calls.push_back(call);
    const int n = static_cast<int>(state_->calls.size());
    if (n == state_->crashAt) {
        std::_Exit(kCrashExit);
    }
    return n == state_->failAt ? state_->error : 0;
}

int SyncCount() { return g_syncCount.load(); }
}  // namespace testing

File::~File() { (void)Close(); }

File::File(File&& other) noexcept : fd_(other.fd_), stream_(other.stream_), path_(std::move(other.path_)) {
    other.fd_ = -1;
    other.stream_ = nullptr;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        (void)Close();
        fd_ = other.fd_;
        stream_ = other.stream_;
        path_ = std::move(other.path_);
        other.fd_ = -1;
        other.stream_ = nullptr;
    }
    return *this;
}

#if defined(BRINDLE_POSIX_IO)

Status File::OpenRead(const std::string& path) {
    (void)Close();
    path_ = path;
    if (const int fault = FaultPoint(Call::kOpen)) {
        return ErrnoStatus("cannot open", path, fault);
    }
    // Non-blocking, so a named pipe in place of a piece is refused instead of waiting
    // forever for a writer; a regular file reads the same either way.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) {
        return ErrnoStatus("cannot open", path, errno);
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        (void)Close();
        return Status::InvalidArgument("not a regular file: " + path);
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
        return ErrnoStatus("cannot create a file in", folder, fault);
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
    return ErrnoStatus("cannot create a file in", folder, error);
}

Status File::CreateNew(const std::string& path) {
    (void)Close();
    path_ = path;
    if (const int fault = FaultPoint(Call::kCreate)) {
        return ErrnoStatus("cannot create", path, fault);
    }
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    return fd_ >= 0 ? Status::Ok() : ErrnoStatus("cannot create", path, errno);
}

Status File::TakePermissionsOf(const std::string& path) {
    if (const int fault = FaultPoint(Call::kStat)) {
        return ErrnoStatus("cannot set the permissions of", path_, fault);
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return Status::Ok();
    }
    if (::fchmod(fd_, st.st_mode & 0777) != 0) {
        return ErrnoStatus("cannot set the permissions of", path_, errno);
    }
    return Status::Ok();
}

Status File::Size(std::int64_t* size) const {
    if (const int fault = FaultPoint(Call::kStat)) {
        return ErrnoStatus("cannot read the length of", path_, fault);
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        return ErrnoStatus("cannot read the length of", path_, errno);
    }
    *size = static_cast<std::int64_t>(st.st_size);
    return Status::Ok();
}

Status File::ReadExact(void* buffer, std::size_t n) {
    if (const int fault = FaultPoint(Call::kRead)) {
        return ErrnoStatus("cannot read", path_, fault);
    }
    auto* out = static_cast<char*>(buffer);
    while (n > 0) {
        const ssize_t got = ::read(fd_, out, n);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return ErrnoStatus("cannot read", path_, errno);
        }
        if (got == 0) {
            return Status::Corruption("unexpected end of " + path_);
        }
        out += got;
        n -= static_cast<std::size_t>(got);
    }
    return Status::Ok();
}

Status File::Seek(std::int64_t offset) {
    if (const int fault = FaultPoint(Call::kRead)) {
        return ErrnoStatus("cannot read", path_, fault);
    }
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
        return ErrnoStatus("cannot read", path_, errno);
    }
    return Status::Ok();
}

Status File::WriteAll(const void* buffer, std::size_t n) {
    if (const int fault = FaultPoint(Call::kWrite)) {
        return ErrnoStatus("cannot write", path_, fault);
    }
    if (!TakeBudget(n)) {
        return ErrnoStatus("cannot write", path_, ENOSPC);
    }
    const auto* in = static_cast<const char*>(buffer);
    while (n > 0) {
        const ssize_t put = ::write(fd_, in, n);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            return ErrnoStatus("cannot write", path_, errno);
        }
        in += put;
        n -= static_cast<std::size_t>(put);
    }
    return Status::Ok();
}

Status File::WriteAt(std::int64_t offset, const void* data, std::size_t n) {
    if (const int fault = FaultPoint(Call::kWrite)) {
        return ErrnoStatus("cannot write", path_, fault);
    }
    if (!TakeBudget(n)) {
        return ErrnoStatus("cannot write", path_, ENOSPC);
    }
    const auto* in = static_cast<const char*>(data);
    while (n > 0) {
        const ssize_t put = ::pwrite(fd_, in, n, static_cast<off_t>(offset));
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            return ErrnoStatus("cannot write", path_, errno);
        }
        in += put;
        offset += put;
        n -= static_cast<std::size_t>(put);
    }
    return Status::Ok();
}

Status File::Flush() {
    // write(2) keeps nothing back, but the call is a point where a test may fail it.
    const int fault = FaultPoint(Call::kFlush);
    return fault == 0 ? Status::Ok() : ErrnoStatus("cannot write", path_, fault);
}

Status File::Sync() {
    ++g_syncCount;
    if (const int fault = FaultPoint(Call::kFlush)) {
        return ErrnoStatus("cannot flush to disk", path_, fault);
    }
    while (::fsync(fd_) != 0) {
        if (errno != EINTR) {
            return ErrnoStatus("cannot flush to disk", path_, errno);
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
        return ErrnoStatus("cannot close", path_, errno);
    }
    return fault == 0 ? Status::Ok() : ErrnoStatus("cannot close", path_, fault);
}

Status CopyRange(File& in, File& out, std::int64_t n, std::vector<char>& scratch,
                 const CopyTick& tick) {
    if (const int fault = FaultPoint(Call::kCopy)) {
        return ErrnoStatus("cannot copy to", out.path_, fault);
    }
    if (!TakeBudget(static_cast<std::size_t>(n))) {
        return ErrnoStatus("cannot write", out.path_, ENOSPC);
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
#if defined(FICLONERANGE)
    // Where the file system shares blocks and the range fits its blocks (plain numbered
    // pieces do, from offset 0), the output takes the piece's blocks and nothing is copied.
    if (kernelCopies && n > 0) {
        const off_t from = ::lseek(in.fd_, 0, SEEK_CUR);
        const off_t to = ::lseek(out.fd_, 0, SEEK_CUR);
        file_clone_range range{};
        range.src_fd = in.fd_;
        range.src_offset = static_cast<std::uint64_t>(from);
        range.src_length = static_cast<std::uint64_t>(n);
        range.dest_offset = static_cast<std::uint64_t>(to);
        if (from >= 0 && to >= 0 && ::ioctl(out.fd_, FICLONERANGE, &range) == 0) {
            if (::lseek(in.fd_, from + n, SEEK_SET) < 0 || ::lseek(out.fd_, to + n, SEEK_SET) < 0) {
                return ErrnoStatus("cannot copy to", out.path_, errno);
            }
            return Status::Ok();
        }
    }
#endif
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
            return ErrnoStatus("cannot copy to", out.path_, errno);
        }
    }
#endif
    if (n > 0 && scratch.size() < kCopyBufferSize) {
        scratch.resize(kCopyBufferSize);
    }
    while (n > 0) {
        const auto chunk = static_cast<std::size_t>(std::min<std::int64_t>(n, static_cast<std::int64_t>(scratch.size())));
        const ssize_t got = ::read(in.fd_, scratch.data(), chunk);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return ErrnoStatus("cannot read", in.path_, errno);
        }
        if (got == 0) {
            return Status::Corruption("unexpected end of " + in.path_);
        }
        const char* data = scratch.data();
        std::size_t left = static_cast<std::size_t>(got);
        while (left > 0) {
            const ssize_t put = ::write(out.fd_, data, left);
            if (put < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return ErrnoStatus("cannot write", out.path_, errno);
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
        return ErrnoStatus("cannot lock the folder", folder, fault);
    }
    const int noFollow = links == Links::kRefuse ? O_NOFOLLOW : 0;
    fd_ = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | noFollow);
    if (fd_ < 0) {
        return ErrnoStatus("cannot open the folder", folder, errno);
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
        return ErrnoStatus("cannot lock the folder", folder, errno);
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
        return ErrnoStatus("cannot move onto", to, fault);
    }
    if (::rename(from.c_str(), to.c_str()) != 0) {
        return ErrnoStatus("cannot move onto", to, errno);
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
        return ErrnoStatus("cannot rename", from, error);
    }
    error = MoveOnceNoReplace(aside, to);
    if (error == 0) {
        return Status::Ok();
    }
    if (MoveOnceNoReplace(aside, from) != 0) {
        return ErrnoStatus("cannot rename to " + to + " and the file was left at", aside, error);
    }
    return ErrnoStatus("cannot rename to", to, error);
}

}  // namespace

Status MoveNoReplace(const std::string& from, const std::string& to) {
    const std::string name = GetFileName(to);
    if (name.empty() || name == "." || name == "..") {
        return Status::InvalidArgument("not a file name: " + to);
    }
    if (const int fault = FaultPoint(Call::kRename)) {
        return ErrnoStatus("cannot rename to", to, fault);
    }
    const int error = MoveOnceNoReplace(from, to);
    if (error == 0) {
        return Status::Ok();
    }
    if (error == EEXIST && SameFile(from, to)) {
        return MoveThroughFreeName(from, to);
    }
    return ErrnoStatus("cannot rename to", to, error);
}

Status RemoveFile(const std::string& path) {
    if (const int fault = FaultPoint(Call::kRemove)) {
        return ErrnoStatus("cannot delete", path, fault);
    }
    if (::unlink(path.c_str()) != 0) {
        return ErrnoStatus("cannot delete", path, errno);
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

#else  // portable road: the C and C++ libraries only, no kernel copy

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

#endif

Status ReadSmallFile(const std::string& path, std::int64_t largest, std::string_view tooLarge,
                     std::string* text) {
    File file;
    Status status = file.OpenRead(path);
    std::int64_t size = 0;
    if (status.ok()) {
        status = file.Size(&size);
    }
    if (status.ok() && size > largest) {
        return Status::Corruption(std::string(tooLarge) + path);
    }
    if (status.ok()) {
        text->assign(static_cast<std::size_t>(size), '\0');
        status = file.ReadExact(text->data(), text->size());
    }
    return status;
}

Status TypeAt(const std::string& path, FileType* type) {
    if (const int fault = FaultPoint(Call::kStat)) {
        return ErrnoStatus("cannot look at", path, fault);
    }
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        *type = FileType::kNone;
        return Status::Ok();
    }
    if (error) {
        return ErrnoStatus("cannot look at", path, error.value());
    }
    *type = std::filesystem::is_regular_file(status) ? FileType::kRegular : FileType::kOther;
    return Status::Ok();
}

bool IsRegularFile(const std::string& path) {
    FileType type = FileType::kNone;
    return TypeAt(path, &type).ok() && type == FileType::kRegular;
}

bool Exists(const std::string& path) {
    if (FaultPoint(Call::kStat) != 0) {
        return false;
    }
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

std::optional<std::int64_t> FileSize(const std::string& path) {
    if (FaultPoint(Call::kStat) != 0) {
        return std::nullopt;
    }
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? std::nullopt : std::optional<std::int64_t>(static_cast<std::int64_t>(size));
}

Status IsSymlink(const std::string& path, bool* link) {
    *link = false;
    if (const int fault = FaultPoint(Call::kStat)) {
        return ErrnoStatus("cannot look at", path, fault);
    }
    std::error_code error;
    const auto status = std::filesystem::symlink_status(path, error);
    if (error && status.type() != std::filesystem::file_type::not_found) {
        return ErrnoStatus("cannot look at", path, error.value());
    }
    *link = std::filesystem::is_symlink(status);
    return Status::Ok();
}

Status Resolve(const std::string& path, std::optional<std::string>* resolved) {
    resolved->reset();
    if (const int fault = FaultPoint(Call::kStat)) {
        return ErrnoStatus("cannot look at", path, fault);
    }
    std::error_code error;
    std::string canonical = std::filesystem::canonical(path, error).string();
    if (error) {
        const bool nowhere = error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory ||
                             error == std::errc::too_many_symbolic_link_levels;
        return nowhere ? Status::Ok() : ErrnoStatus("cannot look at", path, error.value());
    }
    *resolved = std::move(canonical);
    return Status::Ok();
}

std::optional<std::string> ResolvedPath(const std::string& path) {
    std::optional<std::string> resolved;
    return Resolve(path, &resolved).ok() ? resolved : std::nullopt;
}

Status ListFolder(const std::string& folder, std::vector<FolderEntry>* entries) {
    const std::string where = folder.empty() ? std::string(".") : folder;
    if (const int fault = FaultPoint(Call::kList)) {
        return ErrnoStatus("cannot list the folder", where, fault);
    }
    std::error_code error;
    std::filesystem::directory_iterator it(where, error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        std::error_code typeError;
        entries->push_back({it->path().filename().string(), it->is_regular_file(typeError)});
    }
    return error ? ErrnoStatus("cannot list the folder", where, error.value()) : Status::Ok();
}

Status ListFileNames(const std::string& folder, bool includeHidden, std::vector<std::string>* names) {
    std::vector<FolderEntry> entries;
    const Status status = ListFolder(folder, &entries);
    for (FolderEntry& entry : entries) {
        if (entry.regular && (includeHidden || entry.name.empty() || entry.name.front() != '.')) {
            names->push_back(std::move(entry.name));
        }
    }
    return status;
}

std::vector<std::string> FileNamesIn(const std::string& folder, bool includeHidden) {
    std::vector<std::string> names;
    (void)ListFileNames(folder, includeHidden, &names);
    return names;
}

}  // namespace brindle::io
