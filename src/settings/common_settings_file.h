#pragma once
// The base of the suite's JSON settings files: where a file lives (LocalAppData,
// Verandel, Quillmark, <folder>), seeding it from the installation's default
// copy when the user has none, and reloading it only when its last-write time
// changed.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

namespace common::setting_utilities {

/// The path of the running executable: the module whose folder holds
/// Content/Configurations with the default copies.
std::wstring current_module();

/// The folder of the default copies for a module: the module's folder, then
/// "Content", then "Configurations". Computed once per module and cached.
std::wstring default_settings_folder(const std::wstring& module);

/// Where the per-user settings file of that folder and stem is, as the
/// constructor below computes it, without creating anything.
std::wstring settings_file_path(const std::wstring& folder_name, const std::wstring& file_stem);

/// While one lives, a settings file that has been loaded once is taken as
/// current without looking at its last-write time again: a batch run asks
/// the same settings for every target, and nothing it does changes them.
/// Phases nest.
class read_phase {
public:
    read_phase();
    ~read_phase();
    read_phase(const read_phase&) = delete;
    read_phase& operator=(const read_phase&) = delete;
};

class common_settings_file {
public:
    /// Builds the settings folder (the per-user LocalAppData folder, or the
    /// given root instead, then Verandel, Quillmark and folder_name, ending in
    /// a separator) and creates it when missing. Nothing is read yet. Throws
    /// std::filesystem::filesystem_error ("exists", "create_directories").
    common_settings_file(std::wstring module, std::wstring folder_name, std::wstring file_stem,
                         const std::optional<std::wstring>& app_data_root = std::nullopt);

    virtual ~common_settings_file() = default;
    common_settings_file(const common_settings_file&) = delete;
    common_settings_file& operator=(const common_settings_file&) = delete;

    /// Brings the members up to date with the file, seeding it from the
    /// default copy first when it is missing. True when the members are
    /// current; false (after a CRITICAL log line for seeding problems) when
    /// they are not. Unless force is set, an unchanged last-write time
    /// answers true without opening the file; inside a read_phase, a file
    /// loaded once answers true without even that look.
    virtual bool load(bool force);

    /// Parses the file into the derived object's members.
    virtual bool read() = 0;

    /// Writes the derived object's members to the file.
    virtual bool save() = 0;

    const std::wstring& folder_name() const { return folder_name_; }
    const std::wstring& file_stem() const { return file_stem_; }
    const std::wstring& full_path() const { return full_path_; }
    const std::wstring& file_name() const { return file_name_; }
    const std::wstring& settings_folder() const { return settings_folder_; }
    const std::wstring& module() const { return module_; }

    /// The FILETIME of the file at the last successful load; 0 before.
    std::uint64_t last_loaded_write_time() const { return last_loaded_write_time_; }

private:
    void seed_from_default_copy();

    std::wstring folder_name_;
    std::wstring file_stem_;
    std::wstring full_path_;
    std::wstring file_name_;
    std::wstring settings_folder_;
    std::wstring module_;
    std::uint64_t last_loaded_write_time_ = 0;
    std::atomic<bool> loaded_once_{false};
};

}  // namespace common::setting_utilities
