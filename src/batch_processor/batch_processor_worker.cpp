#include "batch_processor/batch_processor_worker.h"

#include "batch_processor/autotagger_exception.h"
#include "batch_processor/batch_job.h"
#include "batch_processor/tag_rating_actions.h"
#include "common/exceptions.h"
#include "logging/log.h"
#include "metadata/file_changed_error.h"
#include "metadata/metadata_handle.h"
#include "platform/com_apartment.h"
#include "platform/file_safety.h"
#include "platform/file_system.h"
#include "platform/shell.h"
#include "platform/text.h"

#include <fmt/format.h>
#include <fmt/xchar.h>

#include <algorithm>
#include <exception>
#include <optional>
#include <stdexcept>
#include <type_traits>
#include <utility>

namespace sortwell::batch_processor {
namespace {

namespace fs = platform::file_system;
namespace shell = platform::shell;
using namespace std::chrono_literals;

constexpr std::uint32_t cloud_placeholder_bits =
    fs::attribute_offline | fs::attribute_recall_on_open | fs::attribute_recall_on_data_access;

std::u16string utf16_units(const std::wstring& text) {
    std::u16string units;
    units.reserve(text.size());
    for (const wchar_t c : text) {
        const auto code = static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<wchar_t>>(c));
        if (code > 0xFFFF) {
            units.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            units.push_back(static_cast<char16_t>(code));
        }
    }
    return units;
}

std::size_t last_separator(const std::wstring& path) {
    // Windows also accepts '/' between components.
    const std::wstring separators{fs::separator, L'/'};
    return path.find_last_of(separators);
}

// The folder that holds the path; a root keeps its separator ("/", "C:\").
std::wstring parent_folder(const std::wstring& path) {
    const std::size_t position = last_separator(path);
    if (position == std::wstring::npos) return {};
    const bool root = position == 0 || (position == 2 && path[1] == L':');
    return path.substr(0, root ? position + 1 : position);
}

std::wstring file_name(const std::wstring& path) {
    const std::size_t position = last_separator(path);
    return position == std::wstring::npos ? path : path.substr(position + 1);
}

std::uint32_t title_threshold(action_type action) {
    switch (action) {
        case action_type::auto_tag:
        case action_type::wipe_all_people:
            return 0;
        case action_type::recognize_faces:
            return 2;
        case action_type::run_context_menu_command:
            return 10;
        default:
            return progress_window_files;
    }
}

void notify_items_updated(const std::vector<std::wstring>& paths) {
    for (const auto& path : paths) {
        shell::change_notify(shell::event_update_item, shell::flag_path | shell::flag_flush_no_wait, path);
    }
}

// A cloud placeholder is downloaded by reading from it, before a handler
// opens it for metadata and would fail on a file without content.
void hydrate_if_offline(const std::wstring& path) {
    const std::uint32_t attributes = fs::get_attributes(path);
    if (attributes == fs::invalid_attributes || (attributes & fs::attribute_directory) != 0 ||
        (attributes & cloud_placeholder_bits) == 0) {
        return;
    }
    if (!fs::read_first_byte(path)) {
        qlm::log_error(L"File {} is an offline cloud file but hydration failed.", path);
        throw exceptions::formatted_runtime_error(std::wstring(L"Failed to download the file."));
    }
}

}  // namespace

bool utf16_ordinal_less::operator()(const std::wstring& a, const std::wstring& b) const {
    if constexpr (sizeof(wchar_t) == 2) {
        return a < b;
    } else {
        return utf16_units(a) < utf16_units(b);
    }
}

batch_processor_worker::batch_processor_worker(batch_processor_callbacks& callbacks, worker_services services,
                                               action_table actions)
    : callbacks_(&callbacks), services_(std::move(services)), actions_(std::move(actions)) {}

void batch_processor_worker::process_job() {
    const platform::com_apartment apartment;
    const job_tally_scope tally_scope(tally_);
    std::wstring current_path;
    std::uint32_t index = 1;
    error_count_ = 0;
    try {
        batch_job job;
        if (job_in_memory) {
            job.files = files;
            job.action_type = action_type_name;
            job.action_parameters = action_parameters;
        } else {
            job.load_from_file(job_file_path, delete_job_file);
        }
        action_ = action_from_name(job.action_type);
        const std::wstring parameters = job.action_parameters;
        file_count_ = static_cast<std::uint32_t>(job.files.size());
        announce_job();

        std::vector<std::wstring> changed_files;
        // The photos a tag or rating job rewrites share their flushes; the
        // group lives inside what its steps refer to.
        std::optional<fs::commit_group> group;
        if (is_tag_or_rating_action(action_)) group.emplace();
        while (index <= file_count_) {
            if (callbacks_->is_cancelled()) break;
            const bool paused = callbacks_->is_paused();
            // A pause or a second write of a staged file waits for the group's commit.
            if (group && (paused || group->due() || group->holds(job.files[index - 1]))) group->commit();
            if (paused) {
                services_.sleep(50ms);
                continue;
            }
            callbacks_->report_progress(progress_percent(index, file_count_));
            current_path = job.files[index - 1];
            if (action_ == action_type::auto_tag || action_ == action_type::recognize_faces) {
                const wchar_t* noun = action_ == action_type::recognize_faces ? L"Photo" : L"File";
                callbacks_->set_status_text(
                    fmt::format(L"{} {} of {} - {}", noun, index, file_count_, file_name(current_path)));
            }
            run_file(current_path, parameters, changed_files);
            ++index;
        }
        // The group in flight is finished whole, after a cancellation too.
        if (group) group->commit();
        // Files changed before a cancellation are refreshed too.
        refresh_changed(changed_files);
    } catch (const std::exception& error) {
        const std::wstring message = platform::text::from_utf8(error.what());
        qlm::log_error(L"Error processing file {} Details: {}", current_path, message);
        callbacks_->report_error(current_path, message);
    } catch (...) {
        qlm::log_error(L"Error processing file {}", current_path);
        callbacks_->report_error(current_path, L"Unknown error");
    }
    file_count_ = index - 1;
}

