#pragma once
// Custom icons chosen by the user. A folder's .ico file is copied, hidden,
// into the folder and named in its desktop.ini through the shell; a drive
// root also gets the per-user drive-icon registry entry; a file keeps its
// icon's bytes in a stream of its own.

#include <cstdint>
#include <functional>
#include <string>

namespace sortwell::explorer {

/// The file operations of folder icons that tests replace to make one fail
/// the way a locked-down folder would, whoever runs them; empty: the real one.
struct icon_file_operations {
    /// CopyFileW with overwriting allowed: 0 or the Win32 error.
    std::function<std::uint32_t(const std::wstring& source, const std::wstring& destination)> copy;
};

/// Applies (`remove` false) or removes the custom icon of a folder or drive
/// root; `icon_source` is the .ico file to copy. Throws std::runtime_error
/// with the friendly message of the step that failed; earlier steps stay.
void set_folder_icon(const std::wstring& target, const std::wstring& icon_source, bool remove,
                     const icon_file_operations& operations = {});

/// Applies (`remove` false) or removes a file's own icon, kept in the file's
/// "sw_icon_data" stream where the suite's icon handler reads it.
/// `icon_source` is an .ico file or "module,-id" (the icon group with that
/// id in a DLL or EXE). Throws std::runtime_error with the step's message.
void set_file_icon(const std::wstring& target, const std::wstring& icon_source, bool remove);

/// True for the root of a drive letter ("X:\" on Windows); Linux has none.
bool is_drive_root(const std::wstring& path);

}  // namespace sortwell::explorer
