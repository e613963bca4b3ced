#pragma once
// The system's own words for a failure code, for messages that quote them.
//
// Windows: the texts of FormatMessageW, and messages keep quoting the code
// beside them, as they always have. Linux: the C library's words (strerror)
// for the errno a Win32-facility code was made from, and our own words for
// the storage and imaging codes the backends raise; there the words stand
// alone, and a code is shown only when it has no known meaning.

#include <cstdint>
#include <string>

namespace platform::system_words {

/// How a message names the system whose words it quotes: "Windows"; Linux
/// "the system".
std::wstring system_name();

/// The words for an HRESULT (a Win32 error is given as its HRESULT), without
/// a trailing line break or full stop, or empty when the code has no known
/// meaning.
std::wstring words(std::int32_t hresult);

/// True where failure messages quote the code beside the words (Windows);
/// false where the words stand alone (Linux).
bool codes_beside_words();

/// The words for the code, or "error 0x%08X" when it has none.
std::wstring words_or_code(std::int32_t hresult);

/// The Win32 error that keeps this user from writing the existing file at
/// `path` (5 without permission, 19 on a read-only file system), or 0, so
/// that a refusal is reported as what it is. Linux: access(W_OK). Windows: 0,
/// where the open itself reports it.
std::uint32_t permission_refusal(const std::wstring& path);

}  // namespace platform::system_words
