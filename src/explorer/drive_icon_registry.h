#pragma once
// The per-user registry entry through which Explorer shows a custom icon for
// a drive letter, with a backup of what was there before, so that removing
// our icon puts the earlier one back, but never over another program's.

#include <string>

namespace sortwell::explorer {

inline constexpr wchar_t drive_icon_applied_value[] = L"sortwell_drive_icon_applied";
inline constexpr wchar_t drive_icon_had_original_value[] = L"sortwell_drive_icon_had_original";
inline constexpr wchar_t drive_icon_original_value[] = L"sortwell_drive_icon_original";

/// "Software\Classes\Applications\Explorer.exe\Drives\<L>\DefaultIcon" of
/// the upper-cased drive letter.
std::wstring drive_icon_key(wchar_t letter);

/// Makes `icon` (followed by ",0") the drive's icon. The first call saves the
/// default value found there; later calls keep that backup. `drive` names
/// the drive in messages. Throws std::runtime_error with the drive message
/// ("register", "back up the existing icon for").
void register_drive_icon(const std::wstring& drive, wchar_t letter, const std::wstring& icon);

/// Puts the saved default value back (or removes ours when there was none)
/// and forgets the backup, as long as the default is still the one we
/// wrote; otherwise throws "Could not restore the default icon for drive
/// '…'. … Another application changed …" and changes nothing. Nothing to do
/// when we never registered an icon for the drive.
void restore_drive_icon(const std::wstring& drive, wchar_t letter);

}  // namespace sortwell::explorer
