#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/status.h"

// The one seam between the engines and the operating system's files. Everything above it
// is portable; below it the kernel's own copy is used where there is one.
namespace brindle::io {

class File {
public:
    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    Status OpenRead(const std::string& path);
    // Creates a new, uniquely named file in the folder of `target`. The name is short and
    // hidden, so any target name the folder allows has a temporary beside it.
    Status CreateTempBeside(const std::string& target, std::string* tempPath);
    // Creates a new file at `path` for writing; fails when anything is already there.
    Status CreateNew(const std::string& path);
    // Opens the regular file at `path` to write into it where it stands (WriteAt), nothing cut.
    Status OpenWrite(const std::string& path);
    // Writes to the process's standard output, through a descriptor of its own.
    Status OpenStandardOutput();
    // Gives this file the permission bits of the regular file at `path`, when there is one:
    // a file that replaces another keeps who may read it.
    Status TakePermissionsOf(const std::string& path);

    Status Size(std::int64_t* size) const;
    // Reads exactly `n` bytes; a short file is an error.
    Status ReadExact(void* buffer, std::size_t n);
    // Moves to `offset` bytes from the start, where the next read begins.
    Status Seek(std::int64_t offset);
    Status WriteAll(const void* buffer, std::size_t n);
    // Writes `n` bytes at `offset` of a file written so far, leaving the next write where it was.
    Status WriteAt(std::int64_t offset, const void* data, std::size_t n);
    // Hands what was written to the system, so that reading the file shows it.
    Status Flush();
    // Flushes what was written to the disk itself, so it survives a power cut.
    Status Sync();
    // Closes and reports any error the close itself brings (a full disk can show up here).
    Status Close();

private:
    // Opens the regular file at `path` that is already there, for reading or writing.
    Status OpenExisting(const std::string& path, bool write);
    friend Status CopyRange(File& in, File& out, std::int64_t n, std::vector<char>& scratch,
                            const std::function<bool(std::int64_t)>& tick);
    int fd_ = -1;                  // POSIX descriptor
    std::FILE* stream_ = nullptr;  // the portable road
    std::string path_;
};

// Told the bytes copied so far after every chunk; returning false stops the copy.
using CopyTick = std::function<bool(std::int64_t done)>;

// Copies `n` bytes from the current position of `in` to the current position of `out`.
// `scratch` is the bounded buffer used where the kernel cannot copy by itself. With a
// `tick`, chunks are at most kTickChunk, so a stop is heeded within a fraction of a second;
// a stopped copy returns Cancelled.
Status CopyRange(File& in, File& out, std::int64_t n, std::vector<char>& scratch,
                 const CopyTick& tick = {});

// An exclusive advisory lock on a folder, held until destruction: two splits into one
// folder take turns instead of interleaving their pieces, and two renames take turns on
// their journal. Where the file system has no locks the folder is used unlocked; the
// portable road only makes this program's own locks take turns.
class FolderLock {
public:
    // Whether a link at the folder's path may stand for the folder (a private folder's may not).
    enum class Links { kFollow, kRefuse };

