#include "organizer/naming_pattern.h"

#include "organizer/metadata_fields.h"
#include "platform/file_system.h"

#include <gtest/gtest.h>

namespace {

namespace org = sortwell::organizer;

std::wstring expand(const std::wstring& pattern, const std::map<std::wstring, std::wstring>& values) {
    return org::expand_pattern(org::parse_pattern(pattern), [&](const std::wstring& token) {
        const auto it = values.find(token);
        return it == values.end() ? std::wstring() : it->second;
    });
}

TEST(naming_pattern, parse_splits_at_tokens_and_keeps_unclosed_text) {
    using seg = org::pattern_segment;
    EXPECT_EQ(org::parse_pattern(L"<Date> - <People>"),
              (std::vector<seg>{{L"", L"Date"}, {L" - ", L"People"}, {L"", L""}}));
    EXPECT_EQ(org::parse_pattern(L"x<a>y<b"), (std::vector<seg>{{L"x", L"a"}, {L"y<b", L""}}));
    EXPECT_EQ(org::parse_pattern(L"plain"), (std::vector<seg>{{L"plain", L""}}));
    EXPECT_EQ(org::parse_pattern(L"<>"), (std::vector<seg>{{L"", L""}, {L"", L""}}));
}

TEST(naming_pattern, expansion_drops_separators_of_empty_values) {
    const std::map<std::wstring, std::wstring> photo{
        {L"Date", L"2024-05-01"}, {L"People", L"Anna and Ben"}, {L"Original Filename", L"IMG_1"}};
    struct row {
        const wchar_t* pattern;
        std::map<std::wstring, std::wstring> values;
        const wchar_t* expected;
    };
    const row rows[] = {
        {L"<Date> - <Location> - <People> - <Original Filename>", photo, L"2024-05-01 - Anna and Ben - IMG_1"},
        {L"<Date>\\<Location>", photo, L"2024-05-01"},
        {L"<Location>\\<Date>", photo, L"2024-05-01"},
        {L"Trip <Date>!", photo, L"Trip 2024-05-01!"},
        {L"<Location> x <Date>", photo, L"2024-05-01"},
        {L"No tokens here", photo, L"No tokens here"},
        {L"<date>", photo, L""},  // tokens are case-sensitive
        {L"<Unknown> - <Date>", photo, L"2024-05-01"},
        {L"a<Location>b", photo, L"ab"},
        {L"", photo, L""},
    };
    for (const auto& r : rows) EXPECT_EQ(expand(r.pattern, r.values), r.expected) << r.pattern;
}

TEST(naming_pattern, sanitize_people_and_numbers) {
    const std::pair<const wchar_t*, const wchar_t*> sanitized[] = {
        {L"AC/DC", L"AC_DC"},
        {L"  What? Now.  ", L"What_ Now"},
        {L"a\\b:c*d\"e<f>g|h", L"a_b_c_d_e_f_g_h"},
        {L"tab\there", L"tab_here"},
        {L"   ", L""},
        {L"...", L""},
        {L" .x. ", L".x"},
    };
    for (const auto& [in, out] : sanitized) EXPECT_EQ(org::sanitize_component(in), out) << in;

    EXPECT_EQ(org::join_people({}), L"");
    EXPECT_EQ(org::join_people({L"A"}), L"A");
    EXPECT_EQ(org::join_people({L"A", L"B"}), L"A and B");
    EXPECT_EQ(org::join_people({L"A", L"B", L"C"}), L"A, B and C");
    EXPECT_EQ(org::join_people({L"A", L"B", L"C", L"D", L"E"}), L"A, B and 3 others");
    EXPECT_EQ(org::join_people({L"A", L"A", L"A", L"A"}), L"A, A and 2 others");

    EXPECT_EQ(org::leading_number(L"2/3"), 2u);
    EXPECT_EQ(org::leading_number(L"07"), 7u);
    EXPECT_EQ(org::leading_number(L"x1"), 0u);
    EXPECT_EQ(org::leading_number(L""), 0u);
}

TEST(naming_pattern, music_tokens_and_placement) {
    org::music_field_values music;
    music.artist = L"AC_DC";
    music.album_artist = L"AC_DC";
    music.track = L"07";
    music.title = L"Hells Bells";
    const auto value = [&](const std::wstring& token) { return org::music_token_value(music, token); };
    const auto name = org::expand_pattern(org::parse_pattern(L"<Track> - <Title>"), value);
    const auto placement = org::expand_pattern(org::parse_pattern(L"<Album Artist>\\<Album>"), value);
    const auto built = org::make_destination(name, placement);
    EXPECT_EQ(built.base_name, L"07 - Hells Bells");
    EXPECT_EQ(built.folder, L"AC_DC");

    const wchar_t sep = platform::file_system::separator;
    EXPECT_EQ(org::make_destination(L"", L"a\\b/c\\\\d").folder,
              std::wstring(L"a") + sep + L"b" + sep + L"c" + sep + L"d");
    std::wstring root;
    EXPECT_EQ(org::split_placement(L"\\Photos\\2024", root), (std::vector<std::wstring>{L"Photos", L"2024"}));
    EXPECT_EQ(root, std::wstring(1, sep));
    org::split_placement(L"2024\\x", root);
    EXPECT_EQ(root, L"");
}

}  // namespace
