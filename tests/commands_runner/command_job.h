#pragma once
// Runs user-command jobs through the batch worker as the suite does, with a
// dialog that records its texts.

#include "batch_processor/job_runner.h"
#include "commands_runner/context_menu_command.h"

#include <string>
#include <vector>

namespace qlm::testing {

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
    run_job(host, L"run_context_menu_command", entries, parameters, {}, table);
    result.calls = host.calls;
    return result;
}

}  // namespace qlm::testing
