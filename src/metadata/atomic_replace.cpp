#include "metadata/atomic_replace.h"

#include "platform/file_safety.h"
#include "platform/file_system.h"
#include "platform/win32_error.h"

namespace qlm::metadata {

bool replace_file_atomically(const std::wstring& target, const void* bytes, std::uint64_t length) {
    namespace fs = platform::file_system;
    // One WriteFile call takes at most a 32-bit length.
    if (length > 0xFFFFFFFFu) return false;
    const std::wstring temporary = fs::temporary_name_beside(target);
    if (fs::write_temporary(target, temporary, bytes, static_cast<std::size_t>(length)) != platform::win32_error::success) {
        return false;
    }
    std::uint32_t error = 0;
    std::uint32_t result = 0;
    if (fs::get_attributes(target, &error) == fs::invalid_attributes) {
        if (error != platform::win32_error::file_not_found) {
            fs::delete_file(temporary);
            return false;
        }
        result = fs::move_file(temporary, target);
    } else {
        result = fs::replace_file(target, temporary);
    }
    if (result != platform::win32_error::success) fs::delete_file(temporary);
    return result == platform::win32_error::success;
}

}  // namespace qlm::metadata
