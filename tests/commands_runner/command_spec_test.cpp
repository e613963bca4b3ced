#include "commands_runner/command_spec.h"

#include "support/error_text.h"
#include "support/log_capture.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

namespace cr = sortwell::commands_runner;

TEST(command_spec, splits_at_the_first_separator_and_drops_one_pair_of_quotes) {
    struct row {
        std::wstring spec;
        std::wstring path;
        std::wstring arguments;
    };
    const row rows[] = {
        {L"C:\\Tools\\run.exe\x0001-a -b", L"C:\\Tools\\run.exe", L"-a -b"},
        {L"script.ps1\x0001", L"script.ps1", L""},
        {L"a\x0001" L"b\x0001" L"c", L"a", L"b\x0001" L"c"},
        {L"\"C:\\My Scripts\\x.ps1\"\x0001\"quoted arg\"", L"C:\\My Scripts\\x.ps1", L"\"quoted arg\""},
        {L"\"\x0001", L"\"", L""},
        {L"\"\"\x0001", L"", L""},
        {L"\x0001only arguments", L"", L"only arguments"},
    };
    for (const row& r : rows) {
        const cr::command_spec spec = cr::split_command_spec(r.spec);
        EXPECT_EQ(spec.path, r.path);
        EXPECT_EQ(spec.arguments, r.arguments);
    }

    for (const std::wstring malformed : {L"", L"C:\\Tools\\run.exe -a"}) {
        const qlm::testing::log_capture log;
        EXPECT_EQ(qlm::testing::error_of([&] { cr::split_command_spec(malformed); }), "Malformed command spec");
        EXPECT_EQ(log.messages(), std::vector<std::string>{
                                      "ERROR run_context_menu_command_action: malformed command spec (missing separator)"});
    }
}

TEST(command_spec, launch_options_follow_exact_keys_and_the_integer_conversion) {
    struct row {
        std::wstring parameters;
        bool run_as_admin;
        int show;
        bool keep_window_open;
    };
    const row rows[] = {
        {L"", false, 1, false},
        {L"run_as_admin=1;nShow=3", true, 3, false},
        {L"run_as_admin=true;keep_window_open=yes", false, 1, false},
        {L";;keep_window_open=1;;", false, 1, true},
        {L"Run_As_Admin=1;NSHOW=0;nshow=0", false, 1, false},
        {L"run_as_admin;nShow;=1;unknown=5", false, 1, false},
        {L"nShow=  -2", false, -2, false},
        {L"nShow=+7xyz", false, 7, false},
        {L"nShow=0;nShow=2", false, 2, false},
        {L"run_as_admin=1 ;keep_window_open= 1", false, 1, false},
        {L"nShow=2=3", false, 2, false},
    };
    for (const row& r : rows) {
        const cr::launch_options options = cr::read_launch_options(r.parameters);
        EXPECT_EQ(options.run_as_admin, r.run_as_admin) << r.parameters.size();
        EXPECT_EQ(options.show, r.show) << r.parameters.size();
        EXPECT_EQ(options.keep_window_open, r.keep_window_open) << r.parameters.size();
    }
    EXPECT_THROW(cr::read_launch_options(L"nShow=x"), std::invalid_argument);
    EXPECT_THROW(cr::read_launch_options(L"nShow="), std::invalid_argument);
    EXPECT_THROW(cr::read_launch_options(L"nShow=99999999999"), std::out_of_range);
}

TEST(command_spec, script_kinds_come_from_the_last_extension_in_any_case) {
    const std::pair<std::wstring, cr::script_kind> rows[] = {
        {L"C:\\x\\X.BAT", cr::script_kind::batch},
        {L"run.Cmd", cr::script_kind::batch},
        {L"/home/u/tidy.ps1", cr::script_kind::powershell},
        {L"archive.ps1.txt", cr::script_kind::none},
        {L"C:\\dir.bat\\program", cr::script_kind::none},
        {L"noextension", cr::script_kind::none},
        {L"", cr::script_kind::none},
        {L".ps1", cr::script_kind::powershell},
        {L"tool.exe", cr::script_kind::none},
    };
    for (const auto& [path, kind] : rows) EXPECT_EQ(cr::script_kind_of(path), kind) << path.size();
}

}  // namespace
