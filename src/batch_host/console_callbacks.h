#pragma once
// The job-file host's view of a run: prints every report of the worker. On a
// terminal the progress is one bar redrawn in place with the status text
// beside it; redirected, every report is a line of its own. Each file ends
// with one status line, and the run with a summary.

#include "batch_processor/batch_processor_callbacks.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sortwell::batch_host {

class console_callbacks final : public batch_processor::batch_processor_callbacks {
public:
    using writer = std::function<void(std::wstring_view)>;

    /// files: the job's paths, in job order, to name the file each report is
    /// about (the worker reports progress before each file). out takes the
    /// file lines, err the failures of the whole job; cancelled is polled
    /// before each file.
    console_callbacks(std::vector<std::wstring> files, bool terminal, writer out, writer err,
                      std::function<bool()> cancelled);

    void report_progress(int percent) override;
    /// Progress an action reports within one entry (an organized folder's
    /// files): moves the bar on a terminal, prints nothing when redirected,
    /// and never starts the next entry.
    void report_entry_progress(int percent);
    void show_progress() override;
    bool is_cancelled() override;
    bool is_paused() override;
    bool report_error(const std::wstring& path, const std::wstring& message) override;
    bool confirm_create_folder(const std::wstring& folder) override;
    void report_unknown_action() override;
    void report_auto_tag_failure() override;
    void report_unsupported_file_type(const std::wstring& path, const std::wstring& reason,
                                      const std::wstring& supported_types) override;
    void set_title(const std::wstring& title) override;
    void set_status_text(const std::wstring& text) override;

    /// Ends the last file's line and prints the summary; unidentified is
    /// printed when show_faces is set (a face-recognition job).
    void finish(std::uint32_t total_files, bool show_faces, std::uint32_t unidentified_faces);

    /// False for a job whose entries are not paths (user commands), so that
    /// an entry is not reported as a missing file.
    bool entries_are_files = true;
    /// The action as the job names it, for the message of an unknown one.
    std::wstring action_text;
    /// The log file, for failures whose details only the log has.
    std::wstring log_file;

    /// The job itself failed before its first file (it could not be read).
    bool job_failed() const { return job_failed_; }
    /// Files that ended without a failure report.
    std::uint32_t succeeded() const { return succeeded_; }
    /// Files that ended with one.
    std::uint32_t failed() const { return failed_; }

private:
    void end_current_file();
    void line(const std::wstring& text);
    void redraw_bar();
    std::wstring current_path() const;

    std::vector<std::wstring> files_;
    bool terminal_;
    writer out_;
    writer err_;
    std::function<bool()> cancelled_;
    std::uint32_t started_ = 0;  // files the worker has begun, the current one included
    bool current_failed_ = false;
    bool current_missing_ = false;  // the current path did not exist when its turn came
    bool bar_shown_ = false;
    bool job_failed_ = false;
    int percent_ = 0;
    std::wstring status_text_;
    std::uint32_t succeeded_ = 0;
    std::uint32_t failed_ = 0;
};

}  // namespace sortwell::batch_host
