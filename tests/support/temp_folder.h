#pragma once
// Test fixtures shared by the suites: a fresh temporary folder per test that
// is removed afterwards, and file helpers that work in wide paths.

#include <filesystem>
#include <string>

namespace qlm::testing {

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

}  // namespace qlm::testing
