#pragma once
// Telling the desktop shell that files changed. Windows calls SHChangeNotify;
// Linux has no shell to tell, so notifications are recorded in a list that
// tests read.
//
// Thumbnails: Windows asks its local thumbnail cache to extract the file's
// thumbnail again; Linux removes the file's entries from the freedesktop
// thumbnail cache ($XDG_CACHE_HOME/thumbnails/<size>/<md5 of the file URI>.png,
// and the failure markers under thumbnails/fail/<program>/), so that file
// managers make a new one the next time they show the file.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform::shell {

inline constexpr std::int32_t event_update_dir = 0x00001000;         // SHCNE_UPDATEDIR
inline constexpr std::int32_t event_update_item = 0x00002000;        // SHCNE_UPDATEITEM
inline constexpr std::int32_t event_assoc_changed = 0x08000000;      // SHCNE_ASSOCCHANGED
inline constexpr std::int32_t event_update_image = 0x00008000;       // SHCNE_UPDATEIMAGE (SHUpdateImageW)
inline constexpr std::uint32_t flag_id_list = 0x0000;                // SHCNF_IDLIST
inline constexpr std::uint32_t flag_path = 0x0005;                   // SHCNF_PATHW
inline constexpr std::uint32_t flag_flush = 0x1000;                  // SHCNF_FLUSH
inline constexpr std::uint32_t flag_flush_no_wait = 0x3000;          // SHCNF_FLUSHNOWAIT

struct change_notification {
    std::int32_t event = 0;
    std::uint32_t flags = 0;
    std::wstring path1;
    std::wstring path2;
};

/// SHChangeNotify with up to two paths (empty for none).
void change_notify(std::int32_t event, std::uint32_t flags, const std::wstring& path1 = {},
                   const std::wstring& path2 = {});

/// The notifications sent so far by this process, oldest first (Linux); empty
/// on Windows, where the shell receives them.
std::vector<change_notification> recorded_notifications();

/// Forgets the recorded notifications.
void clear_recorded_notifications();

/// True where change_notify records instead of telling a shell (Linux).
bool notifications_recorded();

/// Makes the file's thumbnail be drawn anew (IThumbnailCache::GetThumbnail
/// with 256 pixels and WTS_FORCEEXTRACTION on Windows, cache removal on
/// Linux). Every failure is silent: a stale thumbnail is only cosmetic.
void refresh_thumbnail(const std::wstring& path);

/// Sets a folder's custom icon (SHGetSetFolderCustomSettings with
/// FCSM_ICONFILE and FCS_FORCEWRITE): `icon_file` (relative to the folder or
/// absolute) and its index, or removes the icon when `icon_file` is empty.
/// The HRESULT. Linux: "IconResource=<file>,<index>" in [.ShellClassInfo] of
/// the folder's desktop.ini (a new file starts FF FE 0D 00 0A 00, so it is
/// UTF-16); removal deletes IconResource, IconFile and IconIndex. So that
/// KDE's file manager shows the icon too, the folder's .directory gets
/// "Icon=<absolute path>" under [Desktop Entry], and loses it again with the
/// icon (the whole file when nothing else is left in it); its other lines
/// stay as they are.
std::int32_t set_folder_icon(const std::wstring& folder, const std::wstring& icon_file, int index);

/// Tells the shell that the icon of the path changed: SHGetFileInfoW with
/// SHGFI_ICONLOCATION | SHGFI_SYSICONINDEX and, when it answers,
/// SHUpdateImageW. Linux records an event_update_image notification with
/// the path.
void update_image(const std::wstring& path);

/// The system's folder icon as a file and an index (SHGetStockIconInfo,
/// SIID_FOLDER), or nullopt. Linux: the largest places/folder.png of the
/// icon themes under $XDG_DATA_DIRS/icons.
std::optional<std::pair<std::wstring, int>> stock_folder_icon();

}  // namespace platform::shell
