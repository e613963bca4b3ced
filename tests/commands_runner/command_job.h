#pragma once
// Runs user-command jobs through the batch worker as the suite does, with a
// host that records what it is told and a dialog that records its texts.

#include "batch_processor/batch_processor_worker.h"
#include "commands_runner/context_menu_command.h"

#include <string>
#include <vector>

namespace qlm::testing {

/// The host: titles, errors and the like as lines of text, in order.
class recording_host : public sortwell::batch_processor::batch_processor_callbacks {
public:
    std::vector<std::wstring> calls;

    void report_progress(int) override {}
    void show_progress() override { calls.push_back(L"show"); }
    bool is_cancelled() override { return false; }
    bool is_paused() override { return false; }
    bool report_error(const std::wstring& path, const std::wstring& message) override {
        calls.push_back(L"error " + path + L" | " + message);
        return false;
    }
    bool confirm_create_folder(const std::wstring&) override { return false; }
    void report_unknown_action() override { calls.push_back(L"unknown action"); }
    void report_auto_tag_failure() override {}
    void report_unsupported_file_type(const std::wstring&, const std::wstring&, const std::wstring&) override {}
    void set_title(const std::wstring& title) override { calls.push_back(L"title " + title); }
    void set_status_text(const std::wstring&) override {}
};

struct command_job_result {
    std::vector<std::wstring> calls;   // the host's
    std::vector<std::wstring> dialogs;  // texts shown
};

/// Runs the in-memory job of run_context_menu_command over the entries.
inline command_job_result run_command_job(const std::vector<std::wstring>& entries, const std::wstring& parameters) {
    namespace bp = sortwell::batch_processor;
    command_job_result result;
    sortwell::commands_runner::command_runner_services services;
    services.message_dialog = [&](const std::wstring& text) { result.dialogs.push_back(text); };
    bp::action_table table = bp::default_action_table();
    bp::handler_for(table, bp::action_type::run_context_menu_command) =
        [&](bp::batch_processor_callbacks&, const std::wstring& spec, const std::wstring& options) {
            sortwell::commands_runner::run_context_menu_command_action(spec, options, services);
        };
    recording_host host;
    bp::batch_processor_worker worker(host, {}, table);
    worker.job_in_memory = true;
    worker.action_type_name = L"run_context_menu_command";
    worker.action_parameters = parameters;
    worker.files = entries;
    worker.process_job();
    result.calls = host.calls;
    return result;
}

}  // namespace qlm::testing
