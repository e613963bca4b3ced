#include "settings/common_settings_file.h"

#include "logging/log.h"
#include "platform/file_system.h"
#include "platform/text.h"

#include <atomic>
#include <exception>
#include <map>
#include <mutex>
#include <stdexcept>

namespace common::setting_utilities {

namespace fs = platform::file_system;

namespace {

// The maker and product folders are the same ones the log folder uses.
std::wstring settings_folder_under(std::wstring root, const std::wstring& folder_name) {
    for (const std::wstring& part : {std::wstring(L"Verandel"), std::wstring(L"Quillmark"), folder_name}) {
        if (!root.empty() && root.back() != fs::separator) root.push_back(fs::separator);
        root += part;
    }
    root.push_back(fs::separator);
    return root;
}

std::wstring parent_folder(const std::wstring& path) {
    const auto last = path.find_last_of(L"\\/");
    return last == std::wstring::npos ? std::wstring() : path.substr(0, last);
}

}  // namespace

std::wstring current_module() { return fs::module_path(); }

std::wstring settings_file_path(const std::wstring& folder_name, const std::wstring& file_stem) {
    return settings_folder_under(fs::local_app_data().value_or(std::wstring()), folder_name) + file_stem + L".json";
}

std::wstring default_settings_folder(const std::wstring& module) {
    static std::mutex guard;
    static std::map<std::wstring, std::wstring> cache;
    const std::lock_guard lock(guard);
    auto found = cache.find(module);
    if (found == cache.end()) {
        std::wstring folder = parent_folder(module);
        for (const wchar_t* part : {L"Content", L"Configurations"}) {
            if (!folder.empty()) folder.push_back(fs::separator);
            folder += part;
        }
        found = cache.emplace(module, std::move(folder)).first;
    }
    return found->second;
}

common_settings_file::common_settings_file(std::wstring module, std::wstring folder_name, std::wstring file_stem,
                                           const std::optional<std::wstring>& app_data_root)
    : folder_name_(std::move(folder_name)), file_stem_(std::move(file_stem)), module_(std::move(module)) {
    // Without a known folder the path stays relative to the current directory, as the log's does.
    const std::wstring root = app_data_root ? *app_data_root : fs::local_app_data().value_or(std::wstring());
    settings_folder_ = settings_folder_under(root, folder_name_);
    if (!fs::exists(settings_folder_)) fs::create_directories(settings_folder_);
    file_name_ = file_stem_ + L".json";
    full_path_ = settings_folder_ + file_name_;
}

void common_settings_file::seed_from_default_copy() {
    const std::wstring source = default_settings_folder(module_) + fs::separator + file_name_;
    const std::wstring& destination = full_path_;
    if (!fs::copy_file(source, destination)) {
        qlm::log_critical(L"Unable to copy default settings from {} to {}", source, destination);
        throw std::runtime_error("Unable to copy fallback settings file. See logs for details.");
    }
    qlm::log_info(L"Copied default settings from {} to {}", source, destination);
}

namespace {

std::atomic<int> read_phase_depth{0};

}  // namespace

read_phase::read_phase() { ++read_phase_depth; }

read_phase::~read_phase() { --read_phase_depth; }

bool common_settings_file::load(bool force) {
    try {
        if (!force && loaded_once_ && read_phase_depth.load() > 0) return true;
        if (!force) {
            const auto written = fs::last_write_time(full_path_);
            if (written && *written == last_loaded_write_time_) return true;
        }
        if (!fs::exists(full_path_)) seed_from_default_copy();
        const auto written = fs::last_write_time(full_path_);
        if (!read()) return false;
        last_loaded_write_time_ = written.value_or(0);
        loaded_once_ = true;
        return true;
    } catch (const std::exception& error) {
        qlm::log_critical(L"Unable to copy settings file. Details {}", platform::text::from_utf8(error.what()));
        return false;
    }
}

}  // namespace common::setting_utilities
