#pragma once
// An icon group resource turned back into an .ico file. A module keeps an
// icon's images as separate resources and lists them in a group whose
// entries are the .ico directory entries with the 32-bit file offset
// replaced by the 16-bit id of the image's resource; both backends read the
// resources their own way and assemble the file here.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace formats {

/// The .ico bytes of a group (6-byte header, 14-byte entries): the header,
/// one 16-byte entry per image with its size and offset, then the images in
/// entry order. `image` gives the bytes of the image resource with an id,
/// or nullopt. nullopt for a malformed group or a missing image.
std::optional<std::string> ico_from_icon_group(
    std::string_view group, const std::function<std::optional<std::string_view>(std::uint16_t id)>& image);

}  // namespace formats
