#include "cli/path_sources.h"

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

// A path list after the command line's paths, and a list that cannot be
// read, are checked end to end (tests/cli/test_read_path.py,
// test_command_line.py) and against qlm.exe under Wine.

}  // namespace
