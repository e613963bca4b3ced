#include "commands_runner/script_requirements.h"
#include "commands_runner/context_menu_command.h"
#include "commands_runner/powershell_install.h"

#include "platform/file_system.h"
#include "platform/process_launch.h"
#include "platform/text.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"
#include "support/test_text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

namespace cr = sortwell::commands_runner;

// The bytes of a literal, embedded zeros included.
template <std::size_t N>
std::string bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

using qlm::testing::on_windows;

std::string describe(const cr::script_requirements& r) {
    std::string out = r.has_version ? std::to_string(r.version.major) + "." + std::to_string(r.version.minor) + "." +
                                          std::to_string(r.version.patch)
                                    : "-";
    if (r.needs_desktop) out += " desktop";
    if (r.needs_core) out += " core";
    if (r.run_as_administrator) out += " admin";
    return out;
}

TEST(script_requirements, requires_lines_outside_comments_and_here_strings) {
    struct row {
        std::string script;
        std::string expected;
    };
    const row rows[] = {
        {"#Requires -Version 7.2\r\nWrite-Output hi\r\n", "7.2.0"},
        {"  \t#REQUIRES   -version 7.2.1 -PSEdition Core\r\n", "7.2.1 core"},
        {"#requires -psedition desktop -RunAsAdministrator", "- desktop admin"},
        {"#requires -version v7", "-"},
        {"#requires -version 7.x.3", "7.0.0"},
        {"#requires -version 1.2.3.4", "1.2.3"},
        {"#requires\t-version 7.4", "7.4.0"},
        {"#requires", "-"},
        {"#requires-version 7", "-"},
        {"# requires -version 7", "-"},
        {"#requires -modules x -runasadministratorplease", "- admin"},
        {"#requires -psedition -version 7", "-"},
        // Block comments over lines, and on one line.
        {"<#\n#requires -version 7\n#>\n", "-"},
        {"<# note\n  #requires -version 7\nend #>  \n#requires -version 6", "6.0.0"},
        {"# <# only a line comment\n#requires -version 7", "7.0.0"},
        {"$x = 1 # <# also a line comment\n#requires -version 7", "7.0.0"},
        {"#requires -version 7 <#\n#requires -psedition core", "7.0.0 core"},
        // Here-strings close only with their own quote.
        {"$a = @'\n#requires -version 7\n'@\n#requires -version 6", "6.0.0"},
        {"$a = @\"\n#requires -version 7\n  \"@\n#requires -psedition core", "- core"},
        {"$a = @'\n\"@\n#requires -version 7\n'@", "-"},
        {"#requires -version 7 @'\n#requires -psedition core", "7.0.0 core"},
        {"$a = @'\n<#\n'@\n#requires -version 5", "5.0.0"},
        {"\n\n\r\n", "-"},
        {"#requires -version 99999999999999.1", "2147483647.1.0"},
    };
    const qlm::testing::temp_folder folder;
    for (const row& r : rows) {
        const std::wstring path = folder.write(L"s.ps1", r.script);
        EXPECT_EQ(describe(cr::gather_script_requirements(cr::read_script_text(path))), r.expected) << r.script;
    }
}

TEST(script_requirements, script_text_encodings) {
    struct row {
        std::string bytes;
        std::wstring text;
    };
    const row rows[] = {
        {bytes("\xFF\xFE#\0r\0\n\0"), L"#r\n"},
        {bytes("\xFF\xFE\x3D\xD8\x00\xDE"), L"\U0001F600"},
        {bytes("\xFF\xFE"
               "a\0"
               "\x00\xD8"
               "b\0"),
         L"a\xFFFD"
         L"b"},
        {bytes("\xFF\xFE"
               "a\0"
               "b"),
         L"a\xFFFD"},
        {"\xEF\xBB\xBF#requires", L"#requires"},
        {"\xEF\xBB\xBF\xEF\xBB\xBFx", L"\xFEFFx"},
        {"caf\xC3\xA9 \xFF", L"caf\xE9 \xFFFD"},
        {bytes("\xFE\xFF\0a"), std::wstring(L"\xFFFD\xFFFD") + L'\0' + L"a"},
    };
    const qlm::testing::temp_folder folder;
    for (const row& r : rows) {
        const std::wstring path = folder.write(L"e.ps1", r.bytes);
        EXPECT_EQ(cr::read_script_text(path), r.text) << r.bytes;
        EXPECT_EQ(cr::read_script_text(L"\"" + path + L"\""), r.text) << r.bytes;
    }
    EXPECT_EQ(cr::read_script_text(folder / L"missing.ps1"), L"");
    EXPECT_EQ(cr::read_script_text(folder.path()), L"");

    // A UTF-16LE script's requirements are seen.
    const std::wstring utf16 =
        folder.write(L"u.ps1", bytes("\xFF\xFE#\0R\0e\0q\0u\0i\0r\0e\0s\0 \0-\0v\0e\0r\0s\0i\0o\0n\0 \0"
                                     "7\0.\0"
                                     "2\0\r\0\n\0"));
    EXPECT_EQ(describe(cr::gather_script_requirements(cr::read_script_text(utf16))), "7.2.0");
}

