#include "metadata/atomic_replace.h"

#include "platform/file_system.h"
#include "platform/win32_error.h"

namespace qlm::metadata {

namespace fs = platform::file_system;

std::uint32_t replace_read_file(const std::wstring& target, const fs::file_identity& read, const void* bytes,
                                std::uint64_t length) {
    // One WriteFile call takes at most a 32-bit length.
    if (length > 0xFFFFFFFFu) return platform::win32_error::invalid_parameter;
    return fs::write_if_unchanged(target, read, bytes, static_cast<std::size_t>(length));
}

bool replace_file_atomically(const std::wstring& target, const void* bytes, std::uint64_t length) {
    std::uint32_t error = 0;
    const fs::file_identity present = fs::identify_file(target, &error);
    if (!present.exists && error != platform::win32_error::file_not_found) return false;
    return replace_read_file(target, present, bytes, length) == platform::win32_error::success;
}

}  // namespace qlm::metadata
