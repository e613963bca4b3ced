#pragma once
// Photoshop's IPTCDigest (image resource 0x0425 of a JPEG's APP13 segment):
// the MD5 of the IPTC records (resource 0x0404), by which Photoshop, Bridge
// and exiftool tell whether the IPTC changed behind the XMP's back. A
// rewrite that changes the IPTC brings the digest up to date, as exiftool
// does; it has a fixed length, so no byte moves.

#include <optional>
#include <string>
#include <string_view>

namespace formats {

/// The JPEG with its IPTCDigest set to the digest of its IPTC records, or
/// nullopt when nothing changes: no digest resource, no single IPTC
/// resource beside it, the digest already current, or segments that do not
/// walk whole.
std::optional<std::string> with_current_iptc_digest(std::string_view jpeg);

}  // namespace formats
