// Icons from .ico files and from the resources of PE modules, read from
// their published layouts.

#include "platform/posix/imaging/icon_files.h"

#include "formats/icon_group.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace platform::graphics::posix {
namespace {

constexpr std::array<unsigned char, 8> png_signature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

std::uint32_t u16_at(std::string_view bytes, std::size_t offset) {
    if (offset + 2 > bytes.size()) return 0;
    return std::uint32_t{static_cast<unsigned char>(bytes[offset])} |
           (std::uint32_t{static_cast<unsigned char>(bytes[offset + 1])} << 8);
}

std::uint32_t u32_at(std::string_view bytes, std::size_t offset) {
    if (offset + 4 > bytes.size()) return 0;
    return u16_at(bytes, offset) | (u16_at(bytes, offset + 2) << 16);
}

}  // namespace

bool is_png(std::string_view bytes) {
    return bytes.size() >= png_signature.size() &&
           std::memcmp(bytes.data(), png_signature.data(), png_signature.size()) == 0;
}

namespace {

// ---- icon entries -----------------------------------------------------------

// A BMP icon entry: a BITMAPINFOHEADER of twice the icon's height (colour
// rows then the AND mask), rows bottom-up and padded to four bytes.
std::optional<image> decode_dib(std::string_view bytes) {
    if (bytes.size() < 40 || u32_at(bytes, 0) < 40) return std::nullopt;
    const auto header_size = u32_at(bytes, 0);
    const auto width = static_cast<std::int32_t>(u32_at(bytes, 4));
    const auto doubled = static_cast<std::int32_t>(u32_at(bytes, 8));
    const std::uint32_t bits = u16_at(bytes, 14);
    const std::uint32_t compression = u32_at(bytes, 16);
    if (width <= 0 || width > 1024 || doubled <= 0 || doubled > 2048 || compression != 0) return std::nullopt;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return std::nullopt;
    const int height = doubled / 2;
    if (height <= 0) return std::nullopt;
    std::uint32_t colours = u32_at(bytes, 32);
    if (bits <= 8 && (colours == 0 || colours > (1U << bits))) colours = 1U << bits;
    if (bits > 8) colours = 0;
    const std::size_t palette = header_size;
    const std::size_t pixels = palette + std::size_t{colours} * 4;
    const std::size_t row = ((static_cast<std::size_t>(width) * bits + 31) / 32) * 4;
    const std::size_t mask_row = ((static_cast<std::size_t>(width) + 31) / 32) * 4;
    const std::size_t mask = pixels + row * static_cast<std::size_t>(height);
    if (mask > bytes.size()) return std::nullopt;
    const bool has_mask = mask + mask_row * static_cast<std::size_t>(height) <= bytes.size();

    image out(width, height);
    bool any_alpha = false;
    for (int y = 0; y < height; ++y) {
        const std::size_t line = pixels + row * static_cast<std::size_t>(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            std::uint32_t argb = 0;
            const auto ux = static_cast<std::size_t>(x);
            if (bits == 32) {
                argb = u32_at(bytes, line + ux * 4);
                any_alpha = any_alpha || (argb >> 24) != 0;
            } else if (bits == 24) {
                argb = 0xFF000000U | u16_at(bytes, line + ux * 3) |
                       (std::uint32_t{static_cast<unsigned char>(bytes[line + ux * 3 + 2])} << 16);
            } else {
                const auto byte = static_cast<unsigned char>(bytes[line + ux * bits / 8]);
                const unsigned shift = 8 - bits - static_cast<unsigned>((ux * bits) % 8);
                const unsigned index = (byte >> shift) & ((1U << bits) - 1);
                argb = 0xFF000000U | (u32_at(bytes, palette + index * 4) & 0xFFFFFFU);
            }
            out.at(x, y) = argb;
        }
    }
    // Icons without alpha take their transparency from the AND mask.
    if ((bits != 32 || !any_alpha) && has_mask) {
        for (int y = 0; y < height; ++y) {
            const std::size_t line = mask + mask_row * static_cast<std::size_t>(height - 1 - y);
            for (int x = 0; x < width; ++x) {
                const auto byte = static_cast<unsigned char>(bytes[line + static_cast<std::size_t>(x) / 8]);
                const bool transparent = ((byte >> (7 - x % 8)) & 1U) != 0;
                std::uint32_t& pixel = out.at(x, y);
                pixel = transparent ? 0 : (pixel | 0xFF000000U);
            }
        }
    } else if (bits == 32 && !any_alpha) {
        for (auto& pixel : out.pixels) pixel |= 0xFF000000U;
    }
    return out;
}

std::optional<image> decode_entry(std::string_view bytes) {
    return is_png(bytes) ? decode_png(bytes) : decode_dib(bytes);
}

struct entry_choice {
    int width = 0;
    std::uint32_t bits = 0;
    std::size_t index = 0;
};

// The entry nearest the size: the smallest at least as large, else the
// largest; of equal sizes the deepest colours.
std::optional<std::size_t> choose_entry(const std::vector<entry_choice>& entries, int size) {
    const entry_choice* best = nullptr;
    for (const entry_choice& entry : entries) {
        if (best == nullptr) {
            best = &entry;
            continue;
        }
        const bool fits = entry.width >= size;
        const bool best_fits = best->width >= size;
        bool better = false;
        if (fits != best_fits) {
            better = fits;
        } else if (entry.width != best->width) {
            better = fits ? entry.width < best->width : entry.width > best->width;
        } else {
            better = entry.bits > best->bits;
        }
        if (better) best = &entry;
    }
    if (best == nullptr) return std::nullopt;
    return best->index;
}

}  // namespace

