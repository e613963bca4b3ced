#include "settings/all_tags_settings.h"

#include "platform/text.h"
#include "settings/json_text.h"
#include "settings/settings_test_support.h"
#include "support/log_capture.h"
#include "support/test_data.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using all_tags_settings::settings_file;
using all_tags_settings::tag_entry;
using qlm::testing::read_bytes;
using qlm::testing::settings_sandbox;
namespace fs = platform::file_system;

constexpr char two_tags[] = R"({"version":"7","app":{"window":{"height":300,"width":200}},
    "tags":[{"name":"Work","order":"2"},{"name":"Family"}]})";

std::vector<std::wstring> names(const settings_file& file) {
    std::vector<std::wstring> out;
    for (const auto& entry : file.tags) out.push_back(entry.name);
    return out;
}

// The seeding's log line and the missing default copy are checked end to end
// in tests/cli/test_tag_list.py.
TEST(all_tags_settings, first_load_seeds_the_user_file_from_the_default_copy) {
    settings_sandbox sandbox;
    sandbox.write_default(L"All Tags.json", two_tags);
    settings_file file(sandbox.module, sandbox.profile);
    const std::wstring expected_folder = sandbox.profile + qlm::testing::native_path(L"/Verandel/Quillmark/Settings/");
    EXPECT_EQ(file.settings_folder(), expected_folder);
    EXPECT_EQ(file.full_path(), expected_folder + L"All Tags.json");
    EXPECT_TRUE(fs::exists(expected_folder));  // created by construction
    EXPECT_FALSE(fs::exists(file.full_path()));  // nothing read or copied yet

    ASSERT_TRUE(file.load(false));
    EXPECT_EQ(read_bytes(file.full_path()), two_tags);
    EXPECT_EQ(file.version, L"7");
    EXPECT_EQ(file.window_height, 300);
    EXPECT_EQ(file.window_width, 200);
    EXPECT_EQ(names(file), (std::vector<std::wstring>{L"Work", L"Family"}));
    EXPECT_EQ(file.tags[0].order, 2);
    EXPECT_EQ(file.tags[1].order, std::nullopt);
    EXPECT_NE(file.last_loaded_write_time(), 0u);
}

TEST(all_tags_settings, reads_again_only_when_the_write_time_changed_or_forced) {
    settings_sandbox sandbox;
    settings_file file(sandbox.module, sandbox.profile);
    const std::wstring path = sandbox.write_user_file(L"All Tags.json", two_tags);
    settings_sandbox::set_new_write_time(path);
    ASSERT_TRUE(file.load(false));
    ASSERT_EQ(names(file), (std::vector<std::wstring>{L"Work", L"Family"}));

    // New content under the old time: the shortcut answers without opening the file.
    settings_sandbox::replace_keeping_time(path, R"({"tags":[{"name":"Changed"}]})");
    ASSERT_TRUE(file.load(false));
    EXPECT_EQ(names(file), (std::vector<std::wstring>{L"Work", L"Family"}));

    ASSERT_TRUE(file.load(true));
    EXPECT_EQ(names(file), std::vector<std::wstring>{L"Changed"});

    settings_sandbox::replace_keeping_time(path, R"({"tags":[{"name":"Touched"}]})");
    settings_sandbox::set_new_write_time(path);
    ASSERT_TRUE(file.load(false));
    EXPECT_EQ(names(file), std::vector<std::wstring>{L"Touched"});
}

TEST(all_tags_settings, unreadable_file_fails_and_keeps_members_and_retries_next_time) {
    settings_sandbox sandbox;
    settings_file file(sandbox.module, sandbox.profile);
    const std::wstring path = sandbox.write_user_file(L"All Tags.json", two_tags);
    ASSERT_TRUE(file.load(false));
    const auto loaded_time = file.last_loaded_write_time();

    for (const std::string& bad : {std::string(), std::string("not json"), std::string("[1,2]"), std::string("\"x\""),
                                  std::string("{\"tags\":[],}"), std::string("{/*c*/}"),
                                  std::string("\xEF\xBB\xBF{\"tags\":[]}")}) {
        const qlm::testing::log_capture log;
        std::ofstream(fs::to_native(path), std::ios::binary | std::ios::trunc) << bad;
        settings_sandbox::set_new_write_time(path);
        EXPECT_FALSE(file.load(false)) << bad;
        EXPECT_EQ(names(file), (std::vector<std::wstring>{L"Work", L"Family"})) << bad;
        EXPECT_EQ(file.last_loaded_write_time(), loaded_time) << bad;
        EXPECT_TRUE(log.lines().empty()) << bad;  // a bad tag list is not logged
    }
    // A folder in the file's place cannot be read either.
    std::filesystem::remove(fs::to_native(path));
    sandbox.folder.make_folder(qlm::testing::native_path(L"profile/Verandel/Quillmark/Settings/All Tags.json"));
    EXPECT_FALSE(file.load(false));
}