cr::powershell_install install(const std::wstring& path, int major, int minor, int patch, bool has_version = true) {
    return {path, {major, minor, patch}, has_version, true};
}

TEST(script_requirements, newest_pwsh_prefers_known_and_higher_versions_in_order) {
    using candidates = std::vector<cr::pwsh_candidate>;
    const cr::version_number v742{7, 4, 2}, v750{7, 5, 0}, v710{7, 1, 0};
    struct row {
        candidates list;
        std::wstring path;
        std::string version;
    };
    const row rows[] = {
        {{}, L"", "not found"},
        {{{L"a", std::nullopt}}, L"a", "7.0.0?"},
        {{{L"a", std::nullopt}, {L"b", v710}}, L"b", "7.1.0"},
        {{{L"a", v742}, {L"b", std::nullopt}}, L"a", "7.4.2"},
        {{{L"a", v742}, {L"b", v750}, {L"c", v710}}, L"b", "7.5.0"},
        {{{L"a", v742}, {L"b", v742}}, L"a", "7.4.2"},
    };
    for (const row& r : rows) {
        const cr::powershell_install found = cr::newest_pwsh(r.list);
        std::string version = !found.found
                                  ? "not found"
                                  : std::to_string(found.version.major) + "." + std::to_string(found.version.minor) +
                                        "." + std::to_string(found.version.patch) + (found.has_version ? "" : "?");
        EXPECT_EQ(found.path, r.path);
        EXPECT_EQ(version, r.version);
    }
}

TEST(script_requirements, interpreter_choice_and_unmet_messages) {
    const cr::powershell_install windows = install(L"WinPS", 5, 1, 0);
    const cr::powershell_install none{};
    const cr::powershell_install pwsh74 = install(L"pwsh74", 7, 4, 0);
    const cr::powershell_install pwsh_unknown = install(L"pwsh?", 7, 0, 0, false);
    const auto needs = [](std::optional<cr::version_number> version, bool desktop = false, bool core = false) {
        cr::script_requirements r;
        if (version) {
            r.version = *version;
            r.has_version = true;
        }
        r.needs_desktop = desktop;
        r.needs_core = core;
        return r;
    };
    struct row {
        cr::script_requirements requirements;
        cr::powershell_install newest;
        std::wstring interpreter;
        std::wstring message;
    };
    const row rows[] = {
        {needs(std::nullopt), pwsh74, L"pwsh74", L""},
        {needs(std::nullopt), none, L"WinPS", L""},
        {needs(cr::version_number{5, 1, 0}), none, L"WinPS", L""},
        {needs(cr::version_number{7, 2, 0}), pwsh_unknown, L"pwsh?", L""},
        {needs(cr::version_number{7, 4, 0}), pwsh74, L"pwsh74", L""},
        {needs(cr::version_number{7, 4, 1}), pwsh74, L"pwsh74",
         L"This script requires PowerShell 7.4.1 or later. The newest PowerShell installed is 7.4."},
        {needs(cr::version_number{7, 2, 0}), none, L"WinPS",
         L"This script requires PowerShell 7.2 or later, which is not installed."},
        {needs(std::nullopt, false, true), none, L"WinPS",
         L"This script requires PowerShell 7, which is not installed."},
        {needs(std::nullopt, false, true), pwsh_unknown, L"pwsh?", L""},
        {needs(std::nullopt, true), pwsh74, L"WinPS", L""},
        {needs(cr::version_number{5, 0, 0}, true), pwsh74, L"WinPS", L""},
        {needs(std::nullopt, true, true), pwsh74, L"pwsh74",
         L"This script's #Requires statements ask for both Windows PowerShell and PowerShell 7, and no PowerShell is "
         L"both."},
        {needs(cr::version_number{7, 2, 0}, true), none, L"WinPS",
         L"This script's #Requires statements ask for both Windows PowerShell and PowerShell 7.2 or later, and no "
         L"PowerShell is both."},
        {needs(cr::version_number{5, 1, 1}, true), none, L"WinPS",
         L"This script's #Requires statements ask for both Windows PowerShell and PowerShell 5.1.1 or later, and no "
         L"PowerShell is both."},
    };
    for (const row& r : rows) {
        const cr::interpreter_choice choice = cr::choose_interpreter(r.requirements, windows, r.newest);
        EXPECT_EQ(choice.interpreter.path, r.interpreter) << r.message.size();
        EXPECT_EQ(choice.unmet_message, r.message);
    }
}

