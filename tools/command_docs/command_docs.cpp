#include "command_docs.h"

#include <rapidjson/document.h>

#include <algorithm>
#include <stdexcept>

namespace qlm::command_docs {
namespace {

using json_value = rapidjson::Value;

const json_value& member(const json_value& object, const char* key) {
    if (!object.IsObject() || !object.HasMember(key)) {
        throw std::runtime_error(std::string("the description has no \"") + key + "\"");
    }
    return object[key];
}

std::string text_of(const json_value& object, const char* key) {
    const json_value& value = member(object, key);
    if (!value.IsString()) throw std::runtime_error(std::string("\"") + key + "\" is not a string");
    return {value.GetString(), value.GetStringLength()};
}

bool flag_of(const json_value& object, const char* key) {
    const json_value& value = member(object, key);
    if (!value.IsBool()) throw std::runtime_error(std::string("\"") + key + "\" is not true or false");
    return value.GetBool();
}

const json_value& array_of(const json_value& object, const char* key) {
    const json_value& value = member(object, key);
    if (!value.IsArray()) throw std::runtime_error(std::string("\"") + key + "\" is not an array");
    return value;
}

std::vector<option_doc> options_of(const json_value& object, const char* key) {
    std::vector<option_doc> options;
    for (const auto& item : array_of(object, key).GetArray()) {
        option_doc option;
        option.name = text_of(item, "name");
        const json_value& value = member(item, "value");
        if (value.IsString()) option.value.assign(value.GetString(), value.GetStringLength());
        else if (!value.IsNull()) throw std::runtime_error("an option's \"value\" is neither a string nor null");
        option.repeatable = flag_of(item, "repeatable");
        option.description = text_of(item, "description");
        options.push_back(std::move(option));
    }
    return options;
}

std::vector<std::pair<std::string, std::string>> pairs_of(const json_value& object, const char* key) {
    const json_value& value = member(object, key);
    if (!value.IsObject()) throw std::runtime_error(std::string("\"") + key + "\" is not an object");
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const auto& entry : value.GetObject()) {
        if (!entry.value.IsString()) throw std::runtime_error(std::string("a value in \"") + key + "\" is not a string");
        pairs.emplace_back(entry.name.GetString(), entry.value.GetString());
    }
    return pairs;
}

void add_once(std::vector<std::string>& list, const std::string& word) {
    if (std::find(list.begin(), list.end(), word) == list.end()) list.push_back(word);
}

}  // namespace

program_doc parse_description(std::string_view json) {
    rapidjson::Document document;
    document.Parse(json.data(), json.size());
    if (document.HasParseError() || !document.IsObject()) throw std::runtime_error("the description is not a JSON object");
    program_doc doc;
    doc.version = text_of(document, "version");
    doc.usage = text_of(document, "usage");
    doc.global_options = options_of(document, "global_options");
    doc.exit_codes = pairs_of(document, "exit_codes");
    doc.result_statuses = pairs_of(document, "result_statuses");
    for (const auto& item : array_of(document, "commands").GetArray()) {
        command_doc command;
        const std::string name = text_of(item, "name");
        const auto blank = name.find(' ');
        command.command = name.substr(0, blank);
        if (blank != std::string::npos) command.subcommand = name.substr(blank + 1);
        command.summary = text_of(item, "summary");
        command.usage = text_of(item, "usage");
        command.takes_paths = flag_of(item, "takes_paths");
        command.options = options_of(item, "options");
        command.example = text_of(item, "example");
        doc.commands.push_back(std::move(command));
    }
    if (doc.commands.empty()) throw std::runtime_error("the description lists no commands");
    return doc;
}

std::vector<std::string> command_words(const program_doc& doc) {
    std::vector<std::string> words;
    for (const auto& command : doc.commands) add_once(words, command.command);
    return words;
}

std::vector<std::string> subcommands_of(const program_doc& doc, const std::string& command) {
    std::vector<std::string> words;
    for (const auto& entry : doc.commands) {
        if (entry.command == command && !entry.subcommand.empty()) add_once(words, entry.subcommand);
    }
    return words;
}

std::string short_form(const option_doc& option) { return option.name == "--tag" ? "-t" : ""; }

std::vector<std::string> options_with_values(const program_doc& doc) {
    std::vector<std::string> names;
    for (const auto& option : doc.global_options) {
        if (!option.value.empty()) add_once(names, option.name);
    }
    for (const auto& command : doc.commands) {
        for (const auto& option : command.options) {
            if (option.value.empty()) continue;
            add_once(names, option.name);
            if (!short_form(option).empty()) add_once(names, short_form(option));
        }
    }
    return names;
}

value_kind kind_of_value(const option_doc& option) {
    if (option.value.empty()) return value_kind::none;
    if (option.name == "--tag" || option.name == "-t") return value_kind::tag_name;
    if (option.value == "<path>") return value_kind::path;
    if (!number_range_words(option).empty()) return value_kind::number_range;
    return value_kind::free_text;
}

std::string number_range_words(const option_doc& option) {
    // "<0-5>": two small numbers with a dash between them.
    const std::string& value = option.value;
    const auto dash = value.find('-');
    if (value.size() < 5 || value.front() != '<' || value.back() != '>' || dash == std::string::npos) return {};
    const std::string low = value.substr(1, dash - 1);
    const std::string high = value.substr(dash + 1, value.size() - dash - 2);
    const auto is_number = [](const std::string& text) {
        return !text.empty() && text.size() <= 3 && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (!is_number(low) || !is_number(high) || std::stoi(low) > std::stoi(high)) return {};
    std::string words;
    for (int n = std::stoi(low); n <= std::stoi(high); ++n) {
        if (!words.empty()) words += ' ';
        words += std::to_string(n);
    }
    return words;
}

}  // namespace qlm::command_docs
