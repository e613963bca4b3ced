#pragma once
// Writer locks on files, standing in for Windows' exclusive share mode.
//
// A lock is an exclusive flock on the inode the path names. Writes replace a
// file by renaming a new inode over the path, so a lock won on an inode that
// the path no longer names is dropped and taken again on the current one.
// Another process's writer is waited for (bounded); a second lock on the
// same file inside this process is refused at once, as a second exclusive
// open is on Windows, since waiting for ourselves could never end.

#include <chrono>
#include <string>

namespace platform::posix {

/// How long a writer waits for another process's writer of the same file.
inline constexpr std::chrono::milliseconds writer_wait{30000};

/// Opens the path with `flags` (O_RDONLY or O_RDWR; O_CLOEXEC is added) and
/// takes its writer lock, waiting up to `wait`. The descriptor, or -1 with
/// the errno value in `error_number` (EWOULDBLOCK when the lock stayed taken).
int lock_for_writing(const std::string& path, int flags, std::chrono::milliseconds wait, int& error_number);

/// A second descriptor holding the same lock (dup), released with
/// release_lock independently of the first; -1 when none could be made.
int share_lock(int descriptor);

/// Releases a lock from lock_for_writing and closes its descriptor (-1 is
/// ignored).
void release_lock(int descriptor) noexcept;

}  // namespace platform::posix
