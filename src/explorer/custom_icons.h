#pragma once
// Custom icons of folders and drive roots chosen by the user: the .ico file
// is copied, hidden, into the folder and named in its desktop.ini through the
// shell; a drive root also gets the per-user drive-icon registry entry.

#include <string>

namespace sortwell::explorer {

/// Applies (`remove` false) or removes the custom icon of a folder or drive
/// root; `icon_source` is the .ico file to copy. Throws std::runtime_error
/// with the friendly message of the step that failed; earlier steps stay.
void set_folder_icon(const std::wstring& target, const std::wstring& icon_source, bool remove);

/// True for "X:" and "X:\" (a drive letter's root).
bool is_drive_root(const std::wstring& path);

}  // namespace sortwell::explorer
