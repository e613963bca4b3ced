#include "cli/help.h"

#include "cli/output.h"

#include <array>

namespace qlm {
namespace {

struct global_option {
    const wchar_t* name;
    const wchar_t* placeholder;  // nullptr for none
    const wchar_t* description;
};

constexpr std::array<global_option, 9> global_options = {{
    {L"--json", nullptr, L"Print one JSON object instead of text."},
    {L"--dry-run", nullptr, L"Report what would change without writing anything."},
    {L"--recursive", nullptr,
     L"Also take everything inside the folders given, depth-first; hidden entries and linked folders are left "
     L"out. -r is short for --recursive."},
    {L"--from-file", L"<path>", L"Also take paths from a UTF-8 file, one per line."},
    {L"-", nullptr, L"Also take paths from standard input, one per line."},
    {L"--null", nullptr,
     L"Path lists (--from-file, -) are separated by NUL characters, as find -print0 writes them. -0 is short "
     L"for --null."},
    {L"--quiet", nullptr, L"Print only failures and the summary. -q is short for --quiet."},
    {L"--help", nullptr, L"Show help for the command."},
    {L"--version", nullptr, L"Print the version."},
}};

constexpr std::array<std::pair<const char*, const char*>, 4> exit_codes = {{
    {"0", "Every target ended in the requested state."},
    {"1", "At least one target did not; see its error."},
    {"2", "The command line could not be understood."},
    {"3", "A component or setting the command needs is unavailable."},
}};

constexpr std::array<std::pair<const char*, const char*>, 4> result_statuses = {{
    {"ok", "Read succeeded."},
    {"changed", "Written and read back (with --dry-run: would be written)."},
    {"unchanged", "Already in the requested state; nothing was written."},
    {"error", "Not done; see error.code and error.message."},
}};

std::vector<const catalog::command_spec*> shown_commands(const std::wstring& topic) {
    std::vector<const catalog::command_spec*> shown;
    for (const auto& spec : catalog::command_catalog()) {
        if (topic.empty() || spec.command == topic) shown.push_back(&spec);
    }
    return shown;
}

void write_option(json_writer& writer, const wchar_t* name, const wchar_t* placeholder, bool required,
                  bool repeatable, const wchar_t* description) {
    writer.StartObject();
    writer.Key("name");
    write_json_string(writer, name);
    writer.Key("value");
    if (placeholder != nullptr) write_json_string(writer, placeholder);
    else writer.Null();
    writer.Key("required");
    writer.Bool(required);
    writer.Key("repeatable");
    writer.Bool(repeatable);
    writer.Key("description");
    write_json_string(writer, description);
    writer.EndObject();
}

}  // namespace

std::wstring usage_line(const catalog::command_spec& spec) {
    std::wstring line = L"qlm " + catalog::full_command_name(spec);
    for (const auto& option : spec.options) {
        std::wstring token = option.name;
        if (!option.placeholder.empty()) token += L" " + option.placeholder;
        line += option.required ? L" " + token : L" [" + token + L"]";
        if (option.repeatable) line += L"...";
    }
    if (spec.takes_paths) line += L" <path>...";
    return line;
}

std::wstring help_text(const std::wstring& topic) {
    std::wstring text = L"qlm " + from_utf8(version_text) + L" - Quillmark from the command line\n\n";
    text += L"Usage: qlm <command> [options] [paths...]\n\nCommands:\n";
    for (const auto* spec : shown_commands(topic)) {
        text += L"  " + usage_line(*spec) + L"\n      " + spec->description + L"\n";
        for (const auto& option : spec->options) text += L"      " + option.name + L"  " + option.description + L"\n";
        text += L"      e.g. " + spec->example + L"\n";
    }
    text += L"\nOptions for every command:\n";
    for (const auto& option : global_options) {
        text += L"  ";
        text += option.name;
        if (option.placeholder != nullptr) text += std::wstring(L" ") + option.placeholder;
        text += L"  ";
        text += option.description;
        text += L"\n";
    }
    text += L"\nPaths may use * and ? in the last part. Exit codes: 0 done, 1 some targets failed, 2 usage, "
            L"3 unavailable.\n";
    return text;
}

std::string help_json(const std::wstring& topic) {
    rapidjson::StringBuffer buffer;
    json_writer writer(buffer);
    writer.StartObject();
    writer.Key("name");
    writer.String("qlm");
    writer.Key("product");
    writer.String("Quillmark");
    writer.Key("version");
    writer.String(version_text);
    writer.Key("usage");
    writer.String("qlm <command> [options] [paths...]");
    writer.Key("global_options");
    writer.StartArray();
    for (const auto& option : global_options) {
        write_option(writer, option.name, option.placeholder, false, false, option.description);
    }
    writer.EndArray();
    writer.Key("exit_codes");
    writer.StartObject();
    for (const auto& [code, description] : exit_codes) {
        writer.Key(code);
        writer.String(description);
    }
    writer.EndObject();
    writer.Key("result_statuses");
    writer.StartObject();
    for (const auto& [status, description] : result_statuses) {
        writer.Key(status);
        writer.String(description);
    }
    writer.EndObject();
    writer.Key("commands");
    writer.StartArray();
    for (const auto* spec : shown_commands(topic)) {
        writer.StartObject();
        writer.Key("name");
        write_json_string(writer, catalog::full_command_name(*spec));
        writer.Key("summary");
        write_json_string(writer, spec->description);
        writer.Key("usage");
        write_json_string(writer, usage_line(*spec));
        writer.Key("writes");
        writer.Bool(spec->writes);
        writer.Key("takes_paths");
        writer.Bool(spec->takes_paths);
        writer.Key("options");
        writer.StartArray();
        for (const auto& option : spec->options) {
            write_option(writer, option.name.c_str(), option.placeholder.empty() ? nullptr : option.placeholder.c_str(),
                         option.required, option.repeatable, option.description.c_str());
        }
        writer.EndArray();
        writer.Key("example");
        write_json_string(writer, spec->example);
        writer.EndObject();
    }
    writer.EndArray();
    writer.EndObject();
    return {buffer.GetString(), buffer.GetSize()};
}

int print_help(const std::wstring& topic, bool json) {
    if (!topic.empty() && !catalog::is_known_command(topic)) {
        return print_error_report(json, 2, L"usage", L"Unknown command '" + topic + L"'.");
    }
    if (json) {
        std::wstring text = from_utf8(help_json(topic));
        text.push_back(L'\n');
        write_stdout(text);
    } else {
        write_stdout(help_text(topic));
    }
    return 0;
}

}  // namespace qlm
