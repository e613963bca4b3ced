#pragma once
// Whole-file writes that a crash cannot tear: the bytes go to a new file
// beside the target, are flushed, and the new file then takes the target's
// place in one step.

#include <cstdint>
#include <string>

namespace qlm::metadata {

/// Writes `length` bytes as the new content of `target` through a temporary
/// file beside it (platform::file_system::write_temporary: hidden, with the
/// target's protection from the start, leftovers of dead writers swept). A
/// missing target is created by a move, an existing one replaced (Linux:
/// keeping its mode, owner and extended attributes). False, with the target
/// untouched and the temporary file removed, on any failure; lengths above
/// 4,294,967,295 bytes are refused.
bool replace_file_atomically(const std::wstring& target, const void* bytes, std::uint64_t length);

}  // namespace qlm::metadata
