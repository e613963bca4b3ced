#include "support/log_capture.h"

#include "logging/plain_text_logger.h"
#include "platform/file_system.h"

#include <filesystem>
#include <sstream>

namespace qlm::testing {

namespace {

const std::wstring& shared_log_path() {
    static const std::wstring path = [] {
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        std::wstring file = base.wstring() + platform::file_system::separator +
                            L"qlm-test-log-" + std::to_wstring(platform::file_system::process_id()) + L".log";
        std::error_code ignored;
        std::filesystem::remove(platform::file_system::to_native(file), ignored);
        logging::logger()->open(file);
        return file;
    }();
    return path;
}

std::string whole_log() {
    std::uint32_t error = 0;
    return platform::file_system::read_file(shared_log_path(), &error).value_or(std::string());
}

}  // namespace

log_capture::log_capture() : start_(whole_log().size()) {}

std::string log_capture::text() const {
    const std::string all = whole_log();
    return all.size() > start_ ? all.substr(start_) : std::string();
}

std::vector<std::string> log_capture::lines() const {
    std::vector<std::string> out;
    std::istringstream stream(text());
    for (std::string line; std::getline(stream, line);) out.push_back(line);
    return out;
}

std::vector<std::string> log_capture::messages() const {
    std::vector<std::string> out;
    for (const std::string& line : lines()) {
        // "[date time] [P:1 T:2] [LEVEL] message"
        const auto level_start = line.find("] [", line.find("] [") + 3);
        const auto level_end = line.find("] ", level_start + 3);
        if (level_start == std::string::npos || level_end == std::string::npos) {
            out.push_back(line);
            continue;
        }
        out.push_back(line.substr(level_start + 3, level_end - level_start - 3) + " " + line.substr(level_end + 2));
    }
    return out;
}

}  // namespace qlm::testing
