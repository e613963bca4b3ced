#include "settings/high_level_settings.h"

#include "common/exceptions.h"
#include "platform/text.h"
#include "settings/settings_test_support.h"
#include "settings/suite_settings_keys.h"
#include "support/error_text.h"
#include "support/log_capture.h"

#include <gtest/gtest.h>

namespace {

namespace hls = high_level_settings;
using hls::setting_value;
using qlm::testing::settings_sandbox;

// A sandbox whose user file holds the given text.
struct suite_file {
    settings_sandbox sandbox;
    hls::settings_file file{sandbox.module, sandbox.profile};

    explicit suite_file(const std::string& text) {
        if (!text.empty()) sandbox.write_user_file(L"High Level Settings.json", text);
    }
    void rewrite(const std::string& text) {
        const std::wstring path = sandbox.write_user_file(L"High Level Settings.json", text);
        settings_sandbox::set_new_write_time(path);
    }
};

TEST(high_level_settings, settings_are_typed_and_nested_objects_flattened_one_level) {
    suite_file suite(R"({"version":"3.1","apps":[{"app_id":"sortwell","name":"Sortwell \u00e9","version":"2",
        "status":"enabled","settings":{
          "flag": true, "off": false, "text": "caf\u00e9", "count": -12, "list": ["a", 1, "b", null],
          "general": {"showTagsAsIconOverlay": false, "deeper": {"x": 1}, "ratio": 0.5},
          "general.showRatingAsIconOverlay": false,
          "empty": {}, "nothing": null, "fraction": 2.5, "big": 3000000000,
          "dup": 1, "dup": "second",
          "later": {"key": "nested"}, "later.key": "flat"}}]})");
    ASSERT_TRUE(suite.file.load(false));
    EXPECT_EQ(suite.file.version(), L"3.1");
    const auto app = suite.file.find_app("sortwell");
    ASSERT_TRUE(app);
    EXPECT_EQ(app->name, L"Sortwell \u00e9");
    EXPECT_EQ(app->version, L"2");
    EXPECT_EQ(app->status, "enabled");

    std::map<std::string, setting_value, std::less<>> expected{
        {"flag", true},
        {"off", false},
        {"text", std::string("caf\xC3\xA9")},
        {"count", std::int32_t{-12}},
        {"list", std::vector<std::string>{"a", "b"}},
        {"general.showTagsAsIconOverlay", false},
        {"general.showRatingAsIconOverlay", false},
        {"dup", std::string("second")},
        {"later.key", std::string("flat")},
    };
    EXPECT_EQ(app->settings, expected);

    // Both spellings reach the same key; the getters see the typed values.
    EXPECT_FALSE(hls::show_tags_overlay(suite.file));
    EXPECT_FALSE(hls::show_rating_overlay(suite.file));
    EXPECT_EQ(suite.file.get_string("sortwell", "text", L"x"), L"caf\u00e9");
    EXPECT_EQ(suite.file.get_string_list("sortwell", "list", {}), (std::vector<std::wstring>{L"a", L"b"}));
}

TEST(high_level_settings, a_value_of_another_type_counts_as_missing) {
    suite_file suite(R"({"apps":[{"app_id":"insightor","settings":{
        "people_recognition.enabled": "true", "people_recognition.write_people_tags": 0,
        "general.tags.text_domain": "Finance"}},
        {"app_id":"sortwell","settings":{"general.showTagsAsIconOverlay": "no",
         "general.ratingOverlayIcon": ["a"], "organize.excludedNames": "x"}}]})");
    ASSERT_TRUE(suite.file.load(false));
    EXPECT_FALSE(suite.file.get_bool(hls::insightor_app_id, hls::people_recognition_enabled_key,
                                     hls::people_recognition_enabled_default));
    EXPECT_TRUE(hls::write_people_tags(suite.file));
    EXPECT_TRUE(hls::show_tags_overlay(suite.file));
    EXPECT_EQ(suite.file.get_string(hls::sortwell_app_id, hls::rating_overlay_icon_key, hls::rating_overlay_icon_default),
              L"\\Content\\Icons\\rating_star.ico");
    EXPECT_TRUE(hls::get_excluded_names(suite.file).empty());
    EXPECT_EQ(suite.file.get_string("nobody", "k", L"d"), L"d");
    EXPECT_EQ(suite.file.get_string_list("sortwell", "missing", {L"x"}), std::vector<std::wstring>{L"x"});
    EXPECT_FALSE(suite.file.get_value("sortwell", "missing"));
}

TEST(high_level_settings, first_app_block_wins_and_nameless_blocks_are_skipped) {
    suite_file suite(R"({"apps":[
        {"settings":{"k":true}}, "text", {"app_id": 5}, {"app_id": ""},
        {"app_id":"labelry","status":"disabled","settings":{"k":"first"}},
        {"app_id":"labelry","settings":{"k":"second"}}]})");
    ASSERT_TRUE(suite.file.load(false));
    EXPECT_EQ(suite.file.get_string("labelry", "k", L""), L"first");
    EXPECT_EQ(suite.file.find_app("labelry")->status, "disabled");
    EXPECT_FALSE(suite.file.find_app(""));
}

