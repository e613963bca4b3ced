#pragma once
// The check before an embedded-metadata write replaces a file: the new
// bytes must carry the old file's image data unchanged. A metadata writer
// that misreads a damaged file can otherwise drop the picture itself and
// still report success.

#include "formats/content_type.h"

#include <optional>
#include <string>
#include <string_view>

namespace formats {

/// The image data of a file, as the bytes that must survive a metadata
/// write, in order:
///   JPEG  every segment before the first scan that is not APPn or COM
///         (tables, frame header), then everything from the first SOS to
///         the end of the file, trailer after EOI included;
///   PNG   every critical chunk (IHDR, PLTE, IDAT, IEND), whole, and any
///         bytes after IEND;
///   TIFF  the strips and tiles of every IFD in the main chain;
///   WebP  the VP8, VP8L, ALPH, ANIM and ANMF chunks.
/// nullopt with `why` set when the structure cannot be walked whole.
std::optional<std::string> image_data_of(content_type type, std::string_view file, std::wstring& why);

/// True when image_data_of would find the image data, without copying it;
/// else false with `why` set.
bool image_data_walks(content_type type, std::string_view file, std::wstring& why);

/// Empty when `updated` keeps the image data of `original` byte for byte,
/// else why not, in words for the log.
std::wstring image_data_difference(content_type type, std::string_view original, std::string_view updated);

}  // namespace formats
