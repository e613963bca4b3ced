#include "support/log_capture.h"

#include "logging/plain_text_logger.h"
#include "platform/file_system.h"
#include "support/temp_folder.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace qlm::testing {
namespace {

const std::wstring& process_log_path() {
    static const std::wstring path = [] {
        namespace fs = platform::file_system;
        const std::wstring file =
            fs::lexically_normal(*fs::full_path(std::filesystem::temp_directory_path().wstring() + fs::separator +
                                                L"qlm-tests-" + std::to_wstring(fs::process_id()) + L".log"));
        logging::logger()->open(file);
        // Best effort: where the open stream prevents removal, the file stays.
        static const std::filesystem::path native = fs::to_native(file);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove(native, ignored);
        });
        return file;
    }();
    return path;
}

}  // namespace

log_capture::log_capture() : start_(read_bytes(process_log_path()).size()) {}

std::string log_capture::text() const { return read_bytes(process_log_path()).substr(start_); }

}  // namespace qlm::testing
