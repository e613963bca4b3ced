#include "organizer/organize_folder.h"

#include "logging/log.h"
#include "organizer/cue_sheets.h"
#include "organizer/intent_log.h"
#include "organizer/metadata_fields.h"
#include "organizer/organize_selection.h"
#include "organizer/undo_journal.h"
#include "platform/dialog.h"
#include "platform/file_system.h"
#include "platform/file_system_moves.h"
#include "platform/shell.h"
#include "platform/shell_events.h"
#include "platform/text.h"
#include "platform/win32_error.h"

#include <fmt/format.h>
#include <fmt/xchar.h>

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <thread>

namespace sortwell::organizer {
namespace {

namespace fs = platform::file_system;
namespace shell = platform::shell;
namespace hl = high_level_settings;
using namespace std::chrono_literals;
using platform::text::to_utf8;

constexpr std::uint32_t lock_violation = 33;
constexpr int move_attempts = 5;
constexpr std::size_t longest_path = 260;  // MAX_PATH, counted in UTF-16 units
constexpr int last_free_number = 1000;

struct pattern_scheme {
    std::wstring name;
    std::wstring naming_pattern;
    std::wstring placement_pattern;
    std::vector<std::wstring> extensions;
    std::vector<std::wstring> sidecar_extensions;
    bool cue_aware = false;
    destination (*builder)(const std::wstring&, const std::wstring&, const std::wstring&) = nullptr;
};

[[noreturn]] void fail(const std::wstring& message) { throw std::runtime_error(to_utf8(message)); }

std::wstring join(const std::wstring& folder, const std::wstring& name) {
    if (!folder.empty() && (folder.back() == fs::separator || folder.back() == L'/')) return folder + name;
    return folder + fs::separator + name;
}

bool exists(const std::wstring& path) {
    try {
        return fs::exists(path);
    } catch (const std::exception&) {
        // A name that cannot be checked (too long to exist, say) is tried:
        // the move never replaces anything.
        return false;
    }
}

bool is_folder(const std::wstring& path) {
    const std::uint32_t attributes = fs::get_attributes(path);
    return attributes != fs::invalid_attributes && (attributes & fs::attribute_directory) != 0;
}

// Waits out a pause; true when the run was cancelled.
bool cancelled_or_wait(batch_processor::batch_processor_callbacks& callbacks, const organize_services& services) {
    for (;;) {
        if (callbacks.is_cancelled()) return true;
        if (!callbacks.is_paused()) return false;
        services.sleep(50ms);
    }
}

// The wanted name, else "base (n).ext" from `first` on; nullopt when even
// number 1000 is taken.
std::optional<std::wstring> free_name(const std::wstring& folder, const std::wstring& base,
                                      const std::wstring& extension, int first) {
    std::wstring name = base + extension;
    for (int number = first; exists(join(folder, name)); ++number) {
        if (number > last_free_number) return std::nullopt;
        name = fmt::format(L"{} ({}){}", base, number, extension);
    }
    return name;
}

void notify_rename(const std::wstring& from, const std::wstring& to) {
    shell::change_notify(shell::event_rename_item, shell::flag_path, from, to);
}

// The shell hears about every changed folder, then the organized one.
void notify_folders(const std::set<std::wstring>& changed, const std::wstring& folder) {
    for (const auto& changed_folder : changed)
        shell::change_notify(shell::event_update_dir, shell::flag_path, changed_folder);
    shell::change_notify(shell::event_update_dir, shell::flag_path | shell::flag_flush, folder);
}

void add_once(std::vector<std::wstring>& list, const std::wstring& item) {
    if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
}

// Thrown when the intent log cannot record the next step: the run stops
// before that step, since a crash after it could not be settled.
class log_failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One organize run's journal, intent log and shell bookkeeping.
class run_record {
public:
    // Starts with the moves a recovery found done, ahead of this run's own.
    // Nothing moves unless the log can be written: a run that cannot start
    // one fails before its first move.
    run_record(const std::wstring& folder, const recovery_result& recovered) : log_(folder) {
        if (exists(log_.path())) {
            fail(
                fmt::format(L"The log of an interrupted run in '{}' could not be settled (the disk may be full or "
                            L"read-only); nothing was moved.",
                            folder));
        }
        record_.folder = folder;
        record_.moves = recovered.moved;
        record_.created_folders = recovered.created_folders;
        bool logging = log_.start(false);
        for (const auto& created : record_.created_folders) logging = logging && log_.created_folder(created);
        for (const auto& move : record_.moves) logging = logging && log_.done(move.from, resolve_in(folder, move.to));
        if (!logging || !log_.sync()) {
            const std::wstring reason = fs::error_text(log_.last_error());
            log_.remove();
            fail(fmt::format(L"Cannot write the organize log in '{}' ({}); nothing was moved.", folder, reason));
        }
    }