std::optional<image> icon_from_ico(std::string_view bytes, int size) {
    if (u16_at(bytes, 0) != 0 || u16_at(bytes, 2) != 1) return std::nullopt;
    const std::uint32_t count = u16_at(bytes, 4);
    std::vector<entry_choice> entries;
    for (std::uint32_t i = 0; i < count && 6 + (i + 1) * 16 <= bytes.size(); ++i) {
        const std::size_t at = 6 + std::size_t{i} * 16;
        const auto width = static_cast<unsigned char>(bytes[at]);
        entries.push_back({width == 0 ? 256 : width, u16_at(bytes, at + 6), at});
    }
    const auto chosen = choose_entry(entries, size);
    if (!chosen) return std::nullopt;
    const std::uint32_t length = u32_at(bytes, *chosen + 8);
    const std::uint32_t offset = u32_at(bytes, *chosen + 12);
    if (offset > bytes.size() || length > bytes.size() - offset) return std::nullopt;
    return decode_entry(bytes.substr(offset, length));
}

namespace {

// ---- PE icon groups ---------------------------------------------------------

struct pe_file {
    std::string_view bytes;
    struct section {
        std::uint32_t address = 0;
        std::uint32_t size = 0;
        std::uint32_t raw = 0;
        std::uint32_t raw_size = 0;
    };
    std::vector<section> sections;
    std::uint32_t resources = 0;  // file offset of the resource directory

