#pragma once
// IPTC IIM text as the image handler reads and writes it. A record set
// without the UTF-8 marker (1:90 = ESC % G) holds Windows-1252, as the
// programs that write such files (and exiftool) take it, except a dataset
// that is valid UTF-8 with non-ASCII bytes: many programs write UTF-8
// without the marker, and such bytes are almost never meant as
// Windows-1252. Once we write
// keywords the whole record set is re-encoded to UTF-8 and marked so, every
// dataset saying the same text as before.

#include <exiv2/exiv2.hpp>

#include <string>
#include <string_view>

namespace platform::property_store::posix {

/// The largest IPTC keyword in bytes (IIM 2:25).
inline constexpr std::size_t iptc_keyword_limit = 64;

/// Text of a dataset: UTF-8 when the record set is marked so (invalid bytes
/// become U+FFFD) or the bytes are valid UTF-8, else Windows-1252 with its
/// five undefined bytes taken as Latin-1.
std::wstring decode_iptc_text(std::string_view bytes, bool utf8_marked);

/// True when the bytes are well-formed UTF-8 (no overlong forms, no
/// surrogates, nothing above U+10FFFF).
bool is_valid_utf8(std::string_view bytes);

/// Windows-1252 bytes as UTF-8.
std::string windows_1252_to_utf8(std::string_view bytes);

/// The tag as UTF-8, cut to at most 64 bytes at a character boundary.
std::string iptc_keyword(const std::wstring& tag);

/// True when the record set carries the UTF-8 marker.
bool iptc_marked_utf8(const Exiv2::IptcData& iptc);

/// Re-encodes every text dataset of an unmarked record set from
/// Windows-1252 to UTF-8 and sets the UTF-8 marker.
void mark_iptc_utf8(Exiv2::IptcData& iptc);

}  // namespace platform::property_store::posix
