#pragma once
// Hierarchical keywords other photo software keeps beside dc:subject
// (Lightroom's lr:hierarchicalSubject "Places|Paris", digiKam's
// digiKam:TagsList "Places/Paris", Photo Mechanic's mediapro:CatalogSets
// "Places|Paris", Windows' MicrosoftPhoto:LastKeywordXMP "Places/Paris").
// A tag removed from the flat list takes with it every entry whose last level
// is that tag, or those programs would bring it back; every other entry stays
// in its order. An added tag becomes a top-level entry of each list the file
// has (digiKam reads its list before dc:subject); it never invents a
// hierarchy.

#include <exiv2/exiv2.hpp>

#include <string>
#include <vector>

namespace platform::property_store::posix {

/// The tags of `before` that `after` no longer holds (ignoring case).
std::vector<std::wstring> removed_tags(const std::vector<std::wstring>& before, const std::vector<std::wstring>& after);

/// True when the entry's last level (after its last separator) equals one of
/// the removed tags, ignoring case. An entry without a separator is its own
/// last level.
bool ends_in_removed(const std::wstring& entry, wchar_t separator, const std::vector<std::wstring>& removed);

/// Drops from the four hierarchical lists every entry that ends in a removed
/// tag; a list left empty is removed.
void follow_keyword_removal(Exiv2::XmpData& xmp, const std::vector<std::wstring>& removed);

/// The tags of `after` that `before` did not hold (ignoring case).
std::vector<std::wstring> added_tags(const std::vector<std::wstring>& before, const std::vector<std::wstring>& after);

/// Appends each added tag as a top-level entry to every hierarchical list
/// the file has, unless an entry of that list already ends in it.
void follow_keyword_addition(Exiv2::XmpData& xmp, const std::vector<std::wstring>& added);

/// The last levels of the first hierarchical list that has entries, in
/// order and without repeats: the keywords of a file that keeps no flat list.
std::vector<std::wstring> hierarchy_leaves(const Exiv2::XmpData& xmp);

/// The entries of one list that hold the separator (its hierarchical ones),
/// in order; empty when the list is absent.
std::vector<std::wstring> hierarchical_entries(const Exiv2::XmpData& xmp, const char* key, wchar_t separator);

}  // namespace platform::property_store::posix