void batch_processor_worker::announce_job() {
    if (file_count_ < title_threshold(action_)) return;
    const bool one = file_count_ == 1;
    std::wstring title;
    if (action_ == action_type::recognize_faces) {
        if (services_.write_people_tags()) {
            title = one ? L"Recognizing and applying people tags using local AI"
                        : fmt::format(L"Recognizing and applying people tags in {} photos using local AI", file_count_);
        } else {
            title = one ? L"Recognizing faces in photo using local and private AI"
                        : fmt::format(L"Recognizing faces in {} photos using local and private AI", file_count_);
        }
    } else if (action_ == action_type::auto_tag) {
        title = one ? L"Auto-tagging file using local and private AI"
                    : fmt::format(L"Auto-tagging {} files using local and private AI", file_count_);
    } else {
        title = one ? L"Processing file" : fmt::format(L"Processing {} files", file_count_);
    }
    callbacks_->set_title(title);
    callbacks_->show_progress();
}

void batch_processor_worker::run_file(const std::wstring& path, const std::wstring& parameters,
                                      std::vector<std::wstring>& changed_files) {
    try {
        process_file(path, parameters, changed_files);
    } catch (const autotagger_exception& error) {
        ++error_count_;
        qlm::log_error(L"Error processing file {} Details: {}", path, platform::text::from_utf8(error.what()));
        callbacks_->report_auto_tag_failure();
    } catch (const std::exception& error) {
        ++error_count_;
        report_file_error(path, error.what());
    }
}

void batch_processor_worker::process_file(const std::wstring& path, const std::wstring& parameters,
                                          std::vector<std::wstring>& changed_files) {
    hydrate_if_offline(path);
    const action_handler& handler = handler_for(actions_, action_);
    if (handler) {
        handler(*callbacks_, path, parameters);
    } else {
        // Not a failure of the file: the shell still hears about it below.
        qlm::log_error(L"Error processing {}. Unexpected action requested", path);
        callbacks_->report_unknown_action();
    }
    // The steps that must see the new file wait for its rename.
    const int attempts = write_attempts_made();
    fs::when_committed(path, [this, path, &parameters, &changed_files, attempts](std::uint32_t error) {
        settle_file(path, parameters, changed_files, error, attempts);
    });
}

void batch_processor_worker::settle_file(const std::wstring& path, const std::wstring& parameters,
                                         std::vector<std::wstring>& changed_files, std::uint32_t error,
                                         int attempts) {
    if (error == fs::file_changed && write_attempts_left(attempts)) {
        // Nothing was written over the other program's change: the file is
        // written again from a fresh read, at once, the attempts it already
        // had counted.
        qlm::log_info(L"{} was changed by another program during the write; writing it again", path);
        const write_attempt_spent spent(attempts);
        run_file(path, parameters, changed_files);
        return;
    }
    try {
        if (error == fs::file_changed) throw qlm::metadata::file_changed_error();
        if (error != 0) {
            throw std::runtime_error(qlm::metadata::commit_failure_message(platform::property_store::from_win32(error)));
        }
        after_file_steps(path, changed_files);
    } catch (const std::exception& failure) {
        ++error_count_;
        report_file_error(path, failure.what());
    }
}

void batch_processor_worker::after_file_steps(const std::wstring& path, std::vector<std::wstring>& changed_files) {
    if (action_ == action_type::run_context_menu_command) return;
    if (!fs::exists(path)) return;
    notify_items_updated({path});
    if (!is_tag_or_rating_action(action_)) return;
    const std::uint32_t attributes = fs::get_attributes(path);
    if (attributes != fs::invalid_attributes && (attributes & fs::attribute_directory) != 0) {
        services_.refresh_folder_overlay(path);
        return;
    }
    const bool rating = action_ == action_type::set_rating || action_ == action_type::remove_rating;
    if (rating ? services_.can_store_rating(path) : services_.can_store_tags(path)) {
        changed_files.push_back(path);
        try {
            services_.drop_exif_thumbnail_link(path);
        } catch (const std::exception&) {
            // The link only makes viewers show a stale picture; the write itself succeeded.
        }
    }
    shell::refresh_thumbnail(path);
}

void batch_processor_worker::report_file_error(const std::wstring& path, const std::string& message) {
    const std::wstring wide = platform::text::from_utf8(message);
    if (suppressed_messages_.contains(message)) {
        qlm::log_info(L"Suppressed the error processing file {} Details: {}", path, wide);
        return;
    }
    qlm::log_error(L"Error processing {} Details: {}", path, wide);
    if (callbacks_->report_error(path, wide)) suppressed_messages_[message] = true;
}

void batch_processor_worker::refresh_changed(const std::vector<std::wstring>& changed_files) {
    for (const auto& folder : tally_.changed_folders) changed_folders_.insert(folder);
    tally_.changed_folders.clear();
    for (const auto& path : changed_files) {
        // A new write time makes caches keyed by it look at the file again; failures only cost freshness.
        fs::touch(path);
        changed_folders_.insert(parent_folder(path));
    }
    notify_items_updated(changed_files);
    for (const auto& folder : changed_folders_) {
        shell::change_notify(shell::event_update_dir, shell::flag_path | shell::flag_flush, folder);
    }
}

}  // namespace sortwell::batch_processor
