#include "cli/command_line_parser.h"

#include <gtest/gtest.h>

namespace {

using qlm::parse_command_line;

qlm::parsed_arguments parse(std::vector<std::wstring> words) {
    words.insert(words.begin(), L"qlm.exe");
    return parse_command_line(words);
}

TEST(command_line_parser, positional_words_become_command_subcommand_and_paths) {
    auto p = parse({L"tag", L"--json", L"add", L"-t", L"--weird", L"a.txt", L"--tag=x=y", L"-", L"b.txt"});
    EXPECT_EQ(p.command, L"tag");
    EXPECT_EQ(p.subcommand, L"add");
    EXPECT_EQ(p.paths, (std::vector<std::wstring>{L"a.txt", L"b.txt"}));
    EXPECT_EQ(p.tags, (std::vector<std::wstring>{L"--weird", L"x=y"}));
    EXPECT_TRUE(p.json);
    EXPECT_TRUE(p.read_stdin);
    EXPECT_TRUE(p.error.empty());

    // info and help take no subcommand: the second word is a path (or topic).
    p = parse({L"info", L"x", L"y"});
    EXPECT_EQ(p.subcommand, L"");
    EXPECT_EQ(p.paths, (std::vector<std::wstring>{L"x", L"y"}));
    p = parse({L"help", L"tag"});
    EXPECT_EQ(p.paths, (std::vector<std::wstring>{L"tag"}));
}

TEST(command_line_parser, values_inline_or_separate_and_later_ones_win) {
    auto p = parse({L"rate", L"set", L"--stars", L"2", L"--stars=", L"--text=a=b", L"--text-file", L"-x",
                    L"--from-file=list.txt", L"--dry-run", L"p"});
    ASSERT_TRUE(p.stars.has_value());
    EXPECT_EQ(*p.stars, L"");  // present with an empty value
    EXPECT_EQ(*p.text, L"a=b");
    EXPECT_EQ(*p.text_file, L"-x");
    EXPECT_EQ(*p.from_file, L"list.txt");
    EXPECT_TRUE(p.dry_run);
    EXPECT_FALSE(parse({L"info"}).stars.has_value());
}

TEST(command_line_parser, help_spellings_and_end_of_options) {
    for (const wchar_t* spelling : {L"-h", L"-?", L"/?", L"--help"}) EXPECT_TRUE(parse({spelling}).help) << spelling;
    auto p = parse({L"info", L"--", L"--json", L"-", L"-x"});
    EXPECT_FALSE(p.json);
    EXPECT_TRUE(p.read_stdin);
    EXPECT_EQ(p.paths, (std::vector<std::wstring>{L"--json", L"-x"}));
    // An empty argument is a positional word.
    p = parse({L"info", L""});
    EXPECT_EQ(p.paths, (std::vector<std::wstring>{L""}));
}

TEST(command_line_parser, first_error_stops_tokenizing) {
    EXPECT_EQ(parse({L"tag", L"add", L"-t"}).error, L"-t needs a tag name.");
    EXPECT_EQ(parse({L"rate", L"set", L"--stars"}).error, L"--stars needs a value.");
    EXPECT_EQ(parse({L"--json=1"}).error, L"--json does not take a value.");
    EXPECT_EQ(parse({L"--dry-run="}).error, L"--dry-run does not take a value.");
    EXPECT_EQ(parse({L"--colour=red"}).error, L"Unknown option '--colour=red'.");
    EXPECT_EQ(parse({L"-x"}).error, L"Unknown option '-x'.");
    EXPECT_EQ(parse({L"-tag"}).error, L"Unknown option '-tag'.");
    // That a --json after the error is never seen: tests/cli/test_command_line.py.
}

}  // namespace
