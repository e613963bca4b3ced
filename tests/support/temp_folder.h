#pragma once
// Test fixtures shared by the suites: a fresh temporary folder per test that
// is removed afterwards, and file helpers that work in wide paths.

#include "platform/file_system.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace qlm::testing {

/// The path with every '/' turned into the native separator.
inline std::wstring native_path(std::wstring path) {
    std::replace(path.begin(), path.end(), L'/', platform::file_system::separator);
    return path;
}

/// A new, empty folder under the system's temporary folder; removed with
/// everything in it when the object goes away.
class temp_folder {
public:
    temp_folder();
    ~temp_folder();
    temp_folder(const temp_folder&) = delete;
    temp_folder& operator=(const temp_folder&) = delete;

    /// The folder's absolute path.
    const std::wstring& path() const { return path_; }

    /// The folder joined with a relative name; '/' in the name becomes the
    /// native separator.
    std::wstring operator/(const std::wstring& name) const;

    /// Writes the bytes to the named file (created or replaced) and returns
    /// its full path.
    std::wstring write(const std::wstring& name, const std::string& bytes) const;

    /// Creates the named sub-folder and returns its full path.
    std::wstring make_folder(const std::wstring& name) const;

private:
    std::wstring path_;
};

/// The whole content of a file, or an empty string when it cannot be read.
std::string read_bytes(const std::wstring& path);

/// The names in a folder that start with the prefix (every name without
/// one), sorted; "." and ".." left out.
inline std::vector<std::wstring> names_in(const std::wstring& folder, const std::wstring& prefix = L"") {
    std::vector<std::wstring> names;
    for (const auto& name : platform::file_system::find_files(folder + platform::file_system::separator + L"*")
                                .value_or(std::vector<std::wstring>{})) {
        if (name != L"." && name != L".." && name.rfind(prefix, 0) == 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace qlm::testing
