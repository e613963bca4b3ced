// Keywords, comment and rating in the attributes Linux file managers use,
// written and read by setfattr/getfattr as Dolphin and Nautilus would.

#include "platform/posix/properties/freedesktop_attributes.h"
#include "platform/property_store.h"
#include "platform/text.h"

#include "support/outside_tools.h"
#include "support/property_read.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

namespace {

namespace ps = platform::property_store;
using qlm::testing::getfattr;
using qlm::testing::read_property;
using qlm::testing::run_tool;
using qlm::testing::shell_quote;

void setfattr(const std::wstring& path, const std::string& name, const std::string& value) {
    // setfattr reads a value starting with 0x or 0s as encoded, so plain text goes in quoted.
    run_tool("setfattr -n " + name + " -v '\"" + value + "\"' " + shell_quote(path));
}

void write(const std::wstring& path, const ps::property_key& key, const ps::property_value& value) {
    std::unique_ptr<ps::store> store;
    ASSERT_EQ(ps::open_property_set(path, true, store), ps::s_ok);
    ASSERT_EQ(store->set_value(key, value), ps::s_ok);
    ASSERT_EQ(store->commit(), ps::s_ok);
}

TEST(freedesktop_attributes, tags_written_elsewhere_are_read_and_kept) {
    qlm::testing::temp_folder temp;
    const std::wstring file = temp.write(L"k.txt", "x");
    setfattr(file, "user.xdg.tags", "Red,Blue");
    EXPECT_EQ(read_property(file, ps::key_keywords), ps::property_value::make_strings({L"Red", L"Blue"}));
    write(file, ps::key_keywords, ps::property_value::make_strings({L"Red", L"Blue", L"Green"}));
    EXPECT_EQ(getfattr(file, "user.xdg.tags"), "Red,Blue,Green");

    // A tag with a comma keeps its exact form while nobody else edits the tags...
    write(file, ps::key_keywords, ps::property_value::make_strings({L"Smith, Ann", L"\u00e9t\u00e9"}));
    EXPECT_EQ(getfattr(file, "user.xdg.tags"), "Smith, Ann,\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(read_property(file, ps::key_keywords),
              ps::property_value::make_strings({L"Smith, Ann", L"\u00e9t\u00e9"}));
    // ...and the file manager's list wins once it has changed.
    setfattr(file, "user.xdg.tags", "Smith, Ann,,x");
    EXPECT_EQ(read_property(file, ps::key_keywords), ps::property_value::make_strings({L"Smith", L" Ann", L"x"}));
    run_tool("setfattr -x user.xdg.tags " + shell_quote(file));
    EXPECT_EQ(read_property(file, ps::key_keywords).type, ps::value_type::empty);

    write(file, ps::key_keywords, ps::property_value::make_strings({}));
    EXPECT_EQ(run_tool("getfattr -d -m - " + shell_quote(file)), "");
}

TEST(freedesktop_attributes, ratings_map_to_half_stars_both_ways) {
    qlm::testing::temp_folder temp;
    const std::wstring file = temp.write(L"r.txt", "x");
    const std::pair<std::uint32_t, const char*> written[] = {{1, "2"}, {12, "2"}, {25, "4"}, {50, "6"},
                                                             {75, "8"}, {99, "10"}, {100, "10"}};
    for (const auto& [value, half_stars] : written) {
        write(file, ps::key_rating, ps::property_value::make_ui4(value));
        EXPECT_EQ(getfattr(file, "user.baloo.rating"), half_stars) << value;
    }
    // Odd half-stars round up, by a value that is not the stars' own; what
    // is not a positive number is no rating.
    const std::pair<const char*, std::uint32_t> read_back[] = {{"1", 6},  {"2", 1},  {"3", 20}, {"4", 25},
                                                               {"5", 45}, {"7", 70}, {"9", 94}, {"10", 99},
                                                               {"14", 99}, {"0", 0}, {"-2", 0}, {"x", 0}};
    for (const auto& [half_stars, value] : read_back) {
        setfattr(file, "user.baloo.rating", half_stars);
        const auto got = read_property(file, ps::key_rating);
        if (value == 0) {
            EXPECT_EQ(got.type, ps::value_type::empty) << half_stars;
        } else {
            EXPECT_EQ(got, ps::property_value::make_ui4(value)) << half_stars;
        }
    }
    // An empty value and zero both remove the rating.
    for (const auto& none : {ps::property_value{}, ps::property_value::make_ui4(0)}) {
        write(file, ps::key_rating, ps::property_value::make_ui4(50));
        write(file, ps::key_rating, none);
        EXPECT_EQ(run_tool("getfattr -d -m - " + shell_quote(file)), "");
    }
}

TEST(freedesktop_attributes, a_file_without_a_handler_shows_them_to_a_handler_only_read) {
    qlm::testing::temp_folder temp;
    const std::wstring file = temp.write(L"notes.txt", "x");
    setfattr(file, "user.xdg.comment", "Hi \xC3\xBC");
    setfattr(file, "user.xdg.tags", "a,b");
    setfattr(file, "user.baloo.rating", "6");
    EXPECT_EQ(read_property(file, ps::key_comment, ps::gps_handler_properties_only),
              ps::property_value::make_lpwstr(L"Hi \u00fc"));
    EXPECT_EQ(read_property(file, ps::key_keywords, ps::gps_handler_properties_only),
              ps::property_value::make_strings({L"a", L"b"}));
    EXPECT_EQ(read_property(file, ps::key_rating, ps::gps_handler_properties_only), ps::property_value::make_ui4(50));
    EXPECT_EQ(read_property(file, ps::key_title, ps::gps_handler_properties_only).type, ps::value_type::empty);

    std::unique_ptr<ps::store> store;
    ASSERT_EQ(ps::open_property_set(file, true, store), ps::s_ok);
    EXPECT_EQ(store->set_value(ps::key_rating, ps::property_value::make_lpwstr(L"5")), ps::e_invalidarg);
    EXPECT_EQ(store->set_value(ps::key_keywords, ps::property_value::make_lpwstr(L"a")), ps::e_invalidarg);
}

// A photo reader lists the attributes once and merges only when one of
// those it reads is there: each of them alone, among unrelated ones, must
// still show as the file manager's change.
TEST(freedesktop_attributes, a_photo_reader_sees_each_file_manager_attribute_among_others) {
    qlm::testing::temp_folder temp;
    const std::wstring reference = temp.write(L"reference.txt", "x");
    const struct {
        const char* name;
        const char* value;
        ps::property_key key;
    } changes[] = {{"user.xdg.tags", "Fjord", ps::key_keywords},
                   {"user.baloo.rating", "6", ps::key_rating},
                   {"user.xdg.comment", "Seen", ps::key_comment}};
    for (const auto& change : changes) {
        const std::wstring photo = qlm::testing::make_image(temp / (platform::text::from_utf8(change.name) + L".jpg"));
        setfattr(photo, "user.other", "unrelated");
        const ps::property_value embedded = read_property(photo, change.key);
        setfattr(photo, change.name, change.value);
        setfattr(reference, change.name, change.value);
        const ps::property_value theirs = read_property(reference, change.key, ps::gps_handler_properties_only);
        EXPECT_NE(theirs.type, ps::value_type::empty) << change.name;
        EXPECT_FALSE(theirs == embedded) << change.name;
        EXPECT_EQ(read_property(photo, change.key), theirs) << change.name;
    }
}

}  // namespace
