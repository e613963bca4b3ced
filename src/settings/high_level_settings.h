#pragma once
// The suite-wide settings ("High Level Settings.json"): one block of settings
// per application of the suite, keyed by application id. This program only
// reads it; the typed questions asked of it are in suite_settings_keys.h.

#include "settings/common_settings_file.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace high_level_settings {

inline constexpr wchar_t folder_name[] = L"Settings";
inline constexpr wchar_t file_stem[] = L"High Level Settings";

/// One setting: 0 boolean, 1 UTF-8 string, 2 signed 32-bit integer, 3 list
/// of UTF-8 strings. A getter asking for another alternative sees nothing.
using setting_value = std::variant<bool, std::string, std::int32_t, std::vector<std::string>>;

/// The block of one application. Nested settings objects are flattened one
/// level into dotted keys ("general": {"x": …} is "general.x").
struct app_entry {
    std::string app_id;
    std::wstring name;
    std::wstring version;
    std::string status;  // "disabled" switches the application off
    std::map<std::string, setting_value, std::less<>> settings;
};

class settings_file final : public common::setting_utilities::common_settings_file {
public:
    /// The suite-wide file of the running program.
    settings_file();

    /// The file of a given module, under an explicit root instead of
    /// LocalAppData when one is given.
    settings_file(std::wstring module, const std::optional<std::wstring>& app_data_root);

    /// Replaces the version and the application map with the file's values.
    /// Always true: an unreadable or non-JSON file changes nothing.
    bool read() override;

    /// The program never changes the suite-wide settings: false, nothing written.
    bool save() override;

    /// The "version" value last read; empty by default.
    std::wstring version() const;

    /// A copy of the application's block, or nullopt.
    std::optional<app_entry> find_app(std::string_view app_id) const;

    /// The stored value, or nullopt when the application or the key is missing.
    /// None of the getters loads the file.
    std::optional<setting_value> get_value(std::string_view app_id, std::string_view key) const;

    /// The stored boolean, else the default.
    bool get_bool(std::string_view app_id, std::string_view key, bool fallback) const;

    /// The stored string as wide text, else the default.
    std::wstring get_string(std::string_view app_id, std::string_view key, std::wstring_view fallback) const;

    /// The stored list of strings as wide texts, else a copy of the default.
    std::vector<std::wstring> get_string_list(std::string_view app_id, std::string_view key,
                                              const std::vector<std::wstring>& fallback) const;

    /// True unless load(false) fails (ERROR line "Failed to load from high
    /// level settings file {}"). The organizer application itself is never
    /// reported as switched off.
    bool is_sortwell_enabled();

private:
    mutable std::mutex mutex_;  // guards version_ and apps_
    std::wstring version_;
    std::map<std::string, app_entry, std::less<>> apps_;
};

/// The process-wide instance, created on first use.
settings_file& instance();

/// is_sortwell_enabled() of the process-wide instance.
bool is_sortwell_enabled();

}  // namespace high_level_settings
