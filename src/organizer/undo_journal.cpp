#include "organizer/undo_journal.h"

#include "metadata/atomic_replace.h"
#include "platform/file_system.h"
#include "platform/file_system_moves.h"
#include "settings/json_text.h"

#include <rapidjson/document.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include <stdexcept>

namespace sortwell::organizer {
namespace {

namespace fs = platform::file_system;
namespace json = common::setting_utilities;

}  // namespace

std::wstring journal_path(const std::wstring& folder) { return folder + fs::separator + journal_file_name; }

std::string journal_text(const journal_record& record) {
    rapidjson::StringBuffer buffer;
    rapidjson::PrettyWriter<rapidjson::StringBuffer> writer(buffer);
    writer.SetIndent(' ', 4);
    writer.StartObject();
    writer.Key("version");
    writer.String("1.0");
    writer.Key("folder");
    json::write_json_string(writer, record.folder);
    writer.Key("created_folders");
    writer.StartArray();
    for (const auto& folder : record.created_folders) json::write_json_string(writer, folder);
    writer.EndArray();
    writer.Key("moves");
    writer.StartArray();
    for (const auto& move : record.moves) {
        writer.StartObject();
        writer.Key("from");
        json::write_json_string(writer, move.from);
        writer.Key("to");
        json::write_json_string(writer, move.to);
        writer.EndObject();
    }
    writer.EndArray();
    writer.EndObject();
    // The journal has always been written through a text-mode stream on Windows.
    std::string text;
    const std::string_view pretty(buffer.GetString(), buffer.GetSize());
    text.reserve(pretty.size() + pretty.size() / 16);
    for (const char c : pretty) {
        if (c == '\n') text.push_back('\r');
        text.push_back(c);
    }
    return text;
}

journal_record parse_journal(std::string_view text) {
    rapidjson::Document document;
    // Counted, so a zero byte inside fails the parse; iterative, so deeply
    // nested garbage cannot exhaust the stack.
    document.Parse<rapidjson::kParseIterativeFlag>(text.data(), text.size());
    if (document.HasParseError() || !document.IsObject()) throw std::runtime_error("Undo journal is not valid JSON");
    journal_record record;
    if (const auto* folder = json::find_member(document, "folder"); folder != nullptr && folder->IsString()) {
        record.folder = json::wide_text(*folder);
    }
    if (const auto* created = json::find_member(document, "created_folders");
        created != nullptr && created->IsArray()) {
        for (const auto& item : created->GetArray()) {
            if (item.IsString()) record.created_folders.push_back(json::wide_text(item));
        }
    }
    if (const auto* moves = json::find_member(document, "moves"); moves != nullptr && moves->IsArray()) {
        for (const auto& item : moves->GetArray()) {
            if (!item.IsObject()) continue;
            const auto* from = json::find_member(item, "from");
            const auto* to = json::find_member(item, "to");
            if (from != nullptr && to != nullptr && from->IsString() && to->IsString()) {
                record.moves.push_back({json::wide_text(*from), json::wide_text(*to)});
            }
        }
    }
    return record;
}

void write_journal(const journal_record& record, const std::wstring& path) {
    const std::string text = journal_text(record);
    // Through a synced temporary: the journal of the run before stays whole
    // until this one is durable, and a full disk leaves no torn journal.
    if (!qlm::metadata::replace_file_atomically(path, text.data(), text.size())) {
        throw std::runtime_error("Failed to write undo journal");
    }
    const std::uint32_t attributes = fs::get_attributes(path);
    if (attributes != fs::invalid_attributes) {
        fs::set_attributes(path, (attributes & ~fs::attribute_normal) | fs::attribute_hidden);
    }
}

journal_record read_journal(const std::wstring& path) {
    const auto bytes = fs::read_file(path);
    if (!bytes) throw std::runtime_error("Failed to open undo journal");
    return parse_journal(*bytes);
}

bool is_rooted(const std::wstring& path) {
    if (path.empty()) return false;
    if (fs::separator == L'/') return path[0] == L'/';
    return path[0] == L'\\' || path[0] == L'/' || (path.size() >= 2 && path[1] == L':');
}

std::wstring resolve_in(const std::wstring& folder, const std::wstring& path) {
    if (is_rooted(path)) return path;
    if (!folder.empty() && (folder.back() == fs::separator || folder.back() == L'/')) return folder + path;
    return folder + fs::separator + path;
}

std::wstring parent_of(const std::wstring& path) {
    const auto slash = path.find_last_of(fs::separator == L'\\' ? L"\\/" : L"/");
    if (slash == std::wstring::npos) return {};
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

std::wstring relative_to(const std::wstring& folder, const std::wstring& path) {
    std::wstring prefix = folder;
    if (prefix.empty() || prefix.back() != fs::separator) prefix += fs::separator;
    // Windows compares the folder part without regard to case; Linux exactly.
    if (path.size() > prefix.size() && fs::path_key(path.substr(0, prefix.size())) == fs::path_key(prefix)) {
        return path.substr(prefix.size());
    }
    return path;
}

std::optional<std::wstring> path_inside(const std::wstring& root, const std::wstring& path) {
    if (root.empty() || path.empty()) return std::nullopt;
    const std::wstring full = resolve_in(root, path);
    const std::wstring relative = relative_to(root, full);
    if (is_rooted(relative)) return std::nullopt;
    const std::wstring_view separators = fs::separator == L'\\' ? L"\\/" : L"/";
    std::wstring walked = root;
    std::size_t start = 0;
    while (start <= relative.size()) {
        std::size_t end = relative.find_first_of(separators, start);
        if (end == std::wstring::npos) end = relative.size();
        const std::wstring step = relative.substr(start, end - start);
        if (step == L"." || step == L"..") return std::nullopt;
        if (end == relative.size()) break;  // the entry itself may be anything
        if (!step.empty()) {
            walked = resolve_in(walked, step);
            const std::uint32_t attributes = fs::get_attributes(walked);
            if (attributes != fs::invalid_attributes && (attributes & fs::attribute_reparse_point) != 0) {
                return std::nullopt;
            }
        }
        start = end + 1;
    }
    return full;
}

std::wstring placement_root(const std::wstring& pattern) {
    std::wstring literal = pattern.substr(0, pattern.find(L'<'));
    if (!is_rooted(literal)) return {};
    const bool whole_folder = literal.back() == fs::separator || literal.back() == L'/';
    std::wstring root = whole_folder ? literal : parent_of(literal);
    while (root.size() > 1 && (root.back() == fs::separator || root.back() == L'/')) root.pop_back();
    if (fs::separator == L'\\' && root.size() == 2 && root[1] == L':') root += L'\\';
    return root;
}

std::optional<std::wstring> journal_scope::source(const std::wstring& from) const { return path_inside(folder, from); }

std::optional<std::wstring> journal_scope::destination(const std::wstring& to) const {
    if (auto inside = path_inside(folder, to)) return inside;
    if (!is_rooted(to)) return std::nullopt;
    for (const auto& root : placement_roots) {
        if (auto placed = path_inside(root, to)) return placed;
    }
    return std::nullopt;
}

}  // namespace sortwell::organizer
