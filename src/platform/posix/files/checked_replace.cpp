// Commits over the very file that was read: the identity of a read and the
// exchange that checks it at the moment of the replace.

#include "platform/file_safety.h"
#include "platform/file_system.h"
#include "platform/posix/files/descriptor_read.h"
#include "platform/posix/files/file_replace.h"
#include "platform/posix/files/journaled_write.h"
#include "platform/posix/files/unique_descriptor.h"
#include "platform/text.h"
#include "platform/win32_error.h"

#include <cerrno>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::file_system {
namespace {

std::int64_t nanoseconds(const struct timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1000000000LL + static_cast<std::int64_t>(time.tv_nsec);
}

// A rename sets the change time of the file it moves, so what comes out of
// the exchange is compared without it (it was compared just before).
bool same_file_and_content(const file_identity& a, const file_identity& b) {
    return a.exists == b.exists && a.volume == b.volume && a.index == b.index && a.size == b.size &&
           a.write_time == b.write_time;
}

file_identity identity_at(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return {};
    return identity_of(info);
}

// File systems without the exchange (or without the no-replace rename)
// answer EINVAL; old kernels ENOSYS.
bool unsupported(int error_number) {
    return error_number == EINVAL || error_number == ENOSYS || error_number == ENOTSUP;
}

std::uint32_t create_unless_present(const std::string& target, const std::string& temporary) {
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
        return win32_error::success;
    }
    int failure = errno;
    if (unsupported(failure)) {
        if (::link(temporary.c_str(), target.c_str()) == 0) {
            ::unlink(temporary.c_str());
            return win32_error::success;
        }
        failure = errno;
    }
    return failure == EEXIST ? file_changed : win32_error::from_errno(failure);
}

// `now`: the target's lstat, taken just before.
std::uint32_t exchange_if_unchanged(const std::string& target, const std::string& temporary,
                                    const file_identity& read, const struct stat& now) {
    if (identity_of(now) != read) return file_changed;
    if (!S_ISREG(now.st_mode) || (now.st_mode & S_IWUSR) == 0) return win32_error::access_denied;
    if (before_exchange != nullptr) before_exchange(target);
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) != 0) {
        if (!unsupported(errno)) return win32_error::from_errno(errno);
        // Without the exchange, the check just made is the last word.
        return ::rename(temporary.c_str(), target.c_str()) == 0 ? win32_error::success : win32_error::from_errno(errno);
    }
    // The temporary's name now holds what was at the target a moment ago.
    if (!same_file_and_content(identity_at(temporary), read)) {
        ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE);
        return file_changed;
    }
    ::unlink(temporary.c_str());
    return win32_error::success;
}

}  // namespace

void (*before_exchange)(const std::string& target) = nullptr;

file_identity identity_of(const struct stat& info) {
    file_identity identity;
    identity.exists = true;
    identity.volume = static_cast<std::uint64_t>(info.st_dev);
    identity.index = static_cast<std::uint64_t>(info.st_ino);
    identity.size = static_cast<std::uint64_t>(info.st_size);
    identity.write_time = nanoseconds(info.st_mtim);
    identity.change_time = nanoseconds(info.st_ctim);
    return identity;
}

file_identity identity_of_descriptor(int descriptor) {
    struct stat info {};
    if (descriptor < 0 || ::fstat(descriptor, &info) != 0) return {};
    return identity_of(info);
}

file_identity identify_file(const std::wstring& path, std::uint32_t* error) {
    struct stat info {};
    if (path.empty() || ::stat(text::to_utf8(path).c_str(), &info) != 0) {
        if (error != nullptr) *error = path.empty() ? win32_error::file_not_found : win32_error::from_errno(errno);
        return {};
    }
    if (error != nullptr) *error = win32_error::success;
    return identity_of(info);
}

std::optional<std::string> read_file_identified(const std::wstring& path, std::size_t limit, file_identity& identity,
                                                std::uint32_t* error) {
    identity = file_identity{};
    finish_interrupted_writes(text::to_utf8(path));
    const posix::unique_descriptor fd(::open(text::to_utf8(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        if (error != nullptr) *error = win32_error::from_errno(errno);
        return std::nullopt;
    }
    identity = identity_of_descriptor(fd.get());
    return read_descriptor(fd.get(), limit, error);
}

std::uint32_t commit_if_unchanged(const std::string& target, const std::string& temporary, const file_identity& read) {
    std::uint32_t result = win32_error::success;
    if (read.exists) {
        // One look at the target serves the choice of the path and the check of the exchange.
        struct stat now {};
        if (::lstat(target.c_str(), &now) != 0) {
            result = errno == ENOENT ? file_changed : win32_error::from_errno(errno);
        } else {
            // Hard links and a foreign owner survive only an in-place write.
            if (S_ISREG(now.st_mode) && must_keep_identity(now)) {
                if (const auto written = write_in_place(target, temporary, read)) return *written;
            }
            result = exchange_if_unchanged(target, temporary, read, now);
        }
    } else {
        result = create_unless_present(target, temporary);
    }
    if (result != win32_error::success) {
        ::unlink(temporary.c_str());
        return result;
    }
    flush_parent_folder(target);
    return result;
}

std::uint32_t replace_if_unchanged(const std::wstring& target, const std::wstring& temporary,
                                   const file_identity& read) {
    const std::string native = text::to_utf8(target);
    const std::string native_temporary = text::to_utf8(temporary);
    struct stat link {};
    if (read.exists && ::lstat(native.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        // A link keeps being replaced by the file, as before; its target is checked.
        struct stat info {};
        if (::stat(native.c_str(), &info) != 0 || identity_of(info) != read) {
            ::unlink(native_temporary.c_str());
            return file_changed;
        }
        const std::uint32_t result = replace_file(target, temporary);
        if (result != win32_error::success) ::unlink(native_temporary.c_str());
        return result;
    }
    return commit_if_unchanged(native, native_temporary, read);
}

}  // namespace platform::file_system
