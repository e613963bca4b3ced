#include "batch_host/batch_host.h"

#include "batch_host/console_callbacks.h"
#include "batch_processor/action_help.h"
#include "batch_processor/batch_processor_worker.h"
#include "batch_processor/job_file.h"
#include "cli/cancellation.h"
#include "logging/log.h"
#include "platform/console.h"
#include "platform/file_system.h"
#include "platform/text.h"

#include <exception>
#include <optional>
#include <utility>

namespace sortwell::batch_host {
namespace {

namespace console = platform::console;

constexpr wchar_t usage_line[] = L"usage: sortwell-batch JOBFILE [--delete]\n";

void on_interrupt() { qlm::cancel_requested.store(true); }

// What a handler sees: the host's callbacks, except that its own progress
// reports stay within the current entry (the worker's report before each
// entry is what moves the host on to the next path).
class within_entry final : public batch_processor::batch_processor_callbacks {
public:
    explicit within_entry(console_callbacks& host) : host_(host) {}
    void report_progress(int percent) override { host_.report_entry_progress(percent); }
    void show_progress() override { host_.show_progress(); }
    bool is_cancelled() override { return host_.is_cancelled(); }
    bool is_paused() override { return host_.is_paused(); }
    bool report_error(const std::wstring& path, const std::wstring& message) override {
        return host_.report_error(path, message);
    }
    bool confirm_create_folder(const std::wstring& folder) override { return host_.confirm_create_folder(folder); }
    void report_unknown_action() override { host_.report_unknown_action(); }
    void report_auto_tag_failure() override { host_.report_auto_tag_failure(); }
    void report_unsupported_file_type(const std::wstring& path, const std::wstring& reason,
                                      const std::wstring& supported_types) override {
        host_.report_unsupported_file_type(path, reason, supported_types);
    }
    void set_title(const std::wstring& title) override { host_.set_title(title); }
    void set_status_text(const std::wstring& text) override { host_.set_status_text(text); }

private:
    console_callbacks& host_;
};

batch_processor::action_table entry_action_table(console_callbacks& host) {
    batch_processor::action_table actions = batch_processor::default_action_table();
    for (auto& handler : actions) {
        if (!handler) continue;
        handler = [&host, inner = std::move(handler)](batch_processor::batch_processor_callbacks&,
                                                      const std::wstring& path, const std::wstring& parameters) {
            within_entry entry(host);
            inner(entry, path, parameters);
        };
    }
    return actions;
}

void write_out(std::wstring_view text) { console::write(console::stream::output, text); }
void write_err(std::wstring_view text) { console::write(console::stream::error, text); }

int usage_error(const std::wstring& message) {
    write_err(L"sortwell-batch: " + message + L"\n" + usage_line);
    return 2;
}

struct command_line {
    std::wstring job_file;
    bool delete_job_file = false;
};

}  // namespace

int run(const std::vector<std::wstring>& arguments) {
    command_line parsed;
    std::optional<std::wstring> job_file;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        if (argument == L"--help" || argument == L"-h") {
            write_out(batch_processor::batch_help_text());
            return 0;
        }
        if (argument == L"--delete") {
            parsed.delete_job_file = true;
        } else if (argument.size() > 1 && argument[0] == L'-') {
            return usage_error(L"unknown option '" + argument + L"'.");
        } else if (job_file) {
            return usage_error(L"only one job file can be given.");
        } else {
            job_file = argument;
        }
    }
    if (!job_file || job_file->empty()) return usage_error(L"no job file given.");
    parsed.job_file = *job_file;

    try {
        qlm::logging::open_daily_log();
    } catch (const std::exception&) {
        // Without a log folder the run goes on; every log write is dropped.
    }
    console::install_interrupt_handler(on_interrupt);

    // The paths name the file each report is about; a job file that cannot
    // be read fails again in the worker, which reports it and, when asked,
    // deletes it.
    std::vector<std::wstring> files;
    bool entries_are_files = true;
    std::wstring action_text;
    try {
        const auto job = batch_processor::read_job_file(platform::text::to_utf8(parsed.job_file));
        for (const auto& path : job.files) files.push_back(platform::text::from_utf8(path));
        // User-command entries are a program and its arguments, not files.
        entries_are_files = job.action_type != "run_context_menu_command";
        action_text = platform::text::from_utf8(job.action_type);
        // A parameter the action cannot use would run on every file and do
        // the wrong thing (a rating of "five" clears the stars): refused first.
        const auto action = batch_processor::action_from_name(action_text);
        // An action this build cannot run would fail every file alike: one refusal instead.
        if (!batch_processor::handler_for(batch_processor::default_action_table(), action)) {
            if (parsed.delete_job_file) platform::file_system::delete_file(parsed.job_file);
            write_err(L"sortwell-batch: the job's action '" + action_text + L"' is not known\n");
            qlm::log_info(L"sortwell-batch {} refused: unknown action '{}'", parsed.job_file, action_text);
            return 2;
        }
        if (const auto problem =
                batch_processor::parameter_problem(action, platform::text::from_utf8(job.action_parameters))) {
            if (parsed.delete_job_file) platform::file_system::delete_file(parsed.job_file);
            write_err(L"sortwell-batch: " + action_text + L": " + *problem + L"\n");
            qlm::log_info(L"sortwell-batch {} refused: {}", parsed.job_file, *problem);
            return 2;
        }
    } catch (const std::exception&) {
        files.clear();
        if (const auto text = platform::file_system::read_file(parsed.job_file)) {
            if (const auto problem = batch_processor::json_syntax_problem(*text)) {
                write_err(L"sortwell-batch: " + parsed.job_file + L" is not JSON: " +
                          platform::text::from_utf8(*problem) + L"\n");
            }
        }
    }

    const auto total = static_cast<std::uint32_t>(files.size());
    console_callbacks callbacks(files, console::is_terminal(console::stream::output), write_out, write_err,
                                [] { return qlm::cancel_requested.load(); });
    callbacks.entries_are_files = entries_are_files;
    callbacks.action_text = action_text;
    callbacks.log_file = qlm::logging::logger()->path();
    batch_processor::batch_processor_worker worker(callbacks, {}, entry_action_table(callbacks));
    worker.job_file_path = parsed.job_file;
    worker.delete_job_file = parsed.delete_job_file;
    worker.process_job();
    if (callbacks.job_failed()) {
        qlm::log_info(L"sortwell-batch {} finished with exit code 2", parsed.job_file);
        return 2;
    }
    callbacks.finish(total, worker.action() == batch_processor::action_type::recognize_faces,
                     worker.unidentified_faces());
    const bool all_done = callbacks.failed() == 0 && callbacks.succeeded() == total;
    const int exit_code = all_done ? 0 : 1;
    qlm::log_info(L"sortwell-batch {} finished with exit code {}", parsed.job_file, exit_code);
    return exit_code;
}

}  // namespace sortwell::batch_host
