#pragma once
// Whole-file writes that a crash cannot tear: the bytes go to a new file
// beside the target, are flushed, and the new file then takes the target's
// place in one step.

#include <cstdint>
#include <string>

namespace qlm::metadata {

/// Writes `length` bytes as the new content of `target` through a temporary
/// file beside it (see platform::file_system::temporary_name_beside). A
/// missing target is created by a move, an existing one replaced (Linux:
/// keeping its mode, owner and extended attributes). False, with the target
/// untouched and the temporary file removed, on any failure; lengths above
/// 4,294,967,295 bytes are refused.
bool replace_file_atomically(const std::wstring& target, const void* bytes, std::uint64_t length);

}  // namespace qlm::metadata
