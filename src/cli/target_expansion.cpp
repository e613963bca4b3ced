#include "cli/target_expansion.h"

#include "platform/file_safety.h"
#include "platform/file_system.h"
#include "platform/folder_listing.h"
#include "platform/text.h"
#include "platform/win32_error.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
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
        const std::size_t hash = fs::path_key_hash(entry.path);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
            const slot& found = slots_[at];
            if (found.index == 0) break;
            if (found.hash == hash && fs::same_path_key(targets_[found.index - 1].path, entry.path)) {
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

// Appends the name upper-cased as bytes whose plain byte order is the order
// of the upper-cased UTF-16 units NTFS compares: an ASCII unit as itself,
// any other as three bytes led by 0x80-0x8F (so after every ASCII one), a
// character beyond the BMP as its two surrogates. An ASCII name, nearly
// every name, is upper-cased in place without a copy.
void append_sort_key(std::string& keys, const std::wstring& name) {
    const bool ascii =
        std::all_of(name.begin(), name.end(), [](wchar_t c) { return static_cast<std::uint32_t>(c) < 0x80; });
    if (ascii) {
        std::size_t at = keys.size();
        keys.resize(at + name.size());
        for (const wchar_t c : name) keys[at++] = static_cast<char>(c >= L'a' && c <= L'z' ? c - (L'a' - L'A') : c);
        return;
    }
    const auto put_unit = [&keys](std::uint32_t unit) {
        if (unit < 0x80) {
            keys.push_back(static_cast<char>(unit));
            return;
        }
        keys.push_back(static_cast<char>(0x80 | (unit >> 12)));
        keys.push_back(static_cast<char>(0x80 | ((unit >> 6) & 0x3F)));
        keys.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
    };
    for (const wchar_t c : platform::text::to_upper_invariant(name)) {
        const auto point = static_cast<std::uint32_t>(c);
        if (point > 0xFFFF) {
            put_unit(0xD800 + ((point - 0x10000) >> 10));
            put_unit(0xDC00 + ((point - 0x10000) & 0x3FF));
        } else {
            put_unit(point);
        }
    }
}

// NTFS keeps a folder's names in this order, comparing them upper-cased, and
// lists them so; sorting here gives every system the same order of
// enumeration. Returns the items' indices in that order: each name's key is
// made once, into one buffer, and the items stay where they are.
template <typename Item, typename Name>
std::vector<std::uint32_t> ntfs_order(const std::vector<Item>& items, Name name_of) {
    struct sort_key {
        std::uint64_t head;  // the key's first 8 bytes, big-endian: most names differ there
        std::uint32_t offset;
        std::uint32_t length;
        std::uint32_t index;
    };
    std::string keys;
    std::vector<sort_key> order;
    order.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::size_t offset = keys.size();
        append_sort_key(keys, name_of(items[i]));
        std::uint64_t head = 0;
        for (std::size_t at = 0; at < 8; ++at) {
            // Names hold no NUL, so the zeros after a short key sort it first.
            const auto byte = offset + at < keys.size() ? static_cast<unsigned char>(keys[offset + at]) : 0u;
            head = (head << 8) | byte;
        }
        order.push_back({head, static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(keys.size() - offset),
                         static_cast<std::uint32_t>(i)});
    }
    std::sort(order.begin(), order.end(), [&](const sort_key& a, const sort_key& b) {
        if (a.head != b.head) return a.head < b.head;
        const std::string_view key_a(keys.data() + a.offset, a.length);
        const std::string_view key_b(keys.data() + b.offset, b.length);
        if (const int by_key = key_a.compare(key_b)) return by_key < 0;
        return name_of(items[a.index]) < name_of(items[b.index]);
    });
    std::vector<std::uint32_t> indices;
    indices.reserve(order.size());
    for (const auto& key : order) indices.push_back(key.index);
    return indices;
}

bool is_folder(const std::wstring& path) {
    const std::uint32_t attributes = fs::get_attributes(path);
    return attributes != fs::invalid_attributes && (attributes & fs::attribute_directory) != 0;
}

// Everything inside the folder, depth-first, each folder before its
// contents. Hidden entries, a write's temporaries and linked folders are
// left out: a link may lead out of the tree or back up into it.
void add_tree(target_list& targets, const std::wstring& folder) {
    const auto entries = fs::list_folder(folder);
    if (!entries) return;
    const std::wstring prefix = is_separator(folder.back()) ? folder : folder + fs::separator;
    for (const std::uint32_t index :
         ntfs_order(*entries, [](const fs::folder_entry& entry) -> const std::wstring& { return entry.name; })) {
        const fs::folder_entry& entry = (*entries)[index];
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
        if (const auto names = fs::find_files(path)) {
            for (const std::uint32_t index :
                 ntfs_order(*names, [](const std::wstring& match) -> const std::wstring& { return match; })) {
                const std::wstring& entry = (*names)[index];
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
