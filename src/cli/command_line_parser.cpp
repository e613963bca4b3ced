#include "cli/command_line_parser.h"

#include <array>
#include <string_view>

namespace qlm {
namespace {

constexpr std::array<std::wstring_view, 5> value_options = {L"tag", L"stars", L"text", L"text-file", L"from-file"};
constexpr std::array<std::wstring_view, 7> flag_options = {L"json",      L"dry-run", L"help", L"version",
                                                           L"recursive", L"null",    L"quiet"};

template <std::size_t N>
bool contains(const std::array<std::wstring_view, N>& list, std::wstring_view word) {
    for (const auto item : list) {
        if (item == word) return true;
    }
    return false;
}

void store_value(parsed_arguments& parsed, std::wstring_view name, std::wstring value) {
    if (name == L"tag") parsed.tags.push_back(std::move(value));
    else if (name == L"stars") parsed.stars = std::move(value);
    else if (name == L"text") parsed.text = std::move(value);
    else if (name == L"text-file") parsed.text_file = std::move(value);
    else parsed.from_file = std::move(value);
}

void set_flag(parsed_arguments& parsed, std::wstring_view name) {
    if (name == L"json") parsed.json = true;
    else if (name == L"dry-run") parsed.dry_run = true;
    else if (name == L"help") parsed.help = true;
    else if (name == L"recursive") parsed.recursive = true;
    else if (name == L"null") parsed.null_separated = true;
    else if (name == L"quiet") parsed.quiet = true;
    else parsed.version = true;
}

void assign_positional(parsed_arguments& parsed, std::vector<std::wstring>& words) {
    std::size_t next = 0;
    if (next < words.size()) parsed.command = std::move(words[next++]);
    if (!parsed.command.empty() && parsed.command != L"info" && parsed.command != L"help" && next < words.size()) {
        parsed.subcommand = std::move(words[next++]);
    }
    for (; next < words.size(); ++next) {
        if (words[next] == L"-") parsed.read_stdin = true;
        else parsed.paths.push_back(std::move(words[next]));
    }
}

}  // namespace

parsed_arguments parse_command_line(const std::vector<std::wstring>& arguments) {
    parsed_arguments parsed;
    std::vector<std::wstring> words;
    bool options_ended = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        if (options_ended) {
            words.push_back(argument);
        } else if (argument == L"-h" || argument == L"-?" || argument == L"/?") {
            parsed.help = true;
        } else if (argument.empty() || argument == L"-" || argument.front() != L'-') {
            words.push_back(argument);
        } else if (argument == L"--") {
            options_ended = true;
        } else if (argument == L"-r") {
            parsed.recursive = true;
        } else if (argument == L"-0") {
            parsed.null_separated = true;
        } else if (argument == L"-q") {
            parsed.quiet = true;
        } else if (argument == L"-t") {
            if (i + 1 >= arguments.size()) {
                parsed.error = L"-t needs a tag name.";
                break;
            }
            parsed.tags.push_back(arguments[++i]);
        } else if (argument.starts_with(L"--")) {
            std::wstring_view name = std::wstring_view(argument).substr(2);
            std::optional<std::wstring> inline_value;
            if (const auto equals = name.find(L'='); equals != std::wstring_view::npos) {
                inline_value = std::wstring(name.substr(equals + 1));
                name = name.substr(0, equals);
            }
            if (contains(value_options, name)) {
                if (inline_value) {
                    store_value(parsed, name, std::move(*inline_value));
                } else if (i + 1 < arguments.size()) {
                    store_value(parsed, name, arguments[++i]);
                } else {
                    parsed.error = L"--" + std::wstring(name) + L" needs a value.";
                    break;
                }
            } else if (contains(flag_options, name)) {
                if (inline_value) {
                    parsed.error = L"--" + std::wstring(name) + L" does not take a value.";
                    break;
                }
                set_flag(parsed, name);
            } else {
                parsed.error = L"Unknown option '" + argument + L"'.";
                break;
            }
        } else {
            parsed.error = L"Unknown option '" + argument + L"'.";
            break;
        }
    }
    assign_positional(parsed, words);
    return parsed;
}

}  // namespace qlm
