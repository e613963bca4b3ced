#include "cli/command_line_parser.h"
#include "cli/run_frame.h"
#include "support/log_capture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The Linux front decides with routed_command() whether it needs the engine
// and otherwise lets run() answer alone: the two must agree on every command
// line, or the front would run a command without its engine.
TEST(run_frame, routed_command_names_exactly_the_command_the_runner_gets) {
    const std::vector<std::vector<std::wstring>> command_lines = {
        {},
        {L"--version"},
        {L"tag", L"add", L"-t", L"a", L"--version", L"x"},
        {L"--version", L"--bogus"},
        {L"help"},
        {L"help", L"tag"},
        {L"help", L"bogus"},
        {L"tag", L"--help"},
        {L"info", L"-h", L"x"},
        {L"tag"},
        {L"TAG", L"get", L"x"},
        {L"tag", L"frobnicate", L"x"},
        {L"--", L"--version"},
        {L"-t"},
        {L"info", L"--stars", L"3", L"x"},
        {L"rate", L"set", L"x"},
        {L"rate", L"set", L"--text", L"t"},
        {L"comment", L"get", L"--text", L"a", L"x"},
        // These reach the command, which finds its own problems.
        {L"info"},
        {L"info", L"x"},
        {L"tag", L"list"},
        {L"tag", L"add", L"-t", L"a", L"x"},
        {L"rate", L"set", L"--stars", L"9", L"x"},
        {L"comment", L"set", L"x"},
        {L"comment", L"set", L"--text", L"-", L"-"},
        {L"tag", L"get", L"--json", L"--dry-run", L"--from-file", L"list.txt"},
    };
    // The frame's closing lines go to the test log, not to a daily log that
    // would take over the process's logger from the tests after this one.
    const qlm::testing::log_capture log;
    int commands = 0;
    for (auto arguments : command_lines) {
        arguments.insert(arguments.begin(), L"qlm");
        std::wstring label;
        for (const auto& argument : arguments) label += argument + L" ";
        SCOPED_TRACE(std::string(label.begin(), label.end()));
        const qlm::catalog::command_spec* routed = qlm::routed_command(qlm::parse_command_line(arguments));
        const qlm::catalog::command_spec* ran = nullptr;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const int exit_code = qlm::run(arguments, [&ran](const qlm::catalog::command_spec& spec, const qlm::parsed_arguments&) {
            ran = &spec;
            return 42;
        });
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(routed, ran);
        EXPECT_EQ(exit_code == 42, ran != nullptr);
        if (ran != nullptr) ++commands;
    }
    EXPECT_EQ(commands, 8);
}

}  // namespace
