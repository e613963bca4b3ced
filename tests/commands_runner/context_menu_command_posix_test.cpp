// PowerShell scripts through the worker on Linux, with a fake pwsh first on
// PATH that records its arguments and exits with a code the test sets.

#include "commands_runner/command_job.h"

#include "commands_runner/powershell_install.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"
#include "support/test_text.h"
#include "support/version_dll.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>

namespace {

using calls_t = std::vector<std::wstring>;
using qlm::testing::read_bytes;
using qlm::testing::run_command_job;

using qlm::testing::utf8;

class context_menu_command_posix : public ::testing::Test {
protected:
    void SetUp() override {
        const std::wstring bin = folder.make_folder(L"bin");
        pwsh = folder.write(L"bin/pwsh",
                            "#!/bin/sh\n"
                            "here=$(dirname \"$0\")\n"
                            "sleep \"$(cat \"$here/sleep\" 2>/dev/null || echo 0)\"\n"
                            "{ for a in \"$@\"; do printf '%s|' \"$a\"; done; printf '\\n'; } >> \"$here/calls\"\n"
                            "exit \"$(cat \"$here/exit_code\" 2>/dev/null || echo 0)\"\n");
        ::chmod(utf8(pwsh).c_str(), 0755);
        // Found on PATH with its links resolved, as the log names it.
        pwsh = platform::text::from_utf8(std::filesystem::canonical(utf8(pwsh)).string());
        // Newer than any real installation, so that the fake is always the newest.
        ASSERT_TRUE(qlm::testing::make_version_dll(folder / L"bin/pwsh.dll", 99, 9, 9));
        if (const char* path = std::getenv("PATH")) old_path = path;
        ::setenv("PATH", (utf8(bin) + ":" + old_path.value_or("/usr/bin:/bin")).c_str(), 1);
    }
    void TearDown() override {
        if (old_path) {
            ::setenv("PATH", old_path->c_str(), 1);
        } else {
            ::unsetenv("PATH");
        }
    }

    void set(const std::wstring& name, const std::string& value) { folder.write(L"bin/" + name, value); }
    std::string calls() const { return read_bytes(folder / L"bin/calls"); }
    std::string line_for(const std::wstring& script, const std::string& arguments = "") const {
        return "-ExecutionPolicy|Bypass|-File|" + utf8(script) + "|" + arguments + "\n";
    }

    qlm::testing::temp_folder folder;
    std::wstring pwsh;
    std::optional<std::string> old_path;
};

TEST_F(context_menu_command_posix, script_exit_codes_and_requirements_through_the_worker) {
    const std::wstring failing = folder.write(L"fail.ps1", "exit 3\n");
    set(L"exit_code", "3");
    platform::shell::clear_recorded_notifications();
    auto result = run_command_job({L"\"" + failing +
                                   L"\"\x0001"
                                   L"a \"b c\""},
                                  L"nShow=0");
    EXPECT_EQ(result.calls, calls_t{});
    EXPECT_EQ(result.dialogs, calls_t{L"The script exited with error code 3.\r\n\r\nScript:\r\n" + failing});
    // No -WindowStyle off Windows, whatever the show value.
    EXPECT_EQ(calls(), line_for(failing, "a|b c|"));
    EXPECT_TRUE(platform::shell::recorded_notifications().empty());

    // Exit code 0 shows nothing.
    set(L"calls", "");
    set(L"exit_code", "0");
    result = run_command_job({failing + L"\x0001"}, L"");
    EXPECT_EQ(result.dialogs, calls_t{});
    EXPECT_EQ(calls(), line_for(failing));

    // An unmet requirement is shown, logged, and the script still runs.
    set(L"calls", "");
    const std::wstring desktop = folder.write(L"desktop.ps1", "#Requires -PSEdition Desktop -Version 7.1\n");
    const qlm::testing::log_capture log;
    result = run_command_job({desktop + L"\x0001"}, L"");
    const std::wstring unmet =
        L"This script's #Requires statements ask for both Windows PowerShell and PowerShell 7.1 or later, and no "
        L"PowerShell is both.";
    EXPECT_EQ(result.dialogs, calls_t{unmet});
    EXPECT_EQ(log.messages(), std::vector<std::string>{"WARNING " + utf8(unmet)});
    EXPECT_EQ(calls(), line_for(desktop));
}

TEST_F(context_menu_command_posix, ten_entries_a_malformed_one_and_what_never_starts) {
    const std::wstring script = folder.write(L"s.ps1", "exit 0\n");
    std::vector<std::wstring> entries(10, script + L"\x0001");
    entries[4] = L"broken";
    auto result = run_command_job(entries, L"");
    EXPECT_EQ(result.calls, (calls_t{L"title Processing 10 files", L"show", L"error broken | Malformed command spec"}));
    std::string nine;
    for (int i = 0; i < 9; ++i) nine += line_for(script);
    EXPECT_EQ(calls(), nine);

    // Elevation does not exist here: nothing starts, nothing is shown, and
    // the entry fails with the reason (batch files: context_menu_command_test).
    set(L"calls", "");
    set(L"exit_code", "3");
    const qlm::testing::log_capture log;
    const std::wstring reason = L"could not start " + pwsh + L" (error 50)";
    result = run_command_job({script + L"\x0001"}, L"run_as_admin=1;keep_window_open=1");
    EXPECT_EQ(result.calls, calls_t{L"error " + script + L"\x0001 | " + reason});
    EXPECT_EQ(result.dialogs, calls_t{});
    EXPECT_EQ(calls(), "");
    EXPECT_EQ(log.messages(),
              (std::vector<std::string>{"ERROR run_context_menu_command_action: " + utf8(reason),
                                        "ERROR Error processing " + utf8(script) + "\x01 Details: " + utf8(reason)}));
}

// A program started directly, with its arguments split as Windows does, is
// tests/batch_host/test_command_jobs.py's.
TEST_F(context_menu_command_posix, kept_open_scripts_are_not_waited_for) {
    const std::wstring script = folder.write(L"slow.ps1", "Start-Sleep 3\n");
    set(L"sleep", "3");
    set(L"exit_code", "5");
    const auto result = run_command_job({script + L"\x0001"
                                                  L"x"},
                                        L"keep_window_open=1;nShow=0");
    // Returned while the fake still sleeps, and never shows its exit code.
    EXPECT_FALSE(std::filesystem::exists(utf8(folder / L"bin/calls")));
    EXPECT_EQ(result.dialogs, calls_t{});
    for (int i = 0; i < 200 && calls().empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(calls(), "-NoExit|" + line_for(script, "x|"));
}

TEST(context_menu_command_real_pwsh, script_exit_code_is_shown) {
    if (!sortwell::commands_runner::find_newest_pwsh().found) GTEST_SKIP() << "pwsh is not installed";
    const qlm::testing::temp_folder folder;
    const std::wstring script = folder.write(L"three.ps1", "#Requires -Version 7\nexit 3\n");
    const auto result = run_command_job({script + L"\x0001"}, L"");
    EXPECT_EQ(result.dialogs, calls_t{L"The script exited with error code 3.\r\n\r\nScript:\r\n" + script});
}

}  // namespace
