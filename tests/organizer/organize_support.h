#pragma once
// Shared pieces of the organizer tests: a host that records what the action
// asks and answers from the test's set-up, and small file helpers.

#include "batch_processor/batch_processor_callbacks.h"
#include "organizer/organize_folder.h"
#include "platform/file_system.h"
#include "platform/file_system_moves.h"
#include "platform/text.h"

#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace organizer_testing {

class recording_host : public sortwell::batch_processor::batch_processor_callbacks {
public:
    std::vector<int> progress;
    int shows = 0;
    std::vector<std::wstring> confirmations;
    bool allow_folders = true;
    std::function<bool()> cancelled = [] { return false; };

    void report_progress(int percent) override { progress.push_back(percent); }
    void show_progress() override { ++shows; }
    bool is_cancelled() override { return cancelled(); }
    bool is_paused() override { return false; }
    bool report_error(const std::wstring&, const std::wstring&) override { return false; }
    bool confirm_create_folder(const std::wstring& folder) override {
        confirmations.push_back(folder);
        return allow_folders;
    }
    void report_unknown_action() override {}
    void report_auto_tag_failure() override {}
    void report_unsupported_file_type(const std::wstring&, const std::wstring&, const std::wstring&) override {}
    void set_title(const std::wstring&) override {}
    void set_status_text(const std::wstring&) override {}
};

/// Services with fixed settings and no real waiting; `patterns` answers the
/// pattern keys (missing keys get their defaults).
inline sortwell::organizer::organize_services test_services(std::map<std::string, std::wstring> patterns = {}) {
    sortwell::organizer::organize_services services;
    services.sleep = [](std::chrono::milliseconds) {};
    services.categories = [] { return high_level_settings::default_organize_categories(); };
    services.excluded_names = [] { return std::vector<std::wstring>{}; };
    services.pattern = [patterns](const char* key, const wchar_t* fallback) {
        const auto it = patterns.find(key);
        return it == patterns.end() ? std::wstring(fallback) : it->second;
    };
    services.show_notice = [](const std::wstring&) {};
    return services;
}

/// The action's error text, or "ok".
inline std::string outcome(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "ok";
}

/// The names in a folder, sorted; "." and ".." left out.
inline std::vector<std::wstring> names_in(const std::wstring& folder) {
    std::vector<std::wstring> names;
    if (const auto found = platform::file_system::find_files(folder + platform::file_system::separator + L"*")) {
        for (const auto& name : *found) {
            if (name != L"." && name != L"..") names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

inline std::string utf8(const std::wstring& text) { return platform::text::to_utf8(text); }

}  // namespace organizer_testing
