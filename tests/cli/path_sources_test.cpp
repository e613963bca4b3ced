#include "cli/path_sources.h"

#include "support/temp_folder.h"

#include <gtest/gtest.h>

namespace {

using qlm::split_path_lines;

TEST(path_sources, path_lines_are_trimmed_unquoted_once_and_blank_ones_dropped) {
    EXPECT_EQ(split_path_lines(L"a.txt\r\n\r\n  \t b c.txt \t\r\n\"  spaced  \"\n\"\"\n\"x\n\"\"q\"\"\nlast"),
              (std::vector<std::wstring>{L"a.txt", L"b c.txt", L"  spaced  ", L"\"x", L"\"q\"", L"last"}));
    EXPECT_TRUE(split_path_lines(L"").empty());
    EXPECT_TRUE(split_path_lines(L"\n\r\n \n").empty());
}

TEST(path_sources, utf8_decoding_drops_the_bom_and_ends_at_a_zero_byte) {
    EXPECT_EQ(qlm::decode_utf8_text("\xEF\xBB\xBF" "caf\xC3\xA9"), L"caf\u00e9");
    EXPECT_EQ(qlm::decode_utf8_text("\xEF\xBB"), L"\uFFFD");  // too short to be a byte-order mark
    EXPECT_EQ(qlm::decode_utf8_text(std::string("one\ntwo\0three", 13)), L"one\ntwo");
    EXPECT_EQ(qlm::decode_utf8_text("bad \xFF byte"), L"bad \uFFFD byte");
}

TEST(path_sources, collect_appends_the_path_list_after_the_command_line) {
    qlm::testing::temp_folder folder;
    const std::wstring list = folder.write(L"list.txt", "\xEF\xBB\xBF" "one\r\n  \"two words\"  \r\n\r\nthree");
    qlm::parsed_arguments parsed;
    parsed.paths = {L" typed as is "};
    parsed.from_file = list;
    std::vector<std::wstring> paths;
    std::wstring message;
    ASSERT_TRUE(qlm::collect_path_arguments(parsed, paths, message));
    EXPECT_EQ(paths, (std::vector<std::wstring>{L" typed as is ", L"one", L"two words", L"three"}));

    parsed.from_file = folder / L"missing.txt";
    EXPECT_FALSE(qlm::collect_path_arguments(parsed, paths, message));
    EXPECT_EQ(message, L"Could not read the path list '" + folder / L"missing.txt" + L"'.");
}

}  // namespace
