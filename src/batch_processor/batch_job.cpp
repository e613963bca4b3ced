#include "batch_processor/batch_job.h"

#include "batch_processor/job_file.h"
#include "logging/log.h"
#include "platform/file_system.h"
#include "platform/text.h"

#include <exception>

namespace sortwell::batch_processor {

namespace {

// The job file's strings end at their first NUL, as a C string would.
std::wstring to_wide(const std::string& bytes) { return platform::text::from_utf8(bytes.c_str()); }

}  // namespace

batch_job::~batch_job() {
    if (!delete_job_file || job_file_path.empty()) return;
    try {
        if (!platform::file_system::exists(job_file_path)) return;
        if (const std::uint32_t error = platform::file_system::delete_file(job_file_path); error != 0) {
            qlm::log_warning(L"Unable to delete job file {} Error: {}", job_file_path, error);
        }
    } catch (const std::exception& error) {
        qlm::log_warning(L"Unable to delete job file {} Details: {}", job_file_path,
                         platform::text::from_utf8(error.what()));
    } catch (...) {
        // A job that ends must never end the process.
    }
}

bool batch_job::load_from_file(const std::wstring& path, bool delete_file) {
    job_file_path = path;
    delete_job_file = delete_file;
    const job_description description = read_job_file(platform::text::to_utf8(path));
    version = to_wide(description.version);
    action_type = to_wide(description.action_type);
    action_parameters = to_wide(description.action_parameters);
    for (const std::string& file : description.files) files.push_back(to_wide(file));
    return true;
}

}  // namespace sortwell::batch_processor
