#pragma once
// Walking the marker segments at the head of a JPEG file, for the edits
// that patch or rebuild them (thumbnail link, people regions). Only the
// bytes given are looked at; nothing is trusted beyond them.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace qlm::metadata {

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
/// advances by one. The visitor answers whether to go on.
jpeg_walk_end walk_jpeg_segments(std::string_view data, const std::function<bool(const jpeg_segment&)>& visit);

/// True for the four JPEG extensions (".jpg", ".jpeg", ".jpe", ".jfif"),
/// compared after lower-casing.
bool has_jpeg_extension(const std::wstring& path);

}  // namespace qlm::metadata
