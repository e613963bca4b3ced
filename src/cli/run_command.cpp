#include "cli/run_command.h"

#include "cli/output.h"
#include "cli/path_sources.h"
#include "cli/progress_line.h"
#include "cli/target_expansion.h"
#include "commands/comment_commands.h"
#include "commands/metadata_reader.h"
#include "commands/rate_commands.h"
#include "commands/result_printer.h"
#include "commands/storable_text.h"
#include "commands/tag_commands.h"
#include "commands/tag_list.h"

namespace qlm {
namespace {

int usage_error(const parsed_arguments& parsed, const std::wstring& message) {
    return print_error_report(parsed.json, 2, L"usage", message);
}

std::wstring without_trailing_line_ends(std::wstring text) {
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n')) text.pop_back();
    return text;
}

// The comment text of `comment set`, or the usage message in `message`.
bool settle_comment_text(const parsed_arguments& parsed, std::wstring& text, std::wstring& message) {
    if (parsed.text.has_value() == parsed.text_file.has_value()) {
        message = L"'qlm comment set' needs exactly one of --text or --text-file.";
        return false;
    }
    if (parsed.text_file) {
        const text_read read = read_utf8_file(*parsed.text_file, text, comment_text_limit);
        if (read == text_read::unreadable) {
            message = L"Could not read the comment file '" + *parsed.text_file + L"'.";
            return false;
        }
        if (read == text_read::too_large) {
            message = too_large_message(L"The comment file '" + *parsed.text_file + L"'", comment_text_limit);
            return false;
        }
        text = without_trailing_line_ends(std::move(text));
        return true;
    }
    if (*parsed.text == L"-") {
        if (parsed.read_stdin) {
            message = L"Standard input can supply the comment text or the paths, not both.";
            return false;
        }
        if (read_stdin_text(text, comment_text_limit) == text_read::too_large) {
            message = too_large_message(L"The comment text on standard input", comment_text_limit);
            return false;
        }
        text = without_trailing_line_ends(std::move(text));
        return true;
    }
    text = *parsed.text;
    return true;
}

}  // namespace

int run_command(const catalog::command_spec& spec, const parsed_arguments& parsed) {
    const std::wstring name = catalog::full_command_name(spec);
    // The tag list takes no paths: --from-file and "-" are ignored for it.
    if (spec.command == L"tag" && spec.subcommand == L"list") return metadata_commands::run_tag_list(parsed);
    std::wstring comment_text;
    if (spec.command == L"comment" && spec.subcommand == L"set") {
        std::wstring message;
        if (!settle_comment_text(parsed, comment_text, message)) return usage_error(parsed, message);
        // Line breaks and tabs are kept; any other control character would not read back.
        using metadata_commands::unstorable;
        if (const unstorable problem = metadata_commands::check_storable(comment_text, L"\t\r\n");
            problem != unstorable::none) {
            return usage_error(parsed, problem == unstorable::control_character
                                           ? L"A comment cannot contain control characters other than tab, carriage "
                                             L"return and line feed."
                                           : L"A comment must be valid Unicode text.");
        }
    }
    std::vector<std::wstring> paths;
    std::wstring message;
    if (!collect_path_arguments(parsed, paths, message)) return usage_error(parsed, message);
    if (paths.empty()) return usage_error(parsed, L"'qlm " + name + L"' needs at least one path.");
    const std::vector<target_entry> targets = expand_targets(paths, parsed.recursive);
    progress::start(targets.size(), !parsed.json);
    using namespace metadata_commands;
    const field_mask mask = spec.command == L"tag"       ? field_tags
                            : spec.command == L"rate"    ? field_rating
                            : spec.command == L"comment" ? field_comment
                                                         : field_all;
    if (!spec.writes) {
        // Rows are folded into the sheet as they are read, never held as row objects.
        result_sheet sheet = printing_sheet(spec, parsed, mask, targets.size());
        read_targets(targets, mask, [&](target_result&& row) {
            sheet.add(row);
            progress::advance();
        });
        return print_sheet(sheet);
    }
    if (spec.command == L"comment") return run_comment_change(spec, parsed, comment_text, targets);
    if (spec.command == L"tag") return run_tag_change(spec, parsed, targets);
    return run_rate_change(spec, parsed, targets);
}

}  // namespace qlm
