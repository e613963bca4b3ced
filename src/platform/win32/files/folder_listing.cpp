#include "platform/folder_listing.h"

#include "platform/win32/handles.h"

#include <windows.h>

namespace platform::file_system {

bool hidden_by_name(std::wstring_view) { return false; }

std::optional<std::vector<folder_entry>> list_folder(const std::wstring& folder) {
    std::wstring pattern = folder;
    if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW data{};
    // The basic information and large fetches: a tree of many files is listed
    // in few round trips, without the short names nobody here reads.
    const win32::find_handle find(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                                   nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find) return std::nullopt;
    std::vector<folder_entry> entries;
    do {
        const std::wstring_view name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        const DWORD attributes = data.dwFileAttributes;
        entries.push_back({std::wstring(name), (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0,
                           (attributes & FILE_ATTRIBUTE_HIDDEN) != 0});
    } while (FindNextFileW(find.get(), &data));
    return entries;
}

}  // namespace platform::file_system
