// Read, edit and replace of a whole file that never writes over what
// another program wrote in between; the same on both systems.

#include "platform/file_safety.h"
#include "platform/file_system.h"
#include "platform/win32_error.h"

namespace platform::file_system {

std::uint32_t write_if_unchanged(const std::wstring& target, const file_identity& read, const void* bytes,
                                 std::size_t length) {
    const std::wstring temporary = temporary_name_beside(target);
    if (const std::uint32_t error = write_temporary(target, temporary, bytes, length); error != win32_error::success) {
        return error;
    }
    return replace_if_unchanged(target, temporary, read);
}

std::uint32_t rewrite_file(const std::wstring& path, std::size_t limit, const file_edit& edit, int attempts) {
    std::uint32_t result = file_changed;
    for (int attempt = 0; attempt < attempts && result == file_changed; ++attempt) {
        file_identity read;
        std::uint32_t error = win32_error::success;
        const std::optional<std::string> current = read_file_identified(path, limit, read, &error);
        if (!current && read.exists) return error;
        if (!current && error != win32_error::file_not_found) return error;
        const std::optional<std::string> updated = edit(current ? &*current : nullptr);
        if (!updated) return win32_error::success;
        result = write_if_unchanged(path, read, updated->data(), updated->size());
    }
    return result;
}

}  // namespace platform::file_system
