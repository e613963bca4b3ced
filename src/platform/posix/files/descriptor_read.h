#pragma once
// Reading an open file whole. The image handler reads through the
// descriptor that holds its writer lock; the path reads of file_system go
// through the same loop.

#include "platform/posix/files/byte_buffer.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace platform::file_system {

/// Everything from the descriptor's position to its end. A regular file is
/// read straight into a buffer of its size, so that a large photo is not
/// copied again and again while the buffer grows; what lies beyond that size
/// (a pipe, a file growing meanwhile) comes in blocks. More than `limit`
/// bytes answer nullopt with the Win32 "file too large" code; a failed read
/// nullopt with its error. `error` (may be null) is 0 on success.
std::optional<std::string> read_descriptor(int descriptor, std::size_t limit, std::uint32_t* error);

/// The same into memory that is not zeroed first, for the large reads.
std::optional<platform::posix::byte_buffer> read_descriptor_bytes(int descriptor, std::size_t limit,
                                                                  std::uint32_t* error);

}  // namespace platform::file_system
