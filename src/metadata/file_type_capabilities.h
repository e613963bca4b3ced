#pragma once
// Which targets may hold tags and ratings at all. These are admission checks
// on the path alone: they never open the file, and where an admitted value
// ends up is decided later, at write time.

#include <string>

namespace qlm::metadata {

/// True when `path` is an existing folder or its lower-cased extension is one
/// of the tag-capable types. Never throws; a missing or unreadable path is
/// judged by its extension.
bool can_store_tags(const std::wstring& path);

/// The same test against the rating-capable types (the tag-capable ones plus
/// ".mp3").
bool can_store_rating(const std::wstring& path);

/// The extension of the last path element, from its last dot to the end;
/// empty for a name without a dot or whose only dot is its first character.
std::wstring path_extension(const std::wstring& path);

}  // namespace qlm::metadata
