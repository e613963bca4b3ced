#include "formats/icon_group.h"

#include <vector>

namespace formats {
namespace {

std::uint32_t little_endian(std::string_view bytes, std::size_t offset, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = width; i-- > 0;) value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
    return value;
}

void put(std::string& out, std::uint32_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFFU));
}

}  // namespace

std::optional<std::string> ico_from_icon_group(
    std::string_view group, const std::function<std::optional<std::string_view>(std::uint16_t id)>& image) {
    constexpr std::size_t header = 6;
    constexpr std::size_t group_entry = 14;
    constexpr std::size_t file_entry = 16;
    if (group.size() < header || little_endian(group, 0, 2) != 0 || little_endian(group, 2, 2) != 1) return std::nullopt;
    const std::size_t count = little_endian(group, 4, 2);
    if (count == 0 || group.size() < header + count * group_entry) return std::nullopt;

    std::vector<std::string_view> images;
    for (std::size_t i = 0; i < count; ++i) {
        const auto id = static_cast<std::uint16_t>(little_endian(group, header + i * group_entry + 12, 2));
        const auto data = image(id);
        if (!data) return std::nullopt;
        images.push_back(*data);
    }
    std::string out(group.substr(0, header));
    std::size_t offset = header + count * file_entry;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = header + i * group_entry;
        // Width, height, colours, reserved, planes and bit count stay as they are.
        out.append(group.substr(at, 8));
        if (images[i].size() > 0xFFFFFFFFU || offset > 0xFFFFFFFFU - images[i].size()) return std::nullopt;
        put(out, static_cast<std::uint32_t>(images[i].size()), 4);
        put(out, static_cast<std::uint32_t>(offset), 4);
        offset += images[i].size();
    }
    for (const std::string_view data : images) out.append(data);
    return out;
}

}  // namespace formats
