// Linux moves, folders and times of the organizer in the Win32 vocabulary.

#include "platform/file_system_moves.h"

#include "platform/posix/files/descriptor_write.h"
#include "platform/posix/files/file_lock.h"
#include "platform/posix/files/filetime.h"
#include "platform/posix/files/hidden_list.h"
#include "platform/posix/files/unique_descriptor.h"
#include "platform/text.h"
#include "platform/win32_error.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace platform::file_system {
namespace {

using descriptor = posix::unique_descriptor;

constexpr std::uint32_t not_same_device = 17;  // ERROR_NOT_SAME_DEVICE

// The writer lock a photo write holds, taken on the file being moved so that
// a write in progress ends before the move and one that starts later waits.
class writer_lock {
public:
    explicit writer_lock(const std::string& path) {
        int error_number = 0;
        fd_ = platform::posix::lock_for_writing(path, O_RDONLY, platform::posix::writer_wait, error_number);
        error_ = fd_ < 0 ? error_number : 0;
    }
    ~writer_lock() { platform::posix::release_lock(fd_); }
    writer_lock(const writer_lock&) = delete;
    writer_lock& operator=(const writer_lock&) = delete;

    int fd() const { return fd_; }
    int error() const { return error_; }

private:
    int fd_ = -1;
    int error_ = 0;
};

// What says a file is still the one that was copied: a writer that replaced
// or rewrote it in the meantime changes at least one of these.
bool same_version(const struct stat& first, const struct stat& second) {
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino && first.st_size == second.st_size &&
           first.st_mtim.tv_sec == second.st_mtim.tv_sec && first.st_mtim.tv_nsec == second.st_mtim.tv_nsec &&
           first.st_ctim.tv_sec == second.st_ctim.tv_sec && first.st_ctim.tv_nsec == second.st_ctim.tv_nsec;
}

std::string narrow(const std::wstring& path) { return platform::text::to_utf8(path); }

std::string parent_of(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::uint32_t flush_native_folder(const std::string& folder) {
    const descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd) return win32_error::from_errno(errno);
    return ::fsync(fd.get()) == 0 ? win32_error::success : win32_error::from_errno(errno);
}

// Keeps what MoveFileW carries across volumes: the user extended attributes
// (attribute bits, property set, tags) and the times.
void carry_metadata(const std::string& from, int to_fd, const struct stat& info) {
    ssize_t size = ::listxattr(from.c_str(), nullptr, 0);
    if (size > 0) {
        std::string names(static_cast<std::size_t>(size), '\0');
        size = ::listxattr(from.c_str(), names.data(), names.size());
        for (std::size_t start = 0; size > 0 && start < static_cast<std::size_t>(size);) {
            const std::string name = names.c_str() + start;
            start += name.size() + 1;
            const ssize_t length = ::getxattr(from.c_str(), name.c_str(), nullptr, 0);
            if (length < 0) continue;
            std::string value(static_cast<std::size_t>(length), '\0');
            if (::getxattr(from.c_str(), name.c_str(), value.data(), value.size()) == length) {
                ::fsetxattr(to_fd, name.c_str(), value.data(), value.size(), 0);
            }
        }
    }
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    ::futimens(to_fd, times);
}

std::uint32_t copy_contents(int from_fd, int to_fd) {
    char block[1 << 16];
    for (;;) {
        const ssize_t n = ::read(from_fd, block, sizeof block);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return win32_error::from_errno(errno);
        if (n == 0) return win32_error::success;
        if (platform::posix::write_all(to_fd, block, static_cast<std::size_t>(n)) != static_cast<std::size_t>(n)) {
            return win32_error::from_errno(errno);
        }
    }
}

std::uint32_t no_replace_rename(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return win32_error::success;
    if (errno != EINVAL && errno != ENOSYS) return win32_error::from_errno(errno);
    // A file system without the flag: a hard link never replaces either.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return win32_error::success;
    }
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP) return win32_error::from_errno(errno);
    struct stat info {};
    if (::lstat(to.c_str(), &info) == 0) return win32_error::already_exists;
    return ::rename(from.c_str(), to.c_str()) == 0 ? win32_error::success : win32_error::from_errno(errno);
}

