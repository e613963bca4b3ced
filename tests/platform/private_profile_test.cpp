// Private profile reads and writes as the system functions answer them; runs
// against Windows' own functions too (under Wine).

#include "platform/private_profile.h"

#include "platform/file_system.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

namespace {

namespace profile = platform::private_profile;
namespace fs = platform::file_system;

TEST(private_profile, reads_names_ignoring_case_and_values_trimmed) {
    qlm::testing::temp_folder temp;
    const std::wstring ini = temp.write(L"a.ini",
                                        "; comment\r\n[Other]\r\nTags=wrong\r\n[ sortwell ]\r\n  TAGS =  a;b  \r\n"
                                        "Quoted=\"  spaced  \"\r\nRating=9\r\nNegative=-1\r\nWord=abc\r\n");
    EXPECT_EQ(profile::get_string(L"Sortwell", L"Tags", L"", ini), L"a;b");
    EXPECT_EQ(profile::get_string(L"SORTWELL", L"quoted", L"", ini), L"  spaced  ");
    EXPECT_EQ(profile::get_string(L"Sortwell", L"Missing", L"fallback", ini), L"fallback");
    EXPECT_EQ(profile::get_string(L"Nowhere", L"Tags", L"fallback", ini), L"fallback");
    EXPECT_EQ(profile::get_string(L"Sortwell", L"Tags", L"", temp / L"missing.ini"), L"");
    EXPECT_EQ(profile::get_string(L"Sortwell", L"Tags", L"", ini, 3), L"a;");
    EXPECT_EQ(profile::get_int(L"Sortwell", L"Rating", 0, ini), 9u);
    EXPECT_EQ(profile::get_int(L"Sortwell", L"Negative", 0, ini), 0xFFFFFFFFu);
    EXPECT_EQ(profile::get_int(L"Sortwell", L"Word", 7, ini), 0u);
    EXPECT_EQ(profile::get_int(L"Sortwell", L"Missing", 7, ini), 7u);
}

TEST(private_profile, long_values_are_cut_to_the_buffer) {
    qlm::testing::temp_folder temp;
    const std::wstring ini = temp.write(L"long.ini", "[s]\r\nk=" + std::string(5000, 'x') + "\r\n");
    EXPECT_EQ(profile::get_string(L"s", L"k", L"", ini, 4096), std::wstring(4095, L'x'));
}

TEST(private_profile, writes_update_delete_keys_and_sections) {
    qlm::testing::temp_folder temp;
    const std::wstring ini = temp / L"new.ini";
    ASSERT_TRUE(profile::write_string(L"Sortwell", L"Tags", L"a;b", ini));
    ASSERT_TRUE(profile::write_string(L"Sortwell", L"Rating", L"3", ini));
    ASSERT_TRUE(profile::write_string(L"Other", L"Key", L"v", ini));
    ASSERT_TRUE(profile::write_string(L"sortwell", L"TAGS", L"c", ini));
    EXPECT_EQ(profile::get_string(L"Sortwell", L"Tags", L"", ini), L"c");
    EXPECT_EQ(profile::get_string(L"Sortwell", L"Rating", L"", ini), L"3");

    ASSERT_TRUE(profile::write_string(L"Sortwell", L"Rating", nullptr, ini));
    EXPECT_EQ(profile::get_string(L"Sortwell", L"Rating", L"gone", ini), L"gone");
    EXPECT_EQ(profile::get_string(L"Sortwell", L"Tags", L"", ini), L"c");

    ASSERT_TRUE(profile::write_string(L"Sortwell", nullptr, nullptr, ini));
    EXPECT_EQ(profile::get_string(L"Sortwell", L"Tags", L"gone", ini), L"gone");
    EXPECT_EQ(profile::get_string(L"Other", L"Key", L"", ini), L"v");
}

}  // namespace
