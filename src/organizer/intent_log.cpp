#include "organizer/intent_log.h"
#include "platform/file_system_moves.h"

#include "logging/log.h"
#include "platform/text.h"

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <set>

namespace sortwell::organizer {
namespace {

namespace fs = platform::file_system;
using platform::text::from_utf8;
using platform::text::to_utf8;

// The periodic flush: a crash loses at most this many intents, each of
// which the recovery then finds as "nothing happened" or "moved".
constexpr std::size_t lines_per_sync = 64;

class line_writer {
public:
    line_writer() : writer_(buffer_) { writer_.StartObject(); }
    line_writer& field(const char* key, const std::wstring& value) {
        writer_.Key(key);
        const std::string bytes = to_utf8(value);
        writer_.String(bytes.data(), static_cast<rapidjson::SizeType>(bytes.size()));
        return *this;
    }
    line_writer& field(const char* key, std::uint64_t value) {
        writer_.Key(key);
        writer_.Uint64(value);
        return *this;
    }
    line_writer& flag(const char* key) {
        writer_.Key(key);
        writer_.Bool(true);
        return *this;
    }
    std::string line() {
        writer_.EndObject();
        return std::string(buffer_.GetString(), buffer_.GetSize()) + "\n";
    }

private:
    rapidjson::StringBuffer buffer_;
    rapidjson::Writer<rapidjson::StringBuffer> writer_;
};

const rapidjson::Value* string_member(const rapidjson::Value& object, const char* name) {
    const auto it = object.FindMember(name);
    return it != object.MemberEnd() && it->value.IsString() ? &it->value : nullptr;
}

std::wstring wide(const rapidjson::Value& value) {
    return from_utf8(std::string_view(value.GetString(), value.GetStringLength()));
}

bool exists(const std::wstring& path) {
    try {
        return fs::exists(path);
    } catch (const std::exception&) {
        return false;
    }
}

std::optional<std::uint64_t> file_size(const std::wstring& path) {
    fs::exclusive_file file;
    if (file.open(path) == 0) return file.size();
    const auto bytes = fs::read_file(path);
    return bytes ? std::optional<std::uint64_t>(bytes->size()) : std::nullopt;
}

void delete_if_present(const std::wstring& path) {
    if (!exists(path)) return;
    const std::uint32_t attributes = fs::get_attributes(path);
    if (attributes != fs::invalid_attributes && (attributes & (fs::attribute_readonly | fs::attribute_hidden)) != 0) {
        fs::set_attributes(path, attributes & ~(fs::attribute_readonly | fs::attribute_hidden));
    }
    fs::delete_file(path);
}

// Settles one intended move; true when the file is now at `to`.
bool settle(const intent_entries::move& move) {
    if (move.done) return exists(move.to);
    const bool target = exists(move.to);
    const bool source = exists(move.from);
    delete_if_present(fs::move_temporary_name(move.to));
    if (target && !source) return true;
    if (!target) return false;
    if (!source) return false;
    const auto source_size = file_size(move.from);
    const auto target_size = file_size(move.to);
    if (source_size && target_size && *source_size == *target_size) {
        delete_if_present(move.from);
        return true;
    }
    delete_if_present(move.to);
    return false;
}

}  // namespace

intent_entries parse_intent_log(std::string_view text) {
    intent_entries entries;
    std::size_t start = 0;
    bool first = true;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) break;  // a line without its end was torn by the crash
        rapidjson::Document line;
        line.Parse(text.data() + start, end - start);
        start = end + 1;
        if (line.HasParseError() || !line.IsObject()) break;
        if (first) {
            const auto* folder = string_member(line, "folder");
            if (folder == nullptr) break;
            entries.found = true;
            entries.folder = wide(*folder);
            const auto undo = line.FindMember("undo");
            entries.undo = undo != line.MemberEnd() && undo->value.IsBool() && undo->value.GetBool();
            first = false;
            continue;
        }
        if (const auto* created = string_member(line, "created")) {
            entries.created_folders.push_back(wide(*created));
            continue;
        }
        const auto* from = string_member(line, "from");
        const auto* to = string_member(line, "to");
        if (from == nullptr || to == nullptr) break;
        intent_entries::move move{wide(*from), wide(*to)};
        const auto done = line.FindMember("done");
        move.done = done != line.MemberEnd() && done->value.IsBool() && done->value.GetBool();
        const auto undone = line.FindMember("undone");
        if (undone != line.MemberEnd() && undone->value.IsUint64()) {
            move.undone = static_cast<std::ptrdiff_t>(undone->value.GetUint64() & 0x7FFFFFFF);
        }
        entries.moves.push_back(std::move(move));
    }
    return entries;
}

