#include "commands_runner/context_menu_command.h"

#include "commands_runner/command_spec.h"
#include "logging/log.h"
#include "platform/dialog.h"
#include "platform/process_launch.h"
#include "platform/text.h"
#include "platform/win32_error.h"

#include <fmt/format.h>
#include <fmt/xchar.h>

#include <cstdint>
#include <stdexcept>

namespace sortwell::commands_runner {
namespace {

namespace process = platform::process;

constexpr std::uint32_t failed_exit_code = 0xFFFFFFFF;

std::wstring window_style(int show) {
    // pwsh off Windows refuses -WindowStyle altogether.
    if (!process::window_show_values_apply()) return {};
    switch (show) {
        case 0: return L"-WindowStyle Hidden ";
        case 2: return L"-WindowStyle Minimized ";
        case 3: return L"-WindowStyle Maximized ";
        default: return {};
    }
}

std::wstring start_option(int show) {
    switch (show) {
        case 0: return L"/B ";
        case 2: return L"/MIN ";
        case 3: return L"/MAX ";
        default: return {};
    }
}

void log_failed_start(const std::wstring& executable, std::uint32_t error) {
    qlm::log_error(L"run_context_menu_command_action: could not start {} (error {})", executable, error);
}

// A command that never started is that entry's failure, with its reason.
[[noreturn]] void fail_to_start(const command_spec& command, const script_invocation& invocation,
                                std::uint32_t error) {
    log_failed_start(invocation.executable, error);
    std::wstring reason;
    if (script_kind_of(command.path) == script_kind::batch && error == platform::win32_error::file_not_found) {
        reason = L"batch files need the Windows command processor (cmd.exe), which this system does not have";
    } else if (script_kind_of(command.path) == script_kind::powershell && invocation.executable.empty()) {
        reason = L"no PowerShell was found to run it";
    } else {
        reason = fmt::format(L"could not start {} (error {})", invocation.executable, error);
    }
    throw std::runtime_error(platform::text::to_utf8(reason));
}

// Scripts run to their end so that a failure can be shown.
void run_and_report(const command_spec& command, const launch_options& options,
                    const command_runner_services& services) {
    const script_invocation invocation =
        build_script_invocation(command.path, command.arguments, options.show, false, services);
    const process::wait_outcome outcome =
        options.run_as_admin
            ? process::run_elevated_and_wait(invocation.executable, invocation.command_line, options.show)
            : process::run_and_wait(fmt::format(L"\"{}\" {}", invocation.executable, invocation.command_line),
                                    options.show);
    if (!outcome.started) fail_to_start(command, invocation, outcome.error);
    if (outcome.exit_code == 0 || outcome.exit_code == failed_exit_code) return;
    services.message_dialog(fmt::format(L"The script exited with error code {}.\r\n\r\nScript:\r\n{}",
                                        static_cast<std::int32_t>(outcome.exit_code), command.path));
}

// Programs, and scripts whose window stays open, are started and left alone.
void start_and_leave(const command_spec& command, const launch_options& options,
                     const command_runner_services& services) {
    const int show = options.keep_window_open && options.show == 0 ? 1 : options.show;
    const script_invocation invocation =
        build_script_invocation(command.path, command.arguments, show, options.keep_window_open, services);
    if (options.run_as_admin) {
        const std::uint32_t error = process::start_elevated(invocation.executable, invocation.command_line, show);
        if (error != 0) fail_to_start(command, invocation, error);
        return;
    }
    try {
        launch_via_explorer(process::system_folder() + L"\\cmd.exe",
                            fmt::format(L"/c start \"\" {}\"{}\" {}", start_option(show), invocation.executable,
                                        invocation.command_line));
        return;
    } catch (const std::exception&) {
        // No shell to start through (or it refused): start it ourselves.
    }
    const std::uint32_t error =
        process::start_command_detached(fmt::format(L"\"{}\" {}", invocation.executable, invocation.command_line), show);
    if (error != 0) fail_to_start(command, invocation, error);
}

}  // namespace

command_runner_services::command_runner_services()
    : message_dialog([](const std::wstring& text) { platform::dialog::message_dialog(text); }) {}

script_invocation build_script_invocation(const std::wstring& path, const std::wstring& arguments, int show,
                                          bool keep_open, const command_runner_services& services) {
    const int effective_show = keep_open && show == 0 ? 1 : show;
    switch (script_kind_of(path)) {
        case script_kind::powershell: {
            const script_requirements requirements = gather_script_requirements(read_script_text(path));
            const interpreter_choice choice = choose_interpreter(requirements, services.find_windows_powershell(),
                                                                 services.find_newest_pwsh());
            if (!choice.unmet_message.empty()) {
                qlm::log_warning(L"{}", choice.unmet_message);
                services.message_dialog(choice.unmet_message);
            }
            return {choice.interpreter.path,
                    fmt::format(L"{}{}-ExecutionPolicy Bypass -File \"{}\" {}", window_style(effective_show),
                                keep_open ? L"-NoExit " : L"", path, arguments)};
        }
        case script_kind::batch:
            return {process::system_folder() + L"\\cmd.exe",
                    fmt::format(L"{} \"{}\" {}", keep_open ? L"/k" : L"/c", path, arguments)};
        case script_kind::none:
            break;
    }
    return {path, arguments};
}

void launch_via_explorer(const std::wstring& program, const std::wstring& parameters) {
    if (!process::start_through_shell(program, parameters)) {
        throw std::runtime_error("Failed to launch process via Explorer (ShellExecute fallback failed).");
    }
}

void run_context_menu_command_action(const std::wstring& spec, const std::wstring& parameters,
                                     const command_runner_services& services) {
    const command_spec command = split_command_spec(spec);
    const launch_options options = read_launch_options(parameters);
    if (script_kind_of(command.path) != script_kind::none && !options.keep_window_open) {
        run_and_report(command, options, services);
    } else {
        start_and_leave(command, options, services);
    }
}

}  // namespace sortwell::commands_runner
