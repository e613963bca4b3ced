#include "organizer/cue_sheets.h"

#include "platform/file_system.h"
#include "platform/text.h"
#include "platform/text_ansi.h"

#include <optional>
#include <stdexcept>

namespace sortwell::organizer {
namespace {

namespace fs = platform::file_system;

constexpr std::size_t largest_cue_sheet = 4194304;
constexpr char encoding_error[] = "Invalid cue sheet encoding; no music was organized.";
constexpr char reference_error[] = "Invalid cue FILE reference; no music was organized.";

void append_code_point(std::wstring& text, std::uint32_t code) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (code >= 0x10000) {
            code -= 0x10000;
            text.push_back(static_cast<wchar_t>(0xD800 + (code >> 10)));
            text.push_back(static_cast<wchar_t>(0xDC00 + (code & 0x3FF)));
            return;
        }
    }
    text.push_back(static_cast<wchar_t>(code));
}

std::wstring decode_utf16(std::string_view bytes, bool little_endian) {
    std::wstring text;
    const auto unit_at = [&](std::size_t i) -> std::uint32_t {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        return little_endian ? (a | (b << 8)) : ((a << 8) | b);
    };
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const std::uint32_t unit = unit_at(i);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
            const std::uint32_t low = unit_at(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                append_code_point(text, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        append_code_point(text, unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : unit);
    }
    return text;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
std::optional<std::wstring> decode_strict_utf8(std::string_view bytes) {
    std::wstring text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        std::size_t length = 0;
        std::uint32_t code = 0;
        std::uint32_t minimum = 0;
        if (lead < 0x80) {
            append_code_point(text, lead);
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2, code = lead & 0x1F, minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, code = lead & 0x0F, minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, code = lead & 0x07, minimum = 0x10000;
        } else {
            return std::nullopt;
        }
        if (i + length > bytes.size()) return std::nullopt;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) return std::nullopt;
            code = (code << 6) | (next & 0x3F);
        }
        if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return std::nullopt;
        append_code_point(text, code);
        i += length;
    }
    return text;
}

bool is_blank(wchar_t c) { return c == L' ' || c == L'\t'; }
bool is_white(wchar_t c) { return is_blank(c) || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f'; }

}  // namespace

std::wstring decode_cue_text(std::string_view bytes) {
    if (bytes.size() >= 2 && (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF")) {
        if (bytes.size() % 2 != 0) throw std::runtime_error(encoding_error);
        return decode_utf16(bytes.substr(2), bytes[0] == '\xFF');
    }
    const bool marked = bytes.substr(0, 3) == "\xEF\xBB\xBF";
    if (auto text = decode_strict_utf8(marked ? bytes.substr(3) : bytes)) return std::move(*text);
    if (marked) throw std::runtime_error(encoding_error);
    if (auto text = platform::text::from_ansi(bytes)) return std::move(*text);
    throw std::runtime_error(encoding_error);
}

std::vector<std::wstring> cue_file_references(std::wstring_view text) {
    std::vector<std::wstring> names;
    bool any_file_line = false;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring_view::npos) end = text.size();
        std::wstring_view line = text.substr(start, end - start);
        start = end + 1;
        const std::size_t first = line.find_first_not_of(L" \t\r");
        line = first == std::wstring_view::npos ? std::wstring_view() : line.substr(first);
        if (line.size() < 4) continue;
        const bool keyword = (line[0] | 0x20) == L'f' && (line[1] | 0x20) == L'i' && (line[2] | 0x20) == L'l' &&
                             (line[3] | 0x20) == L'e';
        if (!keyword || (line.size() > 4 && !is_white(line[4]))) continue;
        any_file_line = true;
        std::size_t position = 4;
        while (position < line.size() && is_blank(line[position])) ++position;
        if (position >= line.size()) throw std::runtime_error(reference_error);
        std::wstring name;
        if (line[position] == L'"') {
            const std::size_t close = line.find(L'"', position + 1);
            if (close == std::wstring_view::npos) throw std::runtime_error(reference_error);
            name = line.substr(position + 1, close - position - 1);
            position = close + 1;
        } else {
            const std::size_t stop = line.find_first_of(L" \t\r", position);
            const std::size_t name_end = stop == std::wstring_view::npos ? line.size() : stop;
            name = line.substr(position, name_end - position);
            position = name_end;
        }
        while (position < line.size() && (is_blank(line[position]) || line[position] == L'\r')) ++position;
        if (name.empty() || position >= line.size()) throw std::runtime_error(reference_error);
        names.push_back(std::move(name));
    }
    if (!any_file_line) throw std::runtime_error("Cue sheet has no FILE references; no music was organized.");
    return names;
}

std::wstring cue_path_key(const std::wstring& path) {
    const std::wstring absolute = fs::full_path(path).value_or(path);
    return platform::text::to_lower_invariant(fs::lexically_normal(absolute));
}

std::set<std::wstring> collect_cue_files(const std::wstring& folder) {
    std::set<std::wstring> keys;
    const wchar_t separator = fs::separator;
    const auto names = fs::find_files(folder + separator + L"*");
    if (!names) return keys;
    for (const auto& name : *names) {
        if (name.size() < 4 ||
            !platform::text::equal_ignore_case(std::wstring_view(name).substr(name.size() - 4), L".cue")) {
            continue;
        }
        const std::wstring path = folder + separator + name;
        const std::uint32_t attributes = fs::get_attributes(path);
        if (attributes == fs::invalid_attributes || (attributes & fs::attribute_directory) != 0) continue;
        const auto bytes = fs::read_file(path);
        if (!bytes || bytes->size() > largest_cue_sheet) {
            throw std::runtime_error("Could not read a cue sheet; no music was organized.");
        }
        for (const auto& referenced : cue_file_references(decode_cue_text(*bytes))) {
            keys.insert(cue_path_key(folder + separator + referenced));
        }
    }
    return keys;
}

}  // namespace sortwell::organizer
