#pragma once
// Keywords, comment and rating of the Linux property set live where Linux
// file managers keep them, so that what Dolphin (Baloo) or Nautilus shows is
// what qlm reads, and the other way round:
//   System.Keywords  user.xdg.tags, the tags joined with ","; the exact list
//                    also in the typed attribute of the property (a tag may
//                    hold a comma), trusted only while its comma-joined form
//                    still equals user.xdg.tags. Otherwise another program
//                    edited the tags and user.xdg.tags, split at commas, wins.
//   System.Comment   user.xdg.comment (UTF-8)
//   System.Rating    user.baloo.rating, half-stars 0-10: written as stars x 2
//                    (stars as Windows shows a 0-99 value); read n as a
//                    0-99 value of round-half-up n/2 stars (1 -> 1 star,
//                    3 -> 2 stars, 10 and above -> 5 stars = 99); a half
//                    star gives a value that is not the stars' own (7 -> 70).
// An absent attribute (or a rating of 0) is an absent property. Clearing a
// property removes its attribute.

#include "platform/property_store.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::property_store::posix {

/// True for the three properties whose home is a freedesktop attribute.
bool has_freedesktop_home(const property_key& key);

/// Reads one of the three properties of `path` (S_OK with VT_EMPTY when
/// absent); a file system error as an HRESULT.
hresult read_freedesktop(const std::string& path, const property_key& key, property_value& value);

/// Writes one of the three properties (VT_EMPTY, a null or empty string, an
/// empty list or a rating of 0 remove it). E_INVALIDARG for a value type the
/// property cannot take; a file system error as an HRESULT.
hresult write_freedesktop(const std::string& path, const property_key& key, const property_value& value);

/// What a handler-only read of a type without a format handler sees: the
/// three properties from their freedesktop attributes (on Linux they are
/// that file's own metadata; a volume without them reads as empty), nothing
/// else. Read-only: writes answer STG_E_ACCESSDENIED.
std::unique_ptr<store> open_file_manager_store(const std::string& path);

/// Photos keep these three in the file and mirror them into the attributes
/// on every write, so that Dolphin shows them. A read merges three ways:
/// the base is the copy qlm last mirrored (for keywords the exact list, for
/// rating and comment "user.qlm.mirror.rating" / ".comment"); where the
/// attribute still equals it, `embedded` stands; otherwise the file
/// manager's change (tags added and removed, a new rating or comment) is
/// applied over it. A volume without user attributes changes nothing.
/// True when the attributes already mirror the merged value exactly, so a
/// write that keeps it need not mirror it again.
bool merge_file_manager_change(const std::string& path, const property_key& key, property_value& embedded);

/// False when the file holds none of the attributes the merges above read
/// (one listing instead of a read per attribute and key), so that they
/// would change nothing; true when it holds one or the listing fails.
bool may_hold_file_manager_change(const std::string& path);

/// Mirrors a value just written into the file: the attribute and its base.
/// Failures (a volume without user attributes) are ignored.
void mirror_to_file_manager(const std::string& path, const property_key& key, const property_value& value);

/// The tags as user.xdg.tags holds them, and back (empty pieces dropped).
std::string join_tags(const std::vector<std::wstring>& tags);
std::vector<std::wstring> split_tags(std::string_view joined);

/// A 0-99 value as Baloo's half-stars (0 for no rating), and back (nullopt
/// for text that is not a positive whole number).
unsigned baloo_rating_of(std::uint32_t value);
std::optional<std::uint32_t> value_of_baloo_rating(std::string_view text);

}  // namespace platform::property_store::posix
