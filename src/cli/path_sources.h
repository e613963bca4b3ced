#pragma once
// Where targets come from besides the command line: a UTF-8 path-list file
// and standard input. The same readers serve the comment text.

#include "cli/parsed_arguments.h"

#include <string>
#include <string_view>
#include <vector>

namespace qlm {

/// Bytes to text: drops a leading UTF-8 byte-order mark, ends at the first
/// zero byte, and turns invalid sequences into U+FFFD.
std::wstring decode_utf8_text(std::string_view bytes);

/// Reads a whole file as UTF-8 text; false when it cannot be opened.
bool read_utf8_file(const std::wstring& path, std::wstring& text);

/// All of standard input as UTF-8 text (empty when there is none).
std::wstring read_stdin_text();

/// Cuts a text into path lines: trimmed of blanks, tabs and carriage
/// returns, one pair of enclosing quotation marks removed, empty lines dropped.
std::vector<std::wstring> split_path_lines(std::wstring_view text);

/// The path strings of the run: command line, then --from-file, then
/// standard input. False with the message when the path list cannot be read.
bool collect_path_arguments(const parsed_arguments& parsed, std::vector<std::wstring>& paths, std::wstring& message);

}  // namespace qlm
