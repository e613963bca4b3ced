#include "organizer/naming_pattern.h"

#include "platform/file_system.h"

#include <fmt/format.h>
#include <fmt/xchar.h>

namespace sortwell::organizer {

std::vector<pattern_segment> parse_pattern(std::wstring_view text) {
    std::vector<pattern_segment> segments;
    std::size_t position = 0;
    for (;;) {
        const std::size_t open = text.find(L'<', position);
        const std::size_t close = open == std::wstring_view::npos ? open : text.find(L'>', open + 1);
        if (close == std::wstring_view::npos) {
            segments.push_back({std::wstring(text.substr(position)), {}});
            return segments;
        }
        segments.push_back({std::wstring(text.substr(position, open - position)),
                            std::wstring(text.substr(open + 1, close - open - 1))});
        position = close + 1;
    }
}

std::wstring expand_pattern(const std::vector<pattern_segment>& segments,
                            const std::function<std::wstring(const std::wstring&)>& value_of) {
    if (segments.empty()) return {};
    if (segments.size() == 1) return segments.front().literal;
    std::wstring result = segments.front().literal;
    bool produced = false;
    for (std::size_t i = 0; i + 1 < segments.size(); ++i) {
        const std::wstring value = value_of(segments[i].token);
        if (value.empty()) continue;
        if (i > 0 && produced) result += segments[i].literal;
        result += value;
        produced = true;
    }
    result += segments.back().literal;
    return result;
}

std::wstring sanitize_component(std::wstring_view text) {
    static constexpr std::wstring_view forbidden = L"\\/:*?\"<>|";
    std::wstring clean;
    clean.reserve(text.size());
    for (const wchar_t c : text) {
        clean.push_back(static_cast<std::uint32_t>(c) < 32 || forbidden.find(c) != std::wstring_view::npos ? L'_' : c);
    }
    const std::size_t first = clean.find_first_not_of(L' ');
    if (first == std::wstring::npos) return {};
    const std::size_t last = clean.find_last_not_of(L" .");
    if (last == std::wstring::npos || last < first) return {};
    return clean.substr(first, last - first + 1);
}

std::wstring join_values(const std::vector<std::wstring>& values) {
    std::wstring joined;
    for (const auto& value : values) {
        if (!joined.empty() || &value != &values.front()) joined += L", ";
        joined += value;
    }
    return joined;
}

std::wstring join_people(const std::vector<std::wstring>& names) {
    switch (names.size()) {
        case 0:
            return {};
        case 1:
            return names[0];
        case 2:
        case 3: {
            const std::vector<std::wstring> head(names.begin(), names.end() - 1);
            return join_values(head) + L" and " + names.back();
        }
        default:
            return fmt::format(L"{}, {} and {} others", names[0], names[1], names.size() - 2);
    }
}

unsigned long leading_number(std::wstring_view text) {
    unsigned long number = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') break;
        const unsigned long next = number * 10 + static_cast<unsigned long>(c - L'0');
        if (next / 10 != number) return 0;  // overflow: not a disc number anyone wrote
        number = next;
    }
    return number;
}

std::vector<std::wstring> split_placement(const std::wstring& placement, std::wstring& root) {
    namespace fs = platform::file_system;
    root.clear();
    std::size_t start = 0;
    const auto is_separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
    const bool windows = fs::separator == L'\\';
    if (windows && placement.size() >= 2 && is_separator(placement[0]) && is_separator(placement[1])) {
        // \\server\share\ : the share is part of the root.
        std::size_t end = 2;
        while (end < placement.size() && !is_separator(placement[end])) ++end;
        if (end < placement.size()) ++end;
        while (end < placement.size() && !is_separator(placement[end])) ++end;
        root = L"\\\\" + placement.substr(2, end - 2) + L"\\";
        for (auto& c : root) c = c == L'/' ? L'\\' : c;
        start = end;
    } else if (windows && placement.size() >= 2 && placement[1] == L':' &&
               ((placement[0] >= L'A' && placement[0] <= L'Z') || (placement[0] >= L'a' && placement[0] <= L'z'))) {
        root = placement.substr(0, 2) + L"\\";
        start = 2;
    } else if (!placement.empty() && is_separator(placement[0])) {
        root = std::wstring(1, fs::separator);
        start = 1;
    }
    std::vector<std::wstring> parts;
    std::wstring part;
    for (std::size_t i = start; i <= placement.size(); ++i) {
        if (i == placement.size() || is_separator(placement[i])) {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part.push_back(placement[i]);
        }
    }
    return parts;
}

}  // namespace sortwell::organizer
