#include "settings/json_text.h"

#include "platform/file_system.h"
#include "platform/text.h"

#include <limits>

namespace common::setting_utilities {

std::optional<std::string> read_utf8_text(const std::wstring& path) {
    std::optional<std::string> bytes = platform::file_system::read_file(path);
    if (!bytes) return std::nullopt;
    return platform::text::to_utf8(platform::text::from_utf8(*bytes));
}

void parse_json(const std::string& text, rapidjson::Document& document) {
    // The C-string form: the counted form would skip a byte-order mark.
    document.Parse<rapidjson::kParseIterativeFlag>(text.c_str());
    if (document.HasParseError()) document.SetNull();
}

bool read_json_object(const std::wstring& path, rapidjson::Document& document) {
    const std::optional<std::string> text = read_utf8_text(path);
    if (!text) return false;
    parse_json(*text, document);
    return document.IsObject();
}

std::wstring wide_text(const rapidjson::Value& value) {
    return platform::text::from_utf8(std::string_view(value.GetString(), value.GetStringLength()));
}

std::int32_t parse_decimal(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > limit) value = limit;
    }
    if (negative) return static_cast<std::int32_t>(-value);
    return static_cast<std::int32_t>(value == limit ? limit - 1 : value);
}

const rapidjson::Value* find_member(const rapidjson::Value& object, const char* name) {
    if (!object.IsObject()) return nullptr;
    const auto member = object.FindMember(name);
    return member == object.MemberEnd() ? nullptr : &member->value;
}

}  // namespace common::setting_utilities
