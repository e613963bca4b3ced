#include "formats/exif_ifd_editor.h"

#include "formats/jpeg_segments.h"
#include "formats/tiff_block.h"

#include <algorithm>
#include <vector>

namespace formats {
namespace {

constexpr std::uint16_t exif_pointer_tag = 0x8769;
constexpr std::uint16_t maker_note_tag = 0x927C;

class block_writer {
public:
    block_writer(std::string_view block, bool little) : out_(block), little_(little) {}

    void align() {
        if (out_.size() % 2 != 0) out_.push_back('\0');
    }
    void u16(std::uint16_t value) {
        const char a = static_cast<char>(value & 0xFF);
        const char b = static_cast<char>(value >> 8);
        out_.push_back(little_ ? a : b);
        out_.push_back(little_ ? b : a);
    }
    void u32(std::uint32_t value) {
        u16(static_cast<std::uint16_t>(little_ ? value & 0xFFFF : value >> 16));
        u16(static_cast<std::uint16_t>(little_ ? value >> 16 : value & 0xFFFF));
    }
    void put_u32(std::size_t at, std::uint32_t value) {
        for (std::size_t i = 0; i < 4; ++i) {
            const std::size_t shift = 8 * (little_ ? i : 3 - i);
            out_[at + i] = static_cast<char>((value >> shift) & 0xFF);
        }
    }
    std::size_t size() const { return out_.size(); }
    std::string& text() { return out_; }

private:
    std::string out_;
    bool little_;
};

struct raw_entry {
    std::uint16_t tag;
    std::string bytes;  // the 12 bytes of the entry
};

std::optional<std::vector<raw_entry>> entries_of(const tiff_block& tiff, std::size_t offset, std::uint32_t* next) {
    const auto ifd = tiff.read_ifd(offset);
    if (!ifd) return std::nullopt;
    std::vector<raw_entry> entries;
    for (const auto& entry : ifd->entries) {
        entries.push_back({entry.tag, std::string(tiff.data().substr(entry.entry_offset, 12))});
    }
    if (next != nullptr) *next = ifd->next;
    return entries;
}

// Appends the values that do not fit in an entry, then the directory;
// answers the directory's offset, or nullopt when it would pass 4 GiB.
std::optional<std::uint32_t> append_ifd(block_writer& out, std::vector<raw_entry> entries, const ifd_changes& changes,
                                        std::uint32_t next, bool little) {
    std::map<std::uint16_t, std::string> built;
    for (const auto& [tag, change] : changes) {
        if (!change) continue;
        block_writer entry("", little);
        entry.u16(tag);
        entry.u16(change->type);
        entry.u32(change->count);
        if (change->bytes.size() <= 4) {
            std::string inline_value = change->bytes;
            inline_value.resize(4, '\0');
            entry.text() += inline_value;
        } else {
            out.align();
            if (out.size() > 0xFFFFFFFFu - change->bytes.size()) return std::nullopt;
            entry.u32(static_cast<std::uint32_t>(out.size()));
            out.text() += change->bytes;
        }
        built[tag] = entry.text();
    }
    std::vector<raw_entry> merged;
    for (auto& entry : entries) {
        if (changes.count(entry.tag) == 0) merged.push_back(std::move(entry));
    }
    for (auto& [tag, bytes] : built) merged.push_back({tag, std::move(bytes)});
    std::stable_sort(merged.begin(), merged.end(), [](const raw_entry& a, const raw_entry& b) { return a.tag < b.tag; });
    if (merged.size() > 0xFFFF) return std::nullopt;
    out.align();
    if (out.size() > 0xFFFFFFF0u - merged.size() * 12) return std::nullopt;
    const auto offset = static_cast<std::uint32_t>(out.size());
    out.u16(static_cast<std::uint16_t>(merged.size()));
    for (const auto& entry : merged) out.text() += entry.bytes;
    out.u32(next);
    return offset;
}

std::optional<std::uint32_t> exif_ifd_offset(const tiff_block& tiff) {
    const auto ifd0 = tiff.read_ifd(tiff.first_ifd());
    if (!ifd0) return std::nullopt;
    for (const auto& entry : ifd0->entries) {
        if (entry.tag == exif_pointer_tag && (entry.type == 4 || entry.type == 13) && entry.count == 1) {
            return tiff.u32(entry.value_offset);
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> edit_tiff_block(std::string_view block, const ifd_changes& ifd0, const ifd_changes& exif) {
    const tiff_block tiff(block);
    if (!tiff.valid()) return std::nullopt;
    std::uint32_t ifd0_next = 0;
    auto ifd0_entries = entries_of(tiff, tiff.first_ifd(), &ifd0_next);
    if (!ifd0_entries) return std::nullopt;
    block_writer out(block, tiff.little_endian());
    ifd_changes ifd0_all = ifd0;
    if (!exif.empty()) {
        std::vector<raw_entry> exif_entries;
        std::uint32_t exif_next = 0;
        if (const auto offset = exif_ifd_offset(tiff)) {
            auto read = entries_of(tiff, *offset, &exif_next);
            if (!read) return std::nullopt;
            exif_entries = std::move(*read);
        }
        const auto new_exif = append_ifd(out, std::move(exif_entries), exif, exif_next, tiff.little_endian());
        if (!new_exif) return std::nullopt;
        block_writer pointer("", tiff.little_endian());
        pointer.u32(*new_exif);
        ifd0_all[exif_pointer_tag] = tiff_value{4, 1, pointer.text()};
    }
    const auto new_ifd0 = append_ifd(out, std::move(*ifd0_entries), ifd0_all, ifd0_next, tiff.little_endian());
    if (!new_ifd0) return std::nullopt;
    out.put_u32(4, *new_ifd0);
    return std::move(out.text());
}

bool exif_directories_readable(std::string_view block) {
    const tiff_block tiff(block);
    if (!tiff.valid() || !tiff.read_ifd(tiff.first_ifd())) return false;
    const auto ifd0 = tiff.read_ifd(tiff.first_ifd());
    for (const auto& entry : ifd0->entries) {
        if (entry.tag == exif_pointer_tag) {
            const auto offset = exif_ifd_offset(tiff);
            if (!offset || !tiff.read_ifd(*offset)) return false;
        }
    }
    return true;
}

std::optional<jpeg_exif_location> find_jpeg_exif(std::string_view jpeg) {
    constexpr std::string_view exif_header("Exif\0\0", 6);
    std::optional<jpeg_exif_location> found;
    walk_jpeg_segments(jpeg, [&](const jpeg_segment& segment) {
        if (segment.marker == 0xE1 && segment.length >= 2 + exif_header.size() &&
            jpeg.substr(segment.payload(), exif_header.size()) == exif_header) {
            found = jpeg_exif_location{segment.offset, segment.payload() + exif_header.size(),
                                       segment.length - 2 - exif_header.size()};
            return false;
        }
        return true;
    });
    return found;
}

std::optional<std::string> replace_jpeg_exif(std::string_view jpeg, std::string_view block) {
    const auto found = find_jpeg_exif(jpeg);
    if (!found || block.size() + 8 > 0xFFFF) return std::nullopt;
    const std::size_t length = block.size() + 8;
    std::string out(jpeg.substr(0, found->segment + 2));
    out.push_back(static_cast<char>(length >> 8));
    out.push_back(static_cast<char>(length & 0xFF));
    out.append("Exif\0\0", 6);
    out.append(block);
    out.append(jpeg.substr(found->block + found->block_size));
    return out;
}

bool has_maker_note(std::string_view block) {
    const tiff_block tiff(block);
    if (!tiff.valid()) return false;
    const auto offset = exif_ifd_offset(tiff);
    if (!offset) return false;
    const auto ifd = tiff.read_ifd(*offset);
    if (!ifd) return false;
    for (const auto& entry : ifd->entries) {
        if (entry.tag == maker_note_tag) return true;
    }
    return false;
}

}  // namespace formats
