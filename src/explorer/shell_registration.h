#pragma once
// Registration of the suite's icon handler and thumbnail provider for a
// file's extension in the per-user registry, so that Explorer asks them for
// the tag and rating overlays. What was registered before is saved beside
// our value for the handlers to hand over to.

#include "platform/registry.h"
#include "settings/high_level_settings.h"

#include <string>
#include <vector>

namespace sortwell::explorer {

/// The class id of the suite's icon handler and thumbnail provider.
inline constexpr wchar_t suite_handler_clsid[] = L"{931CC9DD-9E0F-4FA1-AA06-229D0372956A}";
/// The shell's ShellEx sub-key of thumbnail providers.
inline constexpr wchar_t thumbnail_provider_key[] = L"{e357fccd-a995-4576-b01f-234630154e96}";
inline constexpr wchar_t icon_handler_backup_value[] = L"sortwell_original_icon_handler";
inline constexpr wchar_t thumbnail_backup_value[] = L"OriginalThumbnailProvider";
inline constexpr wchar_t treatment_marker_value[] = L"QuillmarkTreatment";

/// A string value of up to 4096 bytes (the empty name is the default
/// value), or an empty text for any failure.
std::wstring read_registry_string(platform::registry::root where, const std::wstring& key_path,
                                  const std::wstring& value_name);

/// Writes `data` to the value of the HKCU key (created when missing). A
/// current non-empty string that differs from `data` is first saved under
/// `backup_name`, unless a backup exists already. Throws std::runtime_error
/// "Failed to create/open registry key" when the key cannot be opened for
/// writing.
void write_registry_string_with_backup(const std::wstring& key_path, const std::wstring& value_name,
                                       const std::wstring& data, const std::wstring& backup_name);

/// The ProgIDs of the extension (".jpg"), in the order the shell would ask
/// them: the association, the user's choice, HKCU's and HKCR's default, the
/// OpenWithProgids of HKCU then HKLM. Empty, "*" and "AppX…" entries and
/// repeats (ignoring case) are left out.
std::vector<std::wstring> progids_for_extension(const std::wstring& extension);

/// Registers the suite's handlers for the extension of a file, per user,
/// and keeps the thumbnail treatment of image types in step with the
/// rounded-corners setting. Folders, ".lnk" files and files without an
/// extension are left alone, as is everything while the overlays are
/// switched off. Throws what write_registry_string_with_backup throws.
void register_shell_handlers(const std::wstring& path,
                             high_level_settings::settings_file& settings = high_level_settings::instance());

}  // namespace sortwell::explorer
