#include "platform/posix/properties/iptc_text.h"

#include "platform/text.h"

#include <cstdint>

namespace platform::property_store::posix {
namespace {

constexpr std::string_view utf8_marker = "\x1b%G";

// Code points of Windows-1252 bytes 0x80-0x9F; 0 marks the five undefined
// ones, which stay the Latin-1 control they would be.
constexpr char16_t windows_1252_high[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

wchar_t windows_1252(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F && windows_1252_high[byte - 0x80] != 0) {
        return static_cast<wchar_t>(windows_1252_high[byte - 0x80]);
    }
    return static_cast<wchar_t>(byte);
}

}  // namespace

bool is_valid_utf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        std::size_t length = 0;
        std::uint32_t code = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        }
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1Fu;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0Fu;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07u;
        } else {
            return false;
        }
        if (i + length > bytes.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3Fu);
        }
        if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
            (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

std::wstring decode_iptc_text(std::string_view bytes, bool utf8_marked) {
    if (utf8_marked || is_valid_utf8(bytes)) return platform::text::from_utf8(bytes);
    std::wstring text;
    text.reserve(bytes.size());
    for (const char byte : bytes) text.push_back(windows_1252(static_cast<unsigned char>(byte)));
    return text;
}

std::string windows_1252_to_utf8(std::string_view bytes) {
    std::wstring text;
    text.reserve(bytes.size());
    for (const char byte : bytes) text.push_back(windows_1252(static_cast<unsigned char>(byte)));
    return platform::text::to_utf8(text);
}

std::string iptc_keyword(const std::wstring& tag) {
    std::string bytes = platform::text::to_utf8(tag);
    if (bytes.size() <= iptc_keyword_limit) return bytes;
    std::size_t cut = iptc_keyword_limit;
    // Back off continuation bytes (10xxxxxx) to the start of the character.
    while (cut > 0 && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80) --cut;
    bytes.resize(cut);
    return bytes;
}

bool iptc_marked_utf8(const Exiv2::IptcData& iptc) {
    const auto it = iptc.findKey(Exiv2::IptcKey("Iptc.Envelope.CharacterSet"));
    return it != iptc.end() && it->toString() == utf8_marker;
}

void mark_iptc_utf8(Exiv2::IptcData& iptc) {
    if (!iptc_marked_utf8(iptc)) {
        for (auto& datum : iptc) {
            if (datum.typeId() != Exiv2::string || datum.key() == "Iptc.Envelope.CharacterSet") continue;
            const std::string bytes = datum.toString();
            if (is_valid_utf8(bytes)) continue;  // already UTF-8, only unmarked
            const std::string recoded = windows_1252_to_utf8(bytes);
            if (recoded != bytes) datum.setValue(recoded);
        }
    }
    iptc["Iptc.Envelope.CharacterSet"] = std::string(utf8_marker);
}

}  // namespace platform::property_store::posix
