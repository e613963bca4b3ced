#pragma once
// The job the worker carries out: one action, its parameter text and the
// paths to apply it to. The job-file reader (read_job_file, parse_job_json,
// the validation messages and the deletion of the file when the job ends)
// lands beside this record; until then only in-memory jobs run.

#include <stdexcept>
#include <string>
#include <vector>

namespace sortwell::batch_processor {

struct batch_job {
    std::vector<std::wstring> files;  ///< in order, duplicates kept
    std::wstring action_type;         ///< the action's name
    std::wstring action_parameters;   ///< parsed by the action itself
    std::wstring version;             ///< informational
    std::wstring job_file_path;       ///< empty for an in-memory job
    bool delete_job_file = true;      ///< no effect while job_file_path is empty

    /// Stores the path and flag and fills the job from the file; raises a
    /// runtime error when the file cannot be read or is not a valid job.
    bool load_from_file(const std::wstring& path, bool delete_file) {
        job_file_path = path;
        delete_job_file = delete_file;
        throw std::runtime_error("Job files are not available in this build");
    }
};

}  // namespace sortwell::batch_processor
