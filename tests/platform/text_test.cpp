#include "platform/text.h"

#include <gtest/gtest.h>

namespace {

using platform::text::from_utf8;
using platform::text::to_utf8;

TEST(text, utf8_round_trip_keeps_every_plane_and_embedded_zeros) {
    const std::string bytes = std::string("a\0b ", 4) + "\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80";
    const std::wstring wide = from_utf8(bytes);
    EXPECT_EQ(to_utf8(wide), bytes);
    EXPECT_EQ(platform::text::utf16_length(wide), 10u);  // the emoji takes two UTF-16 units
}

TEST(text, invalid_utf8_becomes_replacement_characters) {
    // Lone continuation, overlong form, encoded surrogate, truncated sequence.
    EXPECT_EQ(from_utf8("\x80"), L"\uFFFD");
    EXPECT_EQ(from_utf8("\xC0\xAF"), L"\uFFFD\uFFFD");
    // An encoded surrogate never comes through as a surrogate; how many
    // replacement characters stand for it differs between converters.
    const std::wstring surrogate = from_utf8("\xED\xA0\x80");
    EXPECT_FALSE(surrogate.empty());
    EXPECT_EQ(surrogate.find_first_not_of(L'\uFFFD'), std::wstring::npos);
    EXPECT_EQ(from_utf8("a\xE2\x82"), L"a\uFFFD");
    EXPECT_EQ(from_utf8("\xE2\x82z"), L"\uFFFDz");
    EXPECT_EQ(from_utf8("\xF5"), L"\uFFFD");
}

TEST(text, unpaired_surrogates_become_replacement_characters) {
    std::wstring lone(1, static_cast<wchar_t>(0xD800));
    lone += L"x";
    EXPECT_EQ(to_utf8(lone), "\xEF\xBF\xBDx");
}

TEST(text, invariant_upper_case_and_ordinal_compare) {
    EXPECT_EQ(platform::text::to_upper_invariant(L"straße \u00e9t\u00e9 \u0444"), L"STRAßE \u00c9T\u00c9 \u0424");
    EXPECT_TRUE(platform::text::equal_ignore_case(L"Anna", L"aNNA"));
    EXPECT_TRUE(platform::text::equal_ignore_case(L"\u00e9mile", L"\u00c9MILE"));
    EXPECT_FALSE(platform::text::equal_ignore_case(L"Anna", L"Anne"));
    // The C runtime's comparison in its default locale folds ASCII letters only.
    EXPECT_TRUE(platform::text::crt_equal_ignore_case(L"Beach", L"bEACH"));
    EXPECT_FALSE(platform::text::crt_equal_ignore_case(L"\u00e9mile", L"\u00c9mile"));
    EXPECT_FALSE(platform::text::crt_equal_ignore_case(L"a", L"a "));
    EXPECT_LT(platform::text::compare_ordinal_ignore_case(L"abc", L"ABD"), 0);
    EXPECT_GT(platform::text::compare_ordinal_ignore_case(L"b", L"A"), 0);
    EXPECT_EQ(platform::text::compare_ordinal_ignore_case(L"", L""), 0);
    // A default view carries no pointer at all; it is still the empty text.
    EXPECT_LT(platform::text::compare_ordinal_ignore_case(std::wstring_view(), L"a"), 0);
    EXPECT_TRUE(platform::text::equal_ignore_case(std::wstring_view(), L""));
    EXPECT_EQ(platform::text::to_upper_invariant(std::wstring_view()), L"");
}

}  // namespace
