#include "platform/posix/imaging/rewrite_source.h"

#include "platform/posix/files/descriptor_read.h"
#include "platform/posix/imaging/embedded_write_guard.h"
#include "platform/win32_error.h"

#include <algorithm>
#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace platform::posix {
namespace {

enum class head_walk { scan, damaged, short_of_data };

// Walks the marker segments of `head` as the image-data check does: where
// the first scan marker is (`at`), whether the header is damaged before it,
// or whether the head ends first.
head_walk find_first_scan(std::string_view head, std::size_t& at) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(head[i]); };
    if (head.size() < 4 || byte(0) != 0xFF || byte(1) != 0xD8) return head_walk::damaged;
    at = 2;
    while (at + 1 < head.size()) {
        if (byte(at) != 0xFF) return head_walk::damaged;
        const std::uint8_t marker = byte(at + 1);
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (marker == 0xDA) return head_walk::scan;
        if (marker == 0xD9 || marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x00) {
            return head_walk::damaged;
        }
        if (at + 4 > head.size()) return head_walk::short_of_data;
        const std::size_t length = (static_cast<std::size_t>(byte(at + 2)) << 8) | byte(at + 3);
        if (length < 2) return head_walk::damaged;
        if (at + 2 + length > head.size()) return head_walk::short_of_data;
        at += 2 + length;
    }
    return head_walk::short_of_data;
}

// Extends `bytes` to `size` bytes of the file; false with the error when a
// read fails, or the file ends first (it changed since its size was taken).
bool read_up_to(int descriptor, byte_buffer& bytes, std::size_t size, std::uint32_t* error) {
    std::size_t filled = bytes.size();
    bytes.resize(size);
    while (filled < size) {
        const ssize_t n = ::pread(descriptor, bytes.data() + filled, size - filled, static_cast<off_t>(filled));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (error != nullptr) {
                *error = n < 0 ? win32_error::from_errno(errno) : platform::file_system::file_changed;
            }
            return false;
        }
        filled += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::optional<rewrite_source> read_for_rewrite(int descriptor, formats::content_type type, std::uint32_t* error) {
    struct stat info {};
    const bool split = type == formats::content_type::jpeg && ::fstat(descriptor, &info) == 0 &&
                       S_ISREG(info.st_mode) && static_cast<std::uint64_t>(info.st_size) > split_rewrite_size;
    rewrite_source source;
    if (split) {
        const auto size = static_cast<std::uint64_t>(info.st_size);
        std::size_t wanted = head_length;
        for (;;) {
            wanted = static_cast<std::size_t>(std::min<std::uint64_t>(wanted, size));
            if (!read_up_to(descriptor, source.head, wanted, error)) return std::nullopt;
            if (wanted == size) {  // a header as long as the file: it is all read
                if (error != nullptr) *error = win32_error::success;
                return source;
            }
            std::size_t at = 0;
            const head_walk walk = find_first_scan(view(source.head), at);
            std::size_t cut = 0;
            if (walk == head_walk::scan) cut = at + 2;
            if (walk == head_walk::damaged) cut = source.head.size();
            if (cut != 0) {
                source.head.resize(cut);
                source.tail = {descriptor, cut, size - cut};
                if (error != nullptr) *error = win32_error::success;
                return source;
            }
            if (wanted >= split_head_limit) break;
            wanted = std::min<std::size_t>(wanted * 2, split_head_limit);
        }
        source.head.clear();
    }
    auto whole = platform::file_system::read_descriptor_bytes(descriptor, static_cast<std::size_t>(-1), error);
    if (!whole) return std::nullopt;
    source.head = std::move(*whole);
    return source;
}

}  // namespace platform::posix
