#pragma once
// Text in the system's ANSI code page, for files written by older Windows
// programs (cue sheets, playlists).

#include <optional>
#include <string>
#include <string_view>

namespace platform::text {

/// Text in the system's ANSI code page (MultiByteToWideChar with CP_ACP and
/// MB_ERR_INVALID_CHARS), or nullopt when a byte has no character there.
/// Linux: Windows-1252, whose five unassigned bytes fail.
std::optional<std::wstring> from_ansi(std::string_view bytes);

}  // namespace platform::text
