#include "commands/result_printer.h"

#include "cli/cancellation.h"
#include "cli/progress_line.h"
#include "cli/output.h"
#include "platform/text.h"

#include <fmt/format.h>
#include <fmt/xchar.h>

namespace qlm::metadata_commands {
namespace {

using counts = result_sheet::counts;

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

// The JSON document up to the opening of its results array.
std::string json_head(const catalog::command_spec& spec, const parsed_arguments& parsed, bool failed, bool cancelled) {
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
    return std::string(buffer.GetString(), buffer.GetSize());
}

// One element of the results array.
void append_json_row(std::string& out, const catalog::command_spec& spec, const target_result& row, field_mask mask) {
    rapidjson::StringBuffer buffer;
    json_writer writer(buffer);
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
    out.append(buffer.GetString(), buffer.GetSize());
}

// The rest of the document after the last row, line feed included.
std::string json_tail(const catalog::command_spec& spec, const counts& c) {
    if (spec.writes) {
        return fmt::format("],\"summary\":{{\"changed\":{},\"unchanged\":{},\"errors\":{}}}}}\n", c.changed,
                           c.unchanged, c.failed);
    }
    return fmt::format("],\"summary\":{{\"ok\":{},\"errors\":{}}}}}\n", c.ok, c.failed);
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

}  // namespace

result_sheet::result_sheet(const catalog::command_spec& spec, const parsed_arguments& parsed, field_mask mask,
                           std::size_t row_count, std::function<void(const std::wstring&)> on_error)
    : spec_(spec),
      parsed_(parsed),
      mask_(mask),
      single_comment_(spec.command == L"comment" && !spec.writes && row_count == 1),
      on_error_(std::move(on_error)) {}

void result_sheet::add(const target_result& row) {
    if (row.status == L"changed") ++counts_.changed;
    else if (row.status == L"unchanged") ++counts_.unchanged;
    else if (row.status == L"ok") ++counts_.ok;
    else ++counts_.failed;
    if (parsed_.json) {
        // Whole rows per piece, so that every piece is whole UTF-8.
        if (json_rows_.empty() || json_rows_.back().size() >= piece_size) {
            json_rows_.emplace_back();
            json_rows_.back().reserve(piece_size + 512);
        }
        if (counts_.rows() > 1) json_rows_.back().push_back(',');
        append_json_row(json_rows_.back(), spec_, row, mask_);
        return;
    }
    if (row.status == L"error") {
        on_error_(L"qlm: " + row.path + L": " + row.message + L"\n");
        return;
    }
    if (parsed_.quiet) return;
    if (spec_.writes) {
        text_ += write_row_text(row, mask_, parsed_.dry_run);
    } else if (single_comment_) {
        const std::wstring comment = row.after ? row.after->comment : std::wstring();
        text_ += comment;
        if (!comment.empty() && comment.back() != L'\n') text_ += L"\n";
    } else if (mask_ == field_tags) {
        text_ += row.path + L": " + join_list(row.after ? row.after->tags : std::vector<std::wstring>{}) + L"\n";
    } else if (mask_ == field_rating) {
        text_ += fmt::format(L"{}: {}\n", row.path, row.after ? row.after->rating : 0u);
    } else {
        text_ += read_block_text(row, mask_);
    }
}

int result_sheet::finish(bool cancelled, const std::function<void(std::wstring_view)>& out) const {
    const bool failed = counts_.failed > 0 || cancelled;
    if (parsed_.json) {
        // The same UTF-8 to wide turn as a whole document takes, piece by piece.
        out(from_utf8(json_head(spec_, parsed_, failed, cancelled)));
        for (const auto& piece : json_rows_) out(from_utf8(piece));
        out(from_utf8(json_tail(spec_, counts_)));
    } else if (spec_.writes) {
        out(text_ + fmt::format(L"{} {}, {} unchanged, {} failed{}\n", counts_.changed,
                                parsed_.dry_run ? L"would change" : L"changed", counts_.unchanged, counts_.failed,
                                cancelled ? L" (cancelled)" : L""));
    } else {
        out(text_);
    }
    return failed ? 1 : 0;
}

std::wstring format_results(const catalog::command_spec& spec, const parsed_arguments& parsed,
                            const std::vector<target_result>& results, field_mask mask, bool cancelled) {
    result_sheet sheet(spec, parsed, mask, results.size(), [](const std::wstring&) {});
    for (const auto& row : results) sheet.add(row);
    std::wstring text;
    sheet.finish(cancelled, [&](std::wstring_view piece) { text += piece; });
    return text;
}

int print_results(const catalog::command_spec& spec, const parsed_arguments& parsed,
                  const std::vector<target_result>& results, field_mask mask) {
    result_sheet sheet = printing_sheet(spec, parsed, mask, results.size());
    for (const auto& row : results) sheet.add(row);
    return print_sheet(sheet);
}

result_sheet printing_sheet(const catalog::command_spec& spec, const parsed_arguments& parsed, field_mask mask,
                            std::size_t row_count) {
    return result_sheet(spec, parsed, mask, row_count, [](const std::wstring& line) { write_stderr(line); });
}

int print_sheet(const result_sheet& sheet) {
    progress::finish();
    return sheet.finish(cancel_requested.load(), [](std::wstring_view piece) { write_stdout(piece); });
}

}  // namespace qlm::metadata_commands
