#include "formats/iptc_digest.h"

#include "formats/jpeg_segments.h"
#include "formats/md5.h"

#include <cstdint>
#include <cstring>

namespace formats {
namespace {

std::uint32_t big_endian(std::string_view data, std::size_t at, std::size_t bytes) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i) value = (value << 8) | static_cast<std::uint8_t>(data[at + i]);
    return value;
}

struct resource {
    std::size_t data = 0;  // offset of its data in the file
    std::size_t size = 0;
};

}  // namespace

std::optional<std::string> with_current_iptc_digest(std::string_view jpeg) {
    constexpr std::string_view photoshop("Photoshop 3.0\0", 14);
    std::optional<resource> iptc, digest;
    int iptc_count = 0;
    bool whole = true;
    walk_jpeg_segments(jpeg, [&](const jpeg_segment& segment) {
        if (segment.marker != 0xED || segment.end() > jpeg.size()) return true;
        if (jpeg.substr(segment.payload(), photoshop.size()) != photoshop) return true;
        std::size_t at = segment.payload() + photoshop.size();
        const std::size_t end = segment.end();
        // Each resource: "8BIM", its id, an even-padded Pascal name, a size
        // and data padded to an even length.
        while (at + 12 <= end) {
            if (jpeg.substr(at, 4) != "8BIM") {
                whole = false;
                return false;
            }
            const std::uint32_t id = big_endian(jpeg, at + 4, 2);
            std::size_t name = static_cast<std::uint8_t>(jpeg[at + 6]) + 1;
            name += name % 2;
            const std::size_t size_at = at + 6 + name;
            if (size_at + 4 > end) {
                whole = false;
                return false;
            }
            const std::size_t size = big_endian(jpeg, size_at, 4);
            const std::size_t data = size_at + 4;
            if (size > end - data) {
                whole = false;
                return false;
            }
            if (id == 0x0404) {
                ++iptc_count;
                iptc = resource{data, size};
            } else if (id == 0x0425 && size == 16) {
                digest = resource{data, size};
            }
            at = data + size + size % 2;
        }
        return true;
    });
    if (!whole || !digest || !iptc || iptc_count != 1) return std::nullopt;
    const auto sum = md5(jpeg.substr(iptc->data, iptc->size));
    if (std::memcmp(jpeg.data() + digest->data, sum.data(), sum.size()) == 0) return std::nullopt;
    std::string patched(jpeg);
    std::memcpy(patched.data() + digest->data, sum.data(), sum.size());
    return patched;
}

}  // namespace formats
