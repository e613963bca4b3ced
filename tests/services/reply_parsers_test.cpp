// The pure half of the service clients: reply parsing, the auto-tag merge,
// Base64, and the people merge with its edge cases.

#include "services/autotag_service.h"
#include "services/base64.h"
#include "services/people_merge.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace sortwell::services;
using outcome = auto_tag_reply::outcome;

TEST(auto_tag_reply, every_shape_of_reply_ends_as_its_outcome) {
    struct row {
        std::string reply;
        outcome result;
        std::string message;
        std::vector<std::wstring> tags;
    };
    const std::vector<row> rows = {
        {R"({"status":"ok","tags":["Beach","Sunset"]})", outcome::tags, "", {L"Beach", L"Sunset"}},
        {"{\"tags\":[\"Str\xC3\xB6m\",3,null,\"x\"]}\n", outcome::tags, "", {L"Str\u00F6m", L"x"}},
        {R"({"status":"ok","error":"disk on fire","tags":["a"]})", outcome::failed, "disk on fire", {}},
        {R"({"status":"error","error":"ollama_unavailable"})",
         outcome::backend_unavailable,
         "auto-tagger reported status: error: ollama_unavailable",
         {}},
        {R"({"error":"ollama_unavailable"})", outcome::backend_unavailable, "ollama_unavailable", {}},
        {R"({"status":"busy"})", outcome::failed, "auto-tagger reported status: busy", {}},
        {R"({"status":"unsupported_file_type"})",
         outcome::unsupported_type,
         "auto-tagger reported status: unsupported_file_type",
         {}},
        {R"({"status":7,"tags":["a"]})", outcome::tags, "", {L"a"}},
        {R"({"status":"ok","tags":"Beach"})", outcome::tags, "", {}},
        // Not one object: nothing to add, and the caller strips its auto tags.
        {"[\"Beach\"]", outcome::tags, "", {}},
        {R"({"status":"ok","tags":["a"]} trailing)", outcome::tags, "", {}},
        {R"({"status":"ok","tags":["a","b)", outcome::tags, "", {}},
        // The reply is a C string: a zero byte ends it.
        {std::string("{\"tags\":[\"a\"]}\0garbage", 22), outcome::tags, "", {L"a"}},
        {std::string("{\"tags\":[\"a\0\"]}", 15), outcome::tags, "", {}},
    };
    for (const auto& each : rows) {
        const auto_tag_reply reply = parse_auto_tag_reply(each.reply);
        EXPECT_EQ(reply.result, each.result) << each.reply;
        EXPECT_EQ(reply.message, each.message) << each.reply;
        EXPECT_EQ(reply.tags, each.tags) << each.reply;
    }
    const auto unsupported = parse_auto_tag_reply(
        R"({"status":"error","error":"unsupported_file_type: .txt","supported_types":"JPEG, PNG"})");
    EXPECT_EQ(unsupported.result, outcome::unsupported_type);
    EXPECT_EQ(unsupported.error, L"unsupported_file_type: .txt");
    EXPECT_EQ(unsupported.supported_types, L"JPEG, PNG");
}

TEST(auto_tag_merge, removes_the_first_match_of_each_auto_tag_and_appends_the_new_ones) {
    // The family photo: Beach was an auto tag, Family the user's own.
    EXPECT_EQ(merge_auto_tags({L"Family", L"Beach"}, {L"Travel", L"Beach"}, {L"Beach", L"Sunset"}),
              (std::vector<std::wstring>{L"Family", L"Beach", L"Sunset"}));
    EXPECT_EQ(merge_auto_tags({L"Beach", L"beach", L"Beach"}, {L"Beach"}, {}),
              (std::vector<std::wstring>{L"beach", L"Beach"}));
}

TEST(base64, round_trips_and_refuses_what_is_not_padded_base64) {
    const std::vector<std::pair<std::string, std::string>> known = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foob", "Zm9vYg=="},
        {"/home/Str\xC3\xB6m.jpg", "L2hvbWUvU3Ryw7ZtLmpwZw=="},
        {"\xFF\xFE\xFB", "//77"}};
    for (const auto& [bytes, text] : known) {
        EXPECT_EQ(base64_encode(bytes), text);
        EXPECT_EQ(base64_decode(text), bytes);
    }
    for (const char* bad : {"Zg", "Zg=", "Z===", "Zm9v!A==", "Zg==Zg==", "=Zg="}) {
        EXPECT_FALSE(base64_decode(bad).has_value()) << bad;
    }
}

people_region named(const wchar_t* name, double x, double y, double w, double h) { return {name, x, y, w, h}; }

