#include "support/temp_folder.h"

#include "platform/file_system.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <system_error>

namespace qlm::testing {

namespace fs = platform::file_system;

temp_folder::temp_folder() {
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    const std::wstring name = L"qlm-test-" + std::to_wstring(fs::process_id()) + L"-" + std::to_wstring(stamp) + L"-" +
                              std::to_wstring(counter++);
    path_ = fs::lexically_normal(*fs::full_path(base.wstring() + fs::separator + name));
    fs::create_directories(path_);
}

temp_folder::~temp_folder() {
    std::error_code ignored;
    std::filesystem::remove_all(fs::to_native(path_), ignored);
}

std::wstring temp_folder::operator/(const std::wstring& name) const {
    return path_ + fs::separator + native_path(name);
}

std::wstring temp_folder::write(const std::wstring& name, const std::string& bytes) const {
    const std::wstring full = *this / name;
    std::ofstream out(fs::to_native(full), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return full;
}

std::wstring temp_folder::make_folder(const std::wstring& name) const {
    const std::wstring full = *this / name;
    fs::create_directories(full);
    return full;
}

std::string read_bytes(const std::wstring& path) {
    std::ifstream in(fs::to_native(path), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

}  // namespace qlm::testing
