// The desktop.ini mirror of folder tags and ratings, on real folders.

#include "metadata/folder_ini.h"
#include "metadata/metadata_handle.h"

#include "platform/file_system.h"
#include "platform/private_profile.h"
#include "platform/text.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

namespace {

using namespace qlm::metadata;
namespace ps = platform::property_store;
namespace fs = platform::file_system;
namespace profile = platform::private_profile;
using qlm::testing::read_bytes;

const std::wstring summary = L"{F29F85E0-4FF9-1068-AB91-08002B27B3D9}";

void write_folder(const std::wstring& folder, const std::vector<std::wstring>& tags, std::uint32_t stars) {
    metadata_handle handle;
    ASSERT_TRUE(handle.open_for_writing(folder));
    ASSERT_EQ(handle.set_value(ps::key_keywords, ps::property_value::make_strings(tags)), ps::s_ok);
    ASSERT_EQ(handle.set_value(ps::key_rating, ps::property_value::make_ui4(stars_to_rating(stars))), ps::s_ok);
    handle.commit();
}

TEST(folder_ini, a_new_file_is_utf16_hidden_system_and_holds_both_sections) {
    qlm::testing::temp_folder temp;
    write_folder(temp.path(), {}, 0);
    EXPECT_FALSE(fs::exists(folder_ini_path(temp.path())));  // nothing to mirror, no file
    write_folder(temp.path(), {L"a", L"b"}, 3);
    const std::wstring ini = folder_ini_path(temp.path());
    EXPECT_EQ(ini, temp.path() + L"/desktop.ini");
    EXPECT_EQ(read_bytes(ini).substr(0, 6), std::string("\xFF\xFE\x0D\x00\x0A\x00", 6));
    EXPECT_EQ(fs::get_attributes(ini), fs::attribute_hidden | fs::attribute_system);
    EXPECT_EQ(profile::get_string(L"Sortwell", L"Tags", L"", ini), L"a;b");
    EXPECT_EQ(profile::get_string(L"Sortwell", L"Rating", L"", ini), L"3");
    EXPECT_EQ(profile::get_string(summary, L"Prop5", L"", ini), L"31,a;b");
    EXPECT_EQ(read_folder_ini_keywords(ini), (std::vector<std::wstring>{L"a", L"b"}));
}

TEST(folder_ini, prop5_keeps_foreign_keywords_and_drops_the_ones_this_suite_wrote) {
    qlm::testing::temp_folder temp;
    const std::wstring ini = temp.write(L"desktop.ini", "[Sortwell]\r\nTags=a\r\n[" + platform::text::to_utf8(summary) +
                                                           "]\r\nProp5=31,x;A\r\n[.ShellClassInfo]\r\nIconResource=i.ico,0\r\n");
    write_folder(temp.path(), {L"b"}, 0);
    EXPECT_EQ(profile::get_string(summary, L"Prop5", L"", ini), L"31,x;b");
    EXPECT_EQ(profile::get_string(L"Sortwell", L"Tags", L"", ini), L"b");
    EXPECT_EQ(profile::get_string(L"Sortwell", L"Rating", L"none", ini), L"none");

    // The last tag and the rating go: the suite's section and the Prop5 key
    // go, the file and the other sections stay.
    write_folder(temp.path(), {}, 0);
    EXPECT_EQ(read_bytes(ini), "[" + platform::text::to_utf8(summary) +
                                   "]\r\n[.ShellClassInfo]\r\nIconResource=i.ico,0\r\n");
}

TEST(folder_ini, readers_fall_back_to_the_suite_section) {
    qlm::testing::temp_folder temp;
    const std::wstring folder = temp.make_folder(L"typed by hand");
    for (const auto& [typed, stars] : std::vector<std::pair<std::string, std::uint32_t>>{
             {"9", 5}, {"-1", 5}, {"2", 2}, {"x", 0}}) {
        temp.write(L"typed by hand/desktop.ini", "[Sortwell]\r\nTags=;one;;two;\r\nRating=" + typed + "\r\n");
        metadata_handle handle;
        ASSERT_TRUE(handle.open_for_reading(folder, ps::gps_default));
        EXPECT_EQ(get_folder_rating(handle), stars) << typed;
        EXPECT_EQ(handle.get_tags(), (std::vector<std::wstring>{L"one", L"two"}));
    }
}

TEST(folder_ini, a_read_only_folder_and_file_keep_their_attributes_after_a_write) {
    qlm::testing::temp_folder temp;
    const std::wstring folder = temp.make_folder(L"custom");
    const std::wstring ini = temp.write(L"custom/desktop.ini", "[.ShellClassInfo]\r\n");
    const std::uint32_t marked_ini = fs::attribute_readonly | fs::attribute_hidden;
    ASSERT_EQ(fs::set_attributes(ini, marked_ini), 0u);
    const std::uint32_t marked = fs::attribute_directory | fs::attribute_readonly | fs::attribute_system;
    ASSERT_EQ(fs::set_attributes(folder, marked), 0u);
    write_folder(folder, {L"kept"}, 5);
    EXPECT_EQ(fs::get_attributes(folder), marked);
    EXPECT_EQ(fs::get_attributes(ini), marked_ini);
    EXPECT_EQ(profile::get_string(L"Sortwell", L"Rating", L"", ini), L"5");
    metadata_handle handle;
    ASSERT_TRUE(handle.open_for_reading(folder, ps::gps_default));
    EXPECT_EQ(handle.get_tags(), std::vector<std::wstring>{L"kept"});
}

}  // namespace
