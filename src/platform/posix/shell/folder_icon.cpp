// Folder icons on Linux: desktop.ini for the suite and Windows, .directory
// for KDE's file manager, and the stock folder icon of the icon themes.

#include "platform/file_safety.h"
#include "platform/file_system.h"
#include "platform/private_profile.h"
#include "platform/property_store.h"
#include "platform/shell.h"
#include "platform/text.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <system_error>
#include <vector>

namespace platform::shell {
namespace {

constexpr unsigned char unicode_header[] = {0xFF, 0xFE, 0x0D, 0x00, 0x0A, 0x00};

std::wstring join(const std::wstring& folder, const std::wstring& name) {
    if (!folder.empty() && folder.back() == L'/') return folder + name;
    return folder + L"/" + name;
}

// Where the folder's own Icon= waits while one of ours is shown, so that
// taking ours away gives the user's back.
constexpr char saved_icon_key[] = "X-Quillmark-SavedIcon=";

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
}

// The .directory text with `icon` (empty: none of ours) as the Icon= of
// [Desktop Entry], every other line kept; nullopt when the file is left
// with nothing but its group header.
std::optional<std::string> directory_text(const std::string* current, const std::wstring& icon) {
    std::vector<std::string> lines;
    if (current != nullptr) {
        std::istringstream in(*current);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
    }
    // Take out every Icon= and saved icon of the group, then put ours right under its header.
    bool in_entry = false;
    std::optional<std::size_t> header;
    std::optional<std::string> own, saved;
    for (std::size_t i = 0; i < lines.size();) {
        const std::string line = trimmed(lines[i]);
        if (!line.empty() && line[0] == '[') {
            in_entry = line == "[Desktop Entry]";
            if (in_entry && !header) header = i;
        } else if (in_entry && (line.rfind("Icon=", 0) == 0 || line.rfind(saved_icon_key, 0) == 0)) {
            const bool is_saved = line.rfind(saved_icon_key, 0) == 0;
            (is_saved ? saved : own) = line.substr(is_saved ? sizeof saved_icon_key - 1 : 5);
            lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        ++i;
    }
    // The saved key is there exactly while the Icon= is one of ours; it holds
    // the user's own icon from before (empty: none), which comes back when
    // ours goes. Without it, an Icon= is the user's and stays.
    std::vector<std::string> entry;
    if (!icon.empty()) {
        entry.push_back("Icon=" + text::to_utf8(icon));
        entry.push_back(saved_icon_key + (saved ? *saved : own.value_or(std::string())));
    } else if (saved) {
        if (!saved->empty()) entry.push_back("Icon=" + *saved);
    } else if (own) {
        entry.push_back("Icon=" + *own);
    }
    if (!entry.empty()) {
        if (!header) {
            lines.push_back("[Desktop Entry]");
            header = lines.size() - 1;
        }
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*header) + 1, entry.begin(), entry.end());
    }
    bool only_header = true;
    for (const std::string& line : lines) {
        const std::string t = trimmed(line);
        if (!t.empty() && t != "[Desktop Entry]") only_header = false;
    }
    if (only_header) return std::nullopt;
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

// Keeps the Icon= line of [Desktop Entry] in step, leaving every other line
// alone; a file left with nothing but its group header is removed. The file
// holds KDE's other settings of the folder, so it is replaced whole, never
// torn, and only over the file that was read.
bool update_directory_file(const std::wstring& folder, const std::wstring& icon) {
    const std::wstring path = join(folder, L".directory");
    bool remove = false;
    const std::uint32_t result = file_system::rewrite_file(path, 1u << 20, [&](const std::string* current) {
        if (current == nullptr && icon.empty()) return std::optional<std::string>();
        std::optional<std::string> text = directory_text(current, icon);
        remove = !text;
        return text;
    });
    if (result != 0) return false;
    if (!remove) return true;
    const std::uint32_t deleted = file_system::delete_file(path);
    return deleted == 0 || deleted == 2;
}

int size_of_theme_folder(const std::string& name) {
    const auto x = name.find('x');
    const std::string number = x == std::string::npos ? name : name.substr(0, x);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return 0;
    return std::atoi(number.c_str());
}

}  // namespace

std::int32_t set_folder_icon(const std::wstring& folder, const std::wstring& icon_file, int index) {
    const std::uint32_t attributes = file_system::get_attributes(folder);
    if (attributes == file_system::invalid_attributes || (attributes & file_system::attribute_directory) == 0) {
        return property_store::from_win32(2);
    }
    const std::wstring ini = join(folder, L"desktop.ini");
    const std::wstring absolute = icon_file.empty() || icon_file[0] == L'/' ? icon_file : join(folder, icon_file);
    if (!update_directory_file(folder, absolute)) return property_store::e_accessdenied;
    bool written = true;
    if (icon_file.empty()) {
        if (file_system::exists(ini)) {
            for (const wchar_t* key : {L"IconResource", L"IconFile", L"IconIndex"}) {
                written = private_profile::write_string(L".ShellClassInfo", key, nullptr, ini) && written;
            }
        }
    } else {
        // When the header cannot be written the profile write makes a plain file.
        if (!file_system::exists(ini)) file_system::write_new_file(ini, unicode_header, sizeof unicode_header, false);
        const std::wstring resource = icon_file + L"," + std::to_wstring(index);
        written = private_profile::write_string(L".ShellClassInfo", L"IconResource", resource.c_str(), ini);
    }
    if (!written) return property_store::e_accessdenied;
    return property_store::s_ok;
}

void update_image(const std::wstring& path) { change_notify(event_update_image, flag_path, path); }

// The largest places/folder.png of the icon themes.
static std::optional<std::pair<std::wstring, int>> find_stock_folder_icon() {
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    std::istringstream list(dirs != nullptr && dirs[0] != '\0' ? dirs : "/usr/local/share:/usr/share");
    std::string best;
    int best_size = 0;
    for (std::string folder; std::getline(list, folder, ':');) {
        if (folder.empty()) continue;
        std::error_code error;
        for (std::filesystem::directory_iterator theme(folder + "/icons", error), end; !error && theme != end;
             theme.increment(error)) {
            std::error_code inner;
            for (std::filesystem::directory_iterator size(theme->path(), inner), stop; !inner && size != stop;
                 size.increment(inner)) {
                const int pixels = size_of_theme_folder(size->path().filename().string());
                const auto candidate = size->path() / "places" / "folder.png";
                std::error_code ignored;
                if (pixels > best_size && std::filesystem::is_regular_file(candidate, ignored)) {
                    best_size = pixels;
                    best = candidate.string();
                }
            }
        }
    }
    if (best.empty()) return std::nullopt;
    return std::pair{text::from_utf8(best), 0};
}

std::optional<std::pair<std::wstring, int>> stock_folder_icon() {
    // The themes change with installed packages, not while we run: look once.
    static const std::optional<std::pair<std::wstring, int>> found = find_stock_folder_icon();
    return found;
}

}  // namespace platform::shell
