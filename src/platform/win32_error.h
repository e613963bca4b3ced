#pragma once
// Win32 error numbers used across the platform boundary. The POSIX backends
// translate errno into these, so the logic above reads the same on both.

#include <cstdint>

namespace platform::win32_error {

inline constexpr std::uint32_t success = 0;
inline constexpr std::uint32_t invalid_function = 1;
inline constexpr std::uint32_t file_not_found = 2;
inline constexpr std::uint32_t path_not_found = 3;
inline constexpr std::uint32_t access_denied = 5;
inline constexpr std::uint32_t invalid_handle = 6;
inline constexpr std::uint32_t not_enough_memory = 8;
inline constexpr std::uint32_t sharing_violation = 32;
inline constexpr std::uint32_t not_supported = 50;
inline constexpr std::uint32_t file_exists = 80;
inline constexpr std::uint32_t invalid_parameter = 87;
inline constexpr std::uint32_t disk_full = 112;
inline constexpr std::uint32_t invalid_name = 123;
inline constexpr std::uint32_t dir_not_empty = 145;
inline constexpr std::uint32_t already_exists = 183;
inline constexpr std::uint32_t filename_too_long = 206;
inline constexpr std::uint32_t no_more_files = 18;

/// The Win32 error that plays the role of an errno value (ENOENT → 2, EACCES
/// and EPERM → 5, EROFS → 19, ENOTDIR → 3, ELOOP → 1921, ENAMETOOLONG → 206, EILSEQ →
/// 1113, …). Unknown values map to invalid_function.
std::uint32_t from_errno(int error_number);

}  // namespace platform::win32_error
