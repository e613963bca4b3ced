#include "commands/collecting_callbacks.h"
#include "commands/rate_commands.h"
#include "commands/tag_commands.h"

#include <gtest/gtest.h>

namespace {

namespace mc = qlm::metadata_commands;
using sortwell::batch_processor::action_type;
using names_t = std::vector<std::wstring>;

TEST(tag_commands, names_are_trimmed_deduplicated_and_checked) {
    names_t names;
    std::wstring message;
    ASSERT_TRUE(mc::normalize_tag_names({L"Work", L" work ", L"\tWORK", L"New York", L"\u00c9t\u00e9", L"\u00e9T\u00c9"},
                                        names, message));
    EXPECT_EQ(names, (names_t{L"Work", L"New York", L"\u00c9t\u00e9"}));
    EXPECT_FALSE(mc::normalize_tag_names({L"ok", L" \t "}, names, message));
    EXPECT_EQ(message, L"A tag name cannot be empty.");
    EXPECT_FALSE(mc::normalize_tag_names({L"a;b", L""}, names, message));
    EXPECT_EQ(message, L"A tag name cannot contain ';'.");
    ASSERT_TRUE(mc::normalize_tag_names({L"a,\"b\""}, names, message));
    EXPECT_EQ(names, (names_t{L"a,\"b\""}));
    // What the stores could not give back the same is refused up front.
    for (const std::wstring refused : {L"a\nb", L"a\x01", L"\x7f", L"a\tb"}) {
        EXPECT_FALSE(mc::normalize_tag_names({L"ok", refused}, names, message));
        EXPECT_EQ(message, L"A tag name cannot contain control characters.");
    }
    EXPECT_FALSE(mc::normalize_tag_names({std::wstring(L"caf") + static_cast<wchar_t>(0xDCE9)}, names, message));
    EXPECT_EQ(message, L"A tag name must be valid Unicode text.");
}

// What each tag subcommand asks of the worker and when it counts as done is
// checked end to end (tests/cli/test_write_commands.py), with exiftool; what
// a dry run reports it would leave, here for the subcommands those runs lack.
TEST(tag_commands, a_dry_run_expects_what_each_subcommand_leaves) {
    const names_t ab = {L"a", L"b"};
    const auto after = [](const wchar_t* subcommand, const names_t& names, names_t tags) {
        mc::file_state state;
        state.tags = std::move(tags);
        return mc::make_tag_request(subcommand, names).expected_state(state).tags;
    };
    EXPECT_EQ(after(L"add", ab, {L"A", L"x"}), (names_t{L"A", L"x", L"b"}));
    EXPECT_EQ(after(L"remove", ab, {L"A", L"c", L"a", L"B"}), names_t{L"c"});
    EXPECT_EQ(after(L"set", ab, {L"c"}), ab);
    EXPECT_TRUE(after(L"clear", {}, {L"a"}).empty());
}

TEST(rate_commands, stars_are_one_digit_and_zero_removes_the_rating) {
    EXPECT_EQ(mc::parse_stars(L"0"), 0U);
    EXPECT_EQ(mc::parse_stars(L"5"), 5U);
    for (const wchar_t* bad : {L"6", L"10", L"-1", L"05", L"3.0", L"+3", L" 3", L"", L"\uff13"}) {
        EXPECT_FALSE(mc::parse_stars(bad).has_value()) << bad;
    }
    const mc::change_request four = mc::make_rating_request(4);
    EXPECT_EQ(four.action, action_type::set_rating);
    EXPECT_EQ(four.action_parameters, L"4");
    mc::file_state rated;
    rated.rating = 4;
    EXPECT_TRUE(four.already_applied(rated));
    EXPECT_EQ(mc::make_rating_request(2).expected_state(rated).rating, 2U);
    const mc::change_request none = mc::make_rating_request(0);
    EXPECT_EQ(none.action, action_type::remove_rating);
    EXPECT_EQ(none.action_parameters, L"");
    EXPECT_EQ(none.unsupported_message, L"This file type cannot store a rating.");
}

TEST(collecting_callbacks, keeps_the_last_error_per_path_and_never_suppresses) {
    mc::collecting_callbacks host;
    EXPECT_FALSE(host.report_error(L"/a", L"first"));
    EXPECT_FALSE(host.report_error(L"/a", L"second"));
    EXPECT_FALSE(host.report_error(L"", L"job failed"));
    EXPECT_EQ(host.errors_by_path, (std::map<std::wstring, std::wstring>{{L"/a", L"second"}}));
    EXPECT_EQ(host.general_error, L"job failed");
    host.report_unknown_action();
    EXPECT_EQ(host.general_error, L"The Batch Processor did not recognize the action.");
    EXPECT_FALSE(host.is_paused());
    EXPECT_FALSE(host.confirm_create_folder(L"/x"));
}

}  // namespace
