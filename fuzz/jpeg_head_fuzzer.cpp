// Feeds arbitrary bytes to the in-place edits' parsers: the JPEG segment
// walk, the EXIF thumbnail-link search and the XMP packet rating edit. The
// link found must lie inside the data, and a packet edit must never change
// the packet's length.

#include "metadata/fallback_chain.h"
#include "metadata/jpeg_segments.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    using namespace qlm::metadata;

    walk_jpeg_segments(bytes, [&](const jpeg_segment& segment) {
        if (segment.end() > bytes.size() || segment.length < 2) std::abort();
        return true;
    });
    if (const auto link = exif_thumbnail_link_offset(bytes); link && *link + 4 > bytes.size()) std::abort();

    if (const auto span = find_xmp_packet(bytes)) {
        if (span->offset + span->length > bytes.size()) std::abort();
        std::string packet = bytes.substr(span->offset, span->length);
        const std::string before = packet;
        const bool edited = edit_packet_rating(packet, static_cast<std::uint32_t>(size % 6));
        if (packet.size() != before.size() || (!edited && packet != before)) std::abort();
    }
    return 0;
}
