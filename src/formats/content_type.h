#pragma once
// What a file holds, judged by its first bytes (and, for TIFF-based camera
// raw files, its extension), before any metadata library sees it. Exiv2 is
// entered only through the parser of a type it can write safely, so a file
// that only claims to be a photo never reaches the parsers of other formats.

#include <cstddef>
#include <string>
#include <string_view>

namespace formats {

enum class content_type {
    jpeg,
    png,
    tiff,
    webp,
    camera_raw,   // TIFF-based or own raw containers of cameras
    postscript,   // PostScript and EPS, text or DOS binary header
    pdf,
    gif,
    bmp,
    heif,         // ISO media file with a still-image brand (HEIC, AVIF)
    video,        // ISO/QuickTime movies, AVI, Matroska/WebM, MPEG, ASF, FLV
    other_image,  // JPEG 2000, JPEG XL, PSD, ICO and the like
    unknown,
};

/// How many leading bytes `sniff_content_type` looks at.
inline constexpr std::size_t content_sniff_length = 64;

/// The type of a file from its leading bytes (fewer than
/// `content_sniff_length` is fine) and its path, whose extension only tells
/// camera raw files from plain TIFF.
content_type sniff_content_type(std::string_view head, const std::string& path);

/// True for the types whose embedded metadata the image handler reads and
/// writes: JPEG, PNG, TIFF and WebP.
bool has_metadata_handler(content_type type);

/// A short English name for logs: "JPEG", "EPS/PostScript", "unknown".
const wchar_t* content_type_name(content_type type);

}  // namespace formats
