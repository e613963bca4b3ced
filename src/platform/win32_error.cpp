#include "platform/win32_error.h"

#include <cerrno>

namespace platform::win32_error {

std::uint32_t from_errno(int error_number) {
    switch (error_number) {
    case 0: return success;
    case ENOENT: return file_not_found;
    case ENOTDIR: return path_not_found;
    case EACCES:
    case EPERM:
    case EROFS: return access_denied;
    case EBADF: return invalid_handle;
    case ENOMEM: return not_enough_memory;
    case EBUSY:
    case ETXTBSY: return sharing_violation;
    case ENOTSUP: return not_supported;
    case EEXIST: return already_exists;
    case EINVAL: return invalid_parameter;
    case ENOSPC: return disk_full;
    case ENAMETOOLONG: return filename_too_long;
    case ENOTEMPTY: return dir_not_empty;
    default: return invalid_function;
    }
}

}  // namespace platform::win32_error
