// The ANSI code page on Linux: Windows-1252, the code page of the western
// Windows installations whose files (cue sheets, old playlists) we meet.

#include "platform/text_ansi.h"

#include <array>

namespace platform::text {
namespace {

// 0x80-0x9F; zero marks the five bytes Windows-1252 leaves unassigned.
constexpr std::array<char16_t, 32> high_controls = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                                    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

}  // namespace

std::optional<std::wstring> from_ansi(std::string_view bytes) {
    std::wstring text;
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        if (code >= 0x80 && code < 0xA0) {
            const char16_t mapped = high_controls[code - 0x80];
            if (mapped == 0) return std::nullopt;
            text.push_back(static_cast<wchar_t>(mapped));
        } else {
            text.push_back(static_cast<wchar_t>(code));
        }
    }
    return text;
}

}  // namespace platform::text
