#pragma once
// One entry of a user-command job and the job's launch options: the entry
// names a program or script and its arguments, the options say how to start
// it.

#include <string>

namespace sortwell::commands_runner {

/// Separates the program or script path from its arguments in a job entry.
inline constexpr wchar_t command_spec_separator = L'\x0001';

struct command_spec {
    std::wstring path;       // without one pair of enclosing quotation marks
    std::wstring arguments;  // may be empty
};

/// Splits a job entry at its first separator; later separators stay in the
/// arguments. An entry without one is logged at ERROR and raises the runtime
/// error "Malformed command spec".
command_spec split_command_spec(const std::wstring& spec);

/// The text without one pair of quotation marks around it, when it is at
/// least two characters long and both starts and ends with one.
std::wstring strip_quotes(const std::wstring& text);

struct launch_options {
    bool run_as_admin = false;      // "run_as_admin=1"
    int show = 1;                   // "nShow", a show-window value
    bool keep_window_open = false;  // "keep_window_open=1"
};

/// Reads "key=value" pieces separated by ";". Keys are exact, pieces without
/// "=" and unknown keys are ignored, only "1" turns a flag on. "nShow" is
/// read as std::stoi does, and its std::invalid_argument or
/// std::out_of_range passes to the caller.
launch_options read_launch_options(const std::wstring& parameters);

enum class script_kind { none, batch, powershell };

/// The kind the path's extension names ("bat" and "cmd" batch, "ps1"
/// PowerShell, in any case); none for other extensions or no ".".
script_kind script_kind_of(const std::wstring& path);

/// The path's extension from its last ".", dot included, lower-cased; empty
/// without a ".".
std::wstring lower_case_extension(const std::wstring& path);

}  // namespace sortwell::commands_runner
