#pragma once
// The shell events of moved files and removed folders (SHChangeNotify),
// beside the ones in shell.h.

#include <cstdint>

namespace platform::shell {

inline constexpr std::int32_t event_rename_item = 0x00000001;  // SHCNE_RENAMEITEM
inline constexpr std::int32_t event_rmdir = 0x00000010;        // SHCNE_RMDIR

}  // namespace platform::shell
