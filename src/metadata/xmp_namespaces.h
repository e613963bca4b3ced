#pragma once
// Namespace URIs and fixed texts of the XMP packets this program writes, as
// the published standards define them (and our own `qsxx` marker namespace).

#include <string_view>

namespace qlm::metadata::xmp {

inline constexpr std::string_view meta_namespace = "adobe:ns:meta/";
inline constexpr std::string_view rdf_namespace = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";
inline constexpr std::string_view basic_namespace = "http://ns.adobe.com/xap/1.0/";
inline constexpr std::string_view dublin_core_namespace = "http://purl.org/dc/elements/1.1/";
inline constexpr std::string_view microsoft_photo_namespace = "http://ns.microsoft.com/photo/1.2/";
inline constexpr std::string_view microsoft_region_info_namespace = "http://ns.microsoft.com/photo/1.2/t/RegionInfo#";
inline constexpr std::string_view microsoft_region_namespace = "http://ns.microsoft.com/photo/1.2/t/Region#";
inline constexpr std::string_view mwg_regions_namespace = "http://www.metadataworkinggroup.com/schemas/regions/";
inline constexpr std::string_view area_namespace = "http://ns.adobe.com/xmp/sType/Area#";
inline constexpr std::string_view dimensions_namespace = "http://ns.adobe.com/xap/1.0/sType/Dimensions#";

/// Marks the description that holds our own people regions, so that a later
/// write replaces exactly it. Readers rely on the marker attribute only; the
/// URI must stay stable so that packets written by older builds still match.
inline constexpr std::string_view suite_regions_namespace = "http://ns.verandel.com/qsx/regions/1.0/";

/// The XMP header processing instruction: begin holds the UTF-8 byte-order
/// mark, id the standard's fixed packet identifier.
inline constexpr std::string_view packet_header = "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>";

/// The writable packet trailer, without a line feed after it.
inline constexpr std::string_view packet_trailer = "<?xpacket end=\"w\"?>";

}  // namespace qlm::metadata::xmp
