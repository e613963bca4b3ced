#include "commands/write_runner.h"

#include "batch_processor/batch_processor_worker.h"
#include "cli/cancellation.h"
#include "cli/progress_line.h"
#include "commands/collecting_callbacks.h"
#include "commands/metadata_reader.h"
#include "commands/ordered_read_pool.h"
#include "metadata/file_type_capabilities.h"
#include "metadata/xmp_sidecar.h"
#include "platform/file_safety.h"
#include "platform/registry.h"
#include "platform/system_words.h"
#include "settings/common_settings_file.h"

#include <algorithm>

namespace qlm::metadata_commands {
namespace {

constexpr wchar_t cancelled_message[] = L"Cancelled before this target was written.";
constexpr wchar_t not_persisted_message[] =
    L"The write reported no error, but the change is not there when read back. The file may be open in another "
    L"program, read-only, or in a format that does not keep this metadata.";

// Phase 1 for one target: true when the row still needs the write.
bool needs_write(const target_entry& target, field_mask mask, const change_request& request, bool dry_run,
                 target_result& row) {
    if (!row.status.empty()) return false;  // start_row failed it already
    const bool capable = (mask & field_tags) != 0 ? metadata::can_store_tags(target.path)
                                                   : metadata::can_store_rating(target.path);
    if (!capable) {
        // A file this user may not write is refused for that first: its type is not the reason.
        if (const std::uint32_t refusal = platform::system_words::permission_refusal(target.path); refusal != 0) {
            set_error(row, L"write_failed",
                      L"This file cannot be written: " +
                          platform::system_words::words_or_code(static_cast<std::int32_t>(0x80070000u | refusal)) +
                          L".");
            return false;
        }
        set_error(row, L"unsupported_type", request.unsupported_message);
        return false;
    }
    file_state state;
    if (!read_file_state(target.path, mask, state, row)) {
        if (row.code != L"cloud_only") return false;
        // Writing downloads a placeholder; reading it here would too, so it
        // goes to the writer without a before state.
        row.status.clear();
        row.code.clear();
        row.message.clear();
        if (!dry_run) return true;
        row.status = L"changed";
        return false;
    }
    row.before = state;
    if (request.already_applied(state) && state.rating_settled) {
        row.status = L"unchanged";
        row.after = std::move(state);
        return false;
    }
    if (!dry_run) return true;
    row.status = L"changed";
    row.after = request.expected_state(state);
    return false;
}

void verify(target_result& row, field_mask mask, const change_request& request, const collecting_callbacks& host) {
    if (const auto error = host.errors_by_path.find(row.path); error != host.errors_by_path.end()) {
        set_error(row, L"write_failed", error->second);
        return;
    }
    file_state state;
    target_result scratch;
    if (!read_file_state(row.path, mask, state, scratch)) {
        set_error(row, scratch.code, L"Written, but reading it back failed: " + scratch.message);
        return;
    }
    const bool applied = request.already_applied(state);
    row.after = std::move(state);
    if (applied) {
        row.status = L"changed";
    } else if (cancel_requested.load()) {
        set_error(row, L"cancelled", cancelled_message);
    } else if (!host.general_error.empty()) {
        set_error(row, L"write_failed", host.general_error);
    } else {
        set_error(row, L"not_persisted", not_persisted_message);
    }
}

}  // namespace

std::vector<target_result> run_metadata_change(const std::vector<target_entry>& targets, field_mask mask,
                                               const change_request& request, bool dry_run) {
    // The reads before and after the batch run are independent per target,
    // so they run side by side; the batch run itself stays on this thread.
    std::vector<target_result> rows(targets.size());
    std::vector<std::size_t> queued;
    struct checked_row {
        target_result row;
        bool write = false;
    };
    std::size_t next_row = 0;
    run_ordered<checked_row>(
        targets.size(), reader_count(targets.size()),
        [&](std::size_t i) {
            checked_row checked{start_row(targets[i])};
            checked.write = needs_write(targets[i], mask, request, dry_run, checked.row);
            return checked;
        },
        [&](checked_row&& checked) {
            if (checked.write) queued.push_back(next_row);
            rows[next_row++] = std::move(checked.row);
        });
    // Targets that need no write are done after the check; the others as the
    // batch run reaches them.
    const std::size_t settled = targets.size() - queued.size();
    progress::set_done(settled);
    if (queued.empty()) return rows;

    // One batch run for every write, so the shell is refreshed once per command.
    collecting_callbacks host;
    host.on_progress = [&](int percent) {
        progress::set_done(settled + queued.size() * static_cast<std::size_t>(std::clamp(percent, 0, 100)) / 100);
    };
    sortwell::batch_processor::batch_processor_worker worker(host);
    worker.job_in_memory = true;
    worker.action_type_name = sortwell::batch_processor::action_name(request.action);
    worker.action_parameters = request.action_parameters;
    // What a failed write put beside a file's content is taken back, so that
    // a target reported failed reads back as before.
    std::vector<platform::file_system::extended_attributes> before;
    std::vector<metadata::sidecar_snapshot> sidecars_before;
    before.reserve(queued.size());
    sidecars_before.reserve(queued.size());
    for (const std::size_t i : queued) {
        worker.files.push_back(rows[i].path);
        before.push_back(platform::file_system::snapshot_extended_attributes(rows[i].path));
        sidecars_before.push_back(metadata::snapshot_sidecar(rows[i].path));
    }
    {
        // Each folder's entries are flushed once, after its last replace and
        // before anything is read back or reported.
        const platform::file_system::folder_flush_batch flushes;
        // The shell registration of each file reads the same registry keys;
        // they are looked up on disk once for the whole run.
        const platform::registry::read_phase registry_phase;
        // Likewise the suite's settings, asked for every target.
        const common::setting_utilities::read_phase settings_phase;
        worker.process_job();
    }

    std::size_t next_check = 0;
    run_ordered<target_result>(
        queued.size(), reader_count(queued.size()),
        [&](std::size_t k) {
            target_result row = std::move(rows[queued[k]]);
            verify(row, mask, request, host);
            return row;
        },
        [&](target_result&& row) {
            const std::size_t k = next_check++;
            if (row.status != L"changed") {
                platform::file_system::restore_extended_attributes(row.path, before[k]);
                metadata::restore_sidecar(row.path, sidecars_before[k]);
            }
            rows[queued[k]] = std::move(row);
        });
    progress::set_done(targets.size());
    return rows;
}

}  // namespace qlm::metadata_commands
