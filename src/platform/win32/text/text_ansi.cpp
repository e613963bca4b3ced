// The system's ANSI code page through MultiByteToWideChar.

#include "platform/text_ansi.h"

#include <windows.h>

namespace platform::text {

std::optional<std::wstring> from_ansi(std::string_view bytes) {
    if (bytes.empty()) return std::wstring();
    if (bytes.size() > 0x7FFFFFFF) return std::nullopt;
    const int size = static_cast<int>(bytes.size());
    const int length = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (length <= 0) return std::nullopt;
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), size, text.data(), length) != length) {
        return std::nullopt;
    }
    return text;
}

}  // namespace platform::text
