#pragma once
// A private registry and settings profile for the Explorer tests: HKCU and
// HKLM of the process point into a temporary folder for the test's life, and
// the suite-wide settings come from a file the test writes.

#include "platform/registry.h"
#include "settings/high_level_settings.h"
#include "settings/settings_test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace qlm::testing {

class registry_sandbox {
public:
    registry_sandbox() { platform::registry::override_hives(sandbox.folder.path()); }
    ~registry_sandbox() { platform::registry::override_hives(L""); }
    registry_sandbox(const registry_sandbox&) = delete;
    registry_sandbox& operator=(const registry_sandbox&) = delete;

    /// A fresh settings object whose sortwell block holds the given JSON members.
    high_level_settings::settings_file& settings(const std::string& members = "") {
        const std::string text = R"({"version": "1.0", "apps": [{"app_id": "sortwell", "name": "Sortwell",
            "version": "1", "status": "enabled", "settings": {)" +
                                 members + "}}]}";
        settings_sandbox::set_new_write_time(sandbox.write_user_file(L"High Level Settings.json", text));
        settings_ = std::make_unique<high_level_settings::settings_file>(sandbox.module, sandbox.profile);
        return *settings_;
    }

    /// Writes a string value under HKCU (or HKLM through its hive, below).
    static void set_string(const std::wstring& key_path, const std::wstring& name, const std::wstring& text) {
        platform::registry::key key;
        ASSERT_EQ(platform::registry::create_key(platform::registry::root::current_user, key_path, key), 0U);
        ASSERT_EQ(key.set_string(name, text), 0U);
    }

    static std::wstring get_string(platform::registry::root where, const std::wstring& key_path,
                                   const std::wstring& name) {
        platform::registry::key key;
        platform::registry::value value;
        if (platform::registry::open_key(where, key_path, false, key) != 0 || key.get_value(name, value) != 0) {
            return L"<missing>";
        }
        return value.type == platform::registry::type_dword ? L"dword:" + std::to_wstring(value.dword) : value.text;
    }

    static std::wstring hkcu(const std::wstring& key_path, const std::wstring& name = L"") {
        return get_string(platform::registry::root::current_user, key_path, name);
    }

    settings_sandbox sandbox;

private:
    std::unique_ptr<high_level_settings::settings_file> settings_;
};

}  // namespace qlm::testing
