// INI files with the Windows private-profile semantics, on Linux.

#include "platform/private_profile.h"

#include "platform/file_safety.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "platform/win32_error.h"

#include <optional>
#include <vector>

namespace platform::private_profile {
namespace {

enum class encoding { utf8, utf8_bom, utf16 };

struct line {
    std::string raw;   // the original bytes with their line end; empty for a new line
    std::wstring text; // without the line end
    bool changed = false;
};

struct document {
    encoding kind = encoding::utf8;
    std::vector<line> lines;
};

std::uint32_t unit_at(const std::string& bytes, std::size_t i) {
    return std::uint32_t{static_cast<unsigned char>(bytes[i])} | (std::uint32_t{static_cast<unsigned char>(bytes[i + 1])} << 8);
}

std::wstring decode_utf16(const std::string& bytes, std::size_t begin, std::size_t end) {
    std::wstring text;
    for (std::size_t i = begin; i + 1 < end; i += 2) {
        const std::uint32_t unit = unit_at(bytes, i);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < end) {
            const std::uint32_t low = unit_at(bytes, i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                text.push_back(static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00)));
                i += 2;
                continue;
            }
        }
        text.push_back(unit >= 0xD800 && unit <= 0xDFFF ? L'\xFFFD' : static_cast<wchar_t>(unit));
    }
    return text;
}

void append_utf16(std::string& out, std::wstring_view text) {
    auto put = [&out](std::uint32_t unit) {
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>(unit >> 8));
    };
    for (const wchar_t ch : text) {
        auto code = static_cast<std::uint32_t>(ch);
        if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
        if (code >= 0x10000) {
            put(0xD800 + ((code - 0x10000) >> 10));
            put(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            put(code);
        }
    }
}

std::wstring without_line_end(std::wstring text) {
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
    return text;
}

document parse(const std::string& bytes) {
    document doc;
    std::size_t start = 0;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        doc.kind = encoding::utf16;
        start = 2;
        // An odd last byte cannot be a character; it stays with the last line.
        for (std::size_t i = start; i < bytes.size();) {
            std::size_t end = i;
            while (end + 1 < bytes.size() && !(bytes[end] == '\n' && bytes[end + 1] == '\0')) end += 2;
            end = end + 1 < bytes.size() ? end + 2 : bytes.size();
            line item;
            item.raw = bytes.substr(i, end - i);
            item.text = without_line_end(decode_utf16(bytes, i, end));
            doc.lines.push_back(std::move(item));
            i = end;
        }
        return doc;
    }
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        doc.kind = encoding::utf8_bom;
        start = 3;
    }
    for (std::size_t i = start; i < bytes.size();) {
        const auto newline = bytes.find('\n', i);
        const std::size_t end = newline == std::string::npos ? bytes.size() : newline + 1;
        line item;
        item.raw = bytes.substr(i, end - i);
        item.text = without_line_end(platform::text::from_utf8(item.raw));
        doc.lines.push_back(std::move(item));
        i = end;
    }
    return doc;
}

std::string serialise(const document& doc) {
    std::string out;
    if (doc.kind == encoding::utf16) out = "\xFF\xFE";
    if (doc.kind == encoding::utf8_bom) out = "\xEF\xBB\xBF";
    for (const auto& item : doc.lines) {
        if (!item.changed) {
            out += item.raw;
            continue;
        }
        const std::wstring text = item.text + L"\r\n";
        if (doc.kind == encoding::utf16) append_utf16(out, text);
        else out += platform::text::to_utf8(text);
    }
    return out;
}

bool is_blank(wchar_t ch) { return ch == L' ' || ch == L'\t'; }

std::wstring trim(std::wstring_view text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && is_blank(text[begin])) ++begin;
    while (end > begin && is_blank(text[end - 1])) --end;
    return std::wstring(text.substr(begin, end - begin));
}

// The section name of a header line, or nullopt for any other line.
std::optional<std::wstring> section_of(const std::wstring& text) {
    const std::wstring trimmed = trim(text);
    if (trimmed.empty() || trimmed.front() != L'[') return std::nullopt;
    const auto close = trimmed.find(L']');
    return trim(std::wstring_view(trimmed).substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1));
}

// The key name of a "key=value" line, or nullopt.
std::optional<std::wstring> key_of(const std::wstring& text) {
    const auto equals = text.find(L'=');
    if (equals == std::wstring::npos) return std::nullopt;
    const std::wstring name = trim(std::wstring_view(text).substr(0, equals));
    if (!name.empty() && name.front() == L';') return std::nullopt;
    return name;
}

std::wstring value_of(const std::wstring& text) {
    std::wstring value = trim(std::wstring_view(text).substr(text.find(L'=') + 1));
    if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') && value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return value;
}

struct section_range {
    std::size_t header = 0;
    std::size_t end = 0;  // one past the section's last line
};

std::optional<section_range> find_section(const document& doc, const std::wstring& section) {
    for (std::size_t i = 0; i < doc.lines.size(); ++i) {
        const auto name = section_of(doc.lines[i].text);
        if (!name || !platform::text::equal_ignore_case(*name, section)) continue;
        section_range range{i, i + 1};
        while (range.end < doc.lines.size() && !section_of(doc.lines[range.end].text)) ++range.end;
        return range;
    }
    return std::nullopt;
}

