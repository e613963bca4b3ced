#pragma once
// Named data streams beside a file's content ("path:name" on NTFS), where
// the suite's icon handler finds a file's own icon.
//
// Linux: the stream is the extended attribute "user.<name>" of the file. A
// file system bounds its size (ext4 about 4 KB per file, all attributes
// together), so a larger stream fails to write with the error of a full
// disk (112). As on Windows, a file without the owner-write bit (READONLY)
// refuses writes and removals with access denied (5), even for root.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform::file_system {

/// The name under which the stream `stream` of `path` is opened
/// ("path:stream"), for messages.
std::wstring stream_path(const std::wstring& path, const std::wstring& stream);

/// Checks that the stream can be written (CreateFileW on "path:stream"
/// with GENERIC_WRITE and CREATE_ALWAYS, closed again at once on Windows):
/// 0 or the Win32 error (2 for a missing file, 5 for a read-only one).
std::uint32_t open_stream_for_writing(const std::wstring& path, const std::wstring& stream);

/// Replaces the stream's bytes with `bytes` (created when missing): 0 or
/// the Win32 error.
std::uint32_t write_stream(const std::wstring& path, const std::wstring& stream, std::string_view bytes);

/// The stream's bytes, or nullopt with the Win32 error in *error (2 when
/// the file has no such stream).
std::optional<std::string> read_stream(const std::wstring& path, const std::wstring& stream,
                                       std::uint32_t* error = nullptr);

/// DeleteFileW on "path:stream": 0 or the Win32 error (2 when the file has
/// no such stream).
std::uint32_t delete_stream(const std::wstring& path, const std::wstring& stream);

}  // namespace platform::file_system
