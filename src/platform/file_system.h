#pragma once
// Files, folders and the facts about the running process that the logic
// needs, in the Win32 vocabulary (attribute bits, error numbers).
//
// Linux specifics:
// - READONLY of a file is its owner-write bit; DIRECTORY comes from stat; a
//   symbolic link is a REPARSE_POINT. Every other bit (hidden, system,
//   archive, offline, the recall bits, read-only of a folder) lives in the
//   extended attribute "user.qlm.attributes" as "0x%08X" text.
// - Wildcards are our own matcher: `*` any run of characters, `?` exactly
//   one, case-sensitive; nothing else is special.
// - Path keys are exact (Linux file systems are case-sensitive); on Windows
//   they are the invariant upper case.
// - LocalAppData is $XDG_DATA_HOME, else $HOME/.local/share.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::file_system {

inline constexpr std::uint32_t attribute_readonly = 0x1;
inline constexpr std::uint32_t attribute_hidden = 0x2;
inline constexpr std::uint32_t attribute_system = 0x4;
inline constexpr std::uint32_t attribute_directory = 0x10;
inline constexpr std::uint32_t attribute_archive = 0x20;
inline constexpr std::uint32_t attribute_normal = 0x80;
inline constexpr std::uint32_t attribute_reparse_point = 0x400;
inline constexpr std::uint32_t attribute_offline = 0x1000;
inline constexpr std::uint32_t attribute_recall_on_open = 0x40000;
inline constexpr std::uint32_t attribute_recall_on_data_access = 0x400000;
inline constexpr std::uint32_t invalid_attributes = 0xFFFFFFFF;

/// The native path separator ('\\' on Windows, '/' on Linux).
extern const wchar_t separator;

/// GetFileAttributesW: the attribute bits, or invalid_attributes with the
/// Win32 error in *error (when given).
std::uint32_t get_attributes(const std::wstring& path, std::uint32_t* error = nullptr);

/// SetFileAttributesW: returns 0 or the Win32 error.
std::uint32_t set_attributes(const std::wstring& path, std::uint32_t attributes);

/// Enumerates one folder with a pattern in the last component
/// (FindFirstFileExW/FindNextFileW): the entry names in file-system order,
/// hidden and system entries included, "." and ".." included where the
/// system reports them. nullopt when the enumeration could not start.
std::optional<std::vector<std::wstring>> find_files(const std::wstring& pattern);

/// GetFullPathNameW: the absolute form against the current directory, or
/// nullopt when the system refuses the path.
std::optional<std::wstring> full_path(const std::wstring& path);

/// Lexically normal form with the native separator: "." removed, ".."
/// folded into its parent, repeated separators collapsed; the root kept.
/// Windows keeps the separator before a folded ".." ("a\b\.." gives
/// "a\"), Linux drops it; callers strip trailing separators themselves.
std::wstring lexically_normal(const std::wstring& path);

/// The key under which two paths name the same target.
std::wstring path_key(const std::wstring& path);

/// The hash of the path's key, and whether two paths share a key, without
/// making a key where it is the path itself (Linux): a tree walk asks this
/// for every file it lists.
std::size_t path_key_hash(std::wstring_view path);
bool same_path_key(std::wstring_view a, std::wstring_view b);

/// True when the path names an existing entry. Throws
/// std::filesystem::filesystem_error ("exists") when that cannot be told.
bool exists(const std::wstring& path);

/// Creates the folder and its missing parents. Throws
/// std::filesystem::filesystem_error ("create_directories") on failure.
void create_directories(const std::wstring& path);

/// Sets the last-write time of an existing file to the current time, leaving
/// its creation and access times alone, so that viewers that cache by time
/// look at it again. Returns 0 or the Win32 error (2 for a missing file).
std::uint32_t touch(const std::wstring& path);

/// Opens the file for reading and reads its first byte, which makes a cloud
/// provider download an offline placeholder. True only when the open
/// succeeded and a byte was read (so an empty file gives false).
bool read_first_byte(const std::wstring& path);
/// A fresh name for a temporary file beside `target`, hidden and
/// recognisably ours: in the target's folder, "." and the target's name
/// (cut so that the whole name stays within 255 bytes of UTF-8), ".qlm-",
/// the process id, "-", the tick count in milliseconds, "-", a process-wide
/// sequence number from 0, ".tmp" (decimal, no padding).
std::wstring temporary_name_beside(const std::wstring& target);

/// Creates a new file (CreateFileW with CREATE_NEW, GENERIC_WRITE, no
/// sharing), writes all bytes in one call and, when `flush` is set, flushes
/// them to the disk (FlushFileBuffers). 0 or the Win32 error; a file that
/// could be created but not written is left for the caller to delete.
std::uint32_t write_new_file(const std::wstring& path, const void* bytes, std::size_t length, bool flush);

