#include "commands/tag_commands.h"

#include "cli/output.h"
#include "commands/result_printer.h"
#include "commands/storable_text.h"
#include "platform/text.h"

#include <algorithm>

namespace qlm::metadata_commands {
namespace {

using sortwell::batch_processor::action_type;

bool present(const file_state& state, const std::wstring& name) {
    return std::any_of(state.tags.begin(), state.tags.end(),
                       [&name](const std::wstring& tag) { return platform::text::equal_ignore_case(tag, name); });
}

bool is_one_of(const std::wstring& tag, const std::vector<std::wstring>& names) {
    return std::any_of(names.begin(), names.end(),
                       [&tag](const std::wstring& name) { return platform::text::equal_ignore_case(tag, name); });
}

std::wstring trim_blanks_and_tabs(const std::wstring& text) {
    const std::size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return {};
    const std::size_t last = text.find_last_not_of(L" \t");
    return text.substr(first, last - first + 1);
}

// "+a;+b" for add, "-a;-b" for remove: the operator before every name.
std::wstring tokens(wchar_t op, const std::vector<std::wstring>& names) {
    std::wstring parameters;
    for (const auto& name : names) {
        if (!parameters.empty()) parameters += L';';
        parameters += op;
        parameters += name;
    }
    return parameters;
}

}  // namespace

bool normalize_tag_names(const std::vector<std::wstring>& values, std::vector<std::wstring>& names,
                         std::wstring& message) {
    names.clear();
    for (const auto& value : values) {
        std::wstring name = trim_blanks_and_tabs(value);
        if (name.empty()) {
            message = L"A tag name cannot be empty.";
            return false;
        }
        if (name.find(L';') != std::wstring::npos) {
            message = L"A tag name cannot contain ';'.";
            return false;
        }
        // Refused before any target is touched: the stored tag would not read back.
        if (const unstorable problem = check_storable(name); problem != unstorable::none) {
            message = problem == unstorable::control_character ? L"A tag name cannot contain control characters."
                                                               : L"A tag name must be valid Unicode text.";
            return false;
        }
        if (!is_one_of(name, names)) names.push_back(std::move(name));
    }
    return true;
}

change_request make_tag_request(const std::wstring& subcommand, const std::vector<std::wstring>& names) {
    change_request request;
    request.unsupported_message = L"This file type cannot store tags.";
    if (subcommand == L"add") {
        request.action = action_type::update_tags;
        request.action_parameters = tokens(L'+', names);
        request.already_applied = [names](const file_state& state) {
            return std::all_of(names.begin(), names.end(), [&state](const auto& name) { return present(state, name); });
        };
        request.expected_state = [names](const file_state& state) {
            file_state after = state;
            for (const auto& name : names) {
                if (!present(after, name)) after.tags.push_back(name);
            }
            return after;
        };
    } else if (subcommand == L"remove") {
        request.action = action_type::update_tags;
        request.action_parameters = tokens(L'-', names);
        request.already_applied = [names](const file_state& state) {
            return std::none_of(names.begin(), names.end(), [&state](const auto& name) { return present(state, name); });
        };
        request.expected_state = [names](const file_state& state) {
            file_state after = state;
            std::erase_if(after.tags, [&names](const std::wstring& tag) { return is_one_of(tag, names); });
            return after;
        };
    } else if (subcommand == L"set") {
        request.action = action_type::update_tags;
        request.action_parameters = names.empty() ? L"=" : L"=;" + tokens(L'+', names);
        request.already_applied = [names](const file_state& state) {
            return std::all_of(names.begin(), names.end(), [&state](const auto& name) { return present(state, name); }) &&
                   std::all_of(state.tags.begin(), state.tags.end(),
                               [&names](const std::wstring& tag) { return is_one_of(tag, names); });
        };
        request.expected_state = [names](const file_state& state) {
            file_state after = state;
            after.tags = names;
            return after;
        };
    } else {
        request.action = action_type::remove_tags;
        request.already_applied = [](const file_state& state) { return state.tags.empty(); };
        request.expected_state = [](const file_state& state) {
            file_state after = state;
            after.tags.clear();
            return after;
        };
    }
    return request;
}

int run_tag_change(const catalog::command_spec& spec, const parsed_arguments& parsed,
                   const std::vector<target_entry>& targets) {
    std::vector<std::wstring> names;
    std::wstring message;
    if (!normalize_tag_names(parsed.tags, names, message)) return print_error_report(parsed.json, 2, L"usage", message);
    const change_request request = make_tag_request(spec.subcommand, names);
    return print_results(spec, parsed, run_metadata_change(targets, field_tags, request, parsed.dry_run), field_tags);
}

}  // namespace qlm::metadata_commands
