#include "platform/mapped_file.h"

#include "platform/posix/files/unique_descriptor.h"
#include "platform/text.h"
#include "platform/win32_error.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

void mapped_file::reset() noexcept {
    if (copy_) {
        copy_.reset();
    } else if (data_ != nullptr) {
        ::munmap(const_cast<void*>(data_), size_);
    }
    data_ = nullptr;
    size_ = 0;
}

bool mapped_file::open(const std::wstring& path, std::uint64_t max_size, std::uint32_t* error) {
    reset();
    const auto fail = [error](std::uint32_t code) {
        if (error != nullptr) *error = code;
        return false;
    };
    // O_NONBLOCK: opening a named pipe must not wait for its writer.
    const posix::unique_descriptor fd(::open(platform::text::to_utf8(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) return fail(win32_error::from_errno(errno));
    struct stat info {};
    const bool stated = ::fstat(fd.get(), &info) == 0;
    if (!stated || !S_ISREG(info.st_mode)) {
        // A folder, pipe, socket or device has no content to map.
        const std::uint32_t code = stated ? win32_error::access_denied : win32_error::from_errno(errno);
        return fail(code);
    }
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (size > max_size) return fail(win32_error::not_enough_memory);
    constexpr std::uint64_t largest_copy = 4u * 1024 * 1024;
    if (size > 0 && size <= largest_copy) {
        copy_.reset(new char[static_cast<std::size_t>(size)]);
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::read(fd.get(), copy_.get() + done, static_cast<std::size_t>(size) - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        size_ = done;  // a file that shrank meanwhile: what was there
        if (done == 0) copy_.reset();
        data_ = copy_.get();
    } else if (size > 0) {
        void* view = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_PRIVATE, fd.get(), 0);
        if (view == MAP_FAILED) {
            return fail(win32_error::from_errno(errno));
        }
        data_ = view;
        size_ = static_cast<std::size_t>(size);
    }
    if (error != nullptr) *error = win32_error::success;
    return true;
}

}  // namespace platform
