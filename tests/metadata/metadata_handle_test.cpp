// metadata_handle against a fault-injecting system: open rules, folder
// attribute lifting, set_value and commit retries, rating scales.

#include "metadata/metadata_handle.h"
#include "metadata/comment_storage.h"

#include "metadata/fake_store_access.h"
#include "platform/file_system.h"
#include "platform/system_words.h"
#include "platform/text.h"
#include "support/error_text.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

namespace {

using namespace qlm::metadata;
using qlm::testing::fake_store_access;
namespace ps = platform::property_store;
namespace fs = platform::file_system;
using namespace std::chrono_literals;

const std::wstring photo = L"/photos/beach.jpg";
constexpr std::uint32_t normal = fs::attribute_normal;
constexpr std::uint32_t folder = fs::attribute_directory;

using qlm::testing::error_of;

// A handle on a plain photo that the fake store knows.
class photo_handle : public ::testing::Test {
protected:
    photo_handle() { access.attributes[photo] = normal; }
    fake_store_access access;
    metadata_handle handle{access};
};

TEST(rating_scales, every_boundary_of_both_tables) {
    const std::pair<std::uint32_t, std::uint32_t> to_stars[] = {
        {0, 0}, {1, 1}, {12, 1}, {13, 2}, {37, 2}, {38, 3}, {50, 3}, {62, 3}, {63, 4},
        {87, 4}, {88, 5}, {99, 5}, {100, 5}, {101, 500}, {0xFFFFFFFF, 500}};
    for (const auto& [value, stars] : to_stars) EXPECT_EQ(rating_to_stars(value), stars) << value;
    const std::pair<std::uint32_t, std::uint32_t> to_value[] = {{0, 0}, {1, 1}, {2, 25}, {3, 50}, {4, 75}, {5, 99},
                                                                {6, 500}, {0xFFFFFFFF, 500}};
    for (const auto& [stars, value] : to_value) EXPECT_EQ(stars_to_rating(stars), value) << stars;
    for (std::uint32_t stars = 0; stars <= 5; ++stars) EXPECT_EQ(rating_to_stars(stars_to_rating(stars)), stars);
}

TEST(metadata_handle, cloud_placeholders_and_missing_paths_are_never_opened) {
    for (const std::uint32_t bit : {0x1000u, 0x40000u, 0x400000u}) {
        fake_store_access access;
        access.attributes[photo] = normal | bit;
        access.attributes[L"/cloud"] = folder | bit;
        metadata_handle handle(access);
        EXPECT_FALSE(handle.open_for_reading(photo, ps::gps_default));
        EXPECT_FALSE(handle.open_for_writing(photo));
        EXPECT_FALSE(handle.open_for_reading(L"/cloud", ps::gps_default));
        EXPECT_FALSE(handle.open_for_writing(L"/cloud"));
        EXPECT_EQ(access.handler_opens + access.property_set_opens, 0) << bit;
    }
    fake_store_access access;
    metadata_handle handle(access);
    EXPECT_FALSE(handle.open_for_reading(L"", ps::gps_default));
    EXPECT_FALSE(handle.open_for_reading(L"/missing.jpg", ps::gps_default));
    EXPECT_FALSE(handle.open_for_writing(L"/missing.jpg"));
}

TEST_F(photo_handle, open_failures_throw_the_documented_texts) {
    access.handler_open_result = ps::e_fail;
    access.property_set_open_result = ps::stg_e_invalidfunction;
    if (platform::system_words::codes_beside_words()) {
        EXPECT_EQ(error_of([&] { handle.open_for_writing(photo); }),
                  "Failed to write new metadata. Error provided by Windows: " +
                      platform::text::to_utf8(ps::message_text(ps::e_fail)) + " Error code: 0x80004005");
        EXPECT_EQ(error_of([&] { handle.open_for_reading(photo, ps::gps_default); }),
                  "Failed to open metadata 0x80030001 " +
                      platform::text::to_utf8(ps::message_text(ps::stg_e_invalidfunction)));
    } else {
        // Linux names itself and gives its words without the code.
        EXPECT_EQ(error_of([&] { handle.open_for_writing(photo); }),
                  "Failed to write new metadata. Error provided by the system: Unspecified error");
        EXPECT_EQ(error_of([&] { handle.open_for_reading(photo, ps::gps_default); }),
                  "Failed to open metadata: Unable to perform requested operation");
    }
    EXPECT_EQ(handle.mode(), 0u);

    // A handler that fails with "not found" answers false when the property
    // set fails as well.
    access.handler_open_result = ps::from_win32(3);
    access.property_set_open_result = ps::stg_e_filenotfound;
    EXPECT_FALSE(handle.open_for_writing(photo));
    EXPECT_FALSE(handle.open_for_reading(photo, ps::gps_default));
}

TEST_F(photo_handle, files_fall_back_to_the_property_set_and_folders_never_use_the_handler) {
    qlm::testing::temp_folder temp;
    access.attributes[temp.path()] = folder;
    access.handler_open_result = ps::e_fail;
    ASSERT_TRUE(handle.open_for_writing(photo));
    EXPECT_EQ(handle.mode(), 2u);
    EXPECT_FALSE(handle.is_folder());
    EXPECT_EQ(access.property_set_opens, 1);

    access.handler_open_result = ps::s_ok;
    access.handler_opens = 0;
    ASSERT_TRUE(handle.open_for_reading(temp.path(), ps::gps_default));
    EXPECT_TRUE(handle.is_folder());
    EXPECT_EQ(handle.mode(), 1u);
    ASSERT_TRUE(handle.open_for_writing(temp.path()));  // read mode is closed and reopened for writing
    EXPECT_EQ(handle.mode(), 2u);
    EXPECT_EQ(access.handler_opens, 0);
}

TEST(metadata_handle, read_only_folder_is_lifted_for_the_write_and_restored_at_close) {
    qlm::testing::temp_folder temp;
    const std::wstring path = temp.path();
    const std::uint32_t marked = folder | fs::attribute_readonly | fs::attribute_system | fs::attribute_hidden;
    {
        fake_store_access access;
        access.attributes[path] = marked;
        {
            metadata_handle handle(access);
            ASSERT_TRUE(handle.open_for_writing(path));
            EXPECT_EQ(access.attributes[path], folder | fs::attribute_hidden);
            ASSERT_EQ(handle.set_value(ps::key_rating, ps::property_value::make_ui4(50)), ps::s_ok);
            handle.commit();
        }  // the destructor closes
        ASSERT_EQ(access.attributes_at_commit.size(), 1u);
        EXPECT_EQ(access.attributes_at_commit[0], folder | fs::attribute_hidden);
        EXPECT_EQ(access.attributes[path], marked);
    }
    {
        // A folder whose attributes cannot change is written without lifting.
        fake_store_access access;
        access.attributes[path] = marked;
        access.set_attributes_result = 5;
        metadata_handle handle(access);
        ASSERT_TRUE(handle.open_for_writing(path));
        handle.commit();
        handle.close();
        EXPECT_EQ(access.attribute_changes.size(), 1u);  // the one failed attempt, nothing restored
    }
    {
        // A failed open restores at once.
        fake_store_access access;
        access.attributes[path] = marked;
        access.property_set_open_result = ps::stg_e_accessdenied;
        metadata_handle handle(access);
        EXPECT_FALSE(handle.open_property_set_for_writing(path));
        EXPECT_EQ(access.attributes[path], marked);
    }
}

TEST_F(photo_handle, set_value_retries_with_pauses_except_for_final_refusals) {
    ASSERT_TRUE(handle.open_for_writing(photo));
    const auto value = ps::property_value::make_ui4(99);

    const struct {
        std::deque<ps::hresult> results;  // what the store answers, in order
        ps::hresult outcome;
        int calls;
        std::size_t pauses;
    } cases[] = {
        {{ps::stg_e_accessdenied}, ps::stg_e_accessdenied, 1, 0},
        {{ps::wincodec_err_propertynotsupported}, ps::wincodec_err_propertynotsupported, 1, 0},
        {{ps::e_fail, ps::e_fail, ps::e_fail, ps::e_fail}, ps::e_fail, 3, 2},
        {{ps::e_fail}, ps::s_ok, 2, 1},
    };
    for (const auto& c : cases) {
        access.set_value_calls = 0;
        access.pauses.clear();
        access.set_value_results = c.results;
        EXPECT_EQ(handle.set_value(ps::key_rating, value), c.outcome) << c.calls;
        EXPECT_EQ(access.set_value_calls, c.calls);
        EXPECT_EQ(access.pauses, std::vector<std::chrono::milliseconds>(c.pauses, 50ms));
    }
}

TEST_F(photo_handle, commit_retries_sharing_violations_three_times_in_all) {
    const ps::hresult storage_share = static_cast<ps::hresult>(0x80030020);
    const ps::hresult win32_share = static_cast<ps::hresult>(0x80070020);
    ASSERT_TRUE(handle.open_for_writing(photo));
    ASSERT_EQ(handle.set_value(ps::key_rating, ps::property_value::make_ui4(75)), ps::s_ok);

    access.commit_results = {storage_share, win32_share};
    EXPECT_NO_THROW(handle.commit());
    EXPECT_EQ(access.commit_calls, 3);
    EXPECT_EQ(access.pauses.size(), 2u);
    bool found = false;
    EXPECT_EQ(handle.get_rating(found), 4u);
    EXPECT_TRUE(found);

    access.commit_calls = 0;
    access.commit_results = {win32_share, win32_share, win32_share, ps::s_ok};
    const bool codes = platform::system_words::codes_beside_words();
    EXPECT_EQ(error_of([&] { handle.commit(); }),
              codes ? "Failed to commit changes to metadata. Error: 0x80070020"
                    : "Failed to commit changes to metadata: The file is being used by another process");
    EXPECT_EQ(access.commit_calls, 3);
    EXPECT_TRUE(handle.has_store());  // the store stays open after a failed commit

    access.commit_calls = 0;
    access.commit_results = {ps::e_accessdenied};
    EXPECT_EQ(error_of([&] { handle.commit(); }), codes ? "Failed to commit changes to metadata. Error: 0x80070005"
                                                        : "Failed to commit changes to metadata: Permission denied");
    EXPECT_EQ(access.commit_calls, 1);
}

TEST_F(photo_handle, readers_accept_the_documented_types_only) {
    access.handler_values[photo] = {{ps::key_rating, ps::property_value::make_i4(13)},
                                    {ps::key_comment, ps::property_value::make_bstr(L"a\r\nb")},
                                    {ps::key_keywords, ps::property_value::make_strings({L"z", L"a"})}};
    ASSERT_TRUE(handle.open_for_reading(photo, ps::gps_default));
    bool found = false;
    EXPECT_EQ(handle.get_rating(found), 2u);
    EXPECT_TRUE(found);
    EXPECT_EQ(handle.get_comment(), L"a\r\nb");
    EXPECT_EQ(handle.get_tags(), (std::vector<std::wstring>{L"z", L"a"}));

    access.handler_values[photo] = {{ps::key_rating, ps::property_value::make_lpwstr(L"5")},
                                    {ps::key_comment, ps::property_value::make_ui4(3)},
                                    {ps::key_keywords, ps::property_value::make_lpwstr(L"a")}};
    ASSERT_TRUE(handle.open_for_reading(photo, ps::gps_default));
    EXPECT_EQ(handle.get_rating(found), 0u);
    EXPECT_FALSE(found);
    EXPECT_EQ(handle.get_comment(), L"");
    EXPECT_TRUE(handle.get_tags().empty());

    access.get_value_results = {ps::e_fail};
    EXPECT_EQ(error_of([&] { handle.get_rating(found); }), "Failed to get rating");
    handle.close();
    EXPECT_EQ(handle.get_rating(found), 0u);  // no store: nothing to ask
}

TEST_F(photo_handle, comments_are_saved_when_they_read_back_the_same) {
    comment_document document{photo, L"two\r\nlines", true, L"", false};
    EXPECT_TRUE(save_comment(document, access));
    EXPECT_FALSE(document.dirty);
    EXPECT_EQ(document.loaded_text, L"two\r\nlines");

    comment_document loaded{photo, L"", false, L"", false};
    ASSERT_TRUE(load_comment(loaded, access));
    EXPECT_EQ(loaded.text, L"two\r\nlines");
    EXPECT_TRUE(loaded.loaded);

    // A handler that trims trailing blanks gives back something else.
    access.handler_trims_comments = true;
    comment_document trimmed{photo, L"ends in blanks  ", true, L"", false};
    EXPECT_FALSE(save_comment(trimmed, access));
    EXPECT_TRUE(trimmed.dirty);

    comment_document empty{photo, L"", true, L"", false};
    EXPECT_TRUE(save_comment(empty, access));
    ASSERT_TRUE(load_comment(loaded, access));
    EXPECT_EQ(loaded.text, L"");

    access.set_value_results = {ps::stg_e_accessdenied};
    comment_document refused{photo, L"x", true, L"", false};
    EXPECT_EQ(error_of([&] { save_comment(refused, access); }), "Failed to set comments");

    comment_document cloud{L"/cloud.jpg", L"x", true, L"", false};
    access.attributes[L"/cloud.jpg"] = normal | fs::attribute_recall_on_data_access;
    EXPECT_FALSE(save_comment(cloud, access));
    EXPECT_FALSE(load_comment(cloud, access));
}

}  // namespace
