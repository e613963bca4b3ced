#pragma once
// JPEG files by name, and the walk over the marker segments at their head
// (formats/jpeg_segments.h) under the names the metadata code uses.

#include "formats/jpeg_segments.h"

#include <string>

namespace qlm::metadata {

// The walk itself is byte-level format code, shared with the backends.
using formats::jpeg_segment;
using formats::jpeg_walk_end;
using formats::walk_jpeg_segments;

/// True for the four JPEG extensions (".jpg", ".jpeg", ".jpe", ".jfif"),
/// compared after lower-casing.
bool has_jpeg_extension(const std::wstring& path);

}  // namespace qlm::metadata
