#pragma once
// Which texts can be stored so that they read back the same. Embedded XMP,
// IPTC and the property set cannot keep control characters faithfully (XML
// forbids most of them), and a lone surrogate, which a file name's
// undecodable byte becomes, has no UTF-8 form at all.

#include <cstdint>
#include <string_view>

namespace qlm::metadata_commands {

/// What keeps a text from being stored.
enum class unstorable { none, control_character, not_unicode };

/// The first reason the text cannot be stored, ignoring the control
/// characters listed in `allowed`.
inline unstorable check_storable(std::wstring_view text, std::wstring_view allowed = {}) {
    for (const wchar_t c : text) {
        const auto code = static_cast<std::uint32_t>(c);
        if ((code < 0x20 || (code >= 0x7F && code < 0xA0)) && allowed.find(c) == std::wstring_view::npos) {
            return unstorable::control_character;
        }
        if ((code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return unstorable::not_unicode;
    }
    return unstorable::none;
}

}  // namespace qlm::metadata_commands
