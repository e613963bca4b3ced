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

TEST(help, text_for_one_topic_is_exact) {
    EXPECT_EQ(qlm::help_text(L"rate"),
              L"qlm 1.0.14.0 - Quillmark from the command line\n"
              L"\n"
              L"Usage: qlm <command> [options] [paths...]\n"
              L"\n"
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
              L"      e.g. qlm rate clear photo.jpg\n"
              L"\n"
              L"Options for every command:\n"
              L"  --json  Print one JSON object instead of text.\n"
              L"  --dry-run  Report what would change without writing anything.\n"
              L"  --recursive  Also take everything inside the folders given, depth-first; hidden entries and linked "
              L"folders are left out. -r is short for --recursive.\n"
              L"  --from-file <path>  Also take paths from a UTF-8 file, one per line.\n"
              L"  -  Also take paths from standard input, one per line.\n"
              L"  --null  Path lists (--from-file, -) are separated by NUL characters, as find -print0 writes them. -0 "
              L"is short for --null.\n"
              L"  --quiet  Print only failures and the summary. -q is short for --quiet.\n"
              L"  --help  Show help for the command.\n"
              L"  --version  Print the version.\n"
              L"\n"
              L"Paths may use * and ? in the last part. Exit codes: 0 done, 1 some targets failed, 2 usage, 3 "
              L"unavailable.\n");
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
