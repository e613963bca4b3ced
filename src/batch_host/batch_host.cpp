#include "batch_host/batch_host.h"

#include "batch_host/console_callbacks.h"
#include "batch_processor/batch_processor_worker.h"
#include "batch_processor/job_file.h"
#include "cli/cancellation.h"
#include "logging/log.h"
#include "platform/console.h"
#include "platform/text.h"

#include <exception>
#include <optional>

namespace sortwell::batch_host {
namespace {

namespace console = platform::console;

constexpr wchar_t usage_line[] = L"usage: sortwell-batch JOBFILE [--delete]\n";

void on_interrupt() { qlm::cancel_requested.store(true); }

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
            write_out(usage_line);
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
    try {
        const auto job = batch_processor::read_job_file(platform::text::to_utf8(parsed.job_file));
        for (const auto& path : job.files) files.push_back(platform::text::from_utf8(path));
        // User-command entries are a program and its arguments, not files.
        entries_are_files = job.action_type != "run_context_menu_command";
    } catch (const std::exception&) {
        files.clear();
    }

    const auto total = static_cast<std::uint32_t>(files.size());
    console_callbacks callbacks(files, console::is_terminal(console::stream::output), write_out, write_err,
                                [] { return qlm::cancel_requested.load(); });
    callbacks.entries_are_files = entries_are_files;
    batch_processor::batch_processor_worker worker(callbacks);
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
