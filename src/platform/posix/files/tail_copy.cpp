// The unchanged rest of a rewritten file, copied stretch by stretch of
// data in bounded memory (in the kernel where blocks can be shared), so
// that the holes of a sparse file stay holes.

#include "platform/posix/files/file_replace.h"

#include "platform/posix/files/descriptor_write.h"
#include "platform/win32_error.h"

#include <algorithm>
#include <cerrno>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::file_system {
namespace {

// Errors after which copy_file_range cannot work between these two files
// (another file system, a kernel or file system without it), so a plain
// copy must.
bool copy_range_unavailable(int error_number) {
    return error_number == EXDEV || error_number == EINVAL || error_number == ENOSYS || error_number == EOPNOTSUPP;
}

// [from, from + length) of `in` to `to` at `at`, through a bounded buffer.
std::uint32_t copy_through_buffer(int in, off_t from, int to, off_t at, std::uint64_t length) {
    constexpr std::size_t block = 1 << 20;
    const auto buffer = std::make_unique<char[]>(block);
    while (length > 0) {
        const ssize_t got = ::pread(in, buffer.get(), static_cast<std::size_t>(std::min<std::uint64_t>(length, block)), from);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return win32_error::from_errno(errno);
        if (got == 0) return file_changed;
        if (platform::posix::write_all(to, buffer.get(), static_cast<std::size_t>(got), at) !=
            static_cast<std::size_t>(got)) {
            return win32_error::from_errno(errno);
        }
        from += got;
        at += got;
        length -= static_cast<std::uint64_t>(got);
    }
    return win32_error::success;
}

std::uint32_t copy_range(int in, off_t from, int to, off_t at, std::uint64_t length) {
    // Shifted by part of a block, the kernel's copy goes page by page through
    // a pipe and takes about twice as long as a plain copy (ext4, 1 GB); only
    // a whole-block shift can share blocks, so only then is it worth asking.
    constexpr off_t block = 4096;
    if ((at - from) % block != 0) return copy_through_buffer(in, from, to, at, length);
    while (length > 0) {
        const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(length, 1u << 30));
        const ssize_t copied = ::copy_file_range(in, &from, to, &at, chunk, 0);
        if (copied < 0 && errno == EINTR) continue;
        if (copied < 0 && copy_range_unavailable(errno)) return copy_through_buffer(in, from, to, at, length);
        if (copied < 0) return win32_error::from_errno(errno);
        if (copied == 0) return file_changed;  // the source ended early
        length -= static_cast<std::uint64_t>(copied);
    }
    return win32_error::success;
}

}  // namespace

std::uint32_t copy_tail(int to, std::uint64_t at, const file_tail& tail) {
    if (tail.length == 0) return win32_error::success;
    struct stat source {};
    if (::fstat(tail.descriptor, &source) != 0) return win32_error::from_errno(errno);
    const std::uint64_t end = tail.offset + tail.length;
    if (static_cast<std::uint64_t>(source.st_size) < end) return file_changed;
    const auto shift = static_cast<std::int64_t>(at) - static_cast<std::int64_t>(tail.offset);
    auto from = static_cast<off_t>(tail.offset);
    while (static_cast<std::uint64_t>(from) < end) {
        // Only the stretches that hold data are copied; a file system that
        // cannot tell holes answers the whole rest as data.
        off_t data = ::lseek(tail.descriptor, from, SEEK_DATA);
        if (data < 0 && errno == ENXIO) break;  // a hole up to the end
        if (data < 0) data = from;
        if (static_cast<std::uint64_t>(data) >= end) break;
        off_t hole = ::lseek(tail.descriptor, data, SEEK_HOLE);
        if (hole < 0 || static_cast<std::uint64_t>(hole) > end) hole = static_cast<off_t>(end);
        const std::uint32_t copied =
            copy_range(tail.descriptor, data, to, static_cast<off_t>(data + shift), static_cast<std::uint64_t>(hole - data));
        if (copied != win32_error::success) return copied;
        from = hole;
    }
    // A hole at the end has no byte to write: the size makes it.
    if (::ftruncate(to, static_cast<off_t>(at + tail.length)) != 0) return win32_error::from_errno(errno);
    return win32_error::success;
}

}  // namespace platform::file_system
