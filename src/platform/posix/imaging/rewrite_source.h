#pragma once
// What the embedded-metadata writer holds of a file in memory. A JPEG's
// metadata all lies before its first scan, and Exiv2 copies everything from
// there on unchanged, so a big photo is loaded only up to that scan; the
// rest goes from the old file to the new one at the commit (copy_tail).

#include "formats/content_type.h"
#include "platform/posix/files/byte_buffer.h"
#include "platform/posix/files/file_replace.h"

#include <cstdint>
#include <optional>

namespace platform::posix {

/// Files up to this size are read whole; only larger JPEGs are split.
inline constexpr std::uint64_t split_rewrite_size = 1u << 20;

/// A header that has not reached its scan within this much is read whole,
/// as a small file is.
inline constexpr std::size_t split_head_limit = 64u << 20;

/// The bytes Exiv2 works on, and the rest of the file that follows them
/// unchanged into the rewritten file.
struct rewrite_source {
    byte_buffer head;
    platform::file_system::file_tail tail;  // length 0: `head` is the whole file
};

/// Reads the regular file open as `descriptor` (from its start) for a
/// metadata rewrite: whole, except a JPEG above split_rewrite_size, whose
/// head ends just after its first scan marker (FF DA) and whose tail is the
/// rest. A header damaged before its scan ends the head where the damage
/// was found: the write is refused on the head alone, and a damaged 2 GB
/// file is never loaded. nullopt with the Win32 error when a read fails.
std::optional<rewrite_source> read_for_rewrite(int descriptor, formats::content_type type, std::uint32_t* error);

}  // namespace platform::posix
