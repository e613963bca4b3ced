#include "cli/target_expansion.h"

#include "platform/file_safety.h"
#include "platform/file_system.h"
#include "platform/folder_listing.h"
#include "platform/text.h"
#include "platform/win32_error.h"

#include <algorithm>
#include <cstdint>
#include <unordered_set>
#include <utility>
#include <vector>

namespace qlm {
namespace {

namespace fs = platform::file_system;

constexpr wchar_t not_found_message[] = L"No file or folder exists at this path.";
constexpr wchar_t no_match_message[] = L"Nothing matches this pattern.";

bool is_separator(wchar_t c) { return c == fs::separator || c == L'/'; }

class target_list {
public:
    target_list() : keys_(8, key_hash{&hashes_}, key_equal{&targets_}) {}
    target_list(const target_list&) = delete;
    target_list& operator=(const target_list&) = delete;

    /// False when the path was a target already.
    bool add_usable(std::wstring path) { return add_unique({std::move(path), {}, {}}); }

    void add_missing(std::wstring path) { add_unique({std::move(path), L"not_found", not_found_message}); }

    // Never in the set (a pattern that matched nothing may repeat); its hash
    // slot keeps the two vectors in step.
    void add_no_match(std::wstring pattern) {
        targets_.push_back({std::move(pattern), L"no_match", no_match_message});
        hashes_.push_back(0);
    }

    std::vector<target_entry> release() { return std::move(targets_); }

private:
    // The set holds indices into targets_, hashed and compared by path key,
    // so that a folder of many files does not hold every path twice. Each
    // key's hash is kept, so that a growing set rehashes without new keys.
    struct key_hash {
        const std::vector<std::size_t>* hashes;
        std::size_t operator()(std::size_t index) const { return (*hashes)[index]; }
    };
    struct key_equal {
        const std::vector<target_entry>* targets;
        bool operator()(std::size_t a, std::size_t b) const {
            return fs::path_key((*targets)[a].path) == fs::path_key((*targets)[b].path);
        }
    };

    bool add_unique(target_entry entry) {
        hashes_.push_back(std::hash<std::wstring>{}(fs::path_key(entry.path)));
        targets_.push_back(std::move(entry));
        if (keys_.insert(targets_.size() - 1).second) return true;
        targets_.pop_back();
        hashes_.pop_back();
        return false;
    }

    std::vector<target_entry> targets_;
    std::vector<std::size_t> hashes_;
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

// A code point's place in UTF-16 order: characters beyond the BMP sort by
// their high surrogate (0xD800-0xDBFF), below U+E000-U+FFFF.
std::uint32_t utf16_weight(wchar_t c) {
    const auto point = static_cast<std::uint32_t>(c);
    return point > 0xFFFF ? 0xD800 + ((point - 0x10000) >> 10) : point;
}

bool utf16_less(const std::wstring& a, const std::wstring& b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (a[i] == b[i]) continue;
        const std::uint32_t wa = utf16_weight(a[i]);
        const std::uint32_t wb = utf16_weight(b[i]);
        return wa != wb ? wa < wb : a[i] < b[i];
    }
    return a.size() < b.size();
}

// The upper-cased form NTFS compares; most names are ASCII, done here
// without the general case mapping.
std::wstring upper_key(const std::wstring& name) {
    std::wstring key = name;
    for (wchar_t& c : key) {
        if (c >= L'a' && c <= L'z') {
            c = static_cast<wchar_t>(c - (L'a' - L'A'));
        } else if (static_cast<std::uint32_t>(c) >= 0x80) {
            return platform::text::to_upper_invariant(name);
        }
    }
    return key;
}

// NTFS keeps a folder's names in this order, comparing them upper-cased, and
// lists them so; sorting here gives every system the same order of
// enumeration. Each name is upper-cased once, not at every comparison.
template <typename Item, typename Name>
void sort_in_ntfs_order(std::vector<Item>& items, Name name_of) {
    std::vector<std::pair<std::wstring, std::size_t>> keys;
    keys.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        keys.emplace_back(upper_key(name_of(items[i])), i);
    }
    std::sort(keys.begin(), keys.end(), [&](const auto& a, const auto& b) {
        if (a.first != b.first) return utf16_less(a.first, b.first);
        return name_of(items[a.second]) < name_of(items[b.second]);
    });
    std::vector<Item> sorted;
    sorted.reserve(items.size());
    for (const auto& key : keys) sorted.push_back(std::move(items[key.second]));
    items = std::move(sorted);
}

bool is_folder(const std::wstring& path) {
    const std::uint32_t attributes = fs::get_attributes(path);
    return attributes != fs::invalid_attributes && (attributes & fs::attribute_directory) != 0;
}

// Everything inside the folder, depth-first, each folder before its
// contents. Hidden entries, a write's temporaries and linked folders are
// left out: a link may lead out of the tree or back up into it.
void add_tree(target_list& targets, const std::wstring& folder) {
    auto entries = fs::list_folder(folder);
    if (!entries) return;
    sort_in_ntfs_order(*entries, [](const fs::folder_entry& entry) -> const std::wstring& { return entry.name; });
    const std::wstring prefix = is_separator(folder.back()) ? folder : folder + fs::separator;
    for (auto& entry : *entries) {
        if (entry.hidden || fs::temporary_owner(entry.name) || (entry.is_link && entry.is_folder)) continue;
        std::wstring path = prefix + entry.name;
        if (!entry.is_folder) {
            targets.add_usable(std::move(path));
        } else if (targets.add_usable(path)) {
            // A folder met twice is walked once.
            add_tree(targets, path);
        }
    }
}

}  // namespace

std::vector<target_entry> expand_targets(const std::vector<std::wstring>& paths, bool recursive) {
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
            const std::uint32_t attributes = fs::get_attributes(path, &error);
            if (attributes != fs::invalid_attributes || error == platform::win32_error::access_denied) {
                const bool fresh = targets.add_usable(path);
                if (recursive && fresh && attributes != fs::invalid_attributes &&
                    (attributes & fs::attribute_directory) != 0) {
                    add_tree(targets, path);
                }
            } else {
                targets.add_missing(path);
            }
            continue;
        }
        const std::wstring parent = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
        bool matched = false;
        if (auto names = fs::find_files(path)) {
            sort_in_ntfs_order(*names, [](const std::wstring& match) -> const std::wstring& { return match; });
            for (const auto& entry : *names) {
                // A write's temporary file is never a target of its own.
                if (entry == L"." || entry == L".." || fs::temporary_owner(entry)) continue;
                const std::wstring match = parent + entry;
                if (targets.add_usable(match) && recursive && is_folder(match)) add_tree(targets, match);
                matched = true;
            }
        }
        if (!matched) targets.add_no_match(path);
    }
    return targets.release();
}

}  // namespace qlm
