#pragma once
// Starting programs for the user: start and wait for the exit code, detached
// start, elevated start, a start through the running desktop shell, the
// product version of a file, and where PowerShell lives. Command lines are
// Windows command lines (the program quoted first, then its arguments).
//
// Windows: CreateProcessW, ShellExecuteExW with "runas", the shell's
// automation objects (IShellDispatch2 and the desktop's folder view),
// GetSystemDirectoryW, SearchPathW, SHGetFolderPathW, GetFileVersionInfoW.
//
// Linux: the command line is split into arguments by the Windows rules
// (split_command_line) and started with posix_spawn, searching PATH only for a
// bare program name. A process killed by signal N ends with 128+N. A detached
// start gets its own session and /dev/null as its standard streams and is not
// waited for. There is no system folder (empty), so Windows programs named
// below it never start (error 2); elevation fails with error 50; there is no
// desktop shell to start through. Show values do not apply. PowerShell 7 is
// "pwsh" on PATH (links resolved), then /opt/microsoft/powershell/*/pwsh; its
// version is the product version of the "pwsh.dll" beside it, read from the
// PE file by our own reader.

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::process {

/// A product version as a version resource holds it: the high and low words
/// of the first double word, then the high word of the second.
struct file_version {
    int major = 0;
    int minor = 0;
    int patch = 0;
    auto operator<=>(const file_version&) const = default;
};

/// How a start-and-wait ended: the exit code when the program started, else
/// the Win32 error of the failed start.
struct wait_outcome {
    bool started = false;
    std::uint32_t exit_code = 0;
    std::uint32_t error = 0;
};

/// CreateProcessW without an application name, no creation flags, and
/// STARTF_USESHOWWINDOW with `show`; waits without limit for the exit code.
wait_outcome run_and_wait(const std::wstring& command_line, int show);

/// ShellExecuteExW with the verb "runas" and SEE_MASK_NOCLOSEPROCESS
/// (parameters none when empty); waits without limit. Not started when the
/// call fails or gives no process handle. Linux: error 50.
wait_outcome run_elevated_and_wait(const std::wstring& executable, const std::wstring& parameters, int show);

/// ShellExecuteExW with the verb "runas", not waited for. Returns 0 or the
/// Win32 error. Linux: 50.
std::uint32_t start_elevated(const std::wstring& executable, const std::wstring& parameters, int show);

/// CreateProcessW with DETACHED_PROCESS and, when `show` is not 1,
/// STARTF_USESHOWWINDOW with it; both handles are closed at once. Returns 0
/// or the Win32 error of the failed start.
std::uint32_t start_command_detached(const std::wstring& command_line, int show);

/// Starts the program through the desktop shell, so that it runs with the
/// shell's (unelevated) rights: the Shell automation object first, then the
/// running Explorer desktop's folder view, each with the verb "open", an
/// empty folder and the show value 0. COM is initialised for the call. False
/// when neither accepted the program; always false on Linux.
bool start_through_shell(const std::wstring& program, const std::wstring& parameters);

/// The system folder (GetSystemDirectoryW) without a trailing separator;
/// empty on Linux, which has none.
std::wstring system_folder();

/// True where programs take a show value and console windows have styles
/// (Windows); Linux programs have neither, and pwsh there refuses
/// -WindowStyle.
bool window_show_values_apply();

/// The PowerShell 7 programs found, in the order they are looked at:
/// Windows: "pwsh.exe" by SearchPathW on the default search path, then
/// "pwsh.exe" in each sub-folder of "<program files>\PowerShell" whose name
/// does not begin with "." (when it exists). Linux: see above.
std::vector<std::wstring> pwsh_candidates();

/// The product version of a PowerShell 7 program found by pwsh_candidates:
/// its own version resource on Windows, that of "pwsh.dll" beside it on
/// Linux. Nothing when there is none.
std::optional<file_version> pwsh_version(const std::wstring& pwsh_path);

/// The product version in the file's version resource (GetFileVersionInfoW
/// and VerQueryValueW on Windows, our PE reader on Linux); nothing when the
/// file cannot be read or has no version resource.
std::optional<file_version> product_version(const std::wstring& path);

/// The product version in the version resource of a PE file given as bytes.
/// Nothing for anything else, however malformed; never reads outside the
/// bytes.
std::optional<file_version> pe_product_version(std::string_view bytes);

/// Splits a command line into arguments as Windows programs do
/// (CommandLineToArgvW): the first argument runs to its closing quotation
/// mark when it starts with one, else to the first blank or tab, with no
/// other processing. In the others, blanks and tabs separate outside
/// quotation marks; 2n backslashes before a quotation mark give n backslashes
/// and the mark toggles quoting, 2n+1 give n backslashes and a literal mark;
/// other backslashes are literal. "" gives an empty argument.
std::vector<std::wstring> split_command_line(std::wstring_view command_line);

}  // namespace platform::process
