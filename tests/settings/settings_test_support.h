#pragma once
// A private installation and user profile for the settings tests: an
// executable path whose Content/Configurations folder holds the default
// copies, and a LocalAppData root, both inside one temporary folder.

#include "platform/file_system.h"
#include "support/temp_folder.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

namespace qlm::testing {

struct settings_sandbox {
    temp_folder folder;
    std::wstring module = folder.make_folder(L"install") + platform::file_system::separator + L"qlm";
    std::wstring profile = folder.make_folder(L"profile");

    /// Puts a default copy beside the pretend executable.
    void write_default(const std::wstring& file_name, const std::string& bytes) const {
        folder.make_folder(native_path(L"install/Content/Configurations"));
        folder.write(native_path(L"install/Content/Configurations/") + file_name, bytes);
    }

    /// Writes the user's copy of a settings file and returns its path.
    std::wstring write_user_file(const std::wstring& file_name, const std::string& bytes) const {
        folder.make_folder(native_path(L"profile/Verandel/Quillmark/Settings"));
        return folder.write(native_path(L"profile/Verandel/Quillmark/Settings/") + file_name, bytes);
    }

    /// Gives the file a last-write time that no earlier call gave, in whole
    /// seconds: some file systems (and Wine) keep no finer time than that.
    static void set_new_write_time(const std::wstring& path) {
        static int calls = 0;
        const auto now = std::chrono::floor<std::chrono::seconds>(std::filesystem::file_time_type::clock::now());
        std::filesystem::last_write_time(platform::file_system::to_native(path), now + std::chrono::minutes(++calls));
    }

    /// Replaces the file's bytes and keeps its last-write time.
    static void replace_keeping_time(const std::wstring& path, const std::string& bytes) {
        const auto native = platform::file_system::to_native(path);
        const auto time = std::filesystem::last_write_time(native);
        std::ofstream(native, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        std::filesystem::last_write_time(native, time);
    }
};

}  // namespace qlm::testing
