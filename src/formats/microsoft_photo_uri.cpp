#include "formats/microsoft_photo_uri.h"

namespace formats {

std::optional<std::string> with_microsoft_photo_uri(std::string_view data) {
    constexpr std::string_view slashed = "http://ns.microsoft.com/photo/1.0/";
    constexpr std::string_view trailer = "<?xpacket end=";
    std::optional<std::string> fixed;
    std::size_t from = 0;
    while (true) {
        const std::string_view text = fixed ? std::string_view(*fixed) : data;
        const auto at = text.find(slashed, from);
        if (at == std::string_view::npos) return fixed;
        from = at + slashed.size();
        // Only a declaration's value: the quote after the slash.
        if (from >= text.size() || (text[from] != '"' && text[from] != '\'')) continue;
        const auto end = text.find(trailer, from);
        if (end == std::string_view::npos || end == 0 || (text[end - 1] != ' ' && text[end - 1] != '\n')) {
            return std::nullopt;
        }
        if (!fixed) fixed.emplace(data);
        std::string& bytes = *fixed;
        // Shift what lies between the slash and the trailer one byte left
        // and put a blank in the gap before the trailer.
        bytes.erase(from - 1, 1);
        bytes.insert(end - 1, 1, ' ');
        from -= 1;
    }
}

}  // namespace formats
