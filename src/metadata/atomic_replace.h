#pragma once
// Whole-file writes that a crash cannot tear: the bytes go to a new file
// beside the target, are flushed, and the new file then takes the target's
// place in one step, only over the file that was there when it was read.

#include "platform/file_safety.h"

#include <cstdint>
#include <string>

namespace qlm::metadata {

/// Writes `length` bytes as the new content of `target` through a temporary
/// file beside it (platform::file_system::write_temporary: hidden, with the
/// target's protection from the start, leftovers of dead writers swept). A
/// missing target is created without replacing a file that appears
/// meanwhile, an existing one replaced (Linux: keeping its mode, owner and
/// extended attributes) only while it is the file found when the call began.
/// False, with the target untouched and the temporary file removed, on any
/// failure; lengths above 4,294,967,295 bytes are refused.
bool replace_file_atomically(const std::wstring& target, const void* bytes, std::uint64_t length);

/// The same for a target whose content was read before: the replace is
/// made only over the file `read` describes (platform::file_system::
/// replace_if_unchanged). 0, file_changed, or another Win32 error.
std::uint32_t replace_read_file(const std::wstring& target, const platform::file_system::file_identity& read,
                                const void* bytes, std::uint64_t length);

}  // namespace qlm::metadata