TEST(people_merge, overlap_and_merge_follow_the_documented_rule) {
    EXPECT_DOUBLE_EQ(overlap(named(L"", 0, 0, 2, 2), named(L"", 1, 0, 2, 2)), 2.0 / 6.0);
    EXPECT_DOUBLE_EQ(overlap(named(L"", 0, 0, 0, 2), named(L"", 0, 0, 0, 2)), 0.0);
    EXPECT_DOUBLE_EQ(overlap(named(L"", 0, 0, 1, 1), named(L"", 5, 5, 1, 1)), 0.0);

    const people_region face_a = named(L"", 0.1, 0.1, 0.2, 0.2);
    const people_region face_b = named(L"", 0.6, 0.6, 0.2, 0.2);

    // A stale named region is dropped even when nobody else was recognised there.
    auto result = merge_people_regions({named(L"Anna", 0.4, 0.1, 0.1, 0.1), named(L"", 0.1, 0.1, 0.2, 0.2)},
                                       {named(L"Ben", 0.6, 0.6, 0.2, 0.2)}, {face_a, face_b});
    ASSERT_EQ(result.dropped.size(), 1U);
    EXPECT_EQ(result.dropped[0].name, L"Anna");
    ASSERT_EQ(result.merged.size(), 1U);
    EXPECT_EQ(result.merged[0].name, L"Ben");

    // A rectangle-less region takes the name and rectangle of its match, ignoring case.
    result = merge_people_regions({named(L"anna", 0, 0, 0, 0)}, {named(L"Anna", 0.1, 0.1, 0.2, 0.2)}, {face_a});
    ASSERT_EQ(result.merged.size(), 1U);
    EXPECT_EQ(result.merged[0].name, L"Anna");
    EXPECT_DOUBLE_EQ(result.merged[0].w, 0.2);

    // Two identified regions on one existing region: renamed twice, never duplicated.
    result = merge_people_regions({named(L"Old", 0.1, 0.1, 0.2, 0.2)},
                                  {named(L"Anna", 0.1, 0.1, 0.2, 0.2), named(L"Ben", 0.11, 0.1, 0.2, 0.2)}, {face_a});
    ASSERT_EQ(result.merged.size(), 1U);
    EXPECT_EQ(result.merged[0].name, L"Ben");

    // Equal overlaps: the later region wins.
    result = merge_people_regions({named(L"P", 0.1, 0.1, 0.2, 0.2), named(L"Q", 0.1, 0.1, 0.2, 0.2)},
                                  {named(L"Anna", 0.1, 0.1, 0.2, 0.2)}, {face_a});
    ASSERT_EQ(result.merged.size(), 2U);
    EXPECT_EQ(result.merged[0].name, L"P");
    EXPECT_EQ(result.merged[1].name, L"Anna");

    // No match at all: appended after the kept regions.
    result = merge_people_regions({named(L"Zoe", 0, 0, 0, 0)}, {named(L"Anna", 0.6, 0.6, 0.2, 0.2)}, {face_b});
    ASSERT_EQ(result.merged.size(), 2U);
    EXPECT_EQ(result.merged[1].name, L"Anna");
}

TEST(face_replies, parse_objects_only_and_read_each_field_with_its_default) {
    const face_reply ok = parse_face_reply(
        "{\"status\":\"ok\",\"faces\":3,\"regions\":[{\"name\":\"Anna\",\"x\":1,\"y\":0.5,\"w\":\"2\",\"h\":2},"
        "{\"x\":4},7]}\n  \r\n");
    ASSERT_TRUE(ok.object);
    EXPECT_EQ(ok.status, "ok");
    EXPECT_EQ(ok.faces, 3);
    ASSERT_EQ(ok.regions.size(), 2U);
    EXPECT_EQ(ok.regions[0].name, L"Anna");
    EXPECT_DOUBLE_EQ(ok.regions[0].y, 0.5);
    EXPECT_DOUBLE_EQ(ok.regions[0].w, 0.0);
    EXPECT_EQ(ok.regions[1].name, L"");

    for (const char* bad : {"", "\n", "[]", "{\"status\":\"ok\"} {}", "{\"status\":\"ok\"", "null"}) {
        EXPECT_FALSE(parse_face_reply(bad).object) << bad;
        EXPECT_FALSE(parse_revoke_reply(bad).object) << bad;
        EXPECT_FALSE(reply_status_ok(bad)) << bad;
    }
    EXPECT_EQ(parse_face_reply("{\"faces\":2.5}").faces, 0);

    const revoke_reply truthy = parse_revoke_reply(R"({"status":"ok","found":"true"})");
    EXPECT_FALSE(truthy.found);
    EXPECT_EQ(truthy.regions_json, "[]");
    EXPECT_TRUE(parse_revoke_reply(R"({"status":"ok","found":true,"regions_json":"[]"})").found);

    EXPECT_EQ(parse_regions_json("{}").size(), 0U);
    EXPECT_EQ(parse_regions_json("[1,{\"name\":\"\"},{}]").size(), 2U);
    const std::vector<people_region> regions = {named(L"Str\u00F6m", 0.25, 0.5, 0.125, 1), named(L"", 0, 0, 0, 0)};
    const std::string json = regions_to_json(regions);
    EXPECT_EQ(json,
              "[{\"name\":\"Str\xC3\xB6m\",\"x\":0.25,\"y\":0.5,\"w\":0.125,\"h\":1.0},"
              "{\"name\":\"\",\"x\":0.0,\"y\":0.0,\"w\":0.0,\"h\":0.0}]");
    const auto back = parse_regions_json(json);
    ASSERT_EQ(back.size(), 2U);
    EXPECT_EQ(back[0].name, L"Str\u00F6m");
    EXPECT_DOUBLE_EQ(back[0].w, 0.125);
}

}  // namespace