TEST(high_level_settings, unreadable_file_keeps_the_previous_values) {
    suite_file suite(R"({"version":"1","apps":[{"app_id":"sortwell","settings":{"a":1}}]})");
    ASSERT_TRUE(suite.file.load(false));
    for (const char* bad : {"", "garbage", "[]", "{\"apps\":{}}", "{\"version\":2}",
                                  "\xEF\xBB\xBF{\"apps\":[]}"}) {
        suite.rewrite(bad);
        EXPECT_TRUE(suite.file.load(false)) << bad;
        EXPECT_EQ(suite.file.version(), L"1") << bad;
        EXPECT_EQ(suite.file.get_value("sortwell", "a"), setting_value(std::int32_t{1})) << bad;
    }
    // An "apps" array replaces the map as a whole, even an empty one.
    suite.rewrite(R"({"apps":[]})");
    ASSERT_TRUE(suite.file.load(false));
    EXPECT_FALSE(suite.file.get_value("sortwell", "a"));
    EXPECT_FALSE(suite.file.save());
}

// A batch run looks at the file once; a change lands at the next load after it.
TEST(high_level_settings, a_read_phase_keeps_what_was_loaded_and_a_missing_file_is_still_seeded) {
    suite_file suite(R"({"version":"1","apps":[{"app_id":"sortwell","settings":{"a":1}}]})");
    {
        const common::setting_utilities::read_phase phase;
        ASSERT_TRUE(suite.file.load(false));
        suite.rewrite(R"({"version":"1","apps":[{"app_id":"sortwell","settings":{"a":2}}]})");
        ASSERT_TRUE(suite.file.load(false));
        EXPECT_EQ(suite.file.get_value("sortwell", "a"), setting_value(std::int32_t{1}));
        ASSERT_TRUE(suite.file.load(true));
        EXPECT_EQ(suite.file.get_value("sortwell", "a"), setting_value(std::int32_t{2}));
    }
    suite.rewrite(R"({"version":"1","apps":[{"app_id":"sortwell","settings":{"a":3}}]})");
    ASSERT_TRUE(suite.file.load(false));
    EXPECT_EQ(suite.file.get_value("sortwell", "a"), setting_value(std::int32_t{3}));

    // Nothing was loaded yet: the phase does not stand in for the first load.
    suite_file missing("");
    const common::setting_utilities::read_phase phase;
    const qlm::testing::log_capture log;
    EXPECT_FALSE(missing.file.load(false));
    EXPECT_FALSE(missing.file.load(false));
}

TEST(high_level_settings, missing_file_leaves_defaults_and_sortwell_disabled_is_still_on) {
    suite_file missing("");
    const qlm::testing::log_capture log;
    EXPECT_FALSE(missing.file.is_sortwell_enabled());
    const auto messages = log.messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].rfind("CRITICAL Unable to copy settings file. Details ", 0), 0u);
    EXPECT_EQ(messages[1], "ERROR Failed to load from high level settings file " +
                               platform::text::to_utf8(missing.file.full_path()));
    EXPECT_TRUE(hls::show_tags_overlay(missing.file));
    EXPECT_TRUE(hls::show_rating_overlay(missing.file));
    EXPECT_TRUE(hls::write_people_tags(missing.file));
    EXPECT_EQ(hls::get_organize_categories(missing.file), hls::default_organize_categories());

    suite_file disabled(R"({"apps":[{"app_id":"sortwell","status":"disabled"}]})");
    EXPECT_TRUE(disabled.file.is_sortwell_enabled());
    suite_file absent(R"({"apps":[{"app_id":"insightor","status":"disabled"}]})");
    EXPECT_TRUE(absent.file.is_sortwell_enabled());
}

std::string auto_tag_error(hls::settings_file& file) {
    return qlm::testing::error_of([&] { hls::get_auto_tags(file); });
}

