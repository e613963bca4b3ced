#pragma once
// The job as the worker holds it for one run: the action, its parameter text
// and the paths, given in memory or loaded from a job file. A job file marked
// for deletion disappears when the job is destroyed, however the run ended.

#include <string>
#include <vector>

namespace sortwell::batch_processor {

struct batch_job {
    batch_job() = default;
    batch_job(const batch_job&) = delete;
    batch_job& operator=(const batch_job&) = delete;

    /// Deletes the job file when delete_job_file is set, job_file_path is not
    /// empty and the file exists. A failed deletion is logged, never raised.
    ~batch_job();

    /// Stores the path and the flag, then reads the job file and fills
    /// files, action_type, action_parameters and version (UTF-8 to wide, each
    /// string up to its first NUL). The runtime error of read_job_file passes
    /// to the caller, and the file is still deleted with the job. Returns
    /// true when it returns.
    bool load_from_file(const std::wstring& path, bool delete_file);

    std::vector<std::wstring> files;  // in order, duplicates kept
    std::wstring action_type;
    std::wstring action_parameters;
    std::wstring version;        // informational
    std::wstring job_file_path;  // empty for an in-memory job
    bool delete_job_file = true;
};

}  // namespace sortwell::batch_processor
