#include "platform/posix/imaging/exif_preserving_write.h"

#include "formats/exif_ifd_editor.h"
#include "formats/tiff_block.h"

#include <map>

namespace platform::posix {
namespace {

using tag_values = std::map<std::pair<std::string, std::uint16_t>, std::pair<std::uint16_t, std::string>>;

// The IFD0 and Exif IFD entries Exiv2 holds, as TIFF type and raw bytes in
// the block's byte order.
tag_values values_of(const Exiv2::ExifData& exif, Exiv2::ByteOrder order) {
    tag_values values;
    for (const auto& datum : exif) {
        const std::string group = datum.groupName();
        if (group != "Image" && group != "Photo") continue;
        const Exiv2::Value& value = datum.value();
        std::string bytes(static_cast<std::size_t>(value.size()), '\0');
        if (!bytes.empty()) value.copy(reinterpret_cast<Exiv2::byte*>(bytes.data()), order);
        values[{group, datum.tag()}] = {static_cast<std::uint16_t>(datum.typeId()), std::move(bytes)};
    }
    return values;
}

std::optional<formats::tiff_value> tiff_value_of(const std::optional<std::pair<std::uint16_t, std::string>>& value) {
    if (!value) return std::nullopt;
    const std::size_t unit = formats::tiff_block::type_size(value->first);
    return formats::tiff_value{value->first, static_cast<std::uint32_t>(unit == 0 ? 0 : value->second.size() / unit),
                               value->second};
}

}  // namespace

exif_preserving_write::exif_preserving_write(formats::content_type type, std::string_view content,
                                             const Exiv2::Image& image) {
    if (type != formats::content_type::jpeg) {
        // Outside JPEG the block cannot be swapped as one segment: a maker
        // note there keeps the EXIF Exiv2 read, and the values live in XMP.
        for (const auto& datum : image.exifData()) {
            if (datum.key() == "Exif.Photo.MakerNote" || Exiv2::ExifTags::isMakerGroup(datum.groupName())) {
                keep_original_ = true;
                original_ = image.exifData();
                return;
            }
        }
        return;
    }
    const auto found = formats::find_jpeg_exif(content);
    if (!found) return;
    block_ = content.substr(found->block, found->block_size);
    if (!formats::has_maker_note(block_)) return;
    active_ = true;
    original_ = image.exifData();
    order_ = formats::tiff_block(block_).little_endian() ? Exiv2::littleEndian : Exiv2::bigEndian;
}

void exif_preserving_write::take_changes(Exiv2::Image& image) {
    if (keep_original_) image.setExifData(original_);
    if (!active_) return;
    const tag_values before = values_of(original_, order_);
    const tag_values after = values_of(image.exifData(), order_);
    ifd0_.clear();
    exif_.clear();
    const auto note = [&](const std::pair<std::string, std::uint16_t>& key,
                          std::optional<std::pair<std::uint16_t, std::string>> value) {
        (key.first == "Image" ? ifd0_ : exif_).emplace_back(key.second, std::move(value));
    };
    for (const auto& [key, value] : after) {
        const auto old = before.find(key);
        if (old == before.end() || old->second != value) note(key, value);
    }
    for (const auto& [key, value] : before) {
        if (after.count(key) == 0) note(key, std::nullopt);
    }
    image.setExifData(original_);
}

std::optional<std::vector<unsigned char>> exif_preserving_write::finish(std::vector<unsigned char> written,
                                                                        std::wstring& why) const {
    if (!active_ || (ifd0_.empty() && exif_.empty())) return written;
    formats::ifd_changes ifd0;
    formats::ifd_changes exif;
    for (const auto& [tag, value] : ifd0_) ifd0[tag] = tiff_value_of(value);
    for (const auto& [tag, value] : exif_) exif[tag] = tiff_value_of(value);
    const auto edited = formats::edit_tiff_block(block_, ifd0, exif);
    if (!edited) {
        why = L"its EXIF directories cannot be read whole";
        return std::nullopt;
    }
    const std::string_view output(reinterpret_cast<const char*>(written.data()), written.size());
    const auto spliced = formats::replace_jpeg_exif(output, *edited);
    if (!spliced) {
        why = L"its EXIF block would no longer fit its segment";
        return std::nullopt;
    }
    return std::vector<unsigned char>(spliced->begin(), spliced->end());
}

}  // namespace platform::posix
