#pragma once
// Writes that keep a camera's maker note intact. Exiv2 re-serialises the
// whole EXIF block as soon as one tag changes, and a maker note's own
// offsets then point at the wrong bytes. For a JPEG whose EXIF holds a
// maker note, the changes to IFD0 and the Exif IFD are taken out of
// Exiv2's write and applied to the original block by appending new
// directories instead (see exif_ifd_editor.h). Other containers with a
// maker note keep their EXIF as it was read; their values live in XMP.

#include "formats/content_type.h"

#include <exiv2/exif.hpp>
#include <exiv2/image.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::posix {

class exif_preserving_write {
public:
    /// Remembers the EXIF that `image` read from `content` (which must
    /// outlive this object) when the file is a JPEG with a maker note.
    exif_preserving_write(formats::content_type type, std::string_view content, const Exiv2::Image& image);

    /// Call before Exiv2 writes: takes the IFD0 and Exif IFD changes out of
    /// `image` and gives it back the EXIF it read.
    void take_changes(Exiv2::Image& image);

    /// Call on Exiv2's output: the output with the original EXIF block,
    /// edited in place, instead of Exiv2's; nullopt with `why` set when the
    /// block cannot be edited or no longer fits its segment.
    std::optional<std::vector<unsigned char>> finish(std::vector<unsigned char> written, std::wstring& why) const;

    /// After take_changes: false when finish would hand Exiv2's output back
    /// unchanged, so that the caller may use it where it lies.
    bool edits_output() const { return active_ && !(ifd0_.empty() && exif_.empty()); }

private:
    bool active_ = false;         // JPEG with a maker note: changes applied in place
    bool keep_original_ = false;  // other types with a maker note: EXIF left as read
    std::string_view block_;
    Exiv2::ExifData original_;
    Exiv2::ByteOrder order_ = Exiv2::littleEndian;
    std::vector<std::pair<std::uint16_t, std::optional<std::pair<std::uint16_t, std::string>>>> ifd0_;
    std::vector<std::pair<std::uint16_t, std::optional<std::pair<std::uint16_t, std::string>>>> exif_;
};

}  // namespace platform::posix
