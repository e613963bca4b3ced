#pragma once
// Reading the people regions of a photo from wherever they were written (the
// photo's own XMP, the names in its property set, or its XMP sidecar) and
// writing them: into a JPEG's XMP segment, else into the sidecar, with the
// names in the property set for search.

#include "metadata/people_region_xmp.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qlm::metadata {

/// The regions of the first source that has them (photo XMP MP:RegionInfo,
/// then the photo's MWG face regions, then System.Photo.PeopleNames with zero
/// rectangles, then the sidecar's MP and MWG regions); empty when none does.
/// Never throws for a missing file. `content`, when given, is the file's
/// whole content as just read, and the file is not read again for it.
std::vector<people_region> read_people_regions(const std::wstring& path,
                                               std::optional<std::string_view> content = std::nullopt);

/// Stores the named regions (unnamed ones are dropped) in both region
/// vocabularies, replacing every region block the photo or sidecar held and
/// leaving the rest of the packet alone. A JPEG gets them in its APP1 XMP
/// segment, rebuilt through an atomic replace; every other file (and a JPEG
/// whose segment would overflow or whose replace fails) in its sidecar, with
/// System.Photo.PeopleNames in the property set. Writers of one photo are
/// serialised across processes by a named mutex, waited for up to 5 s.
/// False, touching nothing, when the stored regions and names already match.
/// Throws std::runtime_error with "Failed to serialize people update",
/// "People update busy", "Failed to set people regions: no file path",
/// "Failed to read people regions from photo", "Failed to inspect people
/// sidecar", "Failed to read people regions from sidecar", "Failed to
/// synchronize people names", "Failed to set portable people regions" or
/// "Failed to set people regions".
bool write_people_regions(const std::wstring& path, const std::vector<people_region>& regions);

}  // namespace qlm::metadata
