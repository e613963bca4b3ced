#pragma once
// Writing a buffer whole to a descriptor: a short write goes on where it
// stopped and an interrupted call is repeated, so callers see one result.

#include <cerrno>
#include <cstddef>
#include <sys/types.h>
#include <unistd.h>

namespace platform::posix {

/// Writes the `length` bytes at the descriptor's position, or at `offset`
/// when that is not negative. Returns how many bytes went out; fewer than
/// asked leaves errno set, ENOSPC when the file system took nothing.
inline std::size_t write_all(int descriptor, const void* bytes, std::size_t length, off_t offset = -1) {
    const auto* cursor = static_cast<const char*>(bytes);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = offset < 0 ? ::write(descriptor, cursor + done, length - done)
                                     : ::pwrite(descriptor, cursor + done, length - done,
                                                offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return done;
        if (n == 0) {
            errno = ENOSPC;
            return done;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

}  // namespace platform::posix
