#pragma once
// The owners of POSIX file descriptors and directory streams: every one the
// backends open is held by a unique_descriptor or unique_directory and closed
// by it, exactly once.

#include "platform/unique_resource.h"

#include <dirent.h>
#include <unistd.h>

namespace platform::posix {

struct descriptor_traits {
    using type = int;
    static type invalid() noexcept { return -1; }
    static void close(type fd) noexcept { ::close(fd); }
};

using unique_descriptor = unique_resource<descriptor_traits>;

/// Closes the descriptor now and answers what close(2) did: 0, or -1 with
/// errno set. After a write, a failed close can be the only sign that the
/// data never reached the disk, so writers check it.
inline int close_checked(unique_descriptor& fd) noexcept {
    const int held = fd.release();
    return held == descriptor_traits::invalid() ? 0 : ::close(held);
}

struct directory_traits {
    using type = DIR*;
    static type invalid() noexcept { return nullptr; }
    static void close(type dir) noexcept { ::closedir(dir); }
};

using unique_directory = unique_resource<directory_traits>;

}  // namespace platform::posix
