#include "commands/result_printer.h"

#include "cli/cancellation.h"
#include "cli/output.h"
#include "platform/text.h"

#include <fmt/format.h>
#include <fmt/xchar.h>

namespace qlm::metadata_commands {
namespace {

struct counts {
    int changed = 0;
    int unchanged = 0;
    int ok = 0;
    int failed = 0;
};

counts count_rows(const std::vector<target_result>& results) {
    counts c;
    for (const auto& row : results) {
        if (row.status == L"changed") ++c.changed;
        else if (row.status == L"unchanged") ++c.unchanged;
        else if (row.status == L"ok") ++c.ok;
        else ++c.failed;
    }
    return c;
}

std::wstring join_list(const std::vector<std::wstring>& items) {
    if (items.empty()) return L"(none)";
    std::wstring text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) text += L", ";
        text += items[i];
    }
    return text;
}

void write_string_array(json_writer& writer, const std::vector<std::wstring>& items) {
    writer.StartArray();
    for (const auto& item : items) write_json_string(writer, item);
    writer.EndArray();
}

// The state fields in JSON order: tags, rating, comment, people.
void write_state_fields(json_writer& writer, const file_state& state, field_mask mask) {
    if ((mask & field_tags) != 0) {
        writer.Key("tags");
        write_string_array(writer, state.tags);
    }
    if ((mask & field_rating) != 0) {
        writer.Key("rating");
        writer.Int(static_cast<int>(state.rating));
    }
    if ((mask & field_comment) != 0) {
        writer.Key("comment");
        write_json_string(writer, state.comment);
    }
    if ((mask & field_people) != 0) {
        writer.Key("people");
        write_string_array(writer, state.people);
    }
}

void write_state_object(json_writer& writer, const char* key, const file_state& state, field_mask mask) {
    writer.Key(key);
    writer.StartObject();
    write_state_fields(writer, state, mask);
    writer.EndObject();
}

std::wstring format_json(const catalog::command_spec& spec, const parsed_arguments& parsed,
                         const std::vector<target_result>& results, field_mask mask, bool cancelled) {
    const counts c = count_rows(results);
    const bool failed = c.failed > 0 || cancelled;
    rapidjson::StringBuffer buffer;
    json_writer writer(buffer);
    writer.StartObject();
    writer.Key("command");
    write_json_string(writer, catalog::full_command_name(spec));
    writer.Key("ok");
    writer.Bool(!failed);
    writer.Key("exit_code");
    writer.Int(failed ? 1 : 0);
    if (spec.writes) {
        writer.Key("dry_run");
        writer.Bool(parsed.dry_run);
    }
    if (cancelled) {
        writer.Key("cancelled");
        writer.Bool(true);
    }
    writer.Key("results");
    writer.StartArray();
    for (const auto& row : results) {
        writer.StartObject();
        writer.Key("path");
        write_json_string(writer, row.path);
        writer.Key("status");
        write_json_string(writer, row.status);
        if (spec.writes) {
            if (row.before) write_state_object(writer, "before", *row.before, mask);
            if (row.after) write_state_object(writer, "after", *row.after, mask);
        } else if (row.after) {
            write_state_fields(writer, *row.after, mask);
        }
        if (row.status == L"error") {
            writer.Key("error");
            writer.StartObject();
            writer.Key("code");
            write_json_string(writer, row.code);
            writer.Key("message");
            write_json_string(writer, row.message);
            writer.EndObject();
        }
        writer.EndObject();
    }
    writer.EndArray();
    writer.Key("summary");
    writer.StartObject();
    if (spec.writes) {
        writer.Key("changed");
        writer.Int(c.changed);
        writer.Key("unchanged");
        writer.Int(c.unchanged);
    } else {
        writer.Key("ok");
        writer.Int(c.ok);
    }
    writer.Key("errors");
    writer.Int(c.failed);
    writer.EndObject();
    writer.EndObject();
    return from_utf8(std::string(buffer.GetString(), buffer.GetSize())) + L"\n";
}