TEST(all_tags_settings, keys_of_the_wrong_type_are_ignored_one_by_one) {
    settings_sandbox sandbox;
    settings_file file(sandbox.module, sandbox.profile);
    const std::wstring path = sandbox.write_user_file(L"All Tags.json", two_tags);
    ASSERT_TRUE(file.load(false));

    sandbox.write_user_file(L"All Tags.json", R"({"version":3,"app":{"window":{"height":1.5,"width":4294967296}},"tags":{"name":"x"}})");
    ASSERT_TRUE(file.load(true));
    EXPECT_EQ(file.version, L"7");
    EXPECT_EQ(file.window_height, 300);
    EXPECT_EQ(file.window_width, 200);
    EXPECT_EQ(names(file), (std::vector<std::wstring>{L"Work", L"Family"}));  // "tags" not an array: list kept

    sandbox.write_user_file(L"All Tags.json", R"({"app":{"window":7},"tags":[
        {"name":"Plain","order":5,"keyboard":"F2","icon_not_tagged":null},
        {"name":"Minus","order":"-3"},
        {"name":"Blanks","order":"  +42abc"},
        {"name":"Empty","order":""},
        {"name":"Huge","order":"99999999999"},
        "bare string", 17, null,
        {"name":7,"icon_when_tagged":"\\Content\\Icons\\x.ico"},
        {"name":"Caf\u00e9 \ud83d\ude00"}]})");
    ASSERT_TRUE(file.load(true));
    ASSERT_EQ(file.tags.size(), 10u);
    EXPECT_EQ(file.tags[0], (tag_entry{L"Plain", std::nullopt, std::nullopt, std::nullopt, L"F2"}));
    EXPECT_EQ(file.tags[1].order, -3);
    EXPECT_EQ(file.tags[2].order, 42);
    EXPECT_EQ(file.tags[3].order, 0);
    EXPECT_EQ(file.tags[4].order, 2147483647);
    for (std::size_t i = 5; i < 8; ++i) EXPECT_EQ(file.tags[i], tag_entry{}) << i;  // non-objects still count
    EXPECT_EQ(file.tags[8], (tag_entry{L"", std::nullopt, std::nullopt, L"\\Content\\Icons\\x.ico", std::nullopt}));
    EXPECT_EQ(file.tags[9].name, platform::text::from_utf8("Caf\xC3\xA9 \xF0\x9F\x98\x80"));
}

TEST(all_tags_settings, save_writes_pretty_json_that_reads_back_the_same) {
    settings_sandbox sandbox;
    settings_file file(sandbox.module, sandbox.profile);
    file.version = L"2";
    file.window_height = -1;
    file.window_width = 640;
    file.tags = {tag_entry{L"Minus", -3, std::nullopt, std::nullopt, std::nullopt},
                 tag_entry{L"\u00c9t\u00e9 \"q\"", 12, L"a.ico", L"b.ico", L"Ctrl+1"}};
    file.save();
    EXPECT_EQ(read_bytes(file.full_path()), qlm::testing::test_data("all_tags_saved.json"));

    settings_file again(sandbox.module, sandbox.profile);
    ASSERT_TRUE(again.load(false));
    EXPECT_EQ(again.version, file.version);
    EXPECT_EQ(again.window_height, -1);
    EXPECT_EQ(again.window_width, 640);
    EXPECT_EQ(again.tags, file.tags);

    file.tags.clear();
    file.save();
    EXPECT_NE(read_bytes(file.full_path()).find("\"tags\": []"), std::string::npos);
}

TEST(all_tags_settings, shipped_default_copy_loads_and_survives_a_save) {
    const std::string shipped = read_bytes(platform::text::from_utf8(QLM_CONTENT_DIR) +
                                           qlm::testing::native_path(L"/Configurations/All Tags.json"));
    ASSERT_FALSE(shipped.empty());
    settings_sandbox sandbox;
    sandbox.write_default(L"All Tags.json", shipped);
    settings_file file(sandbox.module, sandbox.profile);
    ASSERT_TRUE(file.load(false));
    ASSERT_GE(file.tags.size(), 5u);
    for (const auto& entry : file.tags) {
        EXPECT_FALSE(entry.name.empty());
        EXPECT_TRUE(entry.order.has_value()) << platform::text::to_utf8(entry.name);
        EXPECT_TRUE(entry.icon_when_tagged.has_value());
    }
    const auto before = file.tags;
    file.save();
    EXPECT_EQ(read_bytes(file.full_path()), shipped);  // the shipped copy is already in saved form
    ASSERT_TRUE(file.load(true));
    EXPECT_EQ(file.tags, before);
}

TEST(json_text, deep_nesting_and_trailing_bytes) {
    rapidjson::Document document;
    common::setting_utilities::parse_json(std::string(200000, '[') + std::string(200000, ']'), document);
    EXPECT_TRUE(document.IsArray());  // no stack exhaustion on deep input
    common::setting_utilities::parse_json(std::string(200000, '{'), document);
    EXPECT_TRUE(document.IsNull());
    common::setting_utilities::parse_json("{} {}", document);
    EXPECT_TRUE(document.IsNull());
}

TEST(json_text, decimal_follows_the_atoi_rule) {
    using common::setting_utilities::parse_decimal;
    EXPECT_EQ(parse_decimal("17"), 17);
    EXPECT_EQ(parse_decimal(" \t-3"), -3);
    EXPECT_EQ(parse_decimal("+8x9"), 8);
    EXPECT_EQ(parse_decimal("x9"), 0);
    EXPECT_EQ(parse_decimal("-"), 0);
    EXPECT_EQ(parse_decimal(""), 0);
    EXPECT_EQ(parse_decimal("- 5"), 0);
    EXPECT_EQ(parse_decimal("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(parse_decimal("-99999999999999999999"), -2147483647 - 1);
    EXPECT_EQ(parse_decimal("2147483648"), 2147483647);
}

}  // namespace
