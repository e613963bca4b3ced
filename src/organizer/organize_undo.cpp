// The "organize_undo" action: the journal's moves put back in journal order.

#include "logging/log.h"
#include "organizer/intent_log.h"
#include "organizer/organize_folder.h"
#include "organizer/organize_selection.h"
#include "organizer/undo_journal.h"
#include "platform/file_system.h"
#include "platform/file_system_moves.h"
#include "platform/shell.h"
#include "platform/shell_events.h"
#include "platform/text.h"

#include <fmt/format.h>
#include <fmt/xchar.h>

#include <algorithm>
#include <set>
#include <stdexcept>

namespace sortwell::organizer {
namespace {

namespace fs = platform::file_system;
namespace shell = platform::shell;
using namespace std::chrono_literals;

constexpr int last_free_number = 1001;

bool exists(const std::wstring& path) {
    try {
        return fs::exists(path);
    } catch (const std::exception&) {
        return true;
    }
}

std::wstring name_of(const std::wstring& path) {
    const auto slash = path.find_last_of(fs::separator == L'\\' ? L"\\/" : L"/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// The wanted path, else "base (n).ext" in the organized folder; after number
// 1001 the search stops and that candidate is used.
std::wstring free_restore_path(const std::wstring& folder, const std::wstring& wanted, const std::wstring& from) {
    std::wstring path = wanted;
    const std::wstring name = name_of(from);
    for (int number = 2; exists(path); ++number) {
        path = resolve_in(folder, fmt::format(L"{} ({}){}", base_name(name), number, dotted_extension(name)));
        if (number >= last_free_number) break;
    }
    return path;
}

void clear_hidden_and_delete(const std::wstring& path) {
    const std::uint32_t attributes = fs::get_attributes(path);
    if (attributes != fs::invalid_attributes && (attributes & fs::attribute_hidden) != 0) {
        fs::set_attributes(path, attributes & ~fs::attribute_hidden);
    }
    fs::delete_file(path);
}

}  // namespace

void organize_undo(batch_processor::batch_processor_callbacks& callbacks, const std::wstring& folder,
                   const organize_services& services) {
    const journal_scope scope = organize_scope(folder, services);
    const recovery_result recovered = recover_intent_log(scope);
    if (recovered.found && !recovered.undo && !recovered.moved.empty()) {
        qlm::log_info(L"Organize folder: recovered {} moves of an interrupted run in {}", recovered.moved.size(),
                      folder);
    }
    const std::wstring journal = journal_path(folder);
    if (!exists(journal)) {
        throw std::runtime_error(
            platform::text::to_utf8(fmt::format(L"Nothing to undo: no organize record found in '{}'", folder)));
    }
    const journal_record record = read_journal(journal);
    const std::size_t total = record.moves.size();
    if (total >= batch_processor::progress_window_files) callbacks.show_progress();

    intent_log log(folder);
    const bool logging = log.start(true);
    std::size_t restored = 0, not_restored = 0, refused = 0, index = 0;
    std::set<std::wstring> touched;
    bool cancelled = false;
    for (; index < total; ++index) {
        if (callbacks.is_cancelled()) {
            cancelled = true;
            break;
        }
        while (!cancelled && callbacks.is_paused()) {
            if (callbacks.is_cancelled()) {
                cancelled = true;
            } else {
                services.sleep(50ms);
            }
        }
        if (cancelled) break;
        callbacks.report_progress(batch_processor::progress_percent(index + 1, total));
        const journal_move& move = record.moves[index];
        const auto current_place = scope.destination(move.to);
        const auto wanted_place = scope.source(move.from);
        if (!current_place || !wanted_place) {
            qlm::log_error(L"Undo organize: refused to move '{}' to '{}': the journal entry leads outside '{}'",
                           move.to, move.from, folder);
            ++refused;
            continue;
        }
        const std::wstring& current = *current_place;
        const std::wstring& wanted = *wanted_place;
        if (!exists(current)) {
            qlm::log_info(L"Undo organize: '{}' no longer exists, skipping", current);
            ++not_restored;
            continue;
        }
        const std::wstring target = free_restore_path(folder, wanted, move.from);
        // A move back from another volume deletes its source before the next periodic flush.
        if (logging) log.undone(index, current, target, is_rooted(move.to));
        if (const std::uint32_t error = services.move_file(current, target); error != 0) {
            qlm::log_error(L"Undo organize: failed to restore '{}' ({})", current, fs::error_text(error));
            ++not_restored;
            continue;
        }
        shell::change_notify(shell::event_rename_item, shell::flag_path, current, target);
        touched.insert(parent_of(current));
        touched.insert(parent_of(target));
        ++restored;
    }
    // The moves back are made durable once, before the journal that
    // names them changes; until then the log settles a crash.
    for (const auto& changed : touched) fs::flush_folder(changed);
    if (cancelled && index < total) {
        journal_record left{record.folder, record.created_folders, {}};
        left.moves.assign(record.moves.begin() + static_cast<std::ptrdiff_t>(index), record.moves.end());
        write_journal(left, journal);
        log.remove();
    } else {
        clear_hidden_and_delete(journal);
        for (auto it = record.created_folders.rbegin(); it != record.created_folders.rend(); ++it) {
            const auto inside = path_inside(folder, *it);
            if (!inside) continue;
            const std::wstring& created = *inside;
            if (fs::remove_directory(created) == 0) {
                shell::change_notify(shell::event_rmdir, shell::flag_path, created);
            }
        }
        log.remove();
    }
    shell::change_notify(shell::event_update_dir, shell::flag_path | shell::flag_flush, folder);
    qlm::log_info(L"Undo organize: restored {} files, skipped {} in {} (cancelled={})", restored, not_restored, folder,
                  cancelled);
    if (refused > 0) {
        throw std::runtime_error(platform::text::to_utf8(fmt::format(
            L"Restored {} files; {} could not be restored (deleted, renamed, or locked) and {} journal entries were "
            L"refused because they lead outside '{}'. See the log for details.",
            restored, not_restored, refused, folder)));
    }
    if (not_restored > 0) {
        throw std::runtime_error(platform::text::to_utf8(
            fmt::format(L"Restored {} files; {} could not be restored (deleted, renamed, or locked). See the log for "
                        L"details.",
                        restored, not_restored)));
    }
}

}  // namespace sortwell::organizer
