// Path forms on Windows: the long-path prefixes and the shell's root tests.

#include "platform/path_forms.h"

#include "platform/text.h"
#include "platform/win32/handles.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>

namespace platform::file_system {
namespace {

// Shorter paths work everywhere as they are; CreateDirectoryW is the first
// call to refuse one, at 248 units (room for an 8.3 name).
constexpr std::size_t longest_plain_path = 247;

}  // namespace

std::wstring long_path_form(const std::wstring& path) {
    if (path.rfind(L"\\\\?\\", 0) == 0 || text::utf16_length(path) <= longest_plain_path) return path;
    std::wstring absolute = path;
    std::replace(absolute.begin(), absolute.end(), L'/', L'\\');
    const bool unc = absolute.rfind(L"\\\\", 0) == 0;
    const bool drive = absolute.size() >= 3 && absolute[1] == L':' && absolute[2] == L'\\';
    if (!unc && !drive) return path;
    // The prefix turns off the folding of "." and "..", so fold them first.
    const DWORD needed = GetFullPathNameW(absolute.c_str(), 0, nullptr, nullptr);
    if (needed > 0) {
        std::wstring full(needed, L'\0');
        const DWORD length = GetFullPathNameW(absolute.c_str(), needed, full.data(), nullptr);
        if (length > 0 && length < needed) {
            full.resize(length);
            absolute = full;
        }
    }
    return unc ? L"\\\\?\\UNC\\" + absolute.substr(2) : L"\\\\?\\" + absolute;
}

bool is_root(const std::wstring& path) { return PathIsRootW(path.c_str()) != FALSE; }

bool is_unc_share_root(const std::wstring& path) { return PathIsUNCServerShareW(path.c_str()) != FALSE; }

bool same_file(const std::wstring& first, const std::wstring& second) {
    BY_HANDLE_FILE_INFORMATION a{};
    BY_HANDLE_FILE_INFORMATION b{};
    for (auto [path, info] : {std::pair{&first, &a}, std::pair{&second, &b}}) {
        // No access rights needed for the file's identity; folders need the flag.
        const win32::owned_handle file(CreateFileW(long_path_form(*path).c_str(), 0,
                                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!file || !GetFileInformationByHandle(file.get(), info)) return false;
    }
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

}  // namespace platform::file_system
