#pragma once
// The Linux replace of a file's whole content: the steps of write_temporary
// and replace_file, with the target looked at once, the new content flushed
// once, and the commit made only over the very file that was read.

#include "platform/file_safety.h"
#include "platform/posix/files/unique_descriptor.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

struct stat;

namespace platform::file_system {

/// The identity of the file a stat describes.
file_identity identity_of(const struct stat& info);

/// The identity of an open file (fstat); one that does not exist when the
/// descriptor cannot be asked.
file_identity identity_of_descriptor(int descriptor);

/// Makes the folder entry of a rename durable: at once, or at the end of the
/// open folder_flush_batch.
void flush_parent_folder(const std::string& path);

/// Flushes these folders now, and takes them off the open
/// folder_flush_batch, whose flush they make needless.
void flush_folders(const std::set<std::string>& folders);

/// Puts the written and flushed `temporary` in place of `target` (native
/// names, beside each other, the target no symbolic link) only when the
/// target is still what `read` describes: exchanged with it, what came out
/// checked and exchanged back when it is not what was read. A `read` that
/// did not exist: renamed without replacing. 0, file_changed or the Win32
/// error; on every failure the temporary is gone.
std::uint32_t commit_if_unchanged(const std::string& target, const std::string& temporary, const file_identity& read);

/// Test seam: when set, called with the target's name between the check of
/// its identity and the exchange, where another program's change can land.
extern void (*before_exchange)(const std::string& target);

/// The unchanged rest of an old file that a replace appends after its new
/// bytes, copied file to file instead of through memory. An empty tail
/// (length 0) adds nothing.
struct file_tail {
    int descriptor = -1;       // the old file, open for reading (not owned)
    std::uint64_t offset = 0;  // where the rest starts in it
    std::uint64_t length = 0;  // how many bytes follow
    int writer_lock = -1;      // the writer's lock on the old file (not owned); lets an open commit_group stage the replace
};

/// Hands the filled, unflushed `temporary` of `target`, still open as
/// `descriptor`, to the commit_group open on this thread, which then owns the
/// descriptor and keeps a copy of `writer_lock` until the rename; false
/// (nothing taken, the descriptor still the caller's) when no group is open
/// or it is committing.
bool stage_replace(const std::string& target, const std::string& temporary, platform::posix::unique_descriptor& descriptor,
                   const file_identity& read, int writer_lock, std::uint64_t bytes);

/// Whether a commit_group is open on this thread and taking replaces.
bool staging_replaces();

/// Where the new content of `target` lives until its staged rename: the
/// temporary, or `target` itself when nothing is staged for it. Attributes
/// that belong to the new file are set there.
std::string staged_content(const std::string& target);

/// Appends `tail` to the file open as `to`, from its offset `at` on,
/// skipping the holes of the source so that a sparse file stays sparse; the
/// file ends at at + tail.length. When the shift keeps whole blocks in place
/// the kernel copies them (copy_file_range, which shares blocks where the
/// file system can); otherwise a 1 MiB buffer carries them. 0 or the Win32 error; a source shorter
/// than the tail has changed since it was read (file_changed).
std::uint32_t copy_tail(int to, std::uint64_t at, const file_tail& tail);

/// Puts `length` bytes in place of the existing regular file at `path`
/// (a path without a symbolic link as its last part) through a temporary
/// file beside it that carries the target's mode, owner and extended
/// attributes before its first byte and is flushed before the rename; the
/// folder entry is flushed as replace_file does (folder_flush_batch). The
/// commit is made only over the file `read` describes (commit_if_unchanged),
/// else file_changed. A missing target gives 2, a read-only one or one that
/// is not a regular file 5, with nothing created. 0 or the Win32 error; on
/// failure the target is as before and the temporary gone. A `tail`
/// follows the bytes in the new file. `seen`, when given, is the target's
/// stat taken just before, so it is not asked again.
std::uint32_t replace_existing_file(const std::string& path, const void* bytes, std::size_t length,
                                    const file_identity& read, const file_tail& tail = {},
                                    const struct stat* seen = nullptr);

}  // namespace platform::file_system
