#pragma once
// Writes that keep a file's identity: a file with several hard links, or one
// whose owner this process could not give back to a new file, is rewritten
// in place instead of replaced by a new inode. The new content is first a
// complete, flushed journal beside it, so that a crash leaves the old file,
// the new file, or a torn file with a complete journal, which the next look
// at the folder (finish_interrupted_writes) copies in.

#include "platform/file_safety.h"

#include <cstdint>
#include <string>

struct stat;

namespace platform::file_system {

/// True when a new inode in place of the file would split its hard links or
/// give it another owner (this process is not root and does not own it).
bool must_keep_identity(const struct stat& info);

/// Writes the content of `temporary` (complete and flushed, beside the
/// target) into `target` in place: the temporary becomes the target's
/// journal (".name.qlm-journal-<pid>", the folder flushed), the target is
/// checked to be the file `read` describes, overwritten, truncated and
/// flushed, and the journal deleted. 0, file_changed (nothing written) or
/// the Win32 error; nullopt when the target's name leaves no room for a
/// journal's name (the caller replaces instead).
std::optional<std::uint32_t> write_in_place(const std::string& target, const std::string& temporary,
                                            const file_identity& read);

/// Finishes, once per folder and process, the in-place writes that a dead
/// process left journaled in the folder of `path`, logging each; a journal
/// whose target is gone is deleted.
void finish_interrupted_writes(const std::string& path);

}  // namespace platform::file_system
