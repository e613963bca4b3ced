#pragma once
// The batch job file: a JSON text naming the action, its parameter text and
// the paths to process, read and validated before the worker starts.
//
// {"version": "1", "job": {"guid": "…", "action_type": "update_tags",
//  "action_parameters": "+Work"}, "files": [{"path": "C:\\a.jpg"}]}

#include <rapidjson/document.h>

#include <optional>
#include <string>
#include <vector>

namespace sortwell::batch_processor {

/// The job file as read: every string exactly as its UTF-8 bytes stand in
/// the JSON text.
struct job_description {
    std::string version;
    std::string guid;  // required and validated; nothing uses it
    std::string action_type;
    std::string action_parameters;
    std::vector<std::string> files;
};

/// Reads and validates the job file at the UTF-8 path. Throws
/// std::runtime_error with "Failed to open JSON file: <path>" or one of the
/// messages of parse_job_json.
job_description read_job_file(const std::string& path);

/// Where a text that is not JSON breaks: "line 3, column 7: Missing a comma
/// or '}' after an object member."; nothing for valid JSON.
std::optional<std::string> json_syntax_problem(const std::string& text);

/// Validates the parsed root in a fixed order and copies it; the first
/// failure throws std::runtime_error with its message ("JSON root must be an
/// object", "Missing or invalid 'version' field", …).
job_description parse_job_json(const rapidjson::Value& root);

/// The "path" of one element of "files". Throws std::runtime_error "File
/// entry must be an object" or "Missing or invalid 'path' field in file entry".
std::string parse_file_entry(const rapidjson::Value& entry);

}  // namespace sortwell::batch_processor
