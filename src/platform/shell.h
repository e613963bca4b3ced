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
#include <string>
#include <vector>

namespace platform::shell {

inline constexpr std::int32_t event_update_dir = 0x00001000;         // SHCNE_UPDATEDIR
inline constexpr std::int32_t event_update_item = 0x00002000;        // SHCNE_UPDATEITEM
inline constexpr std::int32_t event_assoc_changed = 0x08000000;      // SHCNE_ASSOCCHANGED
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

}  // namespace platform::shell
