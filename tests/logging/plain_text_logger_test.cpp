#include "logging/log.h"

#include "platform/file_system.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

TEST(logging, file_names_levels_and_folder) {
    EXPECT_EQ(qlm::logging::log_file_name(2026, 12, 4), L"Command Line 2026-12-04.log");
    EXPECT_EQ(qlm::logging::level_name(0), L"DEBUG");
    EXPECT_EQ(qlm::logging::level_name(4), L"CRITICAL");
    EXPECT_EQ(qlm::logging::level_name(5), L"UNKNOWN");
    EXPECT_EQ(qlm::logging::level_name(-1), L"UNKNOWN");
    const std::wstring sep(1, platform::file_system::separator);
    EXPECT_TRUE(qlm::logging::log_folder().ends_with(sep + L"Verandel" + sep + L"Quillmark" + sep + L"Sortwell" + sep +
                                                     L"Command Line" + sep + L"Logs"));
}

TEST(logging, lines_are_prefixed_utf8_and_appended) {
    qlm::testing::temp_folder folder;
    const std::wstring path = folder / L"test.log";
    folder.write(L"test.log", "earlier line\n");
    qlm::logging::plain_text_logger logger;
    logger.open(path);
    ASSERT_TRUE(logger.opened());
    logger.open(folder / L"other.log");  // a second open keeps the first file
    logger.write_line(qlm::logging::line_prefix(2) + L"caf\u00e9 \u20ac");
    const std::string content = qlm::testing::read_bytes(path);
    const std::regex line(R"(earlier line\n\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{7}\] \[P:\d+ T:\d+\] \[WARNING\] caf\xC3\xA9 \xE2\x82\xAC\n)");
    EXPECT_TRUE(std::regex_match(content, line)) << content;
}

TEST(logging, a_logger_that_cannot_open_drops_writes) {
    qlm::testing::temp_folder folder;
    qlm::logging::plain_text_logger logger;
    logger.open(folder / L"no/such/folder.log");
    EXPECT_FALSE(logger.opened());
    logger.write_line(L"dropped");  // must not throw or crash
}

}  // namespace
