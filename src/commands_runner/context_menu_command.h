#pragma once
// The handler of the run_context_menu_command action: starts a user's
// program or script named by one job entry, batch files through cmd.exe and
// PowerShell scripts through the PowerShell their #Requires lines ask for,
// elevated or not; scripts are waited for and a failing exit code is shown.

#include "commands_runner/powershell_install.h"

#include <functional>
#include <string>

namespace sortwell::commands_runner {

/// What the runner needs from outside besides starting programs, each with
/// its real default, so that tests can watch the dialog and fake the
/// installations.
struct command_runner_services {
    /// Shows a text to the user and returns when it is dismissed.
    std::function<void(const std::wstring& text)> message_dialog;
    std::function<powershell_install()> find_windows_powershell = commands_runner::find_windows_powershell;
    std::function<powershell_install()> find_newest_pwsh = commands_runner::find_newest_pwsh;

    command_runner_services();
};

struct script_invocation {
    std::wstring executable;
    std::wstring command_line;  // the arguments after the executable
};

/// How to start the path with its arguments: ".ps1" through the chosen
/// PowerShell (an unmet requirement is logged at WARNING and shown, and the
/// fallback interpreter is used), ".bat" and ".cmd" through the system
/// folder's cmd.exe, anything else as it is. keep_open keeps the console
/// window (-NoExit, /k) and turns show 0 into 1.
script_invocation build_script_invocation(const std::wstring& path, const std::wstring& arguments, int show,
                                          bool keep_open, const command_runner_services& services = {});

/// Starts the program through the desktop shell with its unelevated rights;
/// raises "Failed to launch process via Explorer (ShellExecute fallback
/// failed)." when that cannot be done.
void launch_via_explorer(const std::wstring& program, const std::wstring& parameters);

/// Runs one job entry (path, U+0001, arguments) with the job's launch
/// options. Raises "Malformed command spec" for an entry without the
/// separator, and the conversion's error for a non-numeric "nShow". Starts
/// that fail are logged, not raised.
void run_context_menu_command_action(const std::wstring& spec, const std::wstring& parameters,
                                     const command_runner_services& services = {});

}  // namespace sortwell::commands_runner