intent_log::intent_log(const std::wstring& folder) : path_(folder + fs::separator + intent_log_file_name) {}

bool intent_log::start(bool undo) {
    const std::uint32_t attributes = fs::get_attributes(path_);
    if (attributes != fs::invalid_attributes && (attributes & fs::attribute_hidden) != 0) {
        fs::set_attributes(path_, attributes & ~fs::attribute_hidden);
    }
    if (const std::uint32_t error = file_.open(path_, true); error != 0) {
        error_ = error;
        return false;
    }
    const std::wstring folder = path_.substr(0, path_.size() - std::wstring(intent_log_file_name).size() - 1);
    line_writer line;
    line.field("folder", folder);
    if (undo) line.flag("undo");
    const bool written = write_line(line.line(), true);
    const std::uint32_t now = fs::get_attributes(path_);
    if (now != fs::invalid_attributes) fs::set_attributes(path_, (now & ~fs::attribute_normal) | fs::attribute_hidden);
    return written;
}

bool intent_log::created_folder(const std::wstring& relative) {
    return write_line(line_writer().field("created", relative).line(), false);
}

bool intent_log::move(const std::wstring& from, const std::wstring& to, bool sync_now) {
    return write_line(line_writer().field("from", from).field("to", to).line(), sync_now);
}

bool intent_log::done(const std::wstring& from, const std::wstring& to) {
    return write_line(line_writer().field("from", from).field("to", to).flag("done").line(), false);
}

bool intent_log::undone(std::size_t index, const std::wstring& from, const std::wstring& to, bool sync_now) {
    return write_line(line_writer().field("undone", index).field("from", from).field("to", to).line(), sync_now);
}

bool intent_log::write_line(const std::string& line, bool sync_now) {
    if (!file_.is_open()) return false;
    if (const std::uint32_t error = file_.append(line); error != 0) {
        error_ = error;
        return false;
    }
    if (sync_now || ++unsynced_ >= lines_per_sync) return sync();
    return true;
}

bool intent_log::sync() {
    unsynced_ = 0;
    if (!file_.is_open()) return false;
    if (const std::uint32_t error = file_.sync(); error != 0) {
        error_ = error;
        return false;
    }
    return true;
}

void intent_log::remove() {
    file_.close();
    delete_if_present(path_);
}

recovery_result recover_intent_log(const journal_scope& scope) {
    const std::wstring& folder = scope.folder;
    recovery_result result;
    const std::wstring path = folder + fs::separator + intent_log_file_name;
    const auto text = fs::read_file(path);
    if (!text) return result;
    intent_entries entries = parse_intent_log(*text);
    // An undo puts back from a destination to a source; an organize run the other way.
    std::erase_if(entries.moves, [&](intent_entries::move& move) {
        auto from = entries.undo ? scope.destination(move.from) : scope.source(move.from);
        auto to = entries.undo ? scope.source(move.to) : scope.destination(move.to);
        if (!from || !to) {
            qlm::log_warning(L"Organize folder: ignored a logged move that leads outside {}: '{}' to '{}'", folder,
                             move.from, move.to);
            return true;
        }
        move.from = std::move(*from);
        move.to = std::move(*to);
        return false;
    });
    std::erase_if(entries.created_folders, [&](const std::wstring& created) { return !path_inside(folder, created); });
    result.found = true;
    result.undo = entries.undo;
    if (entries.undo) {
        std::set<std::size_t> restored;
        for (const auto& move : entries.moves) {
            if (move.undone >= 0 && settle(move)) restored.insert(static_cast<std::size_t>(move.undone));
        }
        const std::wstring journal = journal_path(folder);
        if (!restored.empty() && exists(journal)) {
            try {
                journal_record record = read_journal(journal);
                std::vector<journal_move> left;
                for (std::size_t i = 0; i < record.moves.size(); ++i) {
                    if (!restored.contains(i)) left.push_back(record.moves[i]);
                }
                record.moves = std::move(left);
                write_journal(record, journal);
            } catch (const std::exception&) {
                return result;  // the log stays: the journal could not take what it knows
            }
        }
        result.restored = restored.size();
    } else {
        for (const auto& move : entries.moves) {
            if (settle(move)) result.moved.push_back({move.from, relative_to(folder, move.to)});
        }
        for (const auto& created : entries.created_folders) {
            if (exists(resolve_in(folder, created))) result.created_folders.push_back(created);
        }
        // The interrupted run is the latest: its journal replaces the one before.
        if (!result.moved.empty()) {
            try {
                write_journal({folder, result.created_folders, result.moved}, journal_path(folder));
            } catch (const std::exception&) {
                return result;  // the log stays for the next try
            }
        }
    }
    delete_if_present(path);
    return result;
}

}  // namespace sortwell::organizer
