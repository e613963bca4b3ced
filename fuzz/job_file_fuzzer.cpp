// Feeds arbitrary bytes to the job-file reader: in memory through the
// validation, and through a real file into a batch_job. Only the reader's
// own runtime errors may come out.

#include "batch_processor/batch_job.h"
#include "batch_processor/job_file.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "settings/json_text.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace {

std::wstring job_path() {
    static const std::wstring path = (std::filesystem::temp_directory_path() /
                                      ("qlm-fuzz-job-" + std::to_string(platform::file_system::process_id()) + ".json"))
                                         .wstring();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        rapidjson::Document document;
        common::setting_utilities::parse_json(text, document);
        const auto job = sortwell::batch_processor::parse_job_json(document);
        (void)job;
    } catch (const std::runtime_error&) {
    }

    std::ofstream(platform::file_system::to_native(job_path()), std::ios::binary | std::ios::trunc) << text;
    try {
        sortwell::batch_processor::batch_job job;
        job.load_from_file(job_path(), true);
    } catch (const std::runtime_error&) {
    }
    // The job deletes its file when it ends, valid or not.
    if (platform::file_system::exists(job_path())) __builtin_trap();
    return 0;
}
