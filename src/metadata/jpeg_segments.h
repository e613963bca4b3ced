#pragma once
// JPEG files by name, and the walk over the marker segments at their head
// (platform/jpeg_segments.h) under the names the metadata code uses.

#include "platform/jpeg_segments.h"

#include <string>

namespace qlm::metadata {

// The walk itself lives beside the platform code that uses it too.
using platform::jpeg_segment;
using platform::jpeg_walk_end;
using platform::walk_jpeg_segments;

/// True for the four JPEG extensions (".jpg", ".jpeg", ".jpe", ".jfif"),
/// compared after lower-casing.
bool has_jpeg_extension(const std::wstring& path);

}  // namespace qlm::metadata
