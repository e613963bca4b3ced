#pragma once
// People regions as XMP text: the region model, reading regions out of a
// packet, composing our region description in both published vocabularies
// (Microsoft Photo 1.2 MP:RegionInfo and MWG mwg-rs:Regions), replacing the
// regions a packet holds, the decisions of a write (unchanged? names in
// step?) and the per-photo mutex name. None of this touches a file; the photo
// and sidecar writers build on it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qlm::metadata {

/// One face in a photo: a display name and a rectangle in normalised image
/// coordinates (0 to 1 of the width and height), top-left corner first.
struct people_region {
    std::wstring name;  // may be empty: an unnamed face
    double x = 0.0;
    double y = 0.0;
    double w = 0.0;
    double h = 0.0;
};

/// Reads the regions of the first MP:RegionInfo block of an XMP packet (or of
/// a whole file's bytes). Every rdf:li item gives a region, with or without a
/// name or rectangle; text that is not a number reads as 0. Returns true when
/// at least one item was found or the block is closed, false when the text
/// has no region block or only an unclosed, empty one. Never throws on
/// malformed text.
bool parse_region_info(std::string_view text, std::vector<people_region>& regions);

/// Reads the face regions of the first mwg-rs:Regions block, the vocabulary
/// most photo software other than Windows writes. Areas are stored by their
/// centre; the regions returned have their top-left corner, as
/// parse_region_info gives them. Items whose mwg-rs:Type is set to anything
/// but Face (pets, focus areas, bar codes) are skipped, as are areas in a
/// unit other than normalized (pixel areas are normalised by the block's
/// AppliedToDimensions when it gives both sides). Returns true when the block is there and
/// closed or holds at least one item. Never throws on malformed text.
bool parse_mwg_regions(std::string_view text, std::vector<people_region>& regions);

/// A coordinate as written: clamped to 0..1 (NaN reads as 0), six decimals,
/// a dot as separator.
std::string format_coordinate(double value);

/// Our rdf:Description with the named regions in both vocabularies, marked
/// with qsxx:managed="true". The MWG AppliedToDimensions line is written only
/// when both pixel dimensions are non-zero. Ends with a line feed.
std::string write_region_description(const std::vector<people_region>& regions, std::uint32_t width,
                                     std::uint32_t height);

/// A complete XMP packet holding only the region description.
std::string write_region_packet(const std::vector<people_region>& regions, std::uint32_t width,
                                std::uint32_t height);

/// The packet without our marked descriptions and without any MP:RegionInfo
/// or mwg-rs:Regions element written by other software; everything else is
/// kept byte for byte. An element whose end cannot be found is left alone.
std::string strip_managed_regions(std::string_view text);

/// `packet` with our region description in it: every region stripped
/// (strip_managed_regions), then the description inserted right before the
/// last "</rdf:RDF>". A text without "</rdf:RDF>" (an empty one included)
/// gives a fresh region packet. Serves the JPEG packet and the sidecar alike.
std::string merge_region_description(std::string_view packet, const std::vector<people_region>& regions,
                                     std::uint32_t width, std::uint32_t height);

/// True when the named regions of both lists are stored the same way: equal
/// counts and equal region_key sets (order does not matter). Unnamed regions
/// are ignored on both sides.
bool same_named_regions(const std::vector<people_region>& stored, const std::vector<people_region>& requested);

/// True when the names kept in the property set (nullopt: none kept) match
/// the requested regions' names, both sorted and made unique. With no names
/// kept there is nothing to fall out of step, so the answer is true.
bool names_in_sync(const std::optional<std::vector<std::wstring>>& stored,
                   const std::vector<people_region>& requested);

/// Pixel dimensions as the regions are drawn on them: EXIF orientations 5 to
/// 8 turn the image by a quarter, so width and height swap.
struct pixel_size {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};
pixel_size oriented_size(std::uint32_t width, std::uint32_t height, std::uint32_t orientation);

/// The named mutex that serialises people writes to one photo:
/// "Local\QLM.PeopleMetadata." and the FNV-1a hash of the lower-cased
/// absolute path, taken over its UTF-16 code units on every target.
std::wstring people_mutex_name(std::wstring_view absolute_path);

/// `prefix` followed by the decimal FNV-1a hash of the path's invariant
/// lower case in UTF-16 units: one mutex name per path on both systems.
std::wstring path_mutex_name(std::wstring_view prefix, std::wstring_view absolute_path);

/// "name|x|y|w|h" (UTF-8 name, coordinates as written): two regions that
/// give the same key are stored the same way.
std::string region_key(const people_region& region);

/// The non-empty names of the regions, made unique by exact comparison and
/// sorted by UTF-16 code units.
std::vector<std::wstring> sorted_unique_names(const std::vector<people_region>& regions);

/// The names sorted by UTF-16 code units (as Windows orders wide strings)
/// and made unique by exact comparison.
std::vector<std::wstring> sorted_unique(std::vector<std::wstring> names);

}  // namespace qlm::metadata
