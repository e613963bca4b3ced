#include "platform/win32_error.h"

#include <cerrno>

namespace platform::win32_error {
namespace {

// The Win32 errors that only this translation names.
constexpr std::uint32_t too_many_open_files = 4;
constexpr std::uint32_t not_same_device = 17;
constexpr std::uint32_t write_protect = 19;
constexpr std::uint32_t not_ready = 21;
constexpr std::uint32_t lock_violation = 33;
constexpr std::uint32_t broken_pipe = 109;
constexpr std::uint32_t file_too_large = 223;
constexpr std::uint32_t no_unicode_translation = 1113;
constexpr std::uint32_t io_device = 1117;
constexpr std::uint32_t too_many_links = 1142;
constexpr std::uint32_t cancelled = 1223;
constexpr std::uint32_t disk_quota_exceeded = 1295;
constexpr std::uint32_t timeout = 1460;
constexpr std::uint32_t cant_resolve_filename = 1921;

}  // namespace

std::uint32_t from_errno(int error_number) {
    switch (error_number) {
    case 0: return success;
    case ENOENT:
    case ENXIO: return file_not_found;
#ifdef ESTALE  // the C runtime of Windows lacks the network and quota codes
    case ESTALE: return file_not_found;
#endif
    case ENOTDIR: return path_not_found;
    case EACCES:
    case EPERM:
    case EISDIR: return access_denied;
    case EROFS: return write_protect;
    case EBADF: return invalid_handle;
    case ENOMEM: return not_enough_memory;
    case EBUSY:
    case ETXTBSY:
    case EWOULDBLOCK: return sharing_violation;
    case EDEADLK:
    case ENOLCK: return lock_violation;
    case ENOTSUP: return not_supported;
    case ENOSYS: return invalid_function;
    case EEXIST: return already_exists;
    case EINVAL: return invalid_parameter;
    case ENOSPC: return disk_full;
#ifdef EDQUOT
    case EDQUOT: return disk_quota_exceeded;
#endif
    case EFBIG:
    case EOVERFLOW: return file_too_large;
    case ENAMETOOLONG: return filename_too_long;
    case ENOTEMPTY: return dir_not_empty;
    case ELOOP: return cant_resolve_filename;
    case EILSEQ: return no_unicode_translation;
    case EMFILE:
    case ENFILE: return too_many_open_files;
    case EXDEV: return not_same_device;
    case EIO: return io_device;
    case EMLINK: return too_many_links;
    case EPIPE: return broken_pipe;
#ifdef ENOMEDIUM
    case ENOMEDIUM: return not_ready;
#endif
    case ENODEV: return not_ready;
    case ECANCELED: return cancelled;
    case ETIMEDOUT: return timeout;
    default: return invalid_function;
    }
}

}  // namespace platform::win32_error
