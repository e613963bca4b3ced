#pragma once
// Writing tags and ratings wherever the target can keep them: the handler
// store first, then ever more generic places (embedded XMP, an in-place
// packet edit for ratings, the property set, an XMP sidecar) until one takes
// the value. The caller commits and closes the handle afterwards.

#include "metadata/metadata_handle.h"

#include <cstdint>
#include <string>
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

}  // namespace qlm::metadata
