#pragma once
// Edits of IFD0 and the Exif IFD that never move a byte of the TIFF block:
// the edited directories are written anew at the end of the block and the
// header (and IFD0's Exif pointer) point at them. Maker notes hold offsets
// into the block that no generic writer can follow, so anything that moves
// data, as a full re-serialisation does, breaks them.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace formats {

/// A value in the block's byte order: TIFF type, count, raw bytes.
struct tiff_value {
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::string bytes;
    bool operator==(const tiff_value&) const = default;
};

/// Entries to set (a value) or remove (nullopt), by tag.
using ifd_changes = std::map<std::uint16_t, std::optional<tiff_value>>;

/// The TIFF block with the changes applied, appended after its last byte;
/// nullopt when IFD0 (or the Exif IFD, when it is changed) cannot be read
/// whole. Entries not named keep their 12 bytes as they were, so their
/// values stay where they are; the new IFD0 keeps the old link to IFD1.
std::optional<std::string> edit_tiff_block(std::string_view block, const ifd_changes& ifd0, const ifd_changes& exif);

/// True when the Exif IFD of the block has a maker note entry (0x927C).
bool has_maker_note(std::string_view block);

/// True when IFD0, and the Exif IFD when IFD0 points at one, can be read
/// whole: the least a rewrite of the block needs.
bool exif_directories_readable(std::string_view block);

/// Where the TIFF block of a JPEG's first "Exif\0\0" APP1 segment lies.
struct jpeg_exif_location {
    std::size_t segment = 0;     // the segment's FF byte
    std::size_t block = 0;       // the TIFF header
    std::size_t block_size = 0;  // to the end of the segment
};
std::optional<jpeg_exif_location> find_jpeg_exif(std::string_view jpeg);

/// The JPEG with the TIFF block of its first Exif segment replaced;
/// nullopt without such a segment or when the block no longer fits one.
std::optional<std::string> replace_jpeg_exif(std::string_view jpeg, std::string_view block);

}  // namespace formats
