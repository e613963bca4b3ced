#pragma once
// Writing tags and ratings wherever the target can keep them: the handler
// store first, then ever more generic places (embedded XMP, an in-place
// packet edit for ratings, the property set, an XMP sidecar) until one takes
// the value. The caller commits and closes the handle afterwards.

#include "metadata/metadata_handle.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qlm::metadata {

/// Sets the rating (0-5 stars) of the handle's target, open for writing.
/// Throws std::runtime_error "Failed to set rating" when every place failed.
void set_rating(metadata_handle& handle, std::uint32_t stars);

/// Replaces the keywords of the handle's target, open for writing. Throws
/// "Failed to allocate memory for tags" or "Failed to set tags".
void set_tags(metadata_handle& handle, const std::vector<std::wstring>& tags);

/// Removes every keyword. Throws "Failed to remove all tags".
void remove_all_tags(metadata_handle& handle);

/// Clears the link to a JPEG's embedded EXIF thumbnail so that viewers draw
/// the file from its pixels. True only when a link was found and cleared.
bool drop_exif_thumbnail_link(const std::wstring& path);

/// The imaging link: writes xmp:Rating (the stars, VT_UI4) into the file's
/// embedded XMP through a fast metadata encoder, first from frame 0, then
/// from the decoder, trying each query path in turn. True when a commit
/// succeeded; false for an empty path or when every path failed.
bool write_embedded_rating(const std::wstring& path, std::uint32_t stars,
                           const store_access& access = store_access::system());

/// The imaging link for keywords: dc:subject as a vector of strings.
bool write_embedded_keywords(const std::wstring& path, const std::vector<std::wstring>& tags,
                             const store_access& access = store_access::system());

/// Edits the rating inside the XMP packet a file already holds, without
/// changing the packet's length, and writes the packet back at its offset.
/// False (nothing written) for a file above 300 MiB, without a packet, or
/// whose packet has no room; the file is opened exclusively.
bool rewrite_packet_rating(const std::wstring& path, std::uint32_t stars);

/// Where the first XMP packet of some data lies: from "<?xpacket begin=" to
/// the "?>" closing the first "<?xpacket end=" after it.
struct packet_span {
    std::size_t offset = 0;
    std::size_t length = 0;
};
std::optional<packet_span> find_xmp_packet(std::string_view data);

/// Puts the stars into a packet's text, keeping its length: the element
/// value, else the attribute value, replaced when the new value is not
/// longer (padded with blanks); else a description inserted before the last
/// "</rdf:RDF>" and paid for from the padding after "</x:xmpmeta>". False,
/// with `packet` unchanged, when none of the three applies.
bool edit_packet_rating(std::string& packet, std::uint32_t stars);

/// The offset, within the first bytes of a JPEG, of the 4-byte link from its
/// EXIF IFD0 to the next IFD (the thumbnail), when that link is non-zero.
std::optional<std::size_t> exif_thumbnail_link_offset(std::string_view head);

}  // namespace qlm::metadata
