#include "cli/target_expansion.h"

#include "platform/file_safety.h"
#include "platform/file_system.h"
#include "platform/win32_error.h"

#include <unordered_set>

namespace qlm {
namespace {

namespace fs = platform::file_system;

constexpr wchar_t not_found_message[] = L"No file or folder exists at this path.";
constexpr wchar_t no_match_message[] = L"Nothing matches this pattern.";

bool is_separator(wchar_t c) { return c == fs::separator || c == L'/'; }

class target_list {
public:
    target_list() : keys_(8, key_hash{&targets_}, key_equal{&targets_}) {}
    target_list(const target_list&) = delete;
    target_list& operator=(const target_list&) = delete;

    void add_usable(std::wstring path) { add_unique({std::move(path), {}, {}}); }

    void add_missing(std::wstring path) { add_unique({std::move(path), L"not_found", not_found_message}); }

    void add_no_match(std::wstring pattern) { targets_.push_back({std::move(pattern), L"no_match", no_match_message}); }

    std::vector<target_entry> release() { return std::move(targets_); }

private:
    // The set holds indices into targets_, hashed and compared by path key,
    // so that a folder of many files does not hold every path twice.
    struct key_hash {
        const std::vector<target_entry>* targets;
        std::size_t operator()(std::size_t index) const {
            return std::hash<std::wstring>{}(fs::path_key((*targets)[index].path));
        }
    };
    struct key_equal {
        const std::vector<target_entry>* targets;
        bool operator()(std::size_t a, std::size_t b) const {
            return fs::path_key((*targets)[a].path) == fs::path_key((*targets)[b].path);
        }
    };

    void add_unique(target_entry entry) {
        targets_.push_back(std::move(entry));
        if (!keys_.insert(targets_.size() - 1).second) targets_.pop_back();
    }

    std::vector<target_entry> targets_;
    std::unordered_set<std::size_t, key_hash, key_equal> keys_;
};

std::wstring absolute_normal(const std::wstring& given) {
    std::wstring path = fs::lexically_normal(fs::full_path(given).value_or(given));
    while (path.size() >= 4 && is_separator(path.back())) path.pop_back();
    return path;
}

std::size_t last_separator(const std::wstring& path) {
    for (std::size_t i = path.size(); i > 0; --i) {
        if (is_separator(path[i - 1])) return i - 1;
    }
    return std::wstring::npos;
}

}  // namespace

std::vector<target_entry> expand_targets(const std::vector<std::wstring>& paths) {
    target_list targets;
    for (const auto& given : paths) {
        const std::wstring path = absolute_normal(given);
        const auto slash = last_separator(path);
        const std::wstring_view name = slash == std::wstring::npos ? std::wstring_view(path)
                                                                   : std::wstring_view(path).substr(slash + 1);
        if (name.find_first_of(L"*?") == std::wstring_view::npos) {
            // A folder that may not be searched hides whether its entries
            // exist; Windows lets everyone traverse, so such a path is a
            // target whose read reports the refusal.
            std::uint32_t error = 0;
            if (fs::get_attributes(path, &error) != fs::invalid_attributes ||
                error == platform::win32_error::access_denied) {
                targets.add_usable(path);
            } else {
                targets.add_missing(path);
            }
            continue;
        }
        const std::wstring parent = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
        bool matched = false;
        if (const auto names = fs::find_files(path)) {
            for (const auto& entry : *names) {
                // A write's temporary file is never a target of its own.
                if (entry == L"." || entry == L".." || fs::temporary_owner(entry)) continue;
                targets.add_usable(parent + entry);
                matched = true;
            }
        }
        if (!matched) targets.add_no_match(path);
    }
    return targets.release();
}

}  // namespace qlm
