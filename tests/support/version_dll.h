#pragma once
// Real PE files with resources, made by the MinGW resource compiler and
// linker (Linux only), for the tests of the version and icon readers.

#include <string>

namespace qlm::testing {

/// Writes a resource-only DLL at `path` from the resource script `script`
/// (the text of an .rc file). Returns false when windres or ld failed.
bool make_resource_dll(const std::string& script, const std::wstring& path);

/// Writes a DLL at `path` whose version resource gives the product version
/// major.minor.patch (and file version 1.2.3.4, so that the two cannot be
/// mixed up). Returns false when windres or ld failed.
bool make_version_dll(const std::wstring& path, int major, int minor, int patch);

}  // namespace qlm::testing
