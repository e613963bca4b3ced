#include "platform/posix/properties/hierarchical_keywords.h"

#include "platform/text.h"

#include <algorithm>
#include <string_view>

namespace platform::property_store::posix {
namespace {

struct hierarchy_list {
    const char* key;
    wchar_t separator;
};

constexpr hierarchy_list hierarchy_lists[] = {
    {"Xmp.lr.hierarchicalSubject", L'|'},
    {"Xmp.digiKam.TagsList", L'/'},
    {"Xmp.mediapro.CatalogSets", L'|'},
    {"Xmp.MicrosoftPhoto.LastKeywordXMP", L'/'},
};

bool holds(const std::vector<std::wstring>& tags, const std::wstring& tag) {
    return std::any_of(tags.begin(), tags.end(),
                       [&tag](const std::wstring& other) { return platform::text::equal_ignore_case(other, tag); });
}

// By key text: an XmpKey of a prefix Exiv2 has not met yet throws.
Exiv2::XmpData::iterator find_list(Exiv2::XmpData& xmp, std::string_view key) {
    return std::find_if(xmp.begin(), xmp.end(), [&](const Exiv2::Xmpdatum& datum) { return datum.key() == key; });
}
Exiv2::XmpData::const_iterator find_list(const Exiv2::XmpData& xmp, std::string_view key) {
    return std::find_if(xmp.begin(), xmp.end(), [&](const Exiv2::Xmpdatum& datum) { return datum.key() == key; });
}

std::vector<std::wstring> entries_of(const Exiv2::Xmpdatum& datum) {
    std::vector<std::wstring> entries;
    for (long i = 0; i < datum.count(); ++i) entries.push_back(platform::text::from_utf8(datum.toString(i)));
    return entries;
}

}  // namespace

std::vector<std::wstring> removed_tags(const std::vector<std::wstring>& before, const std::vector<std::wstring>& after) {
    std::vector<std::wstring> removed;
    for (const auto& tag : before) {
        if (!holds(after, tag) && !holds(removed, tag)) removed.push_back(tag);
    }
    return removed;
}

std::vector<std::wstring> added_tags(const std::vector<std::wstring>& before, const std::vector<std::wstring>& after) {
    return removed_tags(after, before);
}

bool ends_in_removed(const std::wstring& entry, wchar_t separator, const std::vector<std::wstring>& removed) {
    const auto last = entry.rfind(separator);
    return holds(removed, last == std::wstring::npos ? entry : entry.substr(last + 1));
}

void follow_keyword_removal(Exiv2::XmpData& xmp, const std::vector<std::wstring>& removed) {
    if (removed.empty()) return;
    for (const auto& list : hierarchy_lists) {
        const auto it = xmp.findKey(Exiv2::XmpKey(list.key));
        if (it == xmp.end()) continue;
        const auto entries = entries_of(*it);
        std::vector<std::wstring> kept;
        for (const auto& entry : entries) {
            if (!ends_in_removed(entry, list.separator, removed)) kept.push_back(entry);
        }
        if (kept.size() == entries.size()) continue;
        // The list keeps its kind (digiKam's is a sequence, the others bags).
        const Exiv2::TypeId type = it->typeId() == Exiv2::xmpSeq || it->typeId() == Exiv2::xmpAlt ? it->typeId() : Exiv2::xmpBag;
        xmp.erase(it);
        if (kept.empty()) continue;
        Exiv2::XmpArrayValue value(type);
        for (const auto& entry : kept) value.read(platform::text::to_utf8(entry));
        xmp.add(Exiv2::XmpKey(list.key), &value);
    }
}

void follow_keyword_addition(Exiv2::XmpData& xmp, const std::vector<std::wstring>& added) {
    if (added.empty()) return;
    for (const auto& list : hierarchy_lists) {
        const auto it = find_list(xmp, list.key);
        if (it == xmp.end()) continue;
        auto entries = entries_of(*it);
        const std::size_t had = entries.size();
        for (const auto& tag : added) {
            if (!std::any_of(entries.begin(), entries.end(), [&](const std::wstring& entry) {
                    return ends_in_removed(entry, list.separator, {tag});
                })) {
                entries.push_back(tag);
            }
        }
        if (entries.size() == had) continue;
        const Exiv2::TypeId type = it->typeId() == Exiv2::xmpSeq || it->typeId() == Exiv2::xmpAlt ? it->typeId() : Exiv2::xmpBag;
        xmp.erase(it);
        Exiv2::XmpArrayValue value(type);
        for (const auto& entry : entries) value.read(platform::text::to_utf8(entry));
        xmp.add(Exiv2::XmpKey(list.key), &value);
    }
}

std::vector<std::wstring> hierarchy_leaves(const Exiv2::XmpData& xmp) {
    std::vector<std::wstring> leaves;
    for (const auto& list : hierarchy_lists) {
        const auto it = find_list(xmp, list.key);
        if (it == xmp.end()) continue;
        for (const auto& entry : entries_of(*it)) {
            const auto last = entry.rfind(list.separator);
            std::wstring leaf = last == std::wstring::npos ? entry : entry.substr(last + 1);
            if (!leaf.empty() && !holds(leaves, leaf)) leaves.push_back(std::move(leaf));
        }
        if (!leaves.empty()) break;
    }
    return leaves;
}

std::vector<std::wstring> hierarchical_entries(const Exiv2::XmpData& xmp, const char* key, wchar_t separator) {
    std::vector<std::wstring> paths;
    const auto it = xmp.findKey(Exiv2::XmpKey(key));
    if (it == xmp.end()) return paths;
    for (auto& entry : entries_of(*it)) {
        if (entry.find(separator) != std::wstring::npos) paths.push_back(std::move(entry));
    }
    return paths;
}

}  // namespace platform::property_store::posix
