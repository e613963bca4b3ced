#include "explorer/shell_registration.h"

#include "logging/log.h"
#include "metadata/file_type_capabilities.h"
#include "platform/file_system.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "platform/win32_error.h"
#include "settings/suite_settings_keys.h"

#include <stdexcept>

namespace sortwell::explorer {
namespace {

namespace registry = platform::registry;
using platform::text::equal_ignore_case;

constexpr registry::root hkcu = registry::root::current_user;
constexpr std::uint32_t type_expand_sz = 2;  // REG_EXPAND_SZ reads as text too

const std::wstring associations = L"Software\\Classes\\SystemFileAssociations";

std::wstring read_string(registry::root where, const std::wstring& key_path, const std::wstring& name,
                         std::size_t max_bytes) {
    registry::key key;
    if (registry::open_key(where, key_path, false, key) != 0) return {};
    registry::value value;
    if (key.get_value(name, value, max_bytes) != 0) return {};
    if (value.type != registry::type_sz && value.type != type_expand_sz) return {};
    return value.text;
}

bool names_suite(const std::wstring& text) { return equal_ignore_case(text, suite_handler_clsid); }

// A per-ProgID key must hold the suite's class id itself, not inherit it.
bool all_progids_name_suite(const std::vector<std::wstring>& progids, const std::wstring& sub_key) {
    for (const std::wstring& progid : progids) {
        const std::wstring value = read_registry_string(hkcu, L"Software\\Classes\\" + progid + sub_key, L"");
        if (value.empty() || !names_suite(value)) return false;
    }
    return true;
}

void add_progid(std::vector<std::wstring>& list, const std::wstring& candidate) {
    if (candidate.empty() || candidate == L"*") return;
    if (candidate.size() >= 4 && equal_ignore_case(std::wstring_view(candidate).substr(0, 4), L"AppX")) return;
    for (const std::wstring& known : list) {
        if (equal_ignore_case(known, candidate)) return;
    }
    list.push_back(candidate);
}

void add_open_with_progids(std::vector<std::wstring>& list, registry::root where, const std::wstring& extension) {
    registry::key key;
    if (registry::open_key(where, L"Software\\Classes\\" + extension + L"\\OpenWithProgids", false, key) != 0) return;
    std::vector<std::wstring> names;
    key.value_names(names, 256);
    for (const std::wstring& name : names) add_progid(list, name);
}

// Keeps the "Treatment" value of image types that show our thumbnails in step
// with the rounded-corners setting; only values we created are removed.
void sweep_treatments(bool rounded_corners) {
    registry::key root_key;
    if (registry::open_key(hkcu, associations, false, root_key) != 0) return;
    std::vector<std::wstring> names;
    root_key.sub_key_names(names, 256);
    for (const std::wstring& extension : names) {
        if (extension.empty() || extension[0] != L'.') continue;
        const std::wstring key_path = associations + L"\\" + extension;
        bool marked = false;
        {
            registry::key key;
            registry::value marker;
            marked = registry::open_key(hkcu, key_path, false, key) == 0 &&
                     key.get_value(treatment_marker_value, marker) == 0 && marker.type == registry::type_dword &&
                     marker.dword != 0;
        }
        const bool wanted =
            rounded_corners && !equal_ignore_case(extension, L".ico") &&
            equal_ignore_case(read_registry_string(registry::root::classes_root, extension, L"PerceivedType"),
                              L"image") &&
            names_suite(read_registry_string(hkcu, key_path + L"\\ShellEx\\" + thumbnail_provider_key, L""));
        if (wanted == marked) continue;
        registry::key key;
        if (registry::open_key(hkcu, key_path, true, key) != 0) continue;
        if (!wanted) {
            key.delete_value(L"Treatment");
            key.delete_value(treatment_marker_value);
            continue;
        }
        registry::value treatment;
        if (key.get_value(L"Treatment", treatment) != platform::win32_error::file_not_found) continue;
        if (key.set_dword(L"Treatment", 0) == 0) key.set_dword(treatment_marker_value, 1);
    }
}

}  // namespace

std::wstring read_registry_string(registry::root where, const std::wstring& key_path, const std::wstring& value_name) {
    return read_string(where, key_path, value_name, 4096);
}

void write_registry_string_with_backup(const std::wstring& key_path, const std::wstring& value_name,
                                       const std::wstring& data, const std::wstring& backup_name) {
    registry::key key;
    if (registry::create_key(hkcu, key_path, key) != 0) throw std::runtime_error("Failed to create/open registry key");
    registry::value current;
    if (key.get_value(value_name, current, 4096) == 0 &&
        (current.type == registry::type_sz || current.type == type_expand_sz) && !current.text.empty() &&
        current.text != data) {
        // The first handler we replaced is the one to hand over to; keep it.
        registry::value backup;
        if (key.get_value(backup_name, backup, 4096) == platform::win32_error::file_not_found) {
            key.set_string(backup_name, current.text);
        }
    }
    key.set_string(value_name, data);
}

std::vector<std::wstring> progids_for_extension(const std::wstring& extension) {
    std::vector<std::wstring> list;
    if (const auto associated = registry::association_progid(extension)) add_progid(list, *associated);
    add_progid(list, read_string(hkcu,
                                 L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\" + extension +
                                     L"\\UserChoice",
                                 L"ProgId", 256 * sizeof(char16_t)));
    add_progid(list, read_registry_string(hkcu, L"Software\\Classes\\" + extension, L""));
    add_progid(list, read_registry_string(registry::root::classes_root, extension, L""));
    add_open_with_progids(list, hkcu, extension);
    add_open_with_progids(list, registry::root::local_machine, extension);
    return list;
}

void register_shell_handlers(const std::wstring& path, high_level_settings::settings_file& settings) {
    namespace fs = platform::file_system;
    const std::uint32_t attributes = fs::get_attributes(path);
    if (attributes != fs::invalid_attributes && (attributes & fs::attribute_directory) != 0) return;
    if (!settings.is_sortwell_enabled()) return;
    if (!high_level_settings::show_tags_overlay(settings) && !high_level_settings::show_rating_overlay(settings)) {
        return;
    }
    std::wstring extension = qlm::metadata::path_extension(path);
    // Exactly ".lnk": shortcuts draw their target's icon; ".LNK" is a type of its own.
    if (extension.empty() || extension == L".lnk") return;
    if (extension[0] != L'.') extension.insert(0, 1, L'.');

    const std::vector<std::wstring> progids = progids_for_extension(extension);
    const std::wstring association_key = associations + L"\\" + extension + L"\\ShellEx\\";
    bool wrote = false;

    const std::wstring icon_handler = L"\\ShellEx\\IconHandler";
    if (!names_suite(read_registry_string(hkcu, association_key + L"IconHandler", L"")) ||
        !all_progids_name_suite(progids, icon_handler)) {
        write_registry_string_with_backup(association_key + L"IconHandler", L"", suite_handler_clsid,
                                          icon_handler_backup_value);
        for (const std::wstring& progid : progids) {
            write_registry_string_with_backup(L"Software\\Classes\\" + progid + icon_handler, L"", suite_handler_clsid,
                                              icon_handler_backup_value);
        }
        qlm::log_info(L"Registered icon handler for file extension: {}", extension);
        wrote = true;
    }

    const std::wstring thumbnail = std::wstring(L"\\ShellEx\\") + thumbnail_provider_key;
    const std::wstring own_thumbnail_key = L"Software\\Classes\\" + extension + thumbnail;
    if (!names_suite(read_registry_string(hkcu, association_key + thumbnail_provider_key, L"")) ||
        !names_suite(read_registry_string(hkcu, own_thumbnail_key, L"")) ||
        !all_progids_name_suite(progids, thumbnail)) {
        write_registry_string_with_backup(association_key + thumbnail_provider_key, L"", suite_handler_clsid,
                                          thumbnail_backup_value);
        write_registry_string_with_backup(own_thumbnail_key, L"", suite_handler_clsid, thumbnail_backup_value);
        for (const std::wstring& progid : progids) {
            write_registry_string_with_backup(L"Software\\Classes\\" + progid + thumbnail, L"", suite_handler_clsid,
                                              thumbnail_backup_value);
        }
        qlm::log_info(L"Registered thumbnail provider for file extension: {}", extension);
        wrote = true;
    }
    if (!wrote) return;

    sweep_treatments(settings.get_bool(high_level_settings::sortwell_app_id,
                                       high_level_settings::rounded_thumbnail_corners_key,
                                       high_level_settings::rounded_thumbnail_corners_default));
    platform::shell::change_notify(platform::shell::event_assoc_changed, platform::shell::flag_flush);
}

}  // namespace sortwell::explorer
