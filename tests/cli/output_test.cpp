#include "cli/output.h"

#include <gtest/gtest.h>

namespace {

std::string as_json_string(const std::wstring& text) {
    rapidjson::StringBuffer buffer;
    qlm::json_writer writer(buffer);
    qlm::write_json_string(writer, text);
    return {buffer.GetString(), buffer.GetSize()};
}

TEST(output, json_strings_escape_quotes_backslashes_and_controls_but_not_utf8_or_solidus) {
    EXPECT_EQ(as_json_string(L"a\"b\\c/d"), R"("a\"b\\c/d")");
    EXPECT_EQ(as_json_string(L"tab\tnl\ncr\r\x01"), R"("tab\tnl\ncr\r\u0001")");
    EXPECT_EQ(as_json_string(L"Zo\u00eb \u20ac \U0001F600"), "\"Zo\xC3\xAB \xE2\x82\xAC \xF0\x9F\x98\x80\"");
    EXPECT_EQ(as_json_string(std::wstring(L"a\0b", 3)), R"("a\u0000b")");
}

TEST(output, from_utf8_stops_at_the_first_zero_byte) {
    EXPECT_EQ(qlm::from_utf8(std::string("ab\0cd", 5)), L"ab");
    EXPECT_EQ(qlm::from_utf8(static_cast<const char*>(nullptr)), L"");
    EXPECT_EQ(qlm::to_utf8(L""), "");
}

}  // namespace
