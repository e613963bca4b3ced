#include "platform/shell.h"

#include <windows.h>
#include <shlobj.h>

namespace platform::shell {

void change_notify(std::int32_t event, std::uint32_t flags, const std::wstring& path1, const std::wstring& path2) {
    SHChangeNotify(static_cast<LONG>(event), static_cast<UINT>(flags), path1.empty() ? nullptr : path1.c_str(),
                   path2.empty() ? nullptr : path2.c_str());
}

std::vector<change_notification> recorded_notifications() { return {}; }

void clear_recorded_notifications() {}

}  // namespace platform::shell
