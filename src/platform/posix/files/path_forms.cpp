// Path forms on Linux: no length prefix, one root, no network shares.

#include "platform/path_forms.h"

#include "platform/text.h"

#include <sys/stat.h>

namespace platform::file_system {

std::wstring long_path_form(const std::wstring& path) { return path; }

bool is_root(const std::wstring& path) {
    return !path.empty() && path.find_first_not_of(L'/') == std::wstring::npos;
}

bool is_unc_share_root(const std::wstring&) { return false; }

bool same_file(const std::wstring& first, const std::wstring& second) {
    struct stat a {};
    struct stat b {};
    if (::stat(text::to_utf8(first).c_str(), &a) != 0 || ::stat(text::to_utf8(second).c_str(), &b) != 0) return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace platform::file_system
