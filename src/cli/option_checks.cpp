#include "cli/option_checks.h"

#include <array>
#include <string_view>

namespace qlm {
namespace {

bool takes_option(const catalog::command_spec& spec, std::wstring_view name) {
    for (const auto& option : spec.options) {
        if (option.name == name) return true;
    }
    return false;
}

bool option_given(const parsed_arguments& parsed, std::wstring_view name) {
    if (name == L"--tag") return !parsed.tags.empty();
    if (name == L"--stars") return parsed.stars.has_value();
    if (name == L"--text") return parsed.text.has_value();
    return parsed.text_file.has_value();
}

}  // namespace

std::wstring option_problem(const catalog::command_spec& spec, const parsed_arguments& parsed) {
    const std::wstring name = catalog::full_command_name(spec);
    for (const std::wstring_view option : std::array<std::wstring_view, 4>{L"--tag", L"--stars", L"--text", L"--text-file"}) {
        if (option_given(parsed, option) && !takes_option(spec, option)) {
            return L"'qlm " + name + L"' does not take " + std::wstring(option) + L".";
        }
    }
    for (const auto& option : spec.options) {
        if (option.required && !option_given(parsed, option.name)) {
            return L"'qlm " + name + L"' needs " + option.name + L".";
        }
    }
    return {};
}

}  // namespace qlm