    // The message for a run that stopped because its log could not be written.
    std::wstring stopped_message(std::size_t moved, std::size_t total) const {
        return fmt::format(L"Cannot write the organize log in '{}' ({}); the run stopped after {} of {} files.",
                           record_.folder, fs::error_text(log_.last_error()), moved, total);
    }

    void creating_folder(const std::wstring& relative) {
        if (!log_.created_folder(relative)) throw log_failure("organize log");
    }
    void created_folder(const std::wstring& relative) { add_once(record_.created_folders, relative); }
    // A folder made outside the organized one: only its parent changed.
    void created_outside(const std::wstring& path) { touched_.insert(parent_of(path)); }

    // The first move waits for its line to be durable, later ones for a
    // periodic flush (or their own, when `sync_now`).
    void moving(const std::wstring& from, const std::wstring& to, bool sync_now) {
        if (!log_.move(from, to, sync_now || !moving_yet_)) throw log_failure("organize log");
        moving_yet_ = true;
    }
    void moved(const std::wstring& from, const std::wstring& to) {
        notify_rename(from, to);
        record_.moves.push_back({from, relative_to(record_.folder, to)});
        touched_.insert(parent_of(from));
        touched_.insert(parent_of(to));
    }

    bool any_moves() const { return !record_.moves.empty(); }

