// The file name, folder, line prefix and a log that cannot be opened are
// checked end to end (tests/cli/test_command_line.py, class Log).

#include "logging/log.h"

#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

TEST(logging, level_names_and_utf8_lines_appended_to_the_first_file_opened) {
    EXPECT_EQ(qlm::logging::level_name(0), L"DEBUG");
    EXPECT_EQ(qlm::logging::level_name(5), L"UNKNOWN");
    EXPECT_EQ(qlm::logging::level_name(-1), L"UNKNOWN");

    qlm::testing::temp_folder folder;
    const std::wstring path = folder.write(L"test.log", "earlier line\n");
    qlm::logging::plain_text_logger logger;
    logger.open(path);
    ASSERT_TRUE(logger.opened());
    logger.open(folder / L"other.log");  // a second open keeps the first file
    logger.write_line(qlm::logging::line_prefix(2) + L"caf\u00e9 \u20ac");
    const std::string content = qlm::testing::read_bytes(path);
    const std::regex line(R"(earlier line\n\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{7}\] \[P:\d+ T:\d+\] \[WARNING\] caf\xC3\xA9 \xE2\x82\xAC\n)");
    EXPECT_TRUE(std::regex_match(content, line)) << content;
}

}  // namespace
