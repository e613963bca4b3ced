#include "formats/jpeg_extended_xmp.h"

#include "formats/jpeg_segments.h"

#include <cstdint>
#include <map>

namespace formats {
namespace {

constexpr std::string_view signature("http://ns.adobe.com/xmp/extension/\0", 35);

std::uint32_t be32(std::string_view data, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value = (value << 8) | static_cast<std::uint8_t>(data[at + i]);
    return value;
}

}  // namespace

extended_xmp read_extended_xmp(std::string_view jpeg, std::string_view guid) {
    extended_xmp result;
    std::string chosen(guid);
    std::uint32_t full_length = 0;
    std::map<std::uint32_t, std::string_view> chunks;
    bool consistent = true;
    walk_jpeg_segments(jpeg, [&](const jpeg_segment& segment) {
        const std::string_view payload = jpeg.substr(segment.payload(), segment.length - 2);
        if (segment.marker != 0xE1 || payload.substr(0, signature.size()) != signature) return true;
        result.present = true;
        if (payload.size() < signature.size() + 40) {
            consistent = false;
            return true;
        }
        const std::string_view id = payload.substr(signature.size(), 32);
        if (chosen.empty()) chosen = id;
        if (id == chosen) {
            const std::uint32_t total = be32(payload, signature.size() + 32);
            const std::uint32_t offset = be32(payload, signature.size() + 36);
            if (full_length == 0) full_length = total;
            if (total != full_length || chunks.count(offset) != 0) consistent = false;
            chunks[offset] = payload.substr(signature.size() + 40);
        }
        return true;
    });
    if (!result.present || !consistent || full_length == 0 || full_length > jpeg.size()) return result;
    std::string packet;
    packet.reserve(full_length);
    for (const auto& [offset, data] : chunks) {
        if (offset != packet.size()) return result;
        packet.append(data);
    }
    if (packet.size() != full_length) return result;
    result.complete = true;
    result.packet = std::move(packet);
    return result;
}

}  // namespace formats