    // Writes the journal when anything moved and drops the intent log once
    // the journal holds it; the message of a failed write, else empty. The
    // moves and the journal are made durable first, once for the whole run:
    // until the log goes, a crash is settled from the log.
    std::wstring finish() {
        std::wstring error;
        if (any_moves()) {
            try {
                write_journal(record_, journal_path(record_.folder));
            } catch (const std::exception& failure) {
                error = platform::text::from_utf8(failure.what());
            }
        }
        touched_.insert(record_.folder);
        for (const auto& folder : record_.created_folders)
            touched_.insert(parent_of(resolve_in(record_.folder, folder)));
        for (const auto& folder : touched_) fs::flush_folder(folder);
        if (error.empty()) log_.remove();
        return error;
    }

private:
    std::set<std::wstring> touched_;  // folders whose entries this run changed
    journal_record record_;
    intent_log log_;
    bool moving_yet_ = false;
};

// Settles what an interrupted organize or undo left behind. An undo's
// leftovers only fix the journal; an organize run's moves lead the new journal.
recovery_result recover_leftovers(const std::wstring& folder, const organize_services& services) {
    recovery_result recovered = recover_intent_log(organize_scope(folder, services));
    if (!recovered.moved.empty()) {
        qlm::log_info(L"Organize folder: recovered {} moves of an interrupted run in {}", recovered.moved.size(),
                      folder);
    }
    return recovered;
}

// ---- by type ----

void organize_by_type(batch_processor::batch_processor_callbacks& callbacks, const std::wstring& folder,
                      const organize_services& services, const recovery_result& recovered) {
    const category_lookup lookup = build_category_lookup(services.categories());
    const auto excluded = services.excluded_names();
    const auto files = select_files(folder, excluded, nullptr);
    if (files.empty()) {
        qlm::log_info(L"Organize folder: nothing to organize in {}", folder);
        return;
    }
    run_record record(folder, recovered);
    if (files.size() >= batch_processor::progress_window_files) callbacks.show_progress();
    std::size_t moved = 0, failures = 0;
    bool stopped = false;
    std::set<std::wstring> used_folders;
    std::set<std::wstring> ready_folders;
    std::set<std::wstring> changed;
    for (std::size_t index = 0; index < files.size(); ++index) {
        if (cancelled_or_wait(callbacks, services)) break;
        callbacks.report_progress(batch_processor::progress_percent(index + 1, files.size()));
        const std::wstring& name = files[index];
        const std::wstring source = join(folder, name);
        try {
            const auto found = lookup.find(lower_extension(name));
            const std::wstring category = found == lookup.end() ? L"Other" : found->second;
            const std::wstring destination_folder = join(folder, category);
            // A category folder is looked at once per run, not once per file.
            if (!ready_folders.contains(category) && !is_folder(destination_folder)) {
                record.creating_folder(category);
                const std::uint32_t error = services.create_directory(destination_folder);
                if (error != 0 && error != platform::win32_error::already_exists) {
                    fail(fmt::format(L"Failed to create subfolder '{}'", category));
                }
                if (error == 0) record.created_folder(category);
            }
            ready_folders.insert(category);
            const auto final_name = free_name(destination_folder, base_name(name), dotted_extension(name), 2);
            if (!final_name)
                fail(fmt::format(L"Unable to find a free name for '{}' in '{}'", name, destination_folder));
            const std::wstring target = join(destination_folder, *final_name);
            record.moving(source, target, false);
            if (const std::uint32_t error = services.move_file(source, target); error != 0) {
                fail(fmt::format(L"Failed to move '{}' ({})", name, fs::error_text(error)));
            }
            record.moved(source, target);
            used_folders.insert(category);
            changed.insert(destination_folder);
            ++moved;
        } catch (const log_failure&) {
            stopped = true;
            break;
        } catch (const std::exception& failure) {
            ++failures;
            qlm::log_error(L"Organize folder: {}", platform::text::from_utf8(failure.what()));
        }
    }
    if (const std::wstring error = record.finish(); !error.empty()) {
        qlm::log_warning(L"Organize folder: failed to write undo journal for {}: {}", folder, error);
    }
    if (stopped) {
        notify_folders(changed, folder);
        const std::wstring message = record.stopped_message(moved, files.size());
        qlm::log_error(L"Organize folder: {}", message);
        fail(message);
    }
    notify_folders(changed, folder);
    qlm::log_info(L"Organize folder: moved {} files into {} subfolders of {} ({} failures)", moved, used_folders.size(),
                  folder, failures);
    if (failures > 0) {
        fail(fmt::format(L"{} of {} files could not be moved. See the log for details.", failures, moved + failures));
    }
}

// ---- by pattern ----

pattern_scheme photos_scheme(const organize_services& services) {
    pattern_scheme scheme;
    scheme.name = L"Photos";
    scheme.naming_pattern = services.pattern(hl::photo_naming_pattern_key, hl::photo_naming_pattern_default);
    scheme.placement_pattern = services.pattern(hl::photo_placement_pattern_key, hl::photo_placement_pattern_default);
    scheme.extensions = hl::image_extensions();
    scheme.sidecar_extensions = {L"xmp", L"aae", L"thm", L"pp3", L"dop", L"on1"};
    scheme.builder = photo_destination;
    return scheme;
}

pattern_scheme music_scheme(const organize_services& services) {
    pattern_scheme scheme;
    scheme.name = L"Music";
    scheme.naming_pattern = services.pattern(hl::music_naming_pattern_key, hl::music_naming_pattern_default);
    scheme.placement_pattern = services.pattern(hl::music_placement_pattern_key, hl::music_placement_pattern_default);
    scheme.extensions = hl::music_extensions();
    scheme.sidecar_extensions = {L"lrc"};
    scheme.cue_aware = true;
    scheme.builder = music_destination;
    return scheme;
}

// The folder's names by lower case, so that sidecars are found whatever the
// case of their names (Windows file systems ignore it; Linux ones do not).
class name_index {
public:
    explicit name_index(const std::wstring& folder) {
        if (const auto names = fs::find_files(join(folder, L"*"))) {
            for (const auto& name : *names) by_lower_[platform::text::to_lower_invariant(name)].push_back(name);
        }
    }
    // The existing names equal to `name` without regard to case.
    const std::vector<std::wstring>& matches(const std::wstring& name) const {
        static const std::vector<std::wstring> none;
        const auto it = by_lower_.find(platform::text::to_lower_invariant(name));
        return it == by_lower_.end() ? none : it->second;
    }

private:
    std::map<std::wstring, std::vector<std::wstring>> by_lower_;
};

std::wstring folder_root(const std::wstring& path) {
    if (fs::separator == L'/') return L"/";
    if (path.size() >= 2 && path[1] == L':') return path.substr(0, 3);
    if (path.rfind(L"\\\\", 0) == 0) {
        std::size_t end = path.find(L'\\', 2);
        if (end != std::wstring::npos) end = path.find(L'\\', end + 1);
        return end == std::wstring::npos ? path : path.substr(0, end + 1);
    }
    return {};
}

struct pattern_counts {
    std::size_t moved = 0;
    std::size_t failed = 0;
    std::size_t in_use = 0;
    std::size_t skipped = 0;
};

class pattern_run {
public:
    pattern_run(batch_processor::batch_processor_callbacks& callbacks, const std::wstring& folder,
                const pattern_scheme& scheme, const organize_services& services, const recovery_result& recovered)
        : callbacks_(callbacks), folder_(folder), scheme_(scheme), services_(services), recovered_(recovered) {}

