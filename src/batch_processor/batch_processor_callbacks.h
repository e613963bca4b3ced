#pragma once
// What the batch worker reports to its host and asks of it. The worker holds
// a non-owning pointer and calls these on its own thread; the host decides
// what a report means (a progress window, rows of a command's result, …).

#include <algorithm>
#include <cstdint>
#include <string>

namespace sortwell::batch_processor {

/// A job of this many files or more shows a progress window.
inline constexpr std::uint32_t progress_window_files = 20;

/// The share of a job done, from 7 to 96: the bar never looks empty once
/// work has started, nor done before the end.
constexpr int progress_percent(std::uint64_t done, std::uint64_t total) {
    return total == 0 ? 7 : std::clamp(static_cast<int>(done * 100 / total), 7, 96);
}

class batch_processor_callbacks {
public:
    virtual ~batch_processor_callbacks() = default;

    /// Before each file, with a percentage from 7 to 96.
    virtual void report_progress(int percent) = 0;

    /// Once, right after set_title, for a job large enough to show a window.
    virtual void show_progress() = 0;

    /// Before each file; true ends the run after the file in progress.
    virtual bool is_cancelled() = 0;

    /// Before each file, after is_cancelled; true makes the worker wait.
    virtual bool is_paused() = 0;

    /// One failure of one file (an empty path for a failure of the whole
    /// job). True asks the worker to only log later errors with the same
    /// message.
    virtual bool report_error(const std::wstring& path, const std::wstring& message) = 0;

    /// The organizer asks before it creates a missing target folder; false
    /// stops the action.
    virtual bool confirm_create_folder(const std::wstring& folder) = 0;

    /// For each file of a job whose action has no handler.
    virtual void report_unknown_action() = 0;

    /// After a file that the auto-tagger failed on.
    virtual void report_auto_tag_failure() = 0;

    /// The auto-tagging service refused the file's type.
    virtual void report_unsupported_file_type(const std::wstring& path, const std::wstring& reason,
                                              const std::wstring& supported_types) = 0;

    /// Once, for a job that reaches its title threshold.
    virtual void set_title(const std::wstring& title) = 0;

    /// Before each file of an auto-tagging or face-recognition job.
    virtual void set_status_text(const std::wstring& text) = 0;
};

}  // namespace sortwell::batch_processor
