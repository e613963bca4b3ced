#include "batch_processor/job_file.h"

#include "platform/file_system.h"
#include "platform/text.h"
#include "settings/json_text.h"

#include <rapidjson/error/en.h>

#include <algorithm>
#include <optional>
#include <stdexcept>

namespace sortwell::batch_processor {

namespace {

// The string member, or a runtime error with the message when it is missing
// or of another JSON type.
std::string required_string(const rapidjson::Value& object, const char* name, const char* message) {
    const auto member = object.FindMember(name);
    if (member == object.MemberEnd() || !member->value.IsString()) throw std::runtime_error(message);
    return std::string(member->value.GetString(), member->value.GetStringLength());
}

}  // namespace

std::optional<std::string> json_syntax_problem(const std::string& text) {
    rapidjson::Document document;
    document.Parse<rapidjson::kParseIterativeFlag>(text.c_str());
    if (!document.HasParseError()) return std::nullopt;
    const std::size_t offset = std::min(document.GetErrorOffset(), text.size());
    std::size_t line = 1;
    std::size_t column = 1;
    for (std::size_t i = 0; i < offset; ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            ++column;  // characters, not the bytes of one
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " +
           rapidjson::GetParseError_En(document.GetParseError());
}

job_description read_job_file(const std::string& path) {
    const std::optional<std::string> text = platform::file_system::read_file(platform::text::from_utf8(path));
    if (!text) throw std::runtime_error("Failed to open JSON file: " + path);
    rapidjson::Document document;
    // A parse failure leaves a root that is not an object; the validation reports it.
    common::setting_utilities::parse_json(*text, document);
    return parse_job_json(document);
}

job_description parse_job_json(const rapidjson::Value& root) {
    if (!root.IsObject()) throw std::runtime_error("JSON root must be an object");
    job_description job;
    job.version = required_string(root, "version", "Missing or invalid 'version' field");
    const auto section = root.FindMember("job");
    if (section == root.MemberEnd() || !section->value.IsObject()) {
        throw std::runtime_error("Missing or invalid 'job' object");
    }
    const rapidjson::Value& details = section->value;
    job.guid = required_string(details, "guid", "Missing or invalid 'guid' field in job");
    job.action_type = required_string(details, "action_type", "Missing or invalid 'action_type' field in job");
    job.action_parameters =
        required_string(details, "action_parameters", "Missing or invalid 'action_parameters' field in job");
    const auto files = root.FindMember("files");
    if (files == root.MemberEnd() || !files->value.IsArray()) throw std::runtime_error("Missing or invalid 'files' array");
    for (const rapidjson::Value& entry : files->value.GetArray()) job.files.push_back(parse_file_entry(entry));
    return job;
}

std::string parse_file_entry(const rapidjson::Value& entry) {
    if (!entry.IsObject()) throw std::runtime_error("File entry must be an object");
    return required_string(entry, "path", "Missing or invalid 'path' field in file entry");
}

}  // namespace sortwell::batch_processor
