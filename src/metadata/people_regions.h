#pragma once
// Reading the people regions of a photo from wherever they were written: the
// photo's own XMP, the names in its property set, or its XMP sidecar.

#include "metadata/people_region_xmp.h"

#include <string>
#include <vector>

namespace qlm::metadata {

/// The regions of the first source that has them (photo XMP, then
/// System.Photo.PeopleNames with zero rectangles, then the sidecar); empty
/// when none does. Never throws for a missing file.
std::vector<people_region> read_people_regions(const std::wstring& path);

}  // namespace qlm::metadata
