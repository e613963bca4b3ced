#pragma once
// Outside readers and sample makers (exiftool, getfattr, ImageMagick) run
// through the shell, for the Linux-only tests that check our files with
// somebody else's eyes.

#include <string>
#include <vector>

namespace qlm::testing {

/// Runs a shell command line; its standard output, or nullopt-like empty
/// text with *exit_code set when given.
std::string run_tool(const std::string& command_line, int* exit_code = nullptr);

/// True when the program answers `command -v`.
bool tool_available(const std::string& program);

/// The path quoted for the shell (single quotes).
std::string shell_quote(const std::wstring& path);

/// getfattr's value of one extended attribute, empty when it is not there.
std::string getfattr(const std::wstring& path, const std::string& name);

/// A small real image made by ImageMagick ("64x48 xc:red" drawn into the
/// format the name's extension asks for, with extra ImageMagick options).
/// Empty text when convert failed.
std::wstring make_image(const std::wstring& path, const std::string& options = "");

/// exiftool's value of one tag ("-XMP-dc:Subject"), -n numbers, list
/// items joined with ", " by exiftool itself; one trailing line end removed.
std::string exiftool_value(const std::wstring& path, const std::string& tag);

/// exiftool's whole standard output for the options (plain words) and the file.
std::string exiftool_output(const std::string& options, const std::wstring& path);

/// exiftool's values of several tags in one run, in the order asked, "-"
/// for a tag that is not there.
std::vector<std::string> exiftool_values(const std::wstring& path, const std::vector<std::string>& tags);

}  // namespace qlm::testing
