#include "commands_runner/command_spec.h"

#include "formats/text_list.h"
#include "logging/log.h"
#include "platform/text.h"

#include <stdexcept>

namespace sortwell::commands_runner {

command_spec split_command_spec(const std::wstring& spec) {
    const std::size_t separator = spec.find(command_spec_separator);
    if (separator == std::wstring::npos) {
        qlm::log_error(L"run_context_menu_command_action: malformed command spec (missing separator)");
        throw std::runtime_error("Malformed command spec");
    }
    // The quotation marks go at once: left on, they would hide the extension
    // and be quoted a second time in the command line.
    return {strip_quotes(spec.substr(0, separator)), spec.substr(separator + 1)};
}

std::wstring strip_quotes(const std::wstring& text) {
    if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"') return text.substr(1, text.size() - 2);
    return text;
}

launch_options read_launch_options(const std::wstring& parameters) {
    launch_options options;
    for (const std::wstring& piece : formats::split_list(parameters)) {
        const std::size_t equals = piece.find(L'=');
        if (equals == std::wstring::npos) continue;
        const std::wstring key = piece.substr(0, equals);
        const std::wstring value = piece.substr(equals + 1);
        if (key == L"run_as_admin") {
            options.run_as_admin = value == L"1";
        } else if (key == L"nShow") {
            options.show = std::stoi(value);
        } else if (key == L"keep_window_open") {
            options.keep_window_open = value == L"1";
        }
    }
    return options;
}

std::wstring lower_case_extension(const std::wstring& path) {
    const std::size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos) return {};
    return platform::text::to_lower_invariant(std::wstring_view(path).substr(dot));
}

script_kind script_kind_of(const std::wstring& path) {
    const std::wstring extension = lower_case_extension(path);
    if (extension == L".bat" || extension == L".cmd") return script_kind::batch;
    if (extension == L".ps1") return script_kind::powershell;
    return script_kind::none;
}

}  // namespace sortwell::commands_runner
