#include "organizer/undo_journal.h"

#include "organizer/intent_log.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "support/error_text.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

namespace {

namespace org = sortwell::organizer;
namespace fs = platform::file_system;

using qlm::testing::error_of;

TEST(undo_journal, text_is_pretty_crlf_json_in_key_order) {
    const org::journal_record record{
        L"C:\\Photos",
        {L"Images", L"Ünï"},
        {{L"C:\\Photos\\a.jpg", L"Images\\a.jpg"}, {L"C:\\Photos\\b \"q\".txt", L"D:\\b.txt"}}};
    const std::string expected =
        "{\r\n"
        "    \"version\": \"1.0\",\r\n"
        "    \"folder\": \"C:\\\\Photos\",\r\n"
        "    \"created_folders\": [\r\n"
        "        \"Images\",\r\n"
        "        \"\xC3\x9Cn\xC3\xAF\"\r\n"
        "    ],\r\n"
        "    \"moves\": [\r\n"
        "        {\r\n"
        "            \"from\": \"C:\\\\Photos\\\\a.jpg\",\r\n"
        "            \"to\": \"Images\\\\a.jpg\"\r\n"
        "        },\r\n"
        "        {\r\n"
        "            \"from\": \"C:\\\\Photos\\\\b \\\"q\\\".txt\",\r\n"
        "            \"to\": \"D:\\\\b.txt\"\r\n"
        "        }\r\n"
        "    ]\r\n"
        "}";
    EXPECT_EQ(org::journal_text(record), expected);
    EXPECT_EQ(org::parse_journal(expected), record);
    EXPECT_EQ(org::journal_text({L"x", {}, {}}),
              "{\r\n    \"version\": \"1.0\",\r\n    \"folder\": \"x\",\r\n    \"created_folders\": [],\r\n"
              "    \"moves\": []\r\n}");
}

TEST(undo_journal, reading_skips_what_is_not_a_move) {
    const auto record = org::parse_journal(
        R"({"folder": 5, "created_folders": ["A", 1, null, "B"],
            "moves": [{"from": "f", "to": "t"}, {"from": "f"}, [1], {"from": 1, "to": "t"}, {"to": "u", "from": "g"}]})");
    EXPECT_EQ(record.folder, L"");
    EXPECT_EQ(record.created_folders, (std::vector<std::wstring>{L"A", L"B"}));
    EXPECT_EQ(record.moves, (std::vector<org::journal_move>{{L"f", L"t"}, {L"g", L"u"}}));
    for (const char* bad : {"", "[1]", "{", "\"x\"", "{\"a\":1} x"}) {
        EXPECT_EQ(error_of([&] { org::parse_journal(bad); }), "Undo journal is not valid JSON") << bad;
    }
}

TEST(undo_journal, file_is_hidden_after_every_write) {
    qlm::testing::temp_folder folder;
    const std::wstring path = org::journal_path(folder.path());
    EXPECT_EQ(path, folder / L"sw_organize_undo.json");
    EXPECT_EQ(error_of([&] { org::read_journal(path); }), "Failed to open undo journal");
    const org::journal_record first{folder.path(), {L"Other"}, {{L"a", L"b"}}};
    org::write_journal(first, path);
    EXPECT_NE(fs::get_attributes(path) & fs::attribute_hidden, 0u);
    const org::journal_record second{folder.path(), {}, {{L"c", L"d"}}};
    org::write_journal(second, path);  // a hidden journal is rewritten, not refused
    EXPECT_NE(fs::get_attributes(path) & fs::attribute_hidden, 0u);
    EXPECT_EQ(org::read_journal(path), second);
    EXPECT_EQ(error_of([&] { org::write_journal(second, folder / L"missing/x.json"); }),
              "Failed to write undo journal");
}

TEST(intent_log, parse_stops_at_a_torn_line) {
    const auto entries = org::parse_intent_log(
        "{\"folder\":\"/p\"}\n{\"created\":\"A\"}\n{\"from\":\"/p/a\",\"to\":\"/p/A/a\"}\n"
        "{\"from\":\"/p/b\",\"to\":\"/p/A/b\",\"done\":true}\n{\"from\":\"/p/c\",\"to");
    EXPECT_TRUE(entries.found);
    EXPECT_FALSE(entries.undo);
    EXPECT_EQ(entries.folder, L"/p");
    EXPECT_EQ(entries.created_folders, std::vector<std::wstring>{L"A"});
    ASSERT_EQ(entries.moves.size(), 2u);
    EXPECT_FALSE(entries.moves[0].done);
    EXPECT_TRUE(entries.moves[1].done);
    const auto undo =
        org::parse_intent_log("{\"folder\":\"/p\",\"undo\":true}\n{\"undone\":3,\"from\":\"x\",\"to\":\"y\"}\n");
    EXPECT_TRUE(undo.undo);
    ASSERT_EQ(undo.moves.size(), 1u);
    EXPECT_EQ(undo.moves[0].undone, 3);
    for (const char* junk : {"", "garbage\n", "{\"created\":\"A\"}\n", "{\"folder\":1}\n", "\n\n"}) {
        EXPECT_FALSE(org::parse_intent_log(junk).found) << junk;
    }
}

}  // namespace
