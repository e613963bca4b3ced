// The parts of process launching that are the same on both targets: the
// Windows command-line split and the PE version-resource reader.

#include "platform/process_launch.h"

#include <cstddef>
#include <cstdint>

namespace platform::process {
namespace {

bool is_blank(wchar_t c) { return c == L' ' || c == L'\t'; }

// Little-endian reads that report a read past the end instead of making one.
class byte_reader {
public:
    explicit byte_reader(std::string_view bytes) : bytes_(bytes) {}

    bool has(std::size_t offset, std::size_t length) const {
        return offset <= bytes_.size() && length <= bytes_.size() - offset;
    }
    std::optional<std::uint16_t> u16(std::size_t offset) const {
        if (!has(offset, 2)) return std::nullopt;
        return static_cast<std::uint16_t>(byte(offset) | (byte(offset + 1) << 8));
    }
    std::optional<std::uint32_t> u32(std::size_t offset) const {
        if (!has(offset, 4)) return std::nullopt;
        return static_cast<std::uint32_t>(byte(offset) | (byte(offset + 1) << 8) | (byte(offset + 2) << 16)) |
               (static_cast<std::uint32_t>(byte(offset + 3)) << 24);
    }

private:
    std::uint32_t byte(std::size_t offset) const { return static_cast<unsigned char>(bytes_[offset]); }
    std::string_view bytes_;
};

constexpr std::uint32_t resource_type_version = 16;  // RT_VERSION
constexpr std::uint32_t high_bit = 0x80000000;
constexpr std::uint32_t fixed_info_signature = 0xFEEF04BD;
// Deep enough for type, name and language; a loop in a crafted file ends here.
constexpr int resource_levels = 3;

struct section {
    std::uint32_t virtual_address = 0;
    std::uint32_t virtual_size = 0;
    std::uint32_t raw_size = 0;
    std::uint32_t raw_offset = 0;
};

class pe_image {
public:
    explicit pe_image(std::string_view bytes) : reader_(bytes) {}

    // Reads the headers; false when this is not a PE file we understand.
    bool parse() {
        if (reader_.u16(0) != 0x5A4D) return false;  // "MZ"
        const auto pe_offset = reader_.u32(0x3C);
        if (!pe_offset || reader_.u32(*pe_offset) != 0x00004550) return false;  // "PE\0\0"
        const std::size_t coff = *pe_offset + 4;
        const auto section_count = reader_.u16(coff + 2);
        const auto optional_size = reader_.u16(coff + 16);
        if (!section_count || !optional_size) return false;
        const std::size_t optional = coff + 20;
        const auto magic = reader_.u16(optional);
        std::size_t directories = 0;
        if (magic == 0x10B) {
            directories = optional + 92;  // PE32: NumberOfRvaAndSizes
        } else if (magic == 0x20B) {
            directories = optional + 108;  // PE32+
        } else {
            return false;
        }
        const auto directory_count = reader_.u32(directories);
        if (!directory_count || *directory_count < 3) return false;
        const auto resource_rva = reader_.u32(directories + 4 + 2 * 8);
        if (!resource_rva || *resource_rva == 0) return false;
        resource_rva_ = *resource_rva;
        const std::size_t table = optional + *optional_size;
        for (std::size_t i = 0; i < *section_count; ++i) {
            const std::size_t at = table + i * 40;
            const auto virtual_size = reader_.u32(at + 8), virtual_address = reader_.u32(at + 12);
            const auto raw_size = reader_.u32(at + 16), raw_offset = reader_.u32(at + 20);
            if (!virtual_size || !virtual_address || !raw_size || !raw_offset) return false;
            sections_.push_back({*virtual_address, *virtual_size, *raw_size, *raw_offset});
        }
        return true;
    }

    // The file offset of `length` bytes at the relative virtual address.
    std::optional<std::size_t> file_offset(std::uint64_t rva, std::uint64_t length) const {
        for (const section& s : sections_) {
            const std::uint64_t size = s.virtual_size != 0 ? s.virtual_size : s.raw_size;
            if (rva < s.virtual_address || rva - s.virtual_address >= size) continue;
            const std::uint64_t inside = rva - s.virtual_address;
            if (inside + length > s.raw_size) return std::nullopt;
            const std::uint64_t offset = std::uint64_t{s.raw_offset} + inside;
            if (!reader_.has(static_cast<std::size_t>(offset), static_cast<std::size_t>(length))) return std::nullopt;
            return static_cast<std::size_t>(offset);
        }
        return std::nullopt;
    }