// Copies into a hidden temporary beside the target, syncs it, gives it the
// target's name without replacing, syncs the folder, and deletes the source
// only while it is still the very file that was copied; otherwise the copy
// goes and the source stays as the other program left it.
std::uint32_t move_across_volumes(int source_fd, const std::wstring& from, const std::wstring& to) {
    const std::string source = narrow(from);
    const std::string target = narrow(to);
    const std::string temporary = narrow(move_temporary_name(to));
    struct stat info {};
    if (::fstat(source_fd, &info) != 0) return win32_error::from_errno(errno);
    if (!S_ISREG(info.st_mode)) return not_same_device;  // MoveFileW moves no folder across volumes
    struct stat existing {};
    if (::lstat(target.c_str(), &existing) == 0) return win32_error::already_exists;
    // A temporary left by a crash has the same name; it holds nothing anyone needs.
    descriptor out(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, info.st_mode & 07777));
    if (!out) return win32_error::from_errno(errno);
    std::uint32_t result = copy_contents(source_fd, out.get());
    if (result == win32_error::success) {
        carry_metadata(source, out.get(), info);
        if (::fsync(out.get()) != 0) result = win32_error::from_errno(errno);
    }
    out.reset();
    struct stat now {};
    if (result == win32_error::success && (::stat(source.c_str(), &now) != 0 || !same_version(info, now))) {
        result = changed_during_move;
    }
    if (result == win32_error::success) result = no_replace_rename(temporary, target);
    if (result != win32_error::success) {
        ::unlink(temporary.c_str());
        return result;
    }
    // The copy must be durable under its name before the only other copy goes.
    if (const std::uint32_t flushed = flush_native_folder(parent_of(target)); flushed != win32_error::success)
        return flushed;
    // Checked once more right before the delete: a program that takes no
    // lock may have written the source while the copy was settling.
    if (::stat(source.c_str(), &now) != 0 || !same_version(info, now)) {
        ::unlink(target.c_str());
        flush_native_folder(parent_of(target));
        return changed_during_move;
    }
    // A delete that a crash undoes leaves two equal copies, which is no loss.
    if (::unlink(source.c_str()) != 0) return win32_error::from_errno(errno);
    return win32_error::success;
}

}  // namespace

std::optional<std::uint64_t> creation_time(const std::wstring& path, std::uint32_t* error) {
    struct statx info {};
    if (::statx(AT_FDCWD, narrow(path).c_str(), 0, STATX_BTIME | STATX_MTIME, &info) != 0) {
        if (error != nullptr) *error = win32_error::from_errno(errno);
        return std::nullopt;
    }
    if (error != nullptr) *error = win32_error::success;
    const auto& time = (info.stx_mask & STATX_BTIME) != 0 ? info.stx_btime : info.stx_mtime;
    return platform::posix::filetime_of(time.tv_sec, time.tv_nsec);
}

std::optional<local_time> to_local_time(std::uint64_t filetime) {
    const auto unix_seconds = static_cast<std::time_t>(platform::posix::unix_seconds_of(filetime));
    struct tm parts {};
    if (::localtime_r(&unix_seconds, &parts) == nullptr) return std::nullopt;
    local_time result;
    result.year = parts.tm_year + 1900;
    result.month = parts.tm_mon + 1;
    result.day = parts.tm_mday;
    result.hour = parts.tm_hour;
    result.minute = parts.tm_min;
    result.second = parts.tm_sec;
    result.hundred_nanoseconds = static_cast<std::uint32_t>(filetime % platform::posix::filetime_ticks_per_second);
    return result;
}

std::wstring move_temporary_name(const std::wstring& to) {
    const auto slash = to.find_last_of(L'/');
    const std::wstring folder = slash == std::wstring::npos ? std::wstring() : to.substr(0, slash + 1);
    const std::wstring name = slash == std::wstring::npos ? to : to.substr(slash + 1);
    return folder + L"." + name + L".qlm-move.tmp";
}