    void run() {
        const auto excluded = services_.excluded_names();
        std::set<std::wstring> cue_files;
        if (scheme_.cue_aware) cue_files = collect_cue_files(folder_);
        std::vector<std::wstring> files;
        std::size_t left_with_cue = 0;
        for (auto& name : select_files(folder_, excluded, &scheme_.extensions)) {
            if (!cue_files.empty() && cue_files.contains(cue_path_key(join(folder_, name)))) {
                ++left_with_cue;
            } else {
                files.push_back(std::move(name));
            }
        }
        if (left_with_cue > 0) {
            services_.show_notice(fmt::format(
                L"{} audio file(s) were left with their cue sheets. Organizing cue-based albums is not supported "
                L"yet; renaming or moving their audio would break the cue sheets. Other music files will be "
                L"organized normally.",
                left_with_cue));
        }
        if (files.empty()) {
            qlm::log_info(L"Organize folder ({}): nothing to organize in {}", scheme_.name, folder_);
            return;
        }
        if (!target_available(join(folder_, files.front()))) return;
        run_record record(folder_, recovered_);
        record_ = &record;
        names_.emplace(folder_);
        if (files.size() >= batch_processor::progress_window_files) callbacks_.show_progress();
        bool stopped = false;
        for (std::size_t index = 0; index < files.size(); ++index) {
            if (cancelled_or_wait(callbacks_, services_)) break;
            callbacks_.report_progress(batch_processor::progress_percent(index + 1, files.size()));
            try {
                organize_one(files[index]);
            } catch (const log_failure&) {
                stopped = true;
                break;
            }
        }
        if (const std::wstring error = record.finish(); !error.empty()) {
            qlm::log_warning(L"Organize folder ({}): failed to write undo journal for {}: {}", scheme_.name, folder_,
                             error);
        }
        record_ = nullptr;
        if (stopped) {
            notify_folders(changed_, folder_);
            const std::wstring message = record.stopped_message(counts_.moved, files.size());
            qlm::log_error(L"Organize folder ({}): {}", scheme_.name, message);
            fail(message);
        }
        notify_folders(changed_, folder_);
        qlm::log_info(
            L"Organize folder ({}): moved {} files ({} failed [{} still in use], {} skipped for path length) "
            L"from {}",
            scheme_.name, counts_.moved, counts_.failed, counts_.in_use, counts_.skipped, folder_);
        report_summary();
    }

private:
    // The first file's destination decides whether an absolute target can be used.
    bool target_available(const std::wstring& first) {
        const destination wanted = scheme_.builder(first, scheme_.naming_pattern, scheme_.placement_pattern);
        if (!is_rooted(wanted.folder)) return true;
        const std::wstring root = folder_root(wanted.folder);
        if (!root.empty() && !is_folder(root)) {
            fail(fmt::format(L"Placement pattern root '{}' is not currently available.", root));
        }
        if (!is_folder(wanted.folder) && !callbacks_.confirm_create_folder(wanted.folder)) {
            qlm::log_info(L"Organize folder ({}): cancelled, target folder '{}' was not created", scheme_.name,
                          wanted.folder);
            return false;
        }
        return true;
    }

    // Creates the destination with its parents, journaling those inside the
    // organized folder.
    void make_folder(const std::wstring& destination_folder) {
        std::vector<std::wstring> missing;
        for (std::wstring path = destination_folder; !path.empty() && !is_folder(path); path = parent_of(path)) {
            missing.push_back(path);
            if (parent_of(path) == path) break;
        }
        std::reverse(missing.begin(), missing.end());
        for (const auto& path : missing) {
            const std::wstring relative = relative_to(folder_, path);
            const bool inside = !is_rooted(relative);
            if (inside) record_->creating_folder(relative);
            const std::uint32_t error = services_.create_directory(path);
            if (error != 0 && error != platform::win32_error::already_exists) {
                fail(fmt::format(L"Failed to create subfolder '{}'", destination_folder));
            }
            if (error == 0 && inside) record_->created_folder(relative);
            if (error == 0 && !inside) record_->created_outside(path);
        }
    }

