#pragma once
// File names as wide text. Linux accepts any byte string as a name; the
// bytes that are not valid UTF-8 must survive the trip through wide text so
// that such a file can still be named.

#include <string>
#include <string_view>

namespace platform::text {

/// The bytes of a file name (or a path) to wide text, losslessly. Linux: a
/// byte that is not part of valid UTF-8 becomes U+DC00 plus the byte
/// (U+DC80-U+DCFF), as Python's surrogateescape, and to_utf8 turns it back
/// into that byte; no name ever becomes U+FFFD. Windows names are UTF-16
/// already; there this is from_utf8.
std::wstring from_utf8_name(std::string_view bytes);

}  // namespace platform::text
