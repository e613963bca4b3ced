#pragma once
// Text conversions and comparisons with the behaviour of the Windows NLS
// functions. On Windows wchar_t is a UTF-16 code unit; on Linux it is a
// UTF-32 code point, and the functions that count or order text do it in
// UTF-16 units so that both targets give the same answers.

#include <cstddef>
#include <string>
#include <string_view>

namespace platform::text {

/// UTF-16/32 wide text to UTF-8. Unpaired surrogates become U+FFFD; embedded
/// zero characters are kept.
std::string to_utf8(std::wstring_view text);

/// UTF-8 bytes to wide text, the whole view (embedded zeros kept). Invalid
/// sequences become U+FFFD: on Linux one per maximal ill-formed subpart (the
/// Unicode practice); on Windows as MultiByteToWideChar replaces them.
std::wstring from_utf8(std::string_view bytes);

/// Upper-cases with the invariant locale's simple case mapping
/// (LCMapStringEx with LCMAP_UPPERCASE).
std::wstring to_upper_invariant(std::wstring_view text);

/// Lower-cases with the invariant locale's simple case mapping
/// (LCMapStringEx with LCMAP_LOWERCASE).
std::wstring to_lower_invariant(std::wstring_view text);

/// Ordinal comparison that ignores case (CompareStringOrdinal): negative,
/// zero or positive as a sorts before, equal to or after b in UTF-16 units.
int compare_ordinal_ignore_case(std::wstring_view a, std::wstring_view b);

/// True when the two texts are equal under compare_ordinal_ignore_case.
bool equal_ignore_case(std::wstring_view a, std::wstring_view b);

/// True when the texts are equal under the C runtime's case-insensitive wide
/// comparison in the default "C" locale (_wcsicmp): only the ASCII letters
/// A-Z and a-z match across case; every other character must be the same.
bool crt_equal_ignore_case(std::wstring_view a, std::wstring_view b);

/// Length of the text in UTF-16 code units.
std::size_t utf16_length(std::wstring_view text);

}  // namespace platform::text
