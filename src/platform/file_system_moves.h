#pragma once
// Moves, folders and times of the folder organizer, in the Win32 vocabulary
// of the file_system facility (posix/ and win32/files/file_system_moves.cpp).

#include "platform/file_system.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace platform::file_system {

/// The creation time as a FILETIME value (GetFileAttributesExW). Linux: the
/// statx birth time where the file system keeps one, else the last-write time.
std::optional<std::uint64_t> creation_time(const std::wstring& path, std::uint32_t* error = nullptr);

/// A FILETIME (UTC) as local wall-clock time in the current time zone with
/// its daylight rule for that moment, or nullopt when it is out of range.
std::optional<local_time> to_local_time(std::uint64_t filetime);

/// An application-defined error (the customer bit of Win32 codes): a file
/// that another program changed while it was being moved, which therefore
/// stayed where it was.
inline constexpr std::uint32_t changed_during_move = 0x20000001;

/// MoveFileW (long-path forms): never replaces an existing entry (183), and
/// across volumes copies the file and deletes the source. 0 or the Win32
/// error. Windows refuses a file another program holds open for writing (32).
/// Linux: the move holds the file's writer lock (the one photo writes take;
/// 32 when it stays taken); renameat2 with RENAME_NOREPLACE (link + unlink
/// where the file system lacks it); across file systems the file is copied
/// to move_temporary_name(to), flushed, renamed into place without
/// replacing, the folder flushed, and the source deleted only while its
/// device, inode, size, modification and change times are still those of
/// the copy; otherwise the copy is removed and changed_during_move returned.
/// Nothing else is flushed: callers flush the folders they touched once,
/// with flush_folder, when a batch of moves is done.
std::uint32_t move_file_no_replace(const std::wstring& from, const std::wstring& to);

/// Makes the entries of a folder (names created, moved in or out) durable:
/// 0 or the Win32 error. Linux: fsync of the folder. Windows: nothing to do,
/// NTFS logs MoveFileW's changes to the folder itself.
std::uint32_t flush_folder(const std::wstring& path);

/// The hidden temporary a cross-volume move copies into before it takes the
/// name `to`; a crash may leave it behind for the caller to delete.
std::wstring move_temporary_name(const std::wstring& to);

/// CreateDirectoryW (long-path form): 0 or the Win32 error (183 when it exists).
std::uint32_t create_directory(const std::wstring& path);

/// RemoveDirectoryW: 0 or the Win32 error (145 when it is not empty).
std::uint32_t remove_directory(const std::wstring& path);

/// The system's message for a Win32 error (FormatMessageW), without the
/// trailing line break; Linux: the same English texts from our own table.
std::wstring error_text(std::uint32_t error);

/// A file opened for appending whole lines (CreateFileW with OPEN_ALWAYS and
/// FILE_APPEND_DATA), for logs that must survive a crash line by line.
/// Move-only; the destructor closes it.
class append_file {
public:
    append_file() = default;
    ~append_file() { close(); }
    append_file(append_file&& other) noexcept : handle_(std::exchange(other.handle_, -1)) {}
    append_file& operator=(append_file&& other) noexcept {
        if (this != &other) {
            close();
            handle_ = std::exchange(other.handle_, -1);
        }
        return *this;
    }
    append_file(const append_file&) = delete;
    append_file& operator=(const append_file&) = delete;

    /// Opens the file, emptied when `truncate` is set: 0 or the Win32 error.
    std::uint32_t open(const std::wstring& path, bool truncate);
    bool is_open() const { return handle_ != -1; }
    /// Appends all bytes: 0 or the Win32 error.
    std::uint32_t append(std::string_view bytes);
    /// Makes the appended bytes durable (FlushFileBuffers; Linux fdatasync).
    std::uint32_t sync();
    void close() noexcept;

private:
    std::intptr_t handle_ = -1;
};

}  // namespace platform::file_system
