#pragma once
// One folder's entries with what a tree walk needs to know of each, from the
// enumeration itself where the system gives it (no call per entry).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::file_system {

struct folder_entry {
    std::wstring name;
    bool is_folder = false;  // a folder, or a link that leads to one
    bool is_link = false;    // a symbolic link (a reparse point on Windows)
    bool hidden = false;     // the hidden attribute on Windows; on Linux a leading "."
                             // or a line of the folder's ".hidden"
};

/// True when the name alone makes an entry hidden: a leading "." on Linux;
/// never on Windows, where only the attribute does.
bool hidden_by_name(std::wstring_view name);

/// The entries of the folder, "." and ".." left out, in the order the
/// system gives them; nullopt when the folder cannot be listed.
std::optional<std::vector<folder_entry>> list_folder(const std::wstring& folder);

}  // namespace platform::file_system
