#include "platform/folder_listing.h"

#include "platform/file_names.h"
#include "platform/file_safety.h"
#include "platform/posix/files/unique_descriptor.h"
#include "platform/text.h"

#include <set>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace platform::file_system {

bool hidden_by_name(std::wstring_view name) { return !name.empty() && name.front() == L'.'; }

std::optional<std::vector<folder_entry>> list_folder(const std::wstring& folder) {
    const posix::unique_directory dir(::opendir(platform::text::to_utf8(folder).c_str()));
    if (!dir) return std::nullopt;
    const int dir_fd = ::dirfd(dir.get());
    std::vector<folder_entry> entries;
    while (const dirent* found = ::readdir(dir.get())) {
        const std::string_view bytes = found->d_name;
        if (bytes == "." || bytes == "..") continue;
        folder_entry entry{platform::text::from_utf8_name(bytes), false, false, false};
        entry.hidden = hidden_by_name(entry.name);
        unsigned char type = found->d_type;
        struct stat info {};
        if (type == DT_UNKNOWN && ::fstatat(dir_fd, found->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
            type = static_cast<unsigned char>(S_ISLNK(info.st_mode) ? DT_LNK : S_ISDIR(info.st_mode) ? DT_DIR : DT_REG);
        }
        entry.is_link = type == DT_LNK;
        entry.is_folder = type == DT_DIR;
        // Only a link costs a call: whether it leads to a folder.
        if (entry.is_link && ::fstatat(dir_fd, found->d_name, &info, 0) == 0) entry.is_folder = S_ISDIR(info.st_mode);
        entries.push_back(std::move(entry));
    }
    // What the folder's ".hidden" names carries the hidden attribute here
    // (desktop.ini, the folder icons), as file managers show it.
    bool has_list = false;
    for (const auto& entry : entries) has_list = has_list || entry.name == L".hidden";
    if (has_list) {
        std::uint32_t error = 0;
        const std::wstring list = (folder.empty() || folder.back() != L'/' ? folder + L"/" : folder) + L".hidden";
        if (const auto text = read_file_at_most(list, 1u << 20, &error)) {
            std::set<std::string> names;
            std::size_t start = 0;
            while (start < text->size()) {
                std::size_t end = text->find('\n', start);
                if (end == std::string::npos) end = text->size();
                std::string name = text->substr(start, end - start);
                if (!name.empty() && name.back() == '\r') name.pop_back();
                names.insert(std::move(name));
                start = end + 1;
            }
            for (auto& entry : entries) {
                if (!entry.hidden && names.count(platform::text::to_utf8(entry.name)) != 0) entry.hidden = true;
            }
        }
    }
    return entries;
}

}  // namespace platform::file_system
