#pragma once
// The MicrosoftPhoto namespace as Windows and exiftool spell it,
// "http://ns.microsoft.com/photo/1.0" without a closing slash; Exiv2 writes
// one, which validators report on every rated photo. The written packet is
// corrected in place: one byte shorter, paid for from its padding, so
// nothing after it moves.

#include <optional>
#include <string>
#include <string_view>

namespace formats {

/// `data` (a written file) with every XMP declaration of the namespace
/// spelt with the slash corrected, each packet padded by one blank more
/// before its trailer; nullopt when there is none, or when a packet holding
/// one has no blank before its trailer to give.
std::optional<std::string> with_microsoft_photo_uri(std::string_view data);

}  // namespace formats
