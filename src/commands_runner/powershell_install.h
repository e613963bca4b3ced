#pragma once
// The PowerShell installations a script can run under, and the choice of one
// for a script's requirements.

#include "commands_runner/script_requirements.h"

#include <optional>
#include <string>
#include <vector>

namespace sortwell::commands_runner {

struct powershell_install {
    std::wstring path;
    version_number version;
    bool has_version = false;
    bool found = false;
};

/// Windows PowerShell 5.1 in the system folder.
powershell_install find_windows_powershell();

/// One PowerShell 7 program found, with the product version of its version
/// resource when it has one.
struct pwsh_candidate {
    std::wstring path;
    std::optional<version_number> version;
};

/// The newest of the candidates, looked at in order: the first is taken, and
/// a later one replaces it when it has a version and the current one has
/// none, or both have one and the later is higher. A candidate without a
/// version counts as 7.0.0. Not found for an empty list.
powershell_install newest_pwsh(const std::vector<pwsh_candidate>& candidates);

/// newest_pwsh over the PowerShell 7 programs installed on this machine.
powershell_install find_newest_pwsh();

/// "{major}.{minor}", or "{major}.{minor}.{patch}" when patch is 1 or more.
std::wstring version_text(const version_number& version);

/// "PowerShell {version} or later", or "PowerShell 7" without a version.
std::wstring requirement_text(const script_requirements& requirements);

struct interpreter_choice {
    powershell_install interpreter;
    std::wstring unmet_message;  // empty when the requirements are met
};

/// The interpreter for a script with these requirements, given Windows
/// PowerShell and the newest PowerShell 7 (found or not). When the
/// requirements cannot be met, the message says why and the interpreter is
/// the newest PowerShell 7 if there is one, else Windows PowerShell.
interpreter_choice choose_interpreter(const script_requirements& requirements,
                                      const powershell_install& windows_powershell,
                                      const powershell_install& newest);

}  // namespace sortwell::commands_runner
