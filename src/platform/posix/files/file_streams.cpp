// Named streams on Linux: one extended attribute "user.<name>" per stream.

#include "platform/file_streams.h"

#include "platform/text.h"
#include "platform/win32_error.h"

#include <cerrno>

#include <sys/stat.h>
#include <sys/xattr.h>

namespace platform::file_system {
namespace {

std::string attribute_name(const std::wstring& stream) { return "user." + text::to_utf8(stream); }

// A stream write or removal changes the file: refused for a missing file,
// and for a read-only one whoever asks, as on Windows.
std::uint32_t writable(const std::string& native) {
    struct stat info {};
    if (::stat(native.c_str(), &info) != 0) return win32_error::from_errno(errno);
    if (!S_ISDIR(info.st_mode) && (info.st_mode & S_IWUSR) == 0) return win32_error::access_denied;
    return win32_error::success;
}

// No room for the attribute: the value is larger than the file system
// keeps beside a file.
std::uint32_t write_error(int error_number) {
    return error_number == E2BIG || error_number == ENOSPC ? win32_error::disk_full
                                                           : win32_error::from_errno(error_number);
}

}  // namespace

std::wstring stream_path(const std::wstring& path, const std::wstring& stream) { return path + L":" + stream; }

std::uint32_t open_stream_for_writing(const std::wstring& path, const std::wstring& stream) {
    const std::string native = text::to_utf8(path);
    if (const std::uint32_t error = writable(native); error != win32_error::success) return error;
    // A file system without user attributes has no streams at all.
    if (::getxattr(native.c_str(), attribute_name(stream).c_str(), nullptr, 0) < 0 && errno != ENODATA) {
        return win32_error::from_errno(errno);
    }
    return win32_error::success;
}

std::uint32_t write_stream(const std::wstring& path, const std::wstring& stream, std::string_view bytes) {
    const std::string native = text::to_utf8(path);
    if (const std::uint32_t error = writable(native); error != win32_error::success) return error;
    if (::setxattr(native.c_str(), attribute_name(stream).c_str(), bytes.data(), bytes.size(), 0) != 0) {
        return write_error(errno);
    }
    return win32_error::success;
}

std::optional<std::string> read_stream(const std::wstring& path, const std::wstring& stream, std::uint32_t* error) {
    const std::string native = text::to_utf8(path);
    const std::string name = attribute_name(stream);
    std::string value;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const ssize_t size = ::getxattr(native.c_str(), name.c_str(), nullptr, 0);
        if (size >= 0) {
            value.assign(static_cast<std::size_t>(size), '\0');
            const ssize_t read = ::getxattr(native.c_str(), name.c_str(), value.data(), value.size());
            if (read >= 0) {
                value.resize(static_cast<std::size_t>(read));
                if (error != nullptr) *error = win32_error::success;
                return value;
            }
            if (errno == ERANGE) continue;  // it grew in between
        }
        if (error != nullptr) *error = errno == ENODATA ? win32_error::file_not_found : win32_error::from_errno(errno);
        return std::nullopt;
    }
    if (error != nullptr) *error = win32_error::sharing_violation;
    return std::nullopt;
}

std::uint32_t delete_stream(const std::wstring& path, const std::wstring& stream) {
    const std::string native = text::to_utf8(path);
    if (const std::uint32_t error = writable(native); error != win32_error::success) return error;
    if (::removexattr(native.c_str(), attribute_name(stream).c_str()) != 0) {
        return errno == ENODATA ? win32_error::file_not_found : win32_error::from_errno(errno);
    }
    return win32_error::success;
}

}  // namespace platform::file_system
