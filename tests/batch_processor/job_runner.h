#pragma once
// The host side of a batch run as the suites drive it: a host that records
// what the worker and the actions tell it, and an in-memory job run through
// the worker.

#include "batch_processor/batch_processor_worker.h"

#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace qlm::testing {

/// Keeps what it is told as lines of text in `calls`, in order (progress in
/// `progress`), and answers from what the test set up. With
/// `whole_conversation`, progress, pauses and status lines go into `calls` too.
class recording_host : public sortwell::batch_processor::batch_processor_callbacks {
public:
    std::vector<std::wstring> calls;
    std::vector<int> progress;
    std::vector<std::wstring> confirmations;  // folders the host was asked to create
    bool allow_folders = false;               // the answer to those questions
    std::function<bool()> cancelled = [] { return false; };
    bool whole_conversation = false;
    std::deque<bool> paused_answers;    // is_paused's answers; false once used up
    bool suppress_repeats = false;      // report_error's answer
    std::size_t throw_on_progress = 0;  // 1-based report that raises; 0 never
    int pauses = 0;

    void report_progress(int percent) override {
        progress.push_back(percent);
        if (progress.size() == throw_on_progress) throw std::runtime_error("progress window closed");
        if (whole_conversation) calls.push_back(L"progress " + std::to_wstring(percent));
    }
    void show_progress() override { calls.push_back(L"show"); }
    bool is_cancelled() override { return cancelled(); }
    bool is_paused() override {
        if (paused_answers.empty()) return false;
        const bool paused = paused_answers.front();
        paused_answers.pop_front();
        if (paused) {
            ++pauses;
            if (whole_conversation) calls.push_back(L"paused");
        }
        return paused;
    }
    bool report_error(const std::wstring& path, const std::wstring& message) override {
        calls.push_back(L"error " + path + L" | " + message);
        return suppress_repeats;
    }
    bool confirm_create_folder(const std::wstring& folder) override {
        confirmations.push_back(folder);
        return allow_folders;
    }
    void report_unknown_action() override { calls.push_back(L"unknown action"); }
    void report_auto_tag_failure() override { calls.push_back(L"auto-tag failure"); }
    void report_unsupported_file_type(const std::wstring& path, const std::wstring& reason,
                                      const std::wstring& supported_types) override {
        calls.push_back(L"unsupported " + path + L": " + reason + L" / " + supported_types);
    }
    void set_title(const std::wstring& title) override { calls.push_back(L"title " + title); }
    void set_status_text(const std::wstring& text) override {
        if (whole_conversation) calls.push_back(L"status " + text);
    }
};

/// Runs the in-memory job of the named action over the paths; the worker
/// comes back for its counts.
inline sortwell::batch_processor::batch_processor_worker run_job(
    sortwell::batch_processor::batch_processor_callbacks& host, const std::wstring& action,
    const std::vector<std::wstring>& paths, const std::wstring& parameters = L"",
    sortwell::batch_processor::worker_services services = {},
    sortwell::batch_processor::action_table table = sortwell::batch_processor::default_action_table()) {
    sortwell::batch_processor::batch_processor_worker worker(host, std::move(services), std::move(table));
    worker.job_in_memory = true;
    worker.action_type_name = action;
    worker.action_parameters = parameters;
    worker.files = paths;
    worker.process_job();
    return worker;
}

}  // namespace qlm::testing
