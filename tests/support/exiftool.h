#pragma once
// Runs exiftool, the outside reader the metadata tests check against.

#include <optional>
#include <string>

namespace qlm::testing {

/// True when an exiftool can be run on this machine (not under Wine).
bool exiftool_available();

/// exiftool's standard output for the arguments and the file, or nullopt
/// when it could not be run. The arguments are passed through a shell, so
/// keep them to plain option words.
std::optional<std::string> run_exiftool(const std::string& arguments, const std::wstring& file);

}  // namespace qlm::testing
