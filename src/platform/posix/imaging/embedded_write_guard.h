#pragma once
// The checks around Exiv2 in the image handler and the imaging component:
// which files Exiv2 may parse at all, when an embedded write must be
// refused because it could not keep what the file holds, and the final
// image-data check before a rewritten file takes the old one's place.

#include "formats/content_type.h"
#include "platform/file_safety.h"
#include "platform/posix/files/byte_buffer.h"
#include "platform/posix/files/file_replace.h"
#include "platform/posix/imaging/exif_preserving_write.h"
#include "platform/property_store.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <exiv2/image.hpp>

namespace platform::posix {

/// The content type of the regular file at `path`, from its first bytes.
/// Anything that is not a regular file (FIFO, socket, device) is `unknown`
/// and never opened, so a read cannot block on it.
/// With `head`, the same open also reads the file's first bytes, up to
/// `head_length`, into it (empty for anything but a regular file).
formats::content_type sniff_file(const std::string& path, byte_buffer* head = nullptr);

/// The same sniff through an open descriptor of a regular file (one read
/// at its start), for a writer that holds the file open already.
formats::content_type sniff_descriptor(int descriptor, const std::string& path);

/// How much of a file a read takes in the same go as its sniff: the
/// metadata of most photos lies within it.
inline constexpr std::size_t head_length = 256 * 1024;

/// True when Exiv2 reading the parser of `type` over `head` (the first bytes
/// of a file of `file_size` bytes) reads what it reads over the whole file:
/// the head is the whole file, or it is a JPEG's and holds the start of its
/// scan, where that parser stops.
bool head_serves_metadata_read(formats::content_type type, std::string_view head, std::uint64_t file_size);

/// An Exiv2 image over the file at `path`, or over `size` bytes at `data`
/// (which must outlive it), through the parser of `type` alone; null for a
/// type without a metadata handler or content that parser rejects.
Exiv2::Image::AutoPtr open_image(formats::content_type type, const std::string& path);
Exiv2::Image::AutoPtr open_image(formats::content_type type, const unsigned char* data, std::size_t size);

/// Logs, once per call, that an embedded write to `path` was refused and why.
void log_refused_write(const std::string& path, const std::wstring& why);

/// Why an embedded write must not go ahead on a file whose bytes are
/// `content` and whose metadata `image` has read, or empty when it may:
/// the structure cannot be walked whole, the XMP packet or the IPTC record
/// set cannot be parsed whole (a rewrite would drop what was not parsed),
/// or the XMP continues in extended segments.
std::wstring embedded_write_refusal(formats::content_type type, std::string_view content, Exiv2::Image& image);

/// What a read can still take from an image whose XMP did not parse whole,
/// or whose XMP continues in extended segments.
struct xmp_recovery {
    bool damaged = false;  // the packet (or its extension) did not parse
    std::optional<std::vector<std::string>> subject;  // dc:subject items found by a lenient scan
};

/// Merges a complete extended XMP packet into `image`'s XMP data and, when
/// the packet does not parse, scans it for keywords. `content` holds the
/// file's bytes; when empty, the file at `path` is read only if the main
/// packet names an extension.
xmp_recovery recover_xmp(formats::content_type type, std::string_view content, const std::string& path,
                         Exiv2::Image& image);

/// Puts `updated` in place of the file at `path` (see
/// write_beside_and_replace) only when it keeps the image data of
/// `original` byte for byte; otherwise logs why, writes nothing and
/// answers WINCODEC_ERR_BADHEADER. With a `tail`, both are the heads of
/// files that end in it (read_for_rewrite), and the check of the heads is
/// the check of the whole files.
property_store::hresult replace_keeping_image_data(const std::string& path, formats::content_type type,
                                                   std::string_view original, std::string_view updated,
                                                   const platform::file_system::file_identity& read,
                                                   const platform::file_system::file_tail& tail = {});

/// Commits an Exiv2 image opened over `original` (in memory) to the file
/// at `path`: Exiv2 writes the metadata, `exif` puts the original EXIF
/// block back with its changes applied in place, the image-data check runs
/// and the result replaces the file, when it is still the file `read`
/// describes. A refusal is logged. Exiv2's exceptions pass through.
/// `original` may be a head whose `tail` the new file gets unchanged.
property_store::hresult commit_image(Exiv2::Image& image, const std::string& path, formats::content_type type,
                                     std::string_view original, exif_preserving_write& exif,
                                     const platform::file_system::file_identity& read,
                                     const platform::file_system::file_tail& tail = {});

}  // namespace platform::posix