    // Moves with retries while another process holds the file; the Win32 error of the last attempt.
    std::uint32_t move_with_retries(const std::wstring& from, const std::wstring& to) {
        std::uint32_t error = 0;
        for (int attempt = 1; attempt <= move_attempts; ++attempt) {
            error = services_.move_file(from, to);
            if (error != platform::win32_error::sharing_violation && error != lock_violation) return error;
            if (attempt < move_attempts) services_.sleep(200ms);
        }
        return error;
    }

    void organize_one(const std::wstring& name) {
        const std::wstring source = join(folder_, name);
        try {
            const destination wanted = scheme_.builder(source, scheme_.naming_pattern, scheme_.placement_pattern);
            const std::wstring own_base = base_name(name);
            const std::wstring new_base = wanted.base_name.empty() ? own_base : wanted.base_name;
            const std::wstring extension = dotted_extension(name);
            const std::wstring destination_folder =
                wanted.folder.empty() ? folder_
                                      : (is_rooted(wanted.folder) ? wanted.folder : join(folder_, wanted.folder));
            if (destination_folder != folder_ && !is_folder(destination_folder)) make_folder(destination_folder);
            const auto final_name = free_name(destination_folder, new_base, extension, 1);
            if (!final_name)
                fail(fmt::format(L"Unable to find a free name for '{}' in '{}'", name, destination_folder));
            const std::wstring target = join(destination_folder, *final_name);
            if (platform::text::utf16_length(target) >= longest_path) {
                qlm::log_warning(L"Organize folder ({}): skipping '{}', destination path too long: '{}'", scheme_.name,
                                 name, target);
                ++counts_.skipped;
                return;
            }
            const bool elsewhere = is_rooted(relative_to(folder_, target));
            record_->moving(source, target, elsewhere);
            const std::uint32_t error = move_with_retries(source, target);
            if (error == platform::win32_error::sharing_violation || error == lock_violation) {
                ++counts_.in_use;
                fail(fmt::format(L"Failed to move '{}' ({})", name, fs::error_text(error)));
            }
            if (error != 0) fail(fmt::format(L"Failed to move '{}' ({})", name, fs::error_text(error)));
            record_->moved(source, target);
            changed_.insert(destination_folder);
            ++counts_.moved;
            move_sidecars(name, *final_name, destination_folder);
        } catch (const log_failure&) {
            throw;
        } catch (const std::exception& failure) {
            ++counts_.failed;
            qlm::log_error(L"Organize folder ({}): {}", scheme_.name, platform::text::from_utf8(failure.what()));
        }
    }

    void move_sidecars(const std::wstring& name, const std::wstring& final_name,
                       const std::wstring& destination_folder) {
        const std::wstring own_base = base_name(name);
        const std::wstring new_base = base_name(final_name);
        std::set<std::wstring> seen;
        for (const auto& sidecar_extension : scheme_.sidecar_extensions) {
            for (const std::wstring& wanted : {own_base + L"." + sidecar_extension, name + L"." + sidecar_extension}) {
                for (const auto& sidecar : names_->matches(wanted)) {
                    if (sidecar == name || !seen.insert(sidecar).second) continue;
                    move_sidecar(sidecar, name, final_name, new_base, destination_folder);
                }
            }
        }
    }