std::wstring write_row_text(const target_result& row, field_mask mask, bool dry_run) {
    const std::wstring label = row.status == L"changed" ? (dry_run ? L"would change" : L"changed") : L"unchanged";
    std::wstring line = fmt::format(L"{:<13}{}", label, row.path);
    if (row.after) {
        std::vector<std::wstring> details;
        if ((mask & field_tags) != 0) details.push_back(L"tags: " + join_list(row.after->tags));
        if ((mask & field_rating) != 0) details.push_back(fmt::format(L"rating: {}", row.after->rating));
        if ((mask & field_comment) != 0) {
            details.push_back(row.after->comment.empty()
                                  ? std::wstring(L"comment: (none)")
                                  : fmt::format(L"comment: {} characters",
                                                platform::text::utf16_length(row.after->comment)));
        }
        std::wstring joined;
        for (std::size_t i = 0; i < details.size(); ++i) joined += (i > 0 ? L"; " : L"") + details[i];
        line += L"  (" + joined + L")";
    }
    return line + L"\n";
}

std::wstring read_block_text(const target_result& row, field_mask mask) {
    const file_state state = row.after.value_or(file_state{});
    std::wstring text = row.path + L"\n";
    if ((mask & field_tags) != 0) text += L"  tags:    " + join_list(state.tags) + L"\n";
    if ((mask & field_rating) != 0) text += fmt::format(L"  rating:  {}\n", state.rating);
    if ((mask & field_people) != 0) text += L"  people:  " + join_list(state.people) + L"\n";
    if ((mask & field_comment) != 0) {
        if (state.comment.empty()) {
            text += L"  comment: (none)\n";
        } else {
            text += L"  comment:\n    ";
            for (const wchar_t ch : state.comment) {
                if (ch == L'\r') continue;
                text.push_back(ch);
                if (ch == L'\n') text += L"    ";
            }
            text += L"\n";
        }
    }
    return text;
}

// Text form; error rows are handed to on_error as they are met.
template <typename OnError>
std::wstring format_text(const catalog::command_spec& spec, const parsed_arguments& parsed,
                         const std::vector<target_result>& results, field_mask mask, bool cancelled,
                         OnError on_error) {
    std::wstring text;
    const bool single_comment = spec.command == L"comment" && !spec.writes && results.size() == 1;
    for (const auto& row : results) {
        if (row.status == L"error") {
            on_error(L"qlm: " + row.path + L": " + row.message + L"\n");
            continue;
        }
        if (spec.writes) {
            text += write_row_text(row, mask, parsed.dry_run);
        } else if (single_comment) {
            const std::wstring comment = row.after ? row.after->comment : std::wstring();
            text += comment;
            if (!comment.empty() && comment.back() != L'\n') text += L"\n";
        } else if (mask == field_tags) {
            text += row.path + L": " + join_list(row.after ? row.after->tags : std::vector<std::wstring>{}) + L"\n";
        } else if (mask == field_rating) {
            text += fmt::format(L"{}: {}\n", row.path, row.after ? row.after->rating : 0u);
        } else {
            text += read_block_text(row, mask);
        }
    }
    if (spec.writes) {
        const counts c = count_rows(results);
        text += fmt::format(L"{} {}, {} unchanged, {} failed{}\n", c.changed,
                            parsed.dry_run ? L"would change" : L"changed", c.unchanged, c.failed,
                            cancelled ? L" (cancelled)" : L"");
    }
    return text;
}

}  // namespace

std::wstring format_results(const catalog::command_spec& spec, const parsed_arguments& parsed,
                            const std::vector<target_result>& results, field_mask mask, bool cancelled) {
    if (parsed.json) return format_json(spec, parsed, results, mask, cancelled);
    return format_text(spec, parsed, results, mask, cancelled, [](const std::wstring&) {});
}

int print_results(const catalog::command_spec& spec, const parsed_arguments& parsed,
                  const std::vector<target_result>& results, field_mask mask) {
    const bool cancelled = cancel_requested.load();
    const counts c = count_rows(results);
    const int exit_code = (c.failed > 0 || cancelled) ? 1 : 0;
    if (parsed.json) {
        write_stdout(format_json(spec, parsed, results, mask, cancelled));
    } else {
        write_stdout(format_text(spec, parsed, results, mask, cancelled,
                                 [](const std::wstring& line) { write_stderr(line); }));
    }
    return exit_code;
}

}  // namespace qlm::metadata_commands
