// IPTC text decoding and keyword cutting, and which hierarchical keywords a
// removed tag takes along.

#include "platform/posix/properties/iptc_text.h"
#include "platform/posix/properties/hierarchical_keywords.h"

#include "platform/text.h"

#include <gtest/gtest.h>

namespace {

namespace posix = platform::property_store::posix;

TEST(iptc_text, unmarked_text_is_windows_1252_unless_it_is_valid_utf8) {
    const struct {
        std::string bytes;
        bool marked;
        std::wstring text;
    } cases[] = {
        {"Price 5\x80 \x93quoted\x94", false, L"Price 5\u20ac \u201cquoted\u201d"},
        {"Caf\xE9 \x8A\x9F", false, L"Caf\u00e9 \u0160\u0178"},
        {"\x81\x8D\x8F\x90\x9D", false, L"\u0081\u008d\u008f\u0090\u009d"},  // undefined: Latin-1
        {"Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", false, L"Caf\u00e9 \u20ac \U0001F600"},  // UTF-8 unmarked
        {"\xC3\xA9\xE9", false, L"\u00c3\u00a9\u00e9"},                 // one stray byte: all cp1252
        {"\xC0\xAF \xED\xA0\x80", false, L"\u00c0\u00af \u00ed\u00a0\u20ac"},  // overlong, surrogate
        {"Caf\xC3\xA9", true, L"Caf\u00e9"},
        {"bad \xE9", true, L"bad \uFFFD"},
        {"", false, L""},
    };
    for (const auto& c : cases) EXPECT_EQ(posix::decode_iptc_text(c.bytes, c.marked), c.text) << c.bytes;
}

TEST(iptc_text, keywords_are_cut_at_64_bytes_on_a_character_boundary) {
    const struct {
        std::wstring tag;
        std::size_t bytes;
    } cases[] = {
        {std::wstring(64, L'a'), 64},
        {std::wstring(65, L'a'), 64},
        {std::wstring(40, L'\u00e9'), 64},            // 2-byte characters: 32 whole
        {L"a" + std::wstring(40, L'\u00e9'), 63},     // the 33rd would straddle the limit
        {std::wstring(30, L'\u20ac'), 63},            // 3-byte characters: 21 whole
        {std::wstring(20, L'\U0001F600'), 64},        // 4-byte characters: 16 whole
        {L"a" + std::wstring(20, L'\U0001F600'), 61},
    };
    for (const auto& c : cases) {
        const std::string cut = posix::iptc_keyword(c.tag);
        EXPECT_EQ(cut.size(), c.bytes);
        // Whole characters only: the cut text is a prefix of the tag.
        const std::wstring back = platform::text::from_utf8(cut);
        EXPECT_EQ(back, c.tag.substr(0, back.size()));
    }
}

TEST(hierarchical_keywords, a_removed_tag_takes_every_path_ending_in_it) {
    EXPECT_EQ(posix::removed_tags({L"Paris", L"Anne", L"x"}, {L"ANNE", L"y"}), (std::vector<std::wstring>{L"Paris", L"x"}));
    const std::vector<std::wstring> removed = {L"Paris", L"\u00c9t\u00e9"};
    const struct {
        std::wstring entry;
        wchar_t separator;
        bool dropped;
    } cases[] = {
        {L"Places|Paris", L'|', true},     {L"places|paris", L'|', true},  {L"Paris", L'|', true},
        {L"Places|Paris|Louvre", L'|', false}, {L"Places/Paris", L'|', false}, {L"Places/Paris", L'/', true},
        {L"Saisons/\u00e9t\u00e9", L'/', true}, {L"Paris|", L'|', false},   {L"Parisian", L'/', false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(posix::ends_in_removed(c.entry, c.separator, removed), c.dropped) << platform::text::to_utf8(c.entry);
    }
}

}  // namespace
