#include "cli/completion_run.h"
#include "cli/run_frame.h"

#include "cli/command_catalog.h"
#include "cli/command_line_parser.h"
#include "cli/help.h"
#include "cli/output.h"
#include "cli/option_checks.h"
#include "logging/log.h"
#include "platform/com_apartment.h"
#include "platform/console.h"

#include <exception>
#include <memory>

namespace qlm {

std::atomic<bool> cancel_requested{false};

namespace {

static_assert(std::atomic<bool>::is_always_lock_free, "the interrupt handler stores without locking");

void on_interrupt() { cancel_requested.store(true); }

// The words of the command line as typed, up to and including `last`
// (the first one after `command`), behind "qlm"; a word with blanks is quoted.
std::wstring typed_command(const std::vector<std::wstring>& arguments, const std::wstring& command,
                           const std::wstring& last) {
    std::wstring typed = L"qlm";
    bool command_seen = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::wstring& word = arguments[i];
        const bool quoted = word.empty() || word.find_first_of(L" \t") != std::wstring::npos;
        typed += quoted ? L" \"" + word + L"\"" : L" " + word;
        if (command_seen && word == last) return typed;
        command_seen = command_seen || word == command;
    }
    return L"qlm " + command + L" " + last;  // not found as typed: the words as understood
}

int route(const parsed_arguments& parsed, const std::vector<std::wstring>& arguments, const command_runner& runner) {
    if (!parsed.error.empty()) return print_error_report(parsed.json, 2, L"usage", parsed.error);
    if (parsed.version) {
        write_stdout(from_utf8(version_text) + L"\n");
        return 0;
    }
    if (parsed.command.empty() || parsed.command == L"help") {
        return print_help(parsed.paths.empty() ? std::wstring() : parsed.paths.front(), parsed.json);
    }
    if (!catalog::is_known_command(parsed.command)) {
        return print_error_report(parsed.json, 2, L"usage", L"Unknown command '" + parsed.command + L"'.");
    }
    if (parsed.help) return print_help(parsed.command, parsed.json);
    const catalog::command_spec* spec = catalog::find_command(parsed.command, parsed.subcommand);
    if (spec == nullptr) {
        const std::wstring message =
            parsed.subcommand.empty()
                ? L"'qlm " + parsed.command + L"' needs a subcommand."
                : L"Unknown command '" + typed_command(arguments, parsed.command, parsed.subcommand) + L"'.";
        return print_error_report(parsed.json, 2, L"usage", message);
    }
    if (const std::wstring problem = option_problem(*spec, parsed); !problem.empty()) {
        return print_error_report(parsed.json, 2, L"usage", problem);
    }
    return runner(*spec, parsed);
}

}  // namespace

// The same decisions as route(), in a form that prints nothing.
const catalog::command_spec* routed_command(const parsed_arguments& parsed) {
    if (!parsed.error.empty() || parsed.version || parsed.help) return nullptr;
    if (parsed.command.empty() || parsed.command == L"help") return nullptr;
    const catalog::command_spec* spec = catalog::find_command(parsed.command, parsed.subcommand);
    if (spec == nullptr || !option_problem(*spec, parsed).empty()) return nullptr;
    return spec;
}

int run(const std::vector<std::wstring>& arguments, const command_runner& runner) {
    try {
        if (!run_for_completion()) logging::open_daily_log();
    } catch (const std::exception&) {
        // Without a log folder the run goes on; every log write is dropped.
    }
    platform::console::install_interrupt_handler(on_interrupt);
    const platform::com_apartment com;
    auto parsed = std::make_unique<parsed_arguments>();
    int exit_code = 1;
    try {
        *parsed = parse_command_line(arguments);
        exit_code = route(*parsed, arguments, runner);
        log_info(L"qlm {} {} finished with exit code {}", parsed->command, parsed->subcommand, exit_code);
    } catch (const std::exception& error) {
        const std::wstring message = from_utf8(error.what());
        log_error(L"qlm {} {} failed: {}", parsed->command, parsed->subcommand, message);
        exit_code = print_error_report(parsed->json, 1, L"internal_error", message);
    } catch (...) {
        // Not a standard exception: still a report and exit code 1, never a crash dialog.
        const std::wstring message = L"An unexpected error occurred.";
        log_error(L"qlm {} {} failed: {}", parsed->command, parsed->subcommand, message);
        exit_code = print_error_report(parsed->json, 1, L"internal_error", message);
    }
    parsed.reset();
    return exit_code;
}

}  // namespace qlm