    std::optional<std::uint32_t> offset_of(std::uint32_t rva) const {
        for (const section& s : sections) {
            if (rva >= s.address && rva - s.address < std::max(s.size, s.raw_size)) {
                const std::uint32_t offset = s.raw + (rva - s.address);
                if (offset < bytes.size()) return offset;
            }
        }
        return std::nullopt;
    }
};

std::optional<pe_file> parse_pe(std::string_view bytes) {
    if (bytes.size() < 64 || bytes[0] != 'M' || bytes[1] != 'Z') return std::nullopt;
    const std::uint32_t pe = u32_at(bytes, 0x3C);
    if (pe > bytes.size() || bytes.size() - pe < 24 || bytes.substr(pe, 4) != std::string_view("PE\0\0", 4)) {
        return std::nullopt;
    }
    const std::uint32_t section_count = u16_at(bytes, pe + 6);
    const std::uint32_t optional_size = u16_at(bytes, pe + 20);
    const std::size_t optional = pe + 24;
    const std::uint32_t magic = u16_at(bytes, optional);
    const std::size_t directories = optional + (magic == 0x20B ? 112 : 96);
    if (magic != 0x10B && magic != 0x20B) return std::nullopt;
    const std::uint32_t resource_rva = u32_at(bytes, directories + 2 * 8);
    pe_file file{bytes, {}, 0};
    const std::size_t table = optional + optional_size;
    for (std::uint32_t i = 0; i < section_count && table + (i + 1) * 40 <= bytes.size(); ++i) {
        const std::size_t at = table + std::size_t{i} * 40;
        file.sections.push_back({u32_at(bytes, at + 12), u32_at(bytes, at + 8), u32_at(bytes, at + 20),
                                 u32_at(bytes, at + 16)});
    }
    const auto resources = file.offset_of(resource_rva);
    if (resource_rva == 0 || !resources) return std::nullopt;
    file.resources = *resources;
    return file;
}

struct resource_entry {
    std::uint32_t name = 0;  // the id, or the high bit for a named entry
    std::uint32_t target = 0;
};

std::vector<resource_entry> directory_entries(const pe_file& file, std::uint32_t directory) {
    std::vector<resource_entry> entries;
    const std::size_t at = std::size_t{file.resources} + directory;
    const std::uint32_t count = u16_at(file.bytes, at + 12) + u16_at(file.bytes, at + 14);
    for (std::uint32_t i = 0; i < count && at + 16 + (i + 1) * 8 <= file.bytes.size(); ++i) {
        const std::size_t entry = at + 16 + std::size_t{i} * 8;
        entries.push_back({u32_at(file.bytes, entry), u32_at(file.bytes, entry + 4)});
    }
    return entries;
}

// The data of the first language of a named resource (type, then the entry).
std::optional<std::string_view> resource_data(const pe_file& file, std::uint32_t entry_target, int depth = 0) {
    if (depth > 2) return std::nullopt;
    if ((entry_target & 0x80000000U) != 0) {
        const auto languages = directory_entries(file, entry_target & 0x7FFFFFFFU);
        if (languages.empty()) return std::nullopt;
        return resource_data(file, languages.front().target, depth + 1);
    }
    const std::size_t at = std::size_t{file.resources} + entry_target;
    const auto offset = file.offset_of(u32_at(file.bytes, at));
    const std::uint32_t size = u32_at(file.bytes, at + 4);
    if (!offset || size > file.bytes.size() - *offset) return std::nullopt;
    return file.bytes.substr(*offset, size);
}

std::vector<resource_entry> resources_of_type(const pe_file& file, std::uint32_t type) {
    for (const resource_entry& entry : directory_entries(file, 0)) {
        if (entry.name == type && (entry.target & 0x80000000U) != 0) {
            return directory_entries(file, entry.target & 0x7FFFFFFFU);
        }
    }
    return {};
}

// The icon groups of the module, or nothing for bytes that are not one.
std::vector<resource_entry> icon_groups(const pe_file& file) {
    constexpr std::uint32_t rt_group_icon = 14;
    return resources_of_type(file, rt_group_icon);
}

constexpr std::uint32_t rt_icon = 3;

}  // namespace

std::optional<image> icon_from_pe(std::string_view bytes, int index, int size) {
    const auto file = parse_pe(bytes);
    if (!file) return std::nullopt;
    const auto groups = icon_groups(*file);
    const resource_entry* group = nullptr;
    if (index >= 0) {
        if (static_cast<std::size_t>(index) < groups.size()) group = &groups[static_cast<std::size_t>(index)];
    } else {
        for (const resource_entry& entry : groups) {
            if (entry.name == static_cast<std::uint32_t>(-static_cast<std::int64_t>(index))) group = &entry;
        }
    }
    if (group == nullptr) return std::nullopt;
    const auto directory = resource_data(*file, group->target);
    if (!directory || u16_at(*directory, 2) != 1) return std::nullopt;
    std::vector<entry_choice> entries;
    const std::uint32_t count = u16_at(*directory, 4);
    for (std::uint32_t i = 0; i < count && 6 + (i + 1) * 14 <= directory->size(); ++i) {
        const std::size_t at = 6 + std::size_t{i} * 14;
        const auto width = static_cast<unsigned char>((*directory)[at]);
        entries.push_back({width == 0 ? 256 : width, u16_at(*directory, at + 6), at});
    }
    const auto chosen = choose_entry(entries, size);
    if (!chosen) return std::nullopt;
    const std::uint32_t id = u16_at(*directory, *chosen + 12);
    for (const resource_entry& icon : resources_of_type(*file, rt_icon)) {
        if (icon.name != id) continue;
        const auto data = resource_data(*file, icon.target);
        if (data) return decode_entry(*data);
    }
    return std::nullopt;
}

std::optional<std::string> icon_group_from_pe(std::string_view bytes, std::uint16_t id) {
    const auto file = parse_pe(bytes);
    if (!file) return std::nullopt;
    for (const resource_entry& group : icon_groups(*file)) {
        if (group.name != id) continue;
        const auto directory = resource_data(*file, group.target);
        if (!directory) return std::nullopt;
        const auto icons = resources_of_type(*file, rt_icon);
        return formats::ico_from_icon_group(*directory, [&](std::uint16_t image_id) -> std::optional<std::string_view> {
            for (const resource_entry& icon : icons) {
                if (icon.name == image_id) return resource_data(*file, icon.target);
            }
            return std::nullopt;
        });
    }
    return std::nullopt;
}

}  // namespace platform::graphics::posix
