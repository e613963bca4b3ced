#pragma once
// Forms and kinds of paths that custom icons care about: the long-path form
// handed to the file-system calls, roots of drives and network shares, and
// whether two paths name one file.
//
// Linux: paths have no length prefix, so the long-path form is the path
// itself; the only root is "/", and there are no network-share roots.

#include <string>

namespace platform::file_system {

/// The path in the form that lifts the 260-character limit where it is
/// needed: on Windows an absolute path of 248 or more UTF-16 units becomes
/// "\\?\C:\…" or "\\?\UNC\server\share\…" (separators made backslashes,
/// "." and ".." folded); anything else, and every path on Linux, unchanged.
std::wstring long_path_form(const std::wstring& path);

/// PathIsRootW: "C:\", "\", "\\server\share" and "\\server" are roots.
/// Linux: "/" (with any number of slashes) only.
bool is_root(const std::wstring& path);

/// PathIsUNCServerShareW: "\\server\share" and nothing below it. Linux:
/// never.
bool is_unc_share_root(const std::wstring& path);

/// True when both paths name the same existing file or folder (same volume
/// and file index; Linux: device and inode), whatever their spelling.
/// False when either cannot be opened.
bool same_file(const std::wstring& first, const std::wstring& second);

}  // namespace platform::file_system