/// Puts `replacement` in place of `replaced` (ReplaceFileW, no backup, no
/// flags): 0 or the Win32 error. Linux: a read-only target is refused with
/// error 5; the target's mode, owner and extended attributes are carried to
/// the replacement, which is then renamed over it and the folder flushed.
std::uint32_t replace_file(const std::wstring& replaced, const std::wstring& replacement);

/// MoveFileExW with MOVEFILE_WRITE_THROUGH: 0 or the Win32 error.
std::uint32_t move_file(const std::wstring& from, const std::wstring& to);

/// An existing file opened for reading and writing with no sharing
/// (CreateFileW with GENERIC_READ | GENERIC_WRITE, share mode 0,
/// OPEN_EXISTING), for edits that patch bytes in place. Linux: a read-write
/// descriptor holding an exclusive flock, so that another writer (a handler
/// store, another edit) is refused with a sharing violation (32); a
/// read-only file is refused with access denied (5). Move-only; the
/// destructor closes the file.
class exclusive_file {
public:
    exclusive_file() = default;
    ~exclusive_file() { close(); }
    exclusive_file(exclusive_file&& other) noexcept : handle_(std::exchange(other.handle_, -1)) {}
    exclusive_file& operator=(exclusive_file&& other) noexcept {
        if (this != &other) {
            close();
            handle_ = std::exchange(other.handle_, -1);
        }
        return *this;
    }
    exclusive_file(const exclusive_file&) = delete;
    exclusive_file& operator=(const exclusive_file&) = delete;

    /// Opens the file (closing any file held before): 0 or the Win32 error.
    std::uint32_t open(const std::wstring& path);
    bool is_open() const { return handle_ != -1; }
    /// The file's size (GetFileSizeEx), or nullopt when it cannot be read.
    std::optional<std::uint64_t> size() const;
    /// Reads up to `length` bytes at `offset`; the number of bytes read.
    std::size_t read_at(std::uint64_t offset, void* buffer, std::size_t length) const;
    /// Writes the bytes at `offset`; the number of bytes written.
    std::size_t write_at(std::uint64_t offset, const void* bytes, std::size_t length);
    void close() noexcept;

private:
    std::intptr_t handle_ = -1;  // the descriptor on Linux, the HANDLE on Windows
};

/// Milliseconds since system start (GetTickCount64).
std::uint64_t tick_count();

/// Reads a whole file in binary mode, or nullopt (with the Win32 error in
/// *error) when it cannot be opened or read (file_safety.h has a bounded form).
std::optional<std::string> read_file(const std::wstring& path, std::uint32_t* error = nullptr);

/// Creates or truncates the file and writes the bytes in one call
/// (CreateFileW with CREATE_ALWAYS, GENERIC_WRITE, no sharing,
/// FILE_ATTRIBUTE_NORMAL). Returns 0 when every byte was written, else the
/// Win32 error (a short write is disk_full). As CREATE_ALWAYS does, an
/// existing read-only, hidden or system file is refused with access_denied on
/// both targets.
std::uint32_t write_file(const std::wstring& path, std::string_view bytes);
/// GetFileAttributesExW (standard information): the last-write time as a
/// FILETIME value (100-nanosecond intervals since 1601-01-01 UTC), or
/// nullopt with the Win32 error in *error (when given).
std::optional<std::uint64_t> last_write_time(const std::wstring& path, std::uint32_t* error = nullptr);

/// Copies a file without overwriting: an existing destination is an error.
/// Returns true when the file was copied. Throws
/// std::filesystem::filesystem_error ("copy_file", both paths) on failure.
bool copy_file(const std::wstring& source, const std::wstring& destination);

/// DeleteFileW: returns 0 or the Win32 error. As on Windows, a read-only
/// file (Linux: no owner-write bit) is refused with access denied (5).
std::uint32_t delete_file(const std::wstring& path);

/// A std::filesystem::path for the wide path, for the standard streams.
std::filesystem::path to_native(const std::wstring& path);

/// The full path of the running executable.
std::wstring module_path();

/// The per-user local application data folder, or nullopt when it cannot be
/// found. Cached after the first success.
std::optional<std::wstring> local_app_data();

/// Process and thread ids as Windows reports them (Linux: pid and tid).
std::uint32_t process_id();
std::uint32_t thread_id();

/// Local wall-clock time with 100-nanosecond resolution.
struct local_time {
    int year = 0;
    int month = 0;  // 1-12
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    std::uint32_t hundred_nanoseconds = 0;  // 0-9999999
};
local_time now_local();

}  // namespace platform::file_system
