#pragma once
// FILETIME, the Windows clock the file_system interface speaks: 100 ns ticks
// since 1601-01-01 UTC, which is 11644473600 seconds before the Unix epoch.

#include <cstdint>

namespace platform::posix {

inline constexpr std::int64_t unix_epoch_in_filetime_seconds = 11644473600LL;
inline constexpr std::int64_t filetime_ticks_per_second = 10000000LL;

/// The FILETIME of a Unix time given as seconds and nanoseconds.
constexpr std::uint64_t filetime_of(std::int64_t seconds, std::int64_t nanoseconds) {
    return static_cast<std::uint64_t>((seconds + unix_epoch_in_filetime_seconds) * filetime_ticks_per_second +
                                      nanoseconds / 100);
}

/// The Unix seconds of a FILETIME.
constexpr std::int64_t unix_seconds_of(std::uint64_t filetime) {
    return static_cast<std::int64_t>(filetime / filetime_ticks_per_second) - unix_epoch_in_filetime_seconds;
}

}  // namespace platform::posix