TEST(script_requirements, script_invocations_for_every_show_value_and_kind) {
    const qlm::testing::temp_folder folder;
    const std::wstring plain = folder.write(L"plain.ps1", "Write-Output 1\n");
    const std::wstring newer = folder.write(L"newer.ps1", "#requires -version 7.9\n");
    std::vector<std::wstring> shown;
    cr::command_runner_services services;
    services.message_dialog = [&](const std::wstring& text) { shown.push_back(text); };
    services.find_windows_powershell = [] { return install(L"C:\\W\\powershell.exe", 5, 1, 0); };
    services.find_newest_pwsh = [] { return install(L"/opt/pwsh", 7, 4, 2); };
    const std::wstring cmd = platform::process::system_folder() + L"\\cmd.exe";
    const bool styles = on_windows();
    const auto style = [&](const wchar_t* text) { return std::wstring(styles ? text : L""); };

    struct row {
        std::wstring path;
        std::wstring arguments;
        int show;
        bool keep_open;
        std::wstring executable;
        std::wstring command_line;
    };
    const std::wstring file = L"-ExecutionPolicy Bypass -File \"" + plain + L"\" ";
    const row rows[] = {
        {plain, L"", 0, false, L"/opt/pwsh", style(L"-WindowStyle Hidden ") + file},
        {plain, L"", 0, true, L"/opt/pwsh", L"-NoExit " + file},
        {plain, L"x \"y z\"", 1, false, L"/opt/pwsh", file + L"x \"y z\""},
        {plain, L"", 2, false, L"/opt/pwsh", style(L"-WindowStyle Minimized ") + file},
        {plain, L"", 3, true, L"/opt/pwsh", style(L"-WindowStyle Maximized ") + L"-NoExit " + file},
        {L"D:\\s\\Go.BAT", L"", 0, false, cmd, L"/c \"D:\\s\\Go.BAT\" "},
        {L"D:\\s\\go.cmd", L"a b", 3, true, cmd, L"/k \"D:\\s\\go.cmd\" a b"},
        {L"D:\\tools\\app.exe", L"--flag", 0, true, L"D:\\tools\\app.exe", L"--flag"},
        {L"D:\\tools\\app", L"", 2, false, L"D:\\tools\\app", L""},
    };
    for (const row& r : rows) {
        const cr::script_invocation invocation =
            cr::build_script_invocation(r.path, r.arguments, r.show, r.keep_open, services);
        EXPECT_EQ(invocation.executable, r.executable) << r.show;
        EXPECT_EQ(invocation.command_line, r.command_line) << r.show;
    }
    EXPECT_TRUE(shown.empty());

    // An unmet requirement is logged and shown, and the newest pwsh still runs it.
    const qlm::testing::log_capture log;
    const cr::script_invocation invocation = cr::build_script_invocation(newer, L"", 1, false, services);
    EXPECT_EQ(invocation.executable, L"/opt/pwsh");
    const std::wstring message =
        L"This script requires PowerShell 7.9 or later. The newest PowerShell installed is 7.4.2.";
    EXPECT_EQ(shown, std::vector<std::wstring>{message});
    EXPECT_EQ(log.messages(), std::vector<std::string>{"WARNING " + platform::text::to_utf8(message)});
}

}  // namespace
