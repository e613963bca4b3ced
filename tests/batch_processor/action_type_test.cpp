#include "batch_processor/action_type.h"
#include "batch_processor/autotagger_exception.h"
#include "common/exceptions.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

namespace bp = sortwell::batch_processor;
using bp::action_type;

TEST(action_type, names_map_to_values_and_back) {
    // Every named action round-trips through its name.
    for (unsigned value = 0; value < bp::action_count; ++value) {
        const auto action = static_cast<action_type>(value);
        const std::wstring name = bp::action_name(action);
        if (name != L"unknown") {
            EXPECT_EQ(bp::action_from_name(name), action) << value;
        }
    }
    EXPECT_EQ(bp::action_from_name(L"icon_set_custom_icon"), action_type::icon_set_custom_icon);

    // Media and paste names are recognised but never named back.
    EXPECT_EQ(bp::action_from_name(L"paste_as_plain_text"), action_type::paste_as_plain_text);
    EXPECT_EQ(bp::action_from_name(L"media_play_pause"), action_type::media_play_pause);
    EXPECT_EQ(bp::action_name(action_type::media_play_pause), L"unknown");

    // Whole-name, case-sensitive comparison.
    for (const wchar_t* name : {L"Update_Tags", L"update_tags ", L"update", L"", L"unknown"}) {
        EXPECT_EQ(bp::action_from_name(name), action_type::unknown) << name;
    }
}

TEST(batch_exceptions, messages_are_utf8_and_the_wide_text_is_kept) {
    const exceptions::formatted_runtime_error wide(std::wstring(L"Caf\u00e9 \u20ac"));
    EXPECT_STREQ(wide.what(), "Caf\xC3\xA9 \xE2\x82\xAC");
    const exceptions::formatted_runtime_error narrow("Failed to download the file.");
    EXPECT_STREQ(narrow.what(), "Failed to download the file.");

    const bp::autotagger_exception from_wide(std::wstring(L"\u00fcber"));
    EXPECT_STREQ(from_wide.what(),
                 "\xC3\xBC"
                 "ber");
    EXPECT_EQ(from_wide.wide_message(), L"\u00fcber");
    const bp::autotagger_exception from_narrow(std::string("service down"));
    EXPECT_STREQ(from_narrow.what(), "service down");
    EXPECT_TRUE(from_narrow.wide_message().empty());
}

}  // namespace
