#pragma once
// Private profile (INI) files with the Windows semantics the system relies
// on: GetPrivateProfileStringW, GetPrivateProfileIntW and
// WritePrivateProfileStringW.
//
// Linux: an INI engine of our own. A file that starts with FF FE is
// UTF-16LE, anything else UTF-8 (a UTF-8 byte-order mark is kept). Section
// and key names compare ignoring case; names and values are trimmed of
// blanks and a value in matching quotes loses them; new and changed lines
// end in CR LF; every untouched line, comment and section stays byte for
// byte where it was. A write to a read-only file fails; other writes replace
// the file atomically, keeping its attributes. A missing file is created.

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform::private_profile {

/// The value of `key` in `section`, or `fallback` when either is missing;
/// cut to buffer_size - 1 characters as the system function does.
std::wstring get_string(const std::wstring& section, const std::wstring& key, const std::wstring& fallback,
                        const std::wstring& path, std::size_t buffer_size = 4096);

/// The leading decimal number of the value (sign allowed) as the system's
/// unsigned result (a negative number wraps), or `fallback` when the key is
/// missing; a value without digits gives 0.
std::uint32_t get_int(const std::wstring& section, const std::wstring& key, std::int32_t fallback,
                      const std::wstring& path);

/// Writes `value` under `key`. A null key deletes the whole section, a null
/// value deletes the key. True when the file was written (or nothing had to
/// change).
bool write_string(const std::wstring& section, const wchar_t* key, const wchar_t* value, const std::wstring& path);

}  // namespace platform::private_profile
