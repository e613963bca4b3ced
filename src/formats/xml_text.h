#pragma once
// The five XML special characters and their entities, as the XMP writers put
// text into a packet and the sidecar reader takes it out again.

#include <string>
#include <string_view>

namespace formats {

/// Replaces the five XML special characters by their entities; every other
/// byte is copied.
inline std::string xml_escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '"': out += "&quot;"; break;
            case '&': out += "&amp;"; break;
            case '\'': out += "&apos;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            default: out.push_back(c);
        }
    }
    return out;
}

/// Replaces exactly the five entities xml_escape writes by their characters;
/// any other "&" (numeric references included) is copied unchanged.
inline std::string xml_unescape(std::string_view text) {
    struct entity {
        std::string_view text;
        char character;
    };
    static constexpr entity entities[] = {
        {"&quot;", '"'}, {"&amp;", '&'}, {"&apos;", '\''}, {"&lt;", '<'}, {"&gt;", '>'}};
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        bool replaced = false;
        if (text[i] == '&') {
            for (const entity& e : entities) {
                if (text.substr(i).starts_with(e.text)) {
                    out.push_back(e.character);
                    i += e.text.size();
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) out.push_back(text[i++]);
    }
    return out;
}

}  // namespace formats
