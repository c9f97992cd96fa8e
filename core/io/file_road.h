#pragma once

// What the two roads of the file seam share. Only the seam's own sources include this:
// file_io.cpp (faults, moves, listings), file_io_posix.cpp and file_io_portable.cpp.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "io/file_io.h"
#include "shell/status.h"
#include "shell/translate.h"

#if !defined(BRINDLE_PORTABLE_IO) && (defined(__unix__) || defined(__APPLE__))
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/vfs.h>
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

// Flushes to disk so far, for tests (testing::SyncCount).
extern std::atomic<int> g_syncCount;

// How often a wait for a folder lock looks whether it should stop.
inline constexpr std::chrono::milliseconds kLockPoll{50};

// Takes `n` bytes from a test's write limit; false once it is spent.
bool TakeBudget(std::size_t n);
// Whether a test lets the kernel copy, and the error it makes the kernel copy fail with (-1: none).
bool KernelCopyOn();
// Whether a test chose the kernel's copy (or a fault of it), to be taken wherever it works.
bool KernelCopyChosen();
int KernelCopyFault();
// The error a test makes the copy through a pipe fail with (-1: none).
int SpliceFault();

// A hidden name beside the others in `folder` (empty, or ending in a separator) for a file
// that lives only until it is moved on: `kind`, then a number that changes with each call,
// so a taken name is tried again under the next one.
std::string TemporaryName(const std::string& folder, std::string_view kind);

// `sentence` (translated, %1 the path, %2 the system's reason) for errno `error` on `path`:
// NotFound for ENOENT, IoError otherwise.
Status ErrnoStatus(std::string_view sentence, const std::string& path, int error);

}  // namespace brindle::io
