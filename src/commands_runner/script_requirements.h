#pragma once
// What a PowerShell script's #Requires lines ask for: a version, an edition,
// administrator rights. Read from the script's text the way PowerShell sees
// it, so that lines inside block comments and here-strings do not count.

#include <compare>
#include <string>

namespace sortwell::commands_runner {

struct version_number {
    int major = 0;
    int minor = 0;
    int patch = 0;
    auto operator<=>(const version_number&) const = default;
};

struct script_requirements {
    version_number version;  // missing components 0
    bool has_version = false;
    bool needs_desktop = false;
    bool needs_core = false;
    bool run_as_administrator = false;  // recorded only: the launch options decide elevation
};

/// The script's text: one pair of quotation marks around the path removed;
/// FF FE at the start means UTF-16LE, else UTF-8 with an optional EF BB BF.
/// Bytes that do not decode become U+FFFD. Empty when the file cannot be
/// read.
std::wstring read_script_text(const std::wstring& path);

/// The requirements stated by the text's #Requires lines.
script_requirements gather_script_requirements(const std::wstring& text);

}  // namespace sortwell::commands_runner
