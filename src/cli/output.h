#pragma once
// All user-visible output: the standard streams, UTF-8 at the edges, one
// JSON object per run, and the error report every failed run ends in.

#include "settings/json_text.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <string>
#include <string_view>

namespace qlm {

using json_writer = rapidjson::Writer<rapidjson::StringBuffer>;

/// Writes the text to standard output in one piece; failures are ignored.
/// On a terminal, control characters are shown escaped
/// (escape_control_characters); a file or pipe gets the exact text.
void write_stdout(std::wstring_view text);

/// Writes the text to standard error in one piece, as write_stdout does.
void write_stderr(std::wstring_view text);

/// Shows the text as a line on standard error, redrawn in place; text
/// written to standard error meanwhile goes above it.
void set_status_line(std::wstring_view text);

/// Removes the status line, leaving the cursor where it began.
void clear_status_line();

/// The text with every control character below U+0020 but line feed,
/// carriage return and tab written as a backslash and three octal digits
/// ("\033" for escape), as ls shows them.
std::wstring escape_control_characters(std::wstring_view text);

/// Wide text to UTF-8, embedded zeros kept; unpaired surrogates become U+FFFD.
std::string to_utf8(std::wstring_view text);

/// UTF-8 to wide text up to the first zero byte; invalid sequences become
/// U+FFFD. A null pointer gives an empty text.
std::wstring from_utf8(const char* bytes);
std::wstring from_utf8(const std::string& bytes);

using common::setting_utilities::write_json_string;

/// Prints a finished JSON text and a line feed on standard output.
void print_json(const rapidjson::StringBuffer& buffer);

/// Prints one error report: the JSON error object on standard output when
/// json is set, otherwise "qlm: <message>" on standard error (plus the usage
/// hint for exit code 2). Returns exit_code unchanged.
int print_error_report(bool json, int exit_code, std::wstring_view code, std::wstring_view message);

}  // namespace qlm