    FolderLock() = default;
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    // Waits until no other process holds the folder. While it waits, `stopped` is asked a few
    // times a second; when it says yes, the wait ends as Cancelled with nothing held (so an
    // always-true `stopped` only tries). `waiting` is told once, when another holds the folder.
    Status Lock(const std::string& folder, const std::function<bool()>& stopped = {},
                const std::function<void()>& waiting = {}, Links links = Links::kFollow);

private:
    int fd_ = -1;
};

// The longest file name `folder` takes, in bytes; nothing when the system does not say.
std::optional<std::int64_t> NameLimit(const std::string& folder);

// Moves `from` onto `to`, replacing `to` if it exists; both in one folder.
Status MoveReplacing(const std::string& from, const std::string& to);
// Moves `from` to `to` only if nothing is at `to`; never replaces.
Status MoveNoReplace(const std::string& from, const std::string& to);
Status RemoveFile(const std::string& path);
// True when both paths exist and name the same file.
bool SameFile(const std::string& a, const std::string& b);
enum class FileType { kNone, kRegular, kOther };
// What is at `path`, a link followed: kNone when nothing is. Fails only when the system
// cannot tell, so a caller never takes an unreadable disk for an empty one.
Status TypeAt(const std::string& path, FileType* type);
// Whether anything at all, even a dangling link, is at `path`; fails when the system cannot tell.
Status AnythingAt(const std::string& path, bool* there);
// Reads the whole of the file at `path`. One larger than `largest` bytes is refused unread,
// as Corruption with `tooLarge` (%1 the path) for its message.
Status ReadSmallFile(const std::string& path, std::int64_t largest, std::string_view tooLarge,
                     std::string* text);
// The regular files directly in `folder`, with hidden ones ("." first) left out unless asked.
Status ListFileNames(const std::string& folder, bool includeHidden, std::vector<std::string>* names);

// One entry of a folder, whatever it is; `regular` follows a link.
struct FolderEntry {
    std::string name;
    bool regular = false;  // a regular file, or a link to one
    bool folder = false;   // a folder itself, not a link to one
};
// Everything directly in `folder`, hidden entries included.
Status ListFolder(const std::string& folder, std::vector<FolderEntry>* entries);
// The length of the file at `path` (a link is followed); NotFound when nothing is there.
Status LengthOf(const std::string& path, std::int64_t* length);
// Whether `path` itself is a symbolic link; fails when the system cannot tell.
Status IsSymlink(const std::string& path, bool* link);
// `path` with every link and "." or ".." resolved; nothing when it does not lead anywhere.
// Fails when the system cannot tell.
Status Resolve(const std::string& path, std::optional<std::string>* resolved);
// A path that exists as the system resolves it: the real path of the folder it lies in, then
// its own name (a link at the end stays that link). Empty when it does not exist; fails when
// the system cannot tell. A relative path is taken against currentFolder.
Status LongPathName(const std::string& path, const std::string& currentFolder, std::string* longPath);

// False once a test's write limit (testing::FaultPlan::LimitWrites) cannot pay for `n` more
// bytes: writers beside this file's own ask it before each write, so a full disk reaches them.
bool WriteAllowed(std::size_t n);

inline constexpr std::size_t kCopyBufferSize = std::size_t{1} << 20;
inline constexpr std::int64_t kTickChunk = std::int64_t{8} << 20;

// The kinds of call the seam makes to the system.
enum class Call {
    kOpen, kCreate, kRead, kWrite, kCopy, kFlush, kClose, kStat, kList, kRename, kRemove, kTruncate, kLock
};
const char* CallName(Call call);

// Every call of the seam passes here first: 0 lets it go ahead, anything else is the errno it
// fails with. Only a test's FaultPlan ever says no.
int FaultPoint(Call call);

namespace testing {
// A test's hold on the seam, from construction to destruction: it counts the calls made and
// fails one of them, or ends the process there as SIGKILL would. One at a time.
class FaultPlan {
public:
    FaultPlan();
    ~FaultPlan();
    FaultPlan(const FaultPlan&) = delete;
    FaultPlan& operator=(const FaultPlan&) = delete;

    // Call `n` (counting from 1 from now) fails with `error`, once; the calls after it go ahead.
    void FailCall(int n, int error);
    // The `n`th call of `kind` from now fails with `error`, once, however the calls of other
    // kinds on other threads fall between.
    void FailCallOf(Call kind, int n, int error);
    // Writes fail with "No space left on device" once this many more bytes have been written;
    // a negative limit means none. A full disk.
    void LimitWrites(std::int64_t bytes);
    // Turns the kernel's copy off, so the plain read/write road is taken; or on, and then
    // taken wherever the kernel copies, even where the plain road would be quicker.
    void UseKernelCopy(bool enabled);
    // Makes the kernel's copy fail as some file systems do: with this errno, or by returning 0
    // when it is 0. A negative value lets it work again.
    void FailKernelCopy(int error);
    // Makes the copy through a pipe, taken where a range sits differently in a page than its
    // place in the output, fail with this errno (EINVAL: as where a file takes no splice).
    void FailSplice(int error);
    // Call `n` ends the process with kCrashExit before it reaches the system: no destructor,
    // no clean-up runs.
    void CrashAtCall(int n);
    int Calls() const;
    // What call `n` was; kOpen when there was none.
    Call CallAt(int n) const;

    static constexpr int kCrashExit = 86;

    // The seam's side: a call made, `n` bytes to write, and the kernel copy's state.
    int Hit(Call call);
    bool Spend(std::size_t n);
    bool KernelCopy() const;
    bool KernelCopyChosen() const;
    int KernelCopyFault() const;
    int SpliceFault() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// How many times File::Sync has run in this process.
int SyncCount();
}  // namespace testing

}  // namespace brindle::io
