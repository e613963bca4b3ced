#pragma once
// Bounds-checked reading of a TIFF structure (a TIFF file, or the block
// after "Exif\0\0" in a JPEG): header, IFD entries and their values. Every
// read answers whether its bytes were inside the block.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace formats {

struct tiff_entry {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::size_t entry_offset = 0;  // where the 12-byte entry starts
    std::size_t value_offset = 0;  // where its value starts (inline or pointed to)
    std::size_t value_size = 0;
};

class tiff_block {
public:
    /// Reads the header; `valid()` is false when it is not "II*\0"/"MM\0*".
    explicit tiff_block(std::string_view data);

    bool valid() const { return valid_; }
    bool little_endian() const { return little_; }
    std::uint32_t first_ifd() const { return first_ifd_; }
    std::string_view data() const { return data_; }

    std::optional<std::uint16_t> u16(std::size_t offset) const;
    std::optional<std::uint32_t> u32(std::size_t offset) const;

    /// The entries of the IFD at `offset` and its link to the next IFD;
    /// nullopt when the IFD or any entry's value lies outside the block.
    struct ifd {
        std::vector<tiff_entry> entries;
        std::uint32_t next = 0;
    };
    std::optional<ifd> read_ifd(std::size_t offset) const;

    /// The value of an entry as unsigned numbers (SHORT or LONG types only).
    std::optional<std::vector<std::uint32_t>> numbers(const tiff_entry& entry) const;

    /// Bytes per value of a TIFF type, 0 for an unknown type.
    static std::size_t type_size(std::uint16_t type);

private:
    std::string_view data_;
    bool valid_ = false;
    bool little_ = true;
    std::uint32_t first_ifd_ = 0;
};

}  // namespace formats
