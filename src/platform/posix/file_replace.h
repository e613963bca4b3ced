#pragma once
// The Linux replace of a file's whole content on the write path of the
// image handler: the steps of write_temporary and replace_file, with the
// target looked at once and the new content flushed once.

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform::file_system {

/// Puts `length` bytes in place of the existing regular file at `path`
/// (a path without a symbolic link as its last part) through a temporary
/// file beside it that carries the target's mode, owner and extended
/// attributes before its first byte and is flushed before the rename; the
/// folder entry is flushed as replace_file does (folder_flush_batch). Should
/// the target change protection or identity meanwhile, replace_file carries
/// it over again. A missing target gives 2, a read-only one or one that is
/// not a regular file 5, with nothing created. 0 or the Win32 error; on
/// failure the target is as before and the temporary gone.
std::uint32_t replace_existing_file(const std::string& path, const void* bytes, std::size_t length);

}  // namespace platform::file_system
