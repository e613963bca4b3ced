#include "organizer/organize_selection.h"

#include "organizer/undo_journal.h"
#include "platform/file_system.h"
#include "platform/folder_listing.h"
#include "platform/text.h"

#include <algorithm>

namespace sortwell::organizer {
namespace {

namespace fs = platform::file_system;
using platform::text::to_lower_invariant;

bool ends_with(std::wstring_view text, std::wstring_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

}  // namespace

std::wstring category_folder_name(std::wstring_view name) {
    std::wstring clean;
    for (const wchar_t c : name) {
        if (std::wstring_view(L"\\/:*?\"<>|").find(c) == std::wstring_view::npos) clean.push_back(c);
    }
    const std::size_t first = clean.find_first_not_of(L" \t\r\n");
    if (first == std::wstring::npos) return L"Other";
    const std::size_t last = clean.find_last_not_of(L" \t\r\n");
    return clean.substr(first, last - first + 1);
}

category_lookup build_category_lookup(const std::vector<high_level_settings::organize_category>& categories) {
    category_lookup lookup;
    for (const auto& category : categories) {
        if (!category.enabled) continue;
        const std::wstring folder = category_folder_name(category.name);
        for (const auto& extension : category.extensions) {
            std::wstring key = to_lower_invariant(extension);
            if (!key.empty() && key.front() == L'.') key.erase(0, 1);
            lookup[key] = folder;
        }
    }
    return lookup;
}

std::wstring lower_extension(std::wstring_view name) {
    const std::size_t dot = name.find_last_of(L'.');
    if (dot == std::wstring_view::npos) return {};
    return to_lower_invariant(name.substr(dot + 1));
}

std::wstring base_name(std::wstring_view name) {
    const std::size_t dot = name.find_last_of(L'.');
    return std::wstring(dot == std::wstring_view::npos ? name : name.substr(0, dot));
}

std::wstring dotted_extension(std::wstring_view name) {
    const std::size_t dot = name.find_last_of(L'.');
    return dot == std::wstring_view::npos ? std::wstring() : std::wstring(name.substr(dot));
}

bool is_builtin_excluded(std::wstring_view name) {
    const std::wstring lower = to_lower_invariant(name);
    return lower == L"desktop.ini" || lower == L"thumbs.db" || lower == L"sw_organize_undo.json" ||
           lower == L"sw_organize_undo.wal" || (lower.rfind(L"sw_folder_", 0) == 0 && ends_with(lower, L".ico")) ||
           ends_with(lower, L".lnk") || ends_with(lower, L".url");
}

bool is_user_excluded(std::wstring_view name, const std::vector<std::wstring>& excluded) {
    const std::wstring lower = to_lower_invariant(name);
    for (const auto& entry : excluded) {
        const std::wstring rule = to_lower_invariant(entry);
        if (rule.rfind(L"*.", 0) == 0 ? ends_with(lower, std::wstring_view(rule).substr(1)) : lower == rule)
            return true;
    }
    return false;
}

std::vector<std::wstring> select_files(const std::wstring& folder, const std::vector<std::wstring>& excluded,
                                       const std::vector<std::wstring>* extensions) {
    std::vector<std::wstring> taken;
    const auto names = fs::find_files(folder + fs::separator + L"*");
    if (!names) return taken;
    for (const auto& name : *names) {
        // Hidden entries stay where they are, dotfiles included on Linux
        // (.directory, .bashrc), as a file manager hides them too.
        if (name == L"." || name == L".." || fs::hidden_by_name(name)) continue;
        const std::wstring path = folder + fs::separator + name;
        const std::uint32_t attributes = fs::get_attributes(path);
        if (attributes != fs::invalid_attributes &&
            (attributes & (fs::attribute_directory | fs::attribute_reparse_point)) != 0) {
            continue;
        }
        if (extensions != nullptr &&
            std::find(extensions->begin(), extensions->end(), lower_extension(name)) == extensions->end()) {
            continue;
        }
        if (is_builtin_excluded(name) || is_user_excluded(name, excluded)) continue;
        if (attributes != fs::invalid_attributes && (attributes & (fs::attribute_hidden | fs::attribute_system)) != 0) {
            continue;
        }
        taken.push_back(name);
    }
    return taken;
}

}  // namespace sortwell::organizer