    void move_sidecar(const std::wstring& sidecar, const std::wstring& name, const std::wstring& final_name,
                      const std::wstring& new_base, const std::wstring& destination_folder) {
        const std::wstring source = join(folder_, sidecar);
        const std::uint32_t attributes = fs::get_attributes(source);
        if (attributes == fs::invalid_attributes ||
            (attributes & (fs::attribute_directory | fs::attribute_reparse_point)) != 0) {
            return;
        }
        const std::wstring sidecar_extension = dotted_extension(sidecar);
        const bool of_full_name = scheme_.cue_aware && platform::text::equal_ignore_case(base_name(sidecar), name);
        const std::wstring new_name = (of_full_name ? final_name : new_base) + sidecar_extension;
        const std::wstring target = join(destination_folder, new_name);
        if (platform::text::utf16_length(target) >= longest_path) {
            qlm::log_warning(L"Organize folder ({}): skipping sidecar '{}', destination path too long", scheme_.name,
                             sidecar);
            return;
        }
        if (exists(target)) {
            qlm::log_warning(L"Organize folder ({}): skipping sidecar '{}', a file already exists at the destination",
                             scheme_.name, sidecar);
            return;
        }
        record_->moving(source, target, is_rooted(relative_to(folder_, target)));
        if (const std::uint32_t error = services_.move_file(source, target); error != 0) {
            qlm::log_warning(L"Organize folder ({}): failed to move sidecar '{}' ({})", scheme_.name, sidecar,
                             fs::error_text(error));
            return;
        }
        record_->moved(source, target);
    }

    void report_summary() const {
        if (counts_.failed == 0 && counts_.skipped == 0) return;
        std::vector<std::wstring> parts;
        if (counts_.in_use > 0) {
            parts.push_back(
                fmt::format(L"{} still in use by another process (a fresh import still settling, cloud "
                            L"sync, antivirus, or search indexing -- usually clears on its own; try again "
                            L"in a moment)",
                            counts_.in_use));
        }
        if (counts_.failed > counts_.in_use) {
            parts.push_back(fmt::format(L"{} failed for other reasons -- see the log for details",
                                        counts_.failed - counts_.in_use));
        }
        if (counts_.skipped > 0) {
            parts.push_back(fmt::format(L"{} skipped because the destination path is too long", counts_.skipped));
        }
        std::wstring joined;
        for (const auto& part : parts) joined += (joined.empty() ? L"" : L"; ") + part;
        fail(fmt::format(L"{} of {} files could not be organized: {}.", counts_.failed + counts_.skipped,
                         counts_.moved + counts_.failed + counts_.skipped, joined));
    }

    batch_processor::batch_processor_callbacks& callbacks_;
    std::wstring folder_;
    const pattern_scheme& scheme_;
    const organize_services& services_;
    const recovery_result& recovered_;
    run_record* record_ = nullptr;
    std::optional<name_index> names_;
    std::set<std::wstring> changed_;
    pattern_counts counts_;
};

}  // namespace

organize_services::organize_services()
    : move_file(fs::move_file_no_replace),
      create_directory(fs::create_directory),
      sleep([](std::chrono::milliseconds time) { std::this_thread::sleep_for(time); }),
      categories([] { return hl::get_organize_categories(); }),
      excluded_names([] { return hl::get_excluded_names(); }),
      pattern([](const char* key, const wchar_t* fallback) {
          auto& settings = hl::instance();
          (void)settings.load(false);
          return settings.get_string(hl::sortwell_app_id, key, fallback);
      }),
      show_notice([](const std::wstring& text) { platform::dialog::message_dialog(text); }) {}

journal_scope organize_scope(const std::wstring& folder, const organize_services& services) {
    journal_scope scope{folder, {}};
    for (const auto& [key, fallback] :
         {std::pair{hl::photo_placement_pattern_key, hl::photo_placement_pattern_default},
          std::pair{hl::music_placement_pattern_key, hl::music_placement_pattern_default}}) {
        if (std::wstring root = placement_root(services.pattern(key, fallback)); !root.empty()) {
            scope.placement_roots.push_back(std::move(root));
        }
    }
    return scope;
}

void organize_folder(batch_processor::batch_processor_callbacks& callbacks, const std::wstring& folder,
                     const std::wstring& scheme, const organize_services& services) {
    if (scheme != L"by_type" && scheme != L"photos_pattern" && scheme != L"music_pattern") {
        fail(fmt::format(L"Unknown organize scheme '{}'", scheme));
    }
    if (!is_folder(folder)) fail(fmt::format(L"'{}' is not a folder", folder));
    const recovery_result recovered = recover_leftovers(folder, services);
    if (scheme == L"by_type") {
        organize_by_type(callbacks, folder, services, recovered);
        return;
    }
    const pattern_scheme chosen = scheme == L"photos_pattern" ? photos_scheme(services) : music_scheme(services);
    pattern_run(callbacks, folder, chosen, services, recovered).run();
}

}  // namespace sortwell::organizer
