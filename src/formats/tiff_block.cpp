#include "formats/tiff_block.h"

namespace formats {

tiff_block::tiff_block(std::string_view data) : data_(data) {
    if (data.size() < 8) return;
    if (data.substr(0, 4) == std::string_view("II*\0", 4)) little_ = true;
    else if (data.substr(0, 4) == std::string_view("MM\0*", 4)) little_ = false;
    else return;
    first_ifd_ = *u32(4);
    valid_ = true;
}

std::optional<std::uint16_t> tiff_block::u16(std::size_t offset) const {
    if (offset > data_.size() || data_.size() - offset < 2) return std::nullopt;
    const auto a = static_cast<std::uint8_t>(data_[offset]);
    const auto b = static_cast<std::uint8_t>(data_[offset + 1]);
    return static_cast<std::uint16_t>(little_ ? a | (b << 8) : (a << 8) | b);
}

std::optional<std::uint32_t> tiff_block::u32(std::size_t offset) const {
    const auto low = u16(little_ ? offset : offset + 2);
    const auto high = u16(little_ ? offset + 2 : offset);
    if (!low || !high) return std::nullopt;
    return (static_cast<std::uint32_t>(*high) << 16) | *low;
}

std::size_t tiff_block::type_size(std::uint16_t type) {
    switch (type) {
    case 1: case 2: case 6: case 7: return 1;      // BYTE ASCII SBYTE UNDEFINED
    case 3: case 8: return 2;                      // SHORT SSHORT
    case 4: case 9: case 11: case 13: return 4;    // LONG SLONG FLOAT IFD
    case 5: case 10: case 12: return 8;            // RATIONAL SRATIONAL DOUBLE
    default: return 0;
    }
}

std::optional<tiff_block::ifd> tiff_block::read_ifd(std::size_t offset) const {
    const auto count = u16(offset);
    if (!count) return std::nullopt;
    ifd result;
    const std::size_t entries_start = offset + 2;
    if ((data_.size() - entries_start) / 12 < *count) return std::nullopt;
    for (std::size_t i = 0; i < *count; ++i) {
        tiff_entry entry;
        entry.entry_offset = entries_start + i * 12;
        entry.tag = *u16(entry.entry_offset);
        entry.type = *u16(entry.entry_offset + 2);
        entry.count = *u32(entry.entry_offset + 4);
        const std::size_t unit = type_size(entry.type);
        // An unknown type cannot be sized; readers skip such entries, and so
        // does every check here.
        const std::uint64_t size = static_cast<std::uint64_t>(unit) * entry.count;
        if (unit != 0 && size > 4) {
            const std::uint32_t pointed = *u32(entry.entry_offset + 8);
            if (pointed > data_.size() || size > data_.size() - pointed) return std::nullopt;
            entry.value_offset = pointed;
        } else {
            entry.value_offset = entry.entry_offset + 8;
        }
        entry.value_size = static_cast<std::size_t>(unit != 0 ? size : 0);
        result.entries.push_back(entry);
    }
    const auto next = u32(entries_start + static_cast<std::size_t>(*count) * 12);
    if (!next) return std::nullopt;
    result.next = *next;
    return result;
}

std::optional<std::vector<std::uint32_t>> tiff_block::numbers(const tiff_entry& entry) const {
    if (entry.type != 3 && entry.type != 4) return std::nullopt;
    std::vector<std::uint32_t> values;
    values.reserve(entry.count);
    for (std::uint32_t i = 0; i < entry.count; ++i) {
        const std::optional<std::uint32_t> value =
            entry.type == 3 ? std::optional<std::uint32_t>(u16(entry.value_offset + i * 2u)) : u32(entry.value_offset + i * 4u);
        if (!value) return std::nullopt;
        values.push_back(*value);
    }
    return values;
}

}  // namespace formats
