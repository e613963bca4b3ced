#include "commands_runner/powershell_install.h"

#include "platform/process_launch.h"

#include <fmt/format.h>
#include <fmt/xchar.h>

namespace sortwell::commands_runner {
namespace {

constexpr version_number windows_powershell_version{5, 1, 0};

}  // namespace

powershell_install find_windows_powershell() {
    return {platform::process::system_folder() + L"\\WindowsPowerShell\\v1.0\\powershell.exe",
            windows_powershell_version, true, true};
}

powershell_install newest_pwsh(const std::vector<pwsh_candidate>& candidates) {
    powershell_install newest;
    for (const pwsh_candidate& candidate : candidates) {
        const bool take = !newest.found || (candidate.version && !newest.has_version) ||
                          (candidate.version && newest.has_version && newest.version < *candidate.version);
        if (!take) continue;
        newest.path = candidate.path;
        newest.version = candidate.version.value_or(version_number{7, 0, 0});
        newest.has_version = candidate.version.has_value();
        newest.found = true;
    }
    return newest;
}

powershell_install find_newest_pwsh() {
    std::vector<pwsh_candidate> candidates;
    for (const std::wstring& path : platform::process::pwsh_candidates()) {
        pwsh_candidate candidate{path, std::nullopt};
        if (const auto version = platform::process::pwsh_version(path)) {
            candidate.version = version_number{version->major, version->minor, version->patch};
        }
        candidates.push_back(std::move(candidate));
    }
    return newest_pwsh(candidates);
}

std::wstring version_text(const version_number& version) {
    if (version.patch < 1) return fmt::format(L"{}.{}", version.major, version.minor);
    return fmt::format(L"{}.{}.{}", version.major, version.minor, version.patch);
}

std::wstring requirement_text(const script_requirements& requirements) {
    if (!requirements.has_version) return L"PowerShell 7";
    return fmt::format(L"PowerShell {} or later", version_text(requirements.version));
}

interpreter_choice choose_interpreter(const script_requirements& requirements,
                                      const powershell_install& windows_powershell,
                                      const powershell_install& newest) {
    const bool needs_newer = requirements.has_version && windows_powershell_version < requirements.version;
    const std::wstring required = requirement_text(requirements);
    std::wstring unmet;
    if (requirements.needs_desktop) {
        if (!requirements.needs_core && !needs_newer) return {windows_powershell, {}};
        unmet = L"This script's #Requires statements ask for both Windows PowerShell and " + required +
                L", and no PowerShell is both.";
    } else if (requirements.needs_core || needs_newer) {
        if (!newest.found) {
            unmet = fmt::format(L"This script requires {}, which is not installed.", required);
        } else if (newest.has_version && requirements.has_version && newest.version < requirements.version) {
            unmet = fmt::format(L"This script requires {}. The newest PowerShell installed is {}.", required,
                                version_text(newest.version));
        } else {
            return {newest, {}};
        }
    } else {
        return {newest.found ? newest : windows_powershell, {}};
    }
    return {newest.found ? newest : windows_powershell, unmet};
}

}  // namespace sortwell::commands_runner
