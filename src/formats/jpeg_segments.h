#pragma once
// Walking the marker segments at the head of a JPEG file, for the reads and
// edits that patch or rebuild them (EXIF block, IPTC records, extended XMP,
// thumbnail link, people regions). Only the bytes given are looked at;
// nothing is trusted beyond them.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace formats {

/// One marker segment: `offset` is its FF byte, `length` the 16-bit length
/// field (which counts itself but not the marker), so the segment ends at
/// offset + 2 + length and its payload starts at offset + 4.
struct jpeg_segment {
    std::uint8_t marker = 0;
    std::size_t offset = 0;
    std::size_t length = 0;
    std::size_t end() const { return offset + 2 + length; }
    std::size_t payload() const { return offset + 4; }
};

/// Why a walk ended.
enum class jpeg_walk_end {
    visitor_stopped,  // the visitor answered false
    scan_or_end,      // start of scan (DA) or end of image (D9)
    damaged,          // no FF where a marker belongs, a length below 2 or past the data
    out_of_data,      // the data ended between segments
    not_jpeg,         // the data does not start with FF D8
};

/// Visits the segments from offset 2, in order. FF FF is a fill byte and
/// advances by one. The visitor takes a const jpeg_segment& and answers
/// whether to go on.
template <typename Visitor>
jpeg_walk_end walk_jpeg_segments(std::string_view data, Visitor&& visit) {
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

}  // namespace formats
