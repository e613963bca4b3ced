#include "metadata/jpeg_segments.h"

#include "metadata/file_type_capabilities.h"
#include "platform/text.h"

namespace qlm::metadata {

jpeg_walk_end walk_jpeg_segments(std::string_view data, const std::function<bool(const jpeg_segment&)>& visit) {
    const auto byte = [&](std::size_t at) { return static_cast<std::uint8_t>(data[at]); };
    if (data.size() < 2 || byte(0) != 0xFF || byte(1) != 0xD8) return jpeg_walk_end::not_jpeg;
    std::size_t at = 2;
    while (at + 1 < data.size()) {
        if (byte(at) != 0xFF) return jpeg_walk_end::damaged;
        const std::uint8_t marker = byte(at + 1);
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA) return jpeg_walk_end::scan_or_end;
        if (at + 4 > data.size()) return jpeg_walk_end::damaged;
        const std::size_t length = (static_cast<std::size_t>(byte(at + 2)) << 8) | byte(at + 3);
        if (length < 2 || at + 2 + length > data.size()) return jpeg_walk_end::damaged;
        const jpeg_segment segment{marker, at, length};
        if (!visit(segment)) return jpeg_walk_end::visitor_stopped;
        at = segment.end();
    }
    return jpeg_walk_end::out_of_data;
}

bool has_jpeg_extension(const std::wstring& path) {
    const std::wstring extension = platform::text::to_lower_invariant(path_extension(path));
    return extension == L".jpg" || extension == L".jpeg" || extension == L".jpe" || extension == L".jfif";
}

}  // namespace qlm::metadata
