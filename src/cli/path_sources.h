#pragma once
// Where targets come from besides the command line: a UTF-8 path-list file
// and standard input. The same readers serve the comment text.

#include "cli/parsed_arguments.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qlm {

/// Bytes to text: drops a leading UTF-8 byte-order mark, ends at the first
/// zero byte, and turns invalid sequences into U+FFFD; with `names` (path
/// lists), keeps them as platform::text::from_utf8_name does, so that any
/// Linux file name can be listed.
std::wstring decode_utf8_text(std::string_view bytes, bool names = false);

/// The most a path list (a --from-file file, or standard input) may hold.
inline constexpr std::size_t path_list_limit = 64u << 20;

/// The most a comment text (a --text-file file, or standard input) may hold.
inline constexpr std::size_t comment_text_limit = 1u << 20;

/// How reading a text source ended.
enum class text_read { ok, unreadable, too_large };

/// Reads a file of at most `limit` bytes as UTF-8 text, in blocks.
text_read read_utf8_file(const std::wstring& path, std::wstring& text, std::size_t limit, bool names = false);

/// All of standard input as UTF-8 text (empty when there is none), or
/// too_large as soon as it gives more than `limit` bytes.
text_read read_stdin_text(std::wstring& text, std::size_t limit, bool names = false);

/// The usage message for a source above its limit: "<what> holds more than
/// N MiB." with the size in whole MiB.
std::wstring too_large_message(const std::wstring& what, std::size_t limit);

/// Cuts a text into path lines: trimmed of blanks, tabs and carriage
/// returns, one pair of enclosing quotation marks removed, empty lines dropped.
std::vector<std::wstring> split_path_lines(std::wstring_view text);

/// Cuts a NUL-separated list (find -print0) into names, byte for byte:
/// nothing trimmed, empty names dropped, a leading UTF-8 byte-order mark
/// removed.
std::vector<std::wstring> split_null_separated(std::string_view bytes);

/// The path strings of the run: command line, then --from-file, then
/// standard input. False with the message when the path list cannot be read.
bool collect_path_arguments(const parsed_arguments& parsed, std::vector<std::wstring>& paths, std::wstring& message);

}  // namespace qlm