std::optional<std::size_t> find_key(const document& doc, const section_range& range, const std::wstring& key) {
    for (std::size_t i = range.header + 1; i < range.end; ++i) {
        const auto name = key_of(doc.lines[i].text);
        if (name && platform::text::equal_ignore_case(*name, key)) return i;
    }
    return std::nullopt;
}

std::optional<std::wstring> lookup(const std::wstring& section, const std::wstring& key, const std::wstring& path) {
    const auto bytes = platform::file_system::read_file(path);
    if (!bytes) return std::nullopt;
    const document doc = parse(*bytes);
    const auto range = find_section(doc, section);
    if (!range) return std::nullopt;
    const auto index = find_key(doc, *range, key);
    if (!index) return std::nullopt;
    return value_of(doc.lines[*index].text);
}

line new_line(std::wstring text) {
    line item;
    item.text = std::move(text);
    item.changed = true;
    return item;
}

}  // namespace

std::wstring get_string(const std::wstring& section, const std::wstring& key, const std::wstring& fallback,
                        const std::wstring& path, std::size_t buffer_size) {
    std::wstring value = lookup(section, key, path).value_or(fallback);
    const std::size_t limit = buffer_size == 0 ? 0 : buffer_size - 1;
    if (value.size() > limit) value.resize(limit);
    return value;
}

std::uint32_t get_int(const std::wstring& section, const std::wstring& key, std::int32_t fallback,
                      const std::wstring& path) {
    const auto value = lookup(section, key, path);
    if (!value || value->empty()) return static_cast<std::uint32_t>(fallback);
    std::size_t i = 0;
    bool negative = false;
    if (i < value->size() && (value->at(i) == L'-' || value->at(i) == L'+')) negative = value->at(i++) == L'-';
    std::uint32_t number = 0;
    for (; i < value->size() && value->at(i) >= L'0' && value->at(i) <= L'9'; ++i) {
        number = number * 10u + static_cast<std::uint32_t>(value->at(i) - L'0');
    }
    return negative ? 0u - number : number;
}

namespace {

// Files this large are no settings file of ours.
constexpr std::size_t largest_profile = 64u << 20;

// The file's bytes after the write, or nullopt when nothing changes.
std::optional<std::string> edited(const std::string& bytes, const std::wstring& section, const wchar_t* key,
                                  const wchar_t* value) {
    document doc = parse(bytes);
    const auto range = find_section(doc, section);

    if (key == nullptr) {
        if (!range) return std::nullopt;
        doc.lines.erase(doc.lines.begin() + static_cast<std::ptrdiff_t>(range->header),
                        doc.lines.begin() + static_cast<std::ptrdiff_t>(range->end));
    } else if (value == nullptr) {
        if (!range) return std::nullopt;
        const auto index = find_key(doc, *range, key);
        if (!index) return std::nullopt;
        doc.lines.erase(doc.lines.begin() + static_cast<std::ptrdiff_t>(*index));
    } else {
        const std::wstring text = std::wstring(key) + L"=" + value;
        if (!range) {
            // The last line needs its line end before a new section follows;
            // its own bytes stay as they are.
            if (!doc.lines.empty() && !doc.lines.back().changed) {
                std::string& raw = doc.lines.back().raw;
                if (doc.kind == encoding::utf16) {
                    if (raw.size() % 2 != 0) raw.pop_back();  // half a character
                    if (raw.size() < 2 || raw.compare(raw.size() - 2, 2, std::string("\n\0", 2)) != 0) {
                        raw += std::string("\r\0\n\0", 4);
                    }
                } else if (raw.empty() || raw.back() != '\n') {
                    raw += "\r\n";
                }
            }
            doc.lines.push_back(new_line(L"[" + section + L"]"));
            doc.lines.push_back(new_line(text));
        } else if (const auto index = find_key(doc, *range, key)) {
            doc.lines[*index] = new_line(text);
        } else {
            std::size_t at = range->end;
            while (at > range->header + 1 && trim(doc.lines[at - 1].text).empty()) --at;
            doc.lines.insert(doc.lines.begin() + static_cast<std::ptrdiff_t>(at), new_line(text));
        }
    }
    return serialise(doc);
}

}  // namespace

bool write_string(const std::wstring& section, const wchar_t* key, const wchar_t* value, const std::wstring& path) {
    namespace fs = platform::file_system;
    std::uint32_t error = 0;
    const std::uint32_t attributes = fs::get_attributes(path, &error);
    const bool existed = attributes != fs::invalid_attributes;
    if (!existed && error != platform::win32_error::file_not_found) return false;
    if (existed && (attributes & (fs::attribute_readonly | fs::attribute_directory)) != 0) return false;
    // Replaced whole through a flushed temporary, and only over the file
    // that was read: a change another program made meanwhile is read again.
    return fs::rewrite_file(path, largest_profile, [&](const std::string* current) {
               return edited(current != nullptr ? *current : std::string(), section, key, value);
           }) == platform::win32_error::success;
}

}  // namespace platform::private_profile
