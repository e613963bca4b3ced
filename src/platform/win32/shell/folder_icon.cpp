// Folder icons on Windows: the shell's folder settings, its image cache and
// its stock icons.

#include "platform/shell.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

namespace platform::shell {

std::int32_t set_folder_icon(const std::wstring& folder, const std::wstring& icon_file, int index) {
    SHFOLDERCUSTOMSETTINGS settings{};
    settings.dwSize = sizeof(settings);
    settings.dwMask = FCSM_ICONFILE;
    std::wstring file = icon_file;
    settings.pszIconFile = icon_file.empty() ? nullptr : file.data();
    settings.cchIconFile = 0;
    settings.iIconIndex = index;
    return static_cast<std::int32_t>(SHGetSetFolderCustomSettings(&settings, folder.c_str(), FCS_FORCEWRITE));
}

void update_image(const std::wstring& path) {
    SHFILEINFOW info{};
    if (SHGetFileInfoW(path.c_str(), 0, &info, sizeof(info), SHGFI_ICONLOCATION | SHGFI_SYSICONINDEX) == 0) return;
    SHUpdateImageW(info.szDisplayName, info.iIcon, 0, info.iIcon);
}

std::optional<std::pair<std::wstring, int>> stock_folder_icon() {
    SHSTOCKICONINFO info{};
    info.cbSize = sizeof(info);
    if (FAILED(SHGetStockIconInfo(SIID_FOLDER, SHGSI_ICONLOCATION, &info))) return std::nullopt;
    return std::pair{std::wstring(info.szPath), info.iIcon};
}

}  // namespace platform::shell
