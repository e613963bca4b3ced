// Windows text: wchar_t is a UTF-16 code unit; the NLS functions do the work.

#include "platform/text.h"

#include "platform/file_names.h"

#include <windows.h>
#include <wchar.h>

#include <climits>
#include <stdexcept>

namespace platform::text {
namespace {

// The NLS functions count in int; longer texts are refused up front rather
// than truncated by a narrowing cast.
int checked_length(std::size_t size) {
    if (size > static_cast<std::size_t>(INT_MAX)) throw std::length_error("text too long");
    return static_cast<int>(size);
}

// An empty view may carry a null pointer, which CompareStringOrdinal refuses
// with ERROR_INVALID_PARAMETER (returning 0, which is none of the results).
const wchar_t* non_null(std::wstring_view text) { return text.data() != nullptr ? text.data() : L""; }

}  // namespace

std::string to_utf8(std::wstring_view text) {
    if (text.empty()) return {};
    const int length = checked_length(text.size());
    const int needed = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return {};
    std::string out(static_cast<std::size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, out.data(), needed, nullptr, nullptr);
    return out;
}

std::wstring from_utf8(std::string_view bytes) {
    if (bytes.empty()) return {};
    const int length = checked_length(bytes.size());
    const int needed = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), length, nullptr, 0);
    if (needed <= 0) return {};
    std::wstring out(static_cast<std::size_t>(needed), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), length, out.data(), needed);
    return out;
}

std::wstring from_utf8_name(std::string_view bytes) { return from_utf8(bytes); }

std::wstring to_upper_invariant(std::wstring_view text) {
    if (text.empty()) return {};
    // Upper-casing maps UTF-16 units one to one, so the output has the
    // input's length.
    const int length = checked_length(text.size());
    std::wstring out(text.size(), L'\0');
    const int written = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.data(), length, out.data(), length, nullptr,
                                      nullptr, 0);
    if (written <= 0) return std::wstring(text);
    out.resize(static_cast<std::size_t>(written));
    return out;
}

std::wstring to_lower_invariant(std::wstring_view text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    std::wstring out(text.size(), L'\0');
    const int written = LCMapStringEx(L"", LCMAP_LOWERCASE, text.data(), length, out.data(), length, nullptr,
                                      nullptr, 0);
    if (written <= 0) return std::wstring(text);
    out.resize(static_cast<std::size_t>(written));
    return out;
}

int compare_ordinal_ignore_case(std::wstring_view a, std::wstring_view b) {
    const int r = CompareStringOrdinal(non_null(a), checked_length(a.size()), non_null(b), checked_length(b.size()),
                                       TRUE);
    return r - CSTR_EQUAL;  // CSTR_LESS_THAN, CSTR_EQUAL, CSTR_GREATER_THAN are 1, 2, 3
}

bool equal_ignore_case(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(non_null(a), checked_length(a.size()), non_null(b), checked_length(b.size()),
                                TRUE) == CSTR_EQUAL;
}

bool crt_equal_ignore_case(std::wstring_view a, std::wstring_view b) {
    // _wcsicmp stops at a zero character; the copies give it terminated text.
    return _wcsicmp(std::wstring(a).c_str(), std::wstring(b).c_str()) == 0;
}

std::size_t utf16_length(std::wstring_view text) { return text.size(); }

}  // namespace platform::text
