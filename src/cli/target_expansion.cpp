#include "cli/target_expansion.h"

#include "platform/file_safety.h"
#include "platform/file_system.h"
#include "platform/folder_listing.h"
#include "platform/text.h"
#include "platform/win32_error.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
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
    target_list() : slots_(64) {}
    target_list(const target_list&) = delete;
    target_list& operator=(const target_list&) = delete;

    /// False when the path was a target already.
    bool add_usable(std::wstring path) { return add_unique({std::move(path), {}, {}}); }

    void add_missing(std::wstring path) { add_unique({std::move(path), L"not_found", not_found_message}); }

    // Never in the set (a pattern that matched nothing may repeat).
    void add_no_match(std::wstring pattern) { targets_.push_back({std::move(pattern), L"no_match", no_match_message}); }

    std::vector<target_entry> release() { return std::move(targets_); }

private:
    // An open-addressed table of (hash, index into targets_): a tree of many
    // files is looked up without a node per path or the path held twice, and
    // its probes stay in one array. A slot of index 0 is empty (indices are
    // stored plus one).
    struct slot {
        std::size_t hash = 0;
        std::size_t index = 0;
    };

    bool add_unique(target_entry entry) {
        const std::size_t hash = std::hash<std::wstring>{}(fs::path_key(entry.path));
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
            const slot& found = slots_[at];
            if (found.index == 0) break;
            if (found.hash == hash && fs::path_key(targets_[found.index - 1].path) == fs::path_key(entry.path)) {
                return false;
            }
        }
        targets_.push_back(std::move(entry));
        ++used_;
        if (used_ * 2 > slots_.size()) grow();
        place({hash, targets_.size()});
        return true;
    }

    void place(slot item) {
        const std::size_t mask = slots_.size() - 1;
        std::size_t at = item.hash & mask;
        while (slots_[at].index != 0) at = (at + 1) & mask;
        slots_[at] = item;
    }

    void grow() {
        std::vector<slot> old(slots_.size() * 2);
        old.swap(slots_);
        for (const slot& item : old) {
            if (item.index != 0) place(item);
        }
    }

    std::vector<target_entry> targets_;
    std::vector<slot> slots_;
    std::size_t used_ = 0;
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

// The upper-cased form NTFS compares, made only for a name beyond ASCII;
// an ASCII name is upper-cased as it is compared.
bool is_ascii(const std::wstring& name) {
    return std::all_of(name.begin(), name.end(), [](wchar_t c) { return static_cast<std::uint32_t>(c) < 0x80; });
}

wchar_t ascii_upper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - (L'a' - L'A')) : c; }

// Negative, zero or positive as the upper-cased a sorts before, with or
// after the upper-cased b; each side is its upper-cased key when it has one.
int upper_compare(const std::wstring& a, const std::wstring* a_key, const std::wstring& b, const std::wstring* b_key) {
    const std::wstring& left = a_key ? *a_key : a;
    const std::wstring& right = b_key ? *b_key : b;
    const std::size_t common = std::min(left.size(), right.size());
    for (std::size_t i = 0; i < common; ++i) {
        const wchar_t ca = a_key ? left[i] : ascii_upper(left[i]);
        const wchar_t cb = b_key ? right[i] : ascii_upper(right[i]);
        if (ca == cb) continue;
        const std::uint32_t wa = utf16_weight(ca);
        const std::uint32_t wb = utf16_weight(cb);
        if (wa != wb) return wa < wb ? -1 : 1;
        return ca < cb ? -1 : 1;
    }
    return left.size() == right.size() ? 0 : (left.size() < right.size() ? -1 : 1);
}

// NTFS keeps a folder's names in this order, comparing them upper-cased, and
// lists them so; sorting here gives every system the same order of
// enumeration. A name beyond ASCII is upper-cased once, not at every comparison.
template <typename Item, typename Name>
void sort_in_ntfs_order(std::vector<Item>& items, Name name_of) {
    struct sort_key {
        std::size_t index;
        std::unique_ptr<std::wstring> upper;  // only for a name beyond ASCII
    };
    std::vector<sort_key> keys;
    keys.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::wstring& name = name_of(items[i]);
        keys.push_back({i, is_ascii(name) ? nullptr
                                          : std::make_unique<std::wstring>(platform::text::to_upper_invariant(name))});
    }
    std::sort(keys.begin(), keys.end(), [&](const sort_key& a, const sort_key& b) {
        const std::wstring& name_a = name_of(items[a.index]);
        const std::wstring& name_b = name_of(items[b.index]);
        if (const int order = upper_compare(name_a, a.upper.get(), name_b, b.upper.get())) return order < 0;
        return name_a < name_b;
    });
    std::vector<Item> sorted;
    sorted.reserve(items.size());
    for (const auto& key : keys) sorted.push_back(std::move(items[key.index]));
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