    // The data entry of the first version resource: its RVA and size.
    std::optional<std::pair<std::uint32_t, std::uint32_t>> version_resource() const {
        std::uint64_t directory = 0;  // relative to the resource section
        for (int level = 0; level < resource_levels; ++level) {
            const auto header = file_offset(resource_rva_ + directory, 16);
            if (!header) return std::nullopt;
            const std::uint32_t named = *reader_.u16(*header + 12);
            const std::uint32_t ids = *reader_.u16(*header + 14);
            std::optional<std::uint32_t> target;
            for (std::uint32_t i = 0; i < named + ids && !target; ++i) {
                const auto entry = file_offset(resource_rva_ + directory + 16 + std::uint64_t{i} * 8, 8);
                if (!entry) return std::nullopt;
                const std::uint32_t name = *reader_.u32(*entry);
                // The type level picks RT_VERSION; below it the first name and language serve.
                if (level == 0 && ((name & high_bit) != 0 || name != resource_type_version)) continue;
                target = *reader_.u32(*entry + 4);
            }
            if (!target) return std::nullopt;
            const bool subdirectory = (*target & high_bit) != 0;
            const std::uint32_t offset = *target & ~high_bit;
            if (level < resource_levels - 1) {
                if (!subdirectory) return std::nullopt;
                directory = offset;
                continue;
            }
            if (subdirectory) return std::nullopt;
            const auto data = file_offset(resource_rva_ + std::uint64_t{offset}, 16);
            if (!data) return std::nullopt;
            return std::pair{*reader_.u32(*data), *reader_.u32(*data + 4)};
        }
        return std::nullopt;
    }

    const byte_reader& reader() const { return reader_; }

private:
    byte_reader reader_;
    std::uint32_t resource_rva_ = 0;
    std::vector<section> sections_;
};

}  // namespace

std::optional<file_version> pe_product_version(std::string_view bytes) {
    pe_image image(bytes);
    if (!image.parse()) return std::nullopt;
    const auto resource = image.version_resource();
    if (!resource) return std::nullopt;
    const auto [rva, size] = *resource;
    const auto start = image.file_offset(rva, size);
    if (!start) return std::nullopt;
    const byte_reader& reader = image.reader();
    // VS_VERSIONINFO: three words, the key "VS_VERSION_INFO" with its zero,
    // padding to a double word, then VS_FIXEDFILEINFO.
    static constexpr std::u16string_view key = u"VS_VERSION_INFO";
    if (size < 6 + (key.size() + 1) * 2) return std::nullopt;
    for (std::size_t i = 0; i <= key.size(); ++i) {
        const std::uint16_t expected = i < key.size() ? key[i] : 0;
        if (reader.u16(*start + 6 + i * 2) != expected) return std::nullopt;
    }
    const std::size_t fixed = (6 + (key.size() + 1) * 2 + 3) & ~std::size_t{3};
    if (reader.u16(*start + 2).value_or(0) < 52 || fixed + 52 > size) return std::nullopt;
    if (reader.u32(*start + fixed) != fixed_info_signature) return std::nullopt;
    const std::uint32_t high = *reader.u32(*start + fixed + 16);  // dwProductVersionMS
    const std::uint32_t low = *reader.u32(*start + fixed + 20);   // dwProductVersionLS
    return file_version{static_cast<int>(high >> 16), static_cast<int>(high & 0xFFFF), static_cast<int>(low >> 16)};
}

std::vector<std::wstring> split_command_line(std::wstring_view line) {
    std::vector<std::wstring> arguments;
    std::size_t i = 0;
    // The program name: no escapes, quotation marks only delimit it.
    std::wstring program;
    if (i < line.size() && line[i] == L'"') {
        ++i;
        while (i < line.size() && line[i] != L'"') program.push_back(line[i++]);
        if (i < line.size()) ++i;
    } else {
        while (i < line.size() && !is_blank(line[i])) program.push_back(line[i++]);
    }
    if (line.empty()) return arguments;
    arguments.push_back(program);

    for (;;) {
        while (i < line.size() && is_blank(line[i])) ++i;
        if (i >= line.size()) break;
        std::wstring argument;
        bool quoted = false;
        while (i < line.size() && (quoted || !is_blank(line[i]))) {
            if (line[i] == L'\\') {
                std::size_t backslashes = 0;
                while (i < line.size() && line[i] == L'\\') {
                    ++backslashes;
                    ++i;
                }
                if (i < line.size() && line[i] == L'"') {
                    argument.append(backslashes / 2, L'\\');
                    if (backslashes % 2 == 1) {
                        argument.push_back(L'"');
                    } else {
                        quoted = !quoted;
                    }
                    ++i;
                } else {
                    argument.append(backslashes, L'\\');
                }
            } else if (line[i] == L'"') {
                quoted = !quoted;
                ++i;
            } else {
                argument.push_back(line[i++]);
            }
        }
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

}  // namespace platform::process
