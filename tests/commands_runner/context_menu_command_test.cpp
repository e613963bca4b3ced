// User commands through the worker on both systems: batch files through the
// system's cmd.exe (Windows only), and the entries that fail before anything
// starts.

#include "commands_runner/command_job.h"

#include "platform/file_system.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"
#include "support/test_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using calls_t = std::vector<std::wstring>;
using qlm::testing::run_command_job;

using qlm::testing::on_windows;

TEST(context_menu_command, batch_file_exit_code_is_shown_where_cmd_exists) {
    const qlm::testing::temp_folder folder;
    const std::wstring script = folder.write(L"Fail.BAT", "@echo off\r\nexit /b 3\r\n");
    const std::wstring ok = folder.write(L"ok.cmd", "@echo off\r\nexit /b 0\r\n");
    const qlm::testing::log_capture log;
    const auto result = run_command_job({L"\"" + script + L"\"\x0001", ok + L"\x0001"}, L"nShow=0");
    if (on_windows()) {
        EXPECT_EQ(result.calls, calls_t{});
        EXPECT_EQ(result.dialogs, calls_t{L"The script exited with error code 3.\r\n\r\nScript:\r\n" + script});
    } else {
        // No cmd.exe on Linux: nothing starts and nothing is shown; each entry fails with the reason.
        const std::wstring reason =
            L"batch files need the Windows command processor (cmd.exe), which this system does not have";
        EXPECT_EQ(result.calls,
                  (calls_t{L"error \"" + script + L"\"\x0001 | " + reason, L"error " + ok + L"\x0001 | " + reason}));
        EXPECT_EQ(result.dialogs, calls_t{});
        const std::string not_started = "ERROR run_context_menu_command_action: could not start \\cmd.exe (error 2)";
        const std::string because = " Details: " + platform::text::to_utf8(reason);
        EXPECT_EQ(log.messages(),
                  (std::vector<std::string>{
                      not_started, "ERROR Error processing \"" + platform::text::to_utf8(script) + "\"\x01" + because,
                      not_started, "ERROR Error processing " + platform::text::to_utf8(ok) + "\x01" + because}));
    }
}

TEST(context_menu_command, malformed_entries_and_bad_options_are_reported_per_entry) {
    // Through the default table: the action is wired to the runner.
    const auto run_default = [](const std::vector<std::wstring>& entries, const std::wstring& parameters) {
        qlm::testing::recording_host host;
        qlm::testing::run_job(host, L"run_context_menu_command", entries, parameters);
        return host.calls;
    };
    platform::shell::clear_recorded_notifications();
    const qlm::testing::log_capture log;
    EXPECT_EQ(run_default({L"no separator", L""}, L""),
              (calls_t{L"error no separator | Malformed command spec", L"error  | Malformed command spec"}));
    const auto messages = log.messages();
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[0], "ERROR run_context_menu_command_action: malformed command spec (missing separator)");
    EXPECT_EQ(messages[1], "ERROR Error processing no separator Details: Malformed command spec");

    EXPECT_EQ(run_default({L"x.exe\x0001"}, L"nShow=x"), (calls_t{L"error x.exe\x0001 | stoi"}));
    EXPECT_EQ(run_default({L"x.exe\x0001"}, L"nShow=99999999999"), (calls_t{L"error x.exe\x0001 | stoi"}));
    EXPECT_TRUE(platform::shell::recorded_notifications().empty());
}

}  // namespace
