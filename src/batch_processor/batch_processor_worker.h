#pragma once
// Carries out one batch job on the calling thread: walks the paths in order,
// hands each to the action's handler, reports titles, progress and errors to
// the host's callbacks, waits while paused, stops when cancelled, and after a
// tag or rating job tells the shell and viewers what changed.

#include "batch_processor/action_table.h"
#include "batch_processor/action_type.h"
#include "batch_processor/batch_processor_callbacks.h"
#include "batch_processor/job_tally.h"
#include "batch_processor/worker_services.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace sortwell::batch_processor {

/// Orders wide strings by their UTF-16 code units, as the shell does, also
/// where wchar_t holds whole code points.
struct utf16_ordinal_less {
    bool operator()(const std::wstring& a, const std::wstring& b) const;
};

class batch_processor_worker {
public:
    /// The callbacks are not owned and must outlive process_job.
    explicit batch_processor_worker(batch_processor_callbacks& callbacks, worker_services services = {},
                                    action_table actions = default_action_table());

    // The job, filled by the host before process_job: either the three
    // in-memory fields with job_in_memory set, or a job file.
    std::wstring job_file_path;
    bool delete_job_file = false;
    bool job_in_memory = false;
    std::wstring action_type_name;
    std::wstring action_parameters;
    std::vector<std::wstring> files;

    /// Runs the whole job. Never raises: a failure of the job as a whole is
    /// logged and reported through report_error, failures of single files
    /// are reported per file and the run goes on.
    void process_job();

    /// After the run: the number of files the loop reached.
    std::uint32_t file_count() const { return file_count_; }

    /// After the run: the number of files whose handler or after-steps failed.
    std::uint32_t error_count() const { return error_count_; }

    /// After the run: faces detected by the face service that nobody matched.
    std::uint32_t unidentified_faces() const { return tally_.unidentified_faces; }

    /// The action taken from the job's name (unknown before the run).
    action_type action() const { return action_; }

    /// Parent folders of the changed files, notified at the end of the run.
    const std::set<std::wstring, utf16_ordinal_less>& changed_folders() const { return changed_folders_; }

private:
    void announce_job();
    /// One file with its failures reported: the handler, then its after-steps
    /// once its write is committed.
    void run_file(const std::wstring& path, const std::wstring& parameters, std::vector<std::wstring>& changed_files);
    void process_file(const std::wstring& path, const std::wstring& parameters,
                      std::vector<std::wstring>& changed_files);
    /// What follows a file's write once its commit gave `error` (0: in place),
    /// after `attempts` write attempts.
    void settle_file(const std::wstring& path, const std::wstring& parameters, std::vector<std::wstring>& changed_files,
                     std::uint32_t error, int attempts);
    void after_file_steps(const std::wstring& path, std::vector<std::wstring>& changed_files);
    void report_file_error(const std::wstring& path, const std::string& message);
    void refresh_changed(const std::vector<std::wstring>& changed_files);

    batch_processor_callbacks* callbacks_;
    worker_services services_;
    action_table actions_;
    std::uint32_t file_count_ = 0;
    std::uint32_t error_count_ = 0;
    action_type action_ = action_type::unknown;
    std::set<std::wstring, utf16_ordinal_less> changed_folders_;
    std::map<std::string, bool> suppressed_messages_;
    job_tally tally_;
};

}  // namespace sortwell::batch_processor
