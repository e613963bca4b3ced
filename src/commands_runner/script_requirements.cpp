#include "commands_runner/script_requirements.h"

#include "commands_runner/command_spec.h"
#include "platform/file_system.h"
#include "platform/text.h"

#include <climits>
#include <cstdint>
#include <string_view>
#include <vector>

namespace sortwell::commands_runner {
namespace {

constexpr wchar_t replacement = L'\xFFFD';

bool is_white_space(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f';
}

std::wstring decode_utf16le(std::string_view bytes) {
    std::wstring text;
    const auto unit_at = [&](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8));
    };
    const std::size_t units = bytes.size() / 2;
    for (std::size_t i = 0; i < units; ++i) {
        const std::uint32_t unit = unit_at(i * 2);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
            const std::uint32_t low = unit_at((i + 1) * 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                if constexpr (sizeof(wchar_t) == 2) {
                    text.push_back(static_cast<wchar_t>(unit));
                    text.push_back(static_cast<wchar_t>(low));
                } else {
                    text.push_back(static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00)));
                }
                ++i;
                continue;
            }
        }
        text.push_back(unit >= 0xD800 && unit <= 0xDFFF ? replacement : static_cast<wchar_t>(unit));
    }
    if (bytes.size() % 2 != 0) text.push_back(replacement);
    return text;
}

std::wstring_view trim(std::wstring_view line) {
    while (!line.empty() && (line.front() == L' ' || line.front() == L'\t' || line.front() == L'\r')) {
        line.remove_prefix(1);
    }
    while (!line.empty() && (line.back() == L' ' || line.back() == L'\t' || line.back() == L'\r')) {
        line.remove_suffix(1);
    }
    return line;
}

std::vector<std::wstring_view> tokens_of(std::wstring_view text) {
    std::vector<std::wstring_view> tokens;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && is_white_space(text[i])) ++i;
        const std::size_t start = i;
        while (i < text.size() && !is_white_space(text[i])) ++i;
        if (i > start) tokens.push_back(text.substr(start, i - start));
    }
    return tokens;
}

// Up to three "."-separated runs of digits; false when not even one is there.
bool read_version(std::wstring_view token, version_number& version) {
    int* const parts[] = {&version.major, &version.minor, &version.patch};
    version_number read;
    int* const read_parts[] = {&read.major, &read.minor, &read.patch};
    std::size_t i = 0;
    int count = 0;
    while (count < 3) {
        const std::size_t start = i;
        long long value = 0;
        while (i < token.size() && token[i] >= L'0' && token[i] <= L'9') {
            value = value * 10 + (token[i] - L'0');
            if (value > INT_MAX) value = INT_MAX;  // a silly version must not overflow
            ++i;
        }
        if (i == start) break;
        *read_parts[count++] = static_cast<int>(value);
        if (i >= token.size() || token[i] != L'.') break;
        ++i;
    }
    if (count == 0) return false;
    for (int k = 0; k < 3; ++k) *parts[k] = *read_parts[k];
    return true;
}

void read_requires_line(std::wstring_view rest, script_requirements& requirements) {
    const std::vector<std::wstring_view> tokens = tokens_of(rest);
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const std::wstring_view token = tokens[i];
        if (token == L"-version") {
            if (++i < tokens.size() && read_version(tokens[i], requirements.version)) requirements.has_version = true;
        } else if (token == L"-psedition") {
            if (++i >= tokens.size()) break;
            if (tokens[i] == L"desktop") requirements.needs_desktop = true;
            if (tokens[i] == L"core") requirements.needs_core = true;
        } else if (token.starts_with(L"-runasadmin")) {
            requirements.run_as_administrator = true;
        }
    }
}

}  // namespace

std::wstring read_script_text(const std::wstring& path) {
    const auto bytes = platform::file_system::read_file(strip_quotes(path));
    if (!bytes) return {};
    std::string_view view = *bytes;
    if (view.starts_with("\xFF\xFE")) return decode_utf16le(view.substr(2));
    if (view.starts_with("\xEF\xBB\xBF")) view.remove_prefix(3);
    return platform::text::from_utf8(view);
}

script_requirements gather_script_requirements(const std::wstring& text) {
    script_requirements requirements;
    wchar_t here_string_quote = 0;  // the quote of an open here-string, else 0
    bool in_block_comment = false;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        const std::wstring_view line = trim(std::wstring_view(text).substr(start, end - start));
        start = end + 1;

        if (here_string_quote != 0) {
            if (line.size() >= 2 && line[0] == here_string_quote && line[1] == L'@') here_string_quote = 0;
            continue;
        }
        if (in_block_comment) {
            if (line.find(L"#>") != std::wstring_view::npos) in_block_comment = false;
            continue;
        }
        const std::wstring lower = platform::text::to_lower_invariant(line);
        if (lower.size() > 9 && lower.starts_with(L"#requires") && is_white_space(lower[9])) {
            read_requires_line(std::wstring_view(lower).substr(10), requirements);
            continue;
        }
        if (lower.ends_with(L"@'") || lower.ends_with(L"@\"")) {
            here_string_quote = lower.back();
            continue;
        }
        const std::size_t open = lower.find(L"<#");
        if (open == std::wstring::npos) continue;
        if (lower.find(L"#>", open + 2) != std::wstring::npos) continue;
        // A "#" before the "<#" makes it part of a line comment.
        if (lower.find(L'#') < open) continue;
        in_block_comment = true;
    }
    return requirements;
}

}  // namespace sortwell::commands_runner
