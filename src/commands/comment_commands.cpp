#include "commands/comment_commands.h"

#include "cli/cancellation.h"
#include "cli/progress_line.h"
#include "cli/output.h"
#include "commands/result_printer.h"
#include "metadata/comment_storage.h"
#include "platform/file_safety.h"
#include "platform/file_system.h"
#include "platform/shell.h"

#include <exception>

namespace qlm::metadata_commands {
namespace {

file_state comment_only(const std::wstring& comment) {
    file_state state;
    state.comment = comment;
    return state;
}

}  // namespace

void write_target_comment(const std::wstring& path, const std::wstring& text, bool dry_run, target_result& row) {
    metadata::comment_document document;
    document.path = path;
    if (!metadata::load_comment(document)) {
        const std::uint32_t attributes = platform::file_system::get_attributes(path);
        if (attributes != platform::file_system::invalid_attributes &&
            (attributes & metadata::cloud_attribute_mask) != 0) {
            set_error(row, L"cloud_only",
                      L"The file is only in the cloud; open it once so it is downloaded, then try again.");
        } else {
            set_error(row, L"read_failed", L"Could not read the comment.");
        }
        return;
    }
    row.before = comment_only(document.text);
    if (document.text == text) {
        row.status = L"unchanged";
        row.after = row.before;
        return;
    }
    if (dry_run) {
        row.status = L"changed";
        row.after = comment_only(text);
        return;
    }
    if (document.text != text) document.dirty = true;
    document.text = text;
    // A comment that does not read back is taken back from beside the content.
    const auto attributes = platform::file_system::snapshot_extended_attributes(path);
    bool saved = false;
    try {
        saved = metadata::save_comment(document);
    } catch (...) {
        platform::file_system::restore_extended_attributes(path, attributes);
        throw;
    }
    if (saved) {
        row.status = L"changed";
        row.after = comment_only(text);
        platform::shell::change_notify(platform::shell::event_update_item,
                                       platform::shell::flag_path | platform::shell::flag_flush_no_wait, path);
    } else {
        platform::file_system::restore_extended_attributes(path, attributes);
        set_error(row, L"write_failed",
                  L"Could not save the comment. The file may be open in another program, read-only, or in a format "
                  L"that does not keep comments.");
    }
}

int run_comment_change(const catalog::command_spec& spec, const parsed_arguments& parsed, const std::wstring& text,
                       const std::vector<target_entry>& targets) {
    std::vector<target_result> rows;
    for (const auto& target : targets) {
        target_result row = start_row(target);
        if (row.status.empty()) {
            try {
                write_target_comment(target.path, text, parsed.dry_run, row);
            } catch (const std::exception& error) {
                set_error(row, L"write_failed", L"Could not save the comment: " + from_utf8(error.what()));
            } catch (...) {
                set_error(row, L"write_failed", L"Could not save the comment.");
            }
        }
        rows.push_back(std::move(row));
        progress::advance();
        if (cancel_requested.load()) break;
    }
    return print_results(spec, parsed, rows, field_comment);
}

}  // namespace qlm::metadata_commands
