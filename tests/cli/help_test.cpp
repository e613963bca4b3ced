#include "cli/help.h"

#include <gtest/gtest.h>
#include <rapidjson/document.h>

namespace {

TEST(help, usage_lines_show_required_optional_and_repeatable_options) {
    const auto* add = qlm::catalog::find_command(L"tag", L"add");
    const auto* set = qlm::catalog::find_command(L"comment", L"set");
    const auto* list = qlm::catalog::find_command(L"tag", L"list");
    ASSERT_TRUE(add && set && list);
    EXPECT_EQ(qlm::usage_line(*add), L"qlm tag add --tag <name>... <path>...");
    EXPECT_EQ(qlm::usage_line(*set), L"qlm comment set [--text <text>] [--text-file <path>] <path>...");
    EXPECT_EQ(qlm::usage_line(*list), L"qlm tag list");
}

// A topic keeps the full help's frame (header, options for every command,
// closing line) around its own commands; the option texts are the catalog's.
TEST(help, a_topic_shows_its_commands_inside_the_full_frame) {
    const std::wstring full = qlm::help_text(L"");
    const std::wstring topic = qlm::help_text(L"rate");
    const std::size_t commands = topic.find(L"Commands:\n");
    const std::size_t options = topic.find(L"\nOptions for every command:\n");
    ASSERT_NE(options, std::wstring::npos);
    EXPECT_EQ(topic.substr(0, commands),
              L"qlm 1.0.14.0 - Quillmark from the command line\n\n"
              L"Usage: qlm <command> [options] [paths...]\n\n");
    EXPECT_TRUE(full.starts_with(topic.substr(0, commands)));
    EXPECT_TRUE(full.ends_with(topic.substr(options)));
    EXPECT_EQ(topic.substr(commands, options - commands),
              L"Commands:\n"
              L"  qlm rate get <path>...\n"
              L"      Show the star rating (0-5) of files and folders.\n"
              L"      e.g. qlm rate get photo.jpg\n"
              L"  qlm rate set --stars <0-5> <path>...\n"
              L"      Set the star rating.\n"
              L"      --stars  Star rating. 0 removes the rating.\n"
              L"      e.g. qlm rate set --stars 4 photo.jpg\n"
              L"  qlm rate clear <path>...\n"
              L"      Remove the rating.\n"
              L"      e.g. qlm rate clear photo.jpg\n");
    EXPECT_TRUE(topic.ends_with(L"Exit codes: 0 done, 1 some targets failed, 2 usage, 3 unavailable.\n"));
}

TEST(help, full_json_describes_every_command_with_its_options) {
    rapidjson::Document doc;
    doc.Parse(qlm::help_json(L"").c_str());
    ASSERT_FALSE(doc.HasParseError());
    const auto& commands = doc["commands"];
    ASSERT_EQ(commands.Size(), 14u);
    EXPECT_STREQ(commands[3]["name"].GetString(), "tag add");
    EXPECT_TRUE(commands[3]["writes"].GetBool());
    EXPECT_TRUE(commands[3]["options"][0]["repeatable"].GetBool());
    EXPECT_STREQ(commands[11]["example"].GetString(), "qlm comment set --text \"Reviewed\" notes.pdf");
    EXPECT_STREQ(commands[11]["options"][1]["value"].GetString(), "<path>");
    EXPECT_FALSE(commands[11]["options"][1]["required"].GetBool());
    EXPECT_STREQ(commands[13]["usage"].GetString(), "qlm help");
}

}  // namespace