TEST(high_level_settings, auto_tags_come_in_group_order_and_name_what_is_missing) {
    suite_file suite(R"({"apps":[{"app_id":"insightor","settings":{"general":{"tags":{"x":1}},
        "general.tags.text_domain":["Finance","Work"],"general.tags.text_purpose":[],
        "general.tags.text_specific":["Tax","Work"]}}]})");
    EXPECT_EQ(hls::get_auto_tags(suite.file), (std::vector<std::wstring>{L"Finance", L"Work", L"Tax", L"Work"}));

    suite.rewrite(R"({"apps":[{"app_id":"insightor","settings":{"general.tags.text_domain":"Finance",
        "general.tags.text_purpose":["Invoice"],"general.tags.text_specific":{"a":["b"]}}}]})");
    // The domain key holds the wrong type (adds nothing); the nested object
    // flattens to another key, so the specific group is missing.
    const std::string path = platform::text::to_utf8(suite.file.full_path());
    EXPECT_EQ(auto_tag_error(suite.file),
              "Insightor text_specific tag 'general.tags.text_specific' settings not found in " + path);

    suite.rewrite(R"({"apps":[{"app_id":"insightor","settings":{"general.tags.text_domain":[]}}]})");
    EXPECT_EQ(auto_tag_error(suite.file),
              "Insightor text_purpose tag 'general.tags.text_purpose' settings not found in " + path);
    suite.rewrite(R"({"apps":[{"app_id":"insightor"}]})");
    EXPECT_EQ(auto_tag_error(suite.file),
              "Insightor text_domain tag 'general.tags.text_domain' settings not found in " + path);
    suite.rewrite(R"({"apps":[{"app_id":"sortwell"}]})");
    EXPECT_EQ(auto_tag_error(suite.file), "Insightor settings not found");

    suite_file missing("");
    EXPECT_EQ(auto_tag_error(missing.file), "Unable to get list of auto tags");
    EXPECT_THROW(hls::get_auto_tags(suite.file), std::runtime_error);
    suite.rewrite(R"({"apps":[{"app_id":"insightor"}]})");
    EXPECT_THROW(hls::get_auto_tags(suite.file), exceptions::formatted_runtime_error);
}

TEST(high_level_settings, organize_categories_from_the_literal_key_or_the_defaults) {
    const auto& defaults = hls::default_organize_categories();
    ASSERT_EQ(defaults.size(), 6u);
    EXPECT_EQ(hls::music_extensions(), defaults[3].extensions);

    suite_file suite(R"({"apps":[{"app_id":"sortwell","settings":{"organize.categories":[
        {"name":"Raw","enabled":false,"extensions":["cr2",3,"nef"]},
        {"name":"Slides","enabled":"no"}, {"extensions":["x"]}, "loose", {"name":""}]}},
        {"app_id":"sortwell","settings":{"organize.categories":[{"name":"Ignored"}]}}]})");
    const std::vector<hls::organize_category> expected{{L"Raw", {L"cr2", L"nef"}, false}, {L"Slides", {}, true}};
    EXPECT_EQ(hls::get_organize_categories(suite.file), expected);

    for (const char* text : {
             R"({"apps":[{"app_id":"sortwell","settings":{"organize.categories":[{"enabled":true},{"name":5}]}}]})",
             R"({"apps":[{"app_id":"sortwell","settings":{"organize":{"categories":[{"name":"Nested"}]}}}]})",
             R"({"apps":[{"app_id":"sortwell","settings":{"organize.categories":{"name":"Obj"}}}]})",
             R"({"apps":[{"app_id":"insightor","settings":{"organize.categories":[{"name":"Other"}]}}]})",
             R"({"apps":{}})", "not json"}) {
        suite.rewrite(text);
        EXPECT_EQ(hls::get_organize_categories(suite.file), defaults) << text;
    }
}

TEST(high_level_settings, shipped_default_copy_answers_every_key) {
    const std::string shipped = qlm::testing::read_bytes(platform::text::from_utf8(QLM_CONTENT_DIR) +
                                                         qlm::testing::native_path(L"/Configurations/High Level Settings.json"));
    ASSERT_FALSE(shipped.empty());
    settings_sandbox sandbox;
    sandbox.write_default(L"High Level Settings.json", shipped);
    hls::settings_file file(sandbox.module, sandbox.profile);
    ASSERT_TRUE(file.is_sortwell_enabled());
    EXPECT_TRUE(hls::show_tags_overlay(file));
    EXPECT_TRUE(hls::show_rating_overlay(file));
    EXPECT_TRUE(hls::write_people_tags(file));
    EXPECT_FALSE(file.get_bool(hls::insightor_app_id, hls::people_recognition_enabled_key, true));
    EXPECT_FALSE(file.get_bool(hls::insightor_app_id, hls::people_recognition_consent_key, true));
    EXPECT_TRUE(file.get_bool(hls::sortwell_app_id, hls::rounded_thumbnail_corners_key, false));
    EXPECT_EQ(file.get_string(hls::sortwell_app_id, hls::rating_overlay_icon_key, L""), hls::rating_overlay_icon_default);
    EXPECT_EQ(file.get_string(hls::sortwell_app_id, hls::photo_placement_pattern_key, L""),
              hls::photo_placement_pattern_default);
    EXPECT_EQ(file.get_string(hls::sortwell_app_id, hls::photo_naming_pattern_key, L""), hls::photo_naming_pattern_default);
    EXPECT_EQ(file.get_string(hls::sortwell_app_id, hls::music_placement_pattern_key, L""),
              hls::music_placement_pattern_default);
    EXPECT_EQ(file.get_string(hls::sortwell_app_id, hls::music_naming_pattern_key, L""), hls::music_naming_pattern_default);
    EXPECT_GE(hls::get_auto_tags(file).size(), 12u);
    EXPECT_EQ(hls::get_organize_categories(file), hls::default_organize_categories());
    EXPECT_FALSE(hls::get_excluded_names(file).empty());
}

}  // namespace
