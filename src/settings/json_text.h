#pragma once
// JSON text of the suite's files and of qlm's output: the file's bytes as
// UTF-8, one strict parse, wide strings in and out, and the decimal rule of
// the C library's atoi.

#include "platform/text.h"

#include <rapidjson/document.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace common::setting_utilities {

/// The whole file decoded as UTF-8 and encoded again, so that invalid
/// sequences arrive as U+FFFD (a byte-order mark is kept and so fails the
/// parse). nullopt when the file cannot be opened or read.
std::optional<std::string> read_utf8_text(const std::wstring& path);

/// Parses strict JSON (no comments, no trailing commas, no byte-order mark)
/// into the document, up to the first NUL as the text's C string. A failure
/// leaves a document whose root is not an object. The parser is iterative so
/// that deeply nested garbage cannot exhaust the stack.
void parse_json(const std::string& text, rapidjson::Document& document);

/// read_utf8_text and parse_json in one: true when the file was read and
/// holds a JSON object. Throws what reading the file throws.
bool read_json_object(const std::wstring& path, rapidjson::Document& document);

/// A JSON string value as wide text.
std::wstring wide_text(const rapidjson::Value& value);

/// Writes the wide text as one JSON string value (length-counted, so an
/// embedded zero survives).
template <typename Writer>
void write_json_string(Writer& writer, std::wstring_view text) {
    const std::string bytes = platform::text::to_utf8(text);
    writer.String(bytes.data(), static_cast<rapidjson::SizeType>(bytes.size()));
}

/// atoi's rule: leading white space, an optional sign, then digits up to the
/// first non-digit; no digits gives 0. Out-of-range values saturate.
std::int32_t parse_decimal(std::string_view text);

/// The member of an object value, or null when the value is not an object or
/// has no such member.
const rapidjson::Value* find_member(const rapidjson::Value& object, const char* name);

}  // namespace common::setting_utilities
