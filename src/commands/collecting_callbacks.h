#pragma once
// The command line's host of a batch run: no window, no questions; it keeps
// the errors the worker reports so the write runner can put them on rows.

#include "batch_processor/batch_processor_callbacks.h"

#include <functional>
#include <map>
#include <string>

namespace qlm::metadata_commands {

class collecting_callbacks final : public sortwell::batch_processor::batch_processor_callbacks {
public:
    /// The last message reported for each path.
    std::map<std::wstring, std::wstring> errors_by_path;
    /// The last message reported without a path, or the unknown-action notice.
    std::wstring general_error;

    /// The process-wide Ctrl+C flag.
    bool is_cancelled() override;
    /// Keeps the message; never asks for suppression, so every file's error arrives.
    bool report_error(const std::wstring& path, const std::wstring& message) override;
    void report_unknown_action() override;

    bool is_paused() override { return false; }
    bool confirm_create_folder(const std::wstring&) override { return false; }
    /// Told the job's percentage before each file.
    std::function<void(int percent)> on_progress;
    void report_progress(int percent) override {
        if (on_progress) on_progress(percent);
    }
    void show_progress() override {}
    void report_auto_tag_failure() override {}
    void report_unsupported_file_type(const std::wstring&, const std::wstring&, const std::wstring&) override {}
    void set_title(const std::wstring&) override {}
    void set_status_text(const std::wstring&) override {}
};

}  // namespace qlm::metadata_commands
