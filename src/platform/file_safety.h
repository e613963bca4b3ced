#pragma once
// What keeps files whole and private around a write, and bounded reads of
// outside input.
//
// A replace writes a temporary file beside its target (hidden, named by
// temporary_name_beside, file_system.h) that carries the target's protection
// from its creation, so that a crash at any moment leaves the old file and
// at worst a private leftover, which the next write beside it sweeps.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::file_system {

/// The Win32 error of a file or input above its size limit.
inline constexpr std::uint32_t file_too_large = 223;

/// The id of the process that made the temporary file named `name` (a name
/// from temporary_name_beside, or the visible form earlier versions used,
/// without the leading "."), or nullopt when the name is not one of ours.
/// Wildcard reads skip such names.
std::optional<std::uint32_t> temporary_owner(std::wstring_view name);

/// True when a process with this id is running.
bool process_running(std::uint32_t id);

/// Creates `temporary` (a name from temporary_name_beside(target)) for a
/// later replace of `target` and writes and flushes all bytes into it. The
/// file carries the target's protection before its first byte: Linux, the
/// target's mode, owner and extended attributes (a missing target: the
/// default mode); Windows, the target's security descriptor, and the hidden
/// attribute while the target exists. A read-only target is refused (5)
/// before anything is created. Before the first temporary in a folder, this
/// process deletes the temporaries that dead processes left there. 0 or the
/// Win32 error; on failure nothing of the temporary is left.
std::uint32_t write_temporary(const std::wstring& target, const std::wstring& temporary, const void* bytes,
                              std::size_t length);

/// While one lives, the replaces and moves of this process leave the flush
/// of their folder entries to its end, where each folder is flushed once,
/// after its last rename (Linux; Windows flushes inside ReplaceFileW and
/// MoveFileExW, so there it changes nothing). Batches nest; the outermost
/// one flushes.
class folder_flush_batch {
public:
    folder_flush_batch();
    ~folder_flush_batch();
    folder_flush_batch(const folder_flush_batch&) = delete;
    folder_flush_batch& operator=(const folder_flush_batch&) = delete;
};

/// Reads a whole file in blocks of 64 KiB as read_file does, but gives up
/// as soon as it holds more than `limit` bytes (nullopt, file_too_large;
/// the rest is never read), so that an endless source cannot exhaust memory.
std::optional<std::string> read_file_at_most(const std::wstring& path, std::size_t limit,
                                             std::uint32_t* error = nullptr);

/// The metadata a file keeps beside its content where a failed write may
/// have put some: Linux, its user extended attributes (links followed);
/// Windows keeps none there, so a snapshot is empty.
struct extended_attributes {
    std::vector<std::pair<std::string, std::string>> values;  // name, value
    bool taken = false;                                       // false when they could not be read
};

/// The file's extended attributes now.
extended_attributes snapshot_extended_attributes(const std::wstring& path);

/// Puts back a snapshot: attributes added since are removed, changed and
/// removed ones set to their old values, the others left alone. 0 or the
/// Win32 error; a snapshot that was not taken changes nothing.
std::uint32_t restore_extended_attributes(const std::wstring& path, const extended_attributes& snapshot);

}  // namespace platform::file_system