namespace {

std::uint32_t move_without_replacing(const std::wstring& from, const std::wstring& to, const std::string& source,
                                    const std::string& target) {
    const writer_lock lock(source);
    if (lock.fd() < 0) {
        if (lock.error() == EWOULDBLOCK) return win32_error::sharing_violation;
        // What cannot be opened for reading (no read permission, a pipe) has
        // no writer of ours to wait for; the rename decides.
        if (lock.error() != EACCES && lock.error() != EPERM) return win32_error::from_errno(lock.error());
    }
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
        return win32_error::success;
    }
    if (errno == EXDEV) {
        if (lock.fd() < 0) return win32_error::from_errno(lock.error());
        return move_across_volumes(lock.fd(), from, to);
    }
    if (errno != EINVAL && errno != ENOSYS) return win32_error::from_errno(errno);
    return no_replace_rename(source, target);
}

}  // namespace

std::uint32_t move_file_no_replace(const std::wstring& from, const std::wstring& to) {
    const std::string source = narrow(from);
    const std::string target = narrow(to);
    const std::uint32_t result = move_without_replacing(from, to, source, target);
    // A hidden file's line in its folder's ".hidden" goes with it.
    if (result == win32_error::success) move_hidden_listing(source, target);
    return result;
}

std::uint32_t flush_folder(const std::wstring& path) { return flush_native_folder(narrow(path)); }

std::uint32_t create_directory(const std::wstring& path) {
    if (::mkdir(narrow(path).c_str(), 0777) == 0) return win32_error::success;
    return win32_error::from_errno(errno);
}

std::uint32_t remove_directory(const std::wstring& path) {
    if (::rmdir(narrow(path).c_str()) == 0) return win32_error::success;
    return errno == EEXIST ? win32_error::dir_not_empty : win32_error::from_errno(errno);
}

std::wstring error_text(std::uint32_t error) {
    switch (error) {
        case 0:
            return L"The operation completed successfully.";
        case 1:
            return L"Incorrect function.";
        case 2:
            return L"The system cannot find the file specified.";
        case 3:
            return L"The system cannot find the path specified.";
        case 5:
            return L"Access is denied.";
        case 17:
            return L"The system cannot move the file to a different disk drive.";
        case 19:
            return L"The media is write protected.";
        case 32:
            return L"The process cannot access the file because it is being used by another process.";
        case 33:
            return L"The process cannot access the file because another process has locked a portion of the file.";
        case 50:
            return L"The request is not supported.";
        case 80:
            return L"The file exists.";
        case 87:
            return L"The parameter is incorrect.";
        case 112:
            return L"There is not enough space on the disk.";
        case 123:
            return L"The filename, directory name, or volume label syntax is incorrect.";
        case 145:
            return L"The directory is not empty.";
        case 183:
            return L"Cannot create a file when that file already exists.";
        case 206:
            return L"The filename or extension is too long.";
        case changed_during_move:
            return L"The file was changed by another program during the move; it was left where it was.";
        default:
            return L"Unknown error " + std::to_wstring(error) + L".";
    }
}

std::uint32_t append_file::open(const std::wstring& path, bool truncate) {
    close();
    const int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | (truncate ? O_TRUNC : 0);
    const int fd = ::open(narrow(path).c_str(), flags, 0666);
    if (fd < 0) return win32_error::from_errno(errno);
    handle_ = fd;
    return win32_error::success;
}

std::uint32_t append_file::append(std::string_view bytes) {
    if (handle_ == -1) return win32_error::invalid_handle;
    while (!bytes.empty()) {
        const ssize_t n = ::write(static_cast<int>(handle_), bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? win32_error::from_errno(errno) : win32_error::disk_full;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return win32_error::success;
}

std::uint32_t append_file::sync() {
    if (handle_ == -1) return win32_error::invalid_handle;
    return ::fdatasync(static_cast<int>(handle_)) == 0 ? win32_error::success : win32_error::from_errno(errno);
}

void append_file::close() noexcept {
    if (handle_ != -1) posix::unique_descriptor(static_cast<int>(std::exchange(handle_, -1))).reset();
}

}  // namespace platform::file_system
