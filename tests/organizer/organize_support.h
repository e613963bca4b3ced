#pragma once
// Shared pieces of the organizer tests: services with fixed settings and
// small file helpers.

#include "batch_processor/job_runner.h"
#include "organizer/organize_folder.h"
#include "platform/file_system.h"
#include "platform/file_system_moves.h"
#include "support/error_text.h"
#include "support/temp_folder.h"
#include "support/test_text.h"

#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace organizer_testing {

using qlm::testing::recording_host;

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

using qlm::testing::error_of;

/// What error_of gives for an action that succeeds.
inline const std::string ok = "(no error)";

using qlm::testing::names_in;

using qlm::testing::utf8;

}  // namespace organizer_testing
