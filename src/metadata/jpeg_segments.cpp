#include "metadata/jpeg_segments.h"

#include "metadata/file_type_capabilities.h"
#include "platform/text.h"

namespace qlm::metadata {

bool has_jpeg_extension(const std::wstring& path) {
    const std::wstring extension = platform::text::to_lower_invariant(path_extension(path));
    return extension == L".jpg" || extension == L".jpeg" || extension == L".jpe" || extension == L".jfif";
}

}  // namespace qlm::metadata
