#include "platform/process_launch.h"

#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

namespace process = platform::process;
using args = std::vector<std::wstring>;

bool on_windows() { return platform::file_system::separator == L'\\'; }

TEST(process_launch, command_lines_split_by_the_windows_rules) {
    const std::pair<std::wstring, args> rows[] = {
        {L"", {}},
        {L"prog", {L"prog"}},
        {L"\"C:\\Program Files\\x.exe\" -a", {L"C:\\Program Files\\x.exe", L"-a"}},
        // The program name takes no escapes and ends at its closing quote.
        {L"\"C:\\dir\\\" next", {L"C:\\dir\\", L"next"}},
        {L"\"a\"b c", {L"a", L"b", L"c"}},
        {L"C:\\a\\b.exe  \t x", {L"C:\\a\\b.exe", L"x"}},
        {L"p -File \"C:\\s p\\x.ps1\" ", {L"p", L"-File", L"C:\\s p\\x.ps1"}},
        {L"p \"\"", {L"p", L""}},
        {L"p \"\" \"\"", {L"p", L"", L""}},
        {L"p a\\\\b", {L"p", L"a\\\\b"}},
        {L"p a\\\\\"b c\"", {L"p", L"a\\b c"}},
        {L"p a\\\\\\\"b", {L"p", L"a\\\"b"}},
        {L"p a\\\"b", {L"p", L"a\"b"}},
        {L"p \"a b\\\\\" c", {L"p", L"a b\\", L"c"}},
        {L"p \"unclosed arg", {L"p", L"unclosed arg"}},
        {L"p x\"y z\"w", {L"p", L"xy zw"}},
        {L"p trailing\\", {L"p", L"trailing\\"}},
        {L"\"unclosed program", {L"unclosed program"}},
    };
    for (const auto& [line, expected] : rows) EXPECT_EQ(process::split_command_line(line), expected) << line.size();
}

TEST(process_launch, cmd_exe_from_the_system_folder_gives_its_exit_code_on_windows_only) {
    const std::wstring line = L"\"" + process::system_folder() + L"\\cmd.exe\" /c exit 3";
    const process::wait_outcome outcome = process::run_and_wait(line, 0);
    if (on_windows()) {
        EXPECT_TRUE(outcome.started);
        EXPECT_EQ(outcome.exit_code, 3u);
    } else {
        EXPECT_EQ(process::system_folder(), L"");
        EXPECT_FALSE(outcome.started);
        EXPECT_EQ(outcome.error, 2u);
        EXPECT_FALSE(process::window_show_values_apply());
        EXPECT_FALSE(process::start_through_shell(L"/bin/true", L""));
        EXPECT_EQ(process::start_elevated(L"/bin/true", L"", 1), 50u);
        const process::wait_outcome elevated = process::run_elevated_and_wait(L"/bin/true", L"", 1);
        EXPECT_FALSE(elevated.started);
        EXPECT_EQ(elevated.error, 50u);
    }
}

}  // namespace
