// Linux text: wchar_t holds UTF-32 code points. Conversions are our own
// code; case mapping uses the C.UTF-8 locale's Unicode tables.

#include "platform/text.h"

#include "platform/file_names.h"

#include <clocale>
#include <cstdint>
#include <cwctype>
#include <locale.h>

namespace platform::text {
namespace {

constexpr char32_t replacement = 0xFFFD;

bool is_surrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

locale_t unicode_locale() {
    static const locale_t locale = [] {
        locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
        return l;
    }();
    return locale;
}

// Simple (one-to-one) upper-case mapping; supplementary characters unchanged
// as in the UTF-16 tables of Windows' ordinal comparison.
wchar_t upper(wchar_t c) {
    if (c < 0x80) return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c;
    if (static_cast<std::uint32_t>(c) > 0xFFFF) return c;
    const locale_t locale = unicode_locale();
    if (locale == static_cast<locale_t>(nullptr)) return c;
    const auto mapped = static_cast<wchar_t>(towupper_l(static_cast<wint_t>(c), locale));
    return static_cast<std::uint32_t>(mapped) > 0xFFFF ? c : mapped;
}

wchar_t lower(wchar_t c) {
    if (c < 0x80) return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c;
    if (static_cast<std::uint32_t>(c) > 0xFFFF) return c;
    const locale_t locale = unicode_locale();
    if (locale == static_cast<locale_t>(nullptr)) return c;
    const auto mapped = static_cast<wchar_t>(towlower_l(static_cast<wint_t>(c), locale));
    return static_cast<std::uint32_t>(mapped) > 0xFFFF ? c : mapped;
}

// Appends the UTF-16 code units of one code point, for ordering as Windows.
int utf16_units(char32_t c, char16_t units[2]) {
    if (c < 0x10000) {
        units[0] = static_cast<char16_t>(c);
        return 1;
    }
    c -= 0x10000;
    units[0] = static_cast<char16_t>(0xD800 + (c >> 10));
    units[1] = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    return 2;
}

std::u16string to_utf16_upper(std::wstring_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (const wchar_t c : text) {
        char16_t units[2];
        const int n = utf16_units(static_cast<char32_t>(upper(c)), units);
        out.append(units, static_cast<std::size_t>(n));
    }
    return out;
}

}  // namespace

std::string to_utf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = static_cast<char32_t>(text[i]);
        // A UTF-16 surrogate pair that reached a 32-bit string is joined.
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
            const auto low = static_cast<char32_t>(text[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (c >= 0xDC80 && c <= 0xDCFF) {
            out.push_back(static_cast<char>(c - 0xDC00));  // an escaped byte of a file name
            continue;
        }
        if (is_surrogate(c) || c > 0x10FFFF) c = replacement;
        append_utf8(out, c);
    }
    return out;
}

namespace {

// `escape`: each byte of an ill-formed sequence becomes U+DC00 plus the byte
// instead of one U+FFFD for the whole maximal subpart.
std::wstring decode_utf8(std::string_view bytes, bool escape) {
    // UTF-8 never decodes to more characters than it has bytes: the text is
    // written into its full size and cut to length at the end, which keeps
    // listing a large folder free of a size check per character.
    std::wstring out(bytes.size(), L'\0');
    std::size_t written = 0;
    const auto put = [&](char32_t c) { out[written++] = static_cast<wchar_t>(c); };
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b0 = p[i];
        if (b0 < 0x80) {
            put(b0);
            ++i;
            continue;
        }
        int length = 0;
        char32_t c = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            length = 2;
            c = b0 & 0x1F;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            length = 3;
            c = b0 & 0x0F;
            if (b0 == 0xE0) low = 0xA0;   // no overlong forms
            if (b0 == 0xED) high = 0x9F;  // no surrogates
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            length = 4;
            c = b0 & 0x07;
            if (b0 == 0xF0) low = 0x90;
            if (b0 == 0xF4) high = 0x8F;
        } else {
            put(escape ? 0xDC00 + b0 : replacement);
            ++i;
            continue;
        }
        // Consume the longest valid prefix; an ill-formed subpart becomes one
        // replacement character.
        std::size_t j = i + 1;
        bool valid = true;
        for (int k = 1; k < length; ++k, ++j) {
            const unsigned char lo = (k == 1) ? low : 0x80;
            const unsigned char hi = (k == 1) ? high : 0xBF;
            if (j >= n || p[j] < lo || p[j] > hi) {
                valid = false;
                break;
            }
            c = (c << 6) | (p[j] & 0x3F);
        }
        if (valid) {
            put(c);
        } else if (escape) {
            for (std::size_t k = i; k < j; ++k) put(0xDC00 + p[k]);
        } else {
            put(replacement);
        }
        i = j;
    }
    out.resize(written);
    return out;
}

}  // namespace

std::wstring from_utf8(std::string_view bytes) { return decode_utf8(bytes, false); }

std::wstring from_utf8_name(std::string_view bytes) { return decode_utf8(bytes, true); }

std::wstring to_upper_invariant(std::wstring_view text) {
    std::wstring out(text);
    for (auto& c : out) c = upper(c);
    return out;
}

std::wstring to_lower_invariant(std::wstring_view text) {
    std::wstring out(text);
    for (auto& c : out) c = lower(c);
    return out;
}

int compare_ordinal_ignore_case(std::wstring_view a, std::wstring_view b) {
    const std::u16string ua = to_utf16_upper(a);
    const std::u16string ub = to_utf16_upper(b);
    const int r = ua.compare(ub);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

bool equal_ignore_case(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() && compare_ordinal_ignore_case(a, b) == 0;
}

bool crt_equal_ignore_case(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    const auto ascii_lower = [](wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; };
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    }
    return true;
}

std::size_t utf16_length(std::wstring_view text) {
    std::size_t length = 0;
    for (const wchar_t c : text) length += static_cast<std::uint32_t>(c) > 0xFFFF ? 2 : 1;
    return length;
}

}  // namespace platform::text
