#include "formats/xmp_subject_scan.h"

#include <cstdint>
#include <cstdlib>

namespace formats {
namespace {

void append_utf8(std::string& out, std::uint32_t code) {
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

std::string decode_entities(std::string_view text) {
    std::string out;
    std::size_t at = 0;
    while (at < text.size()) {
        if (text[at] != '&') {
            out.push_back(text[at++]);
            continue;
        }
        const auto semicolon = text.find(';', at);
        if (semicolon == std::string_view::npos || semicolon - at > 12) {
            out.push_back(text[at++]);
            continue;
        }
        const std::string name(text.substr(at + 1, semicolon - at - 1));
        if (name == "amp") out.push_back('&');
        else if (name == "lt") out.push_back('<');
        else if (name == "gt") out.push_back('>');
        else if (name == "quot") out.push_back('"');
        else if (name == "apos") out.push_back('\'');
        else if (name.size() > 1 && name[0] == '#') {
            const bool hex = name[1] == 'x' || name[1] == 'X';
            const std::string digits = name.substr(hex ? 2 : 1);
            char* end = nullptr;
            const unsigned long code = std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
            if (digits.empty() || end == nullptr || *end != '\0') {
                out.append(text.substr(at, semicolon - at + 1));
            } else {
                append_utf8(out, code > 0x10FFFF ? 0xFFFD : static_cast<std::uint32_t>(code));
            }
        } else {
            out.append(text.substr(at, semicolon - at + 1));
        }
        at = semicolon + 1;
    }
    return out;
}

}  // namespace

std::optional<std::vector<std::string>> scan_dc_subject(std::string_view packet) {
    const auto open = packet.find("<dc:subject");
    if (open == std::string_view::npos) return std::nullopt;
    const auto open_end = packet.find('>', open);
    if (open_end == std::string_view::npos) return std::nullopt;
    if (packet[open_end - 1] == '/') return std::vector<std::string>{};
    const auto close = packet.find("</dc:subject>", open_end);
    if (close == std::string_view::npos) return std::nullopt;
    const std::string_view body = packet.substr(open_end + 1, close - open_end - 1);
    std::vector<std::string> items;
    std::size_t at = 0;
    while ((at = body.find("<rdf:li", at)) != std::string_view::npos) {
        const auto tag_end = body.find('>', at);
        if (tag_end == std::string_view::npos) break;
        if (body[tag_end - 1] == '/') {
            items.emplace_back();
            at = tag_end + 1;
            continue;
        }
        const auto item_end = body.find("</rdf:li>", tag_end);
        if (item_end == std::string_view::npos) break;
        items.push_back(decode_entities(body.substr(tag_end + 1, item_end - tag_end - 1)));
        at = item_end + 9;
    }
    return items;
}

}  // namespace formats
