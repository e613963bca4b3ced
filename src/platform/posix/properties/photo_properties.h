#pragma once
// The date and position properties of an image, read from its Exif data the
// way the Windows photo handler presents them.

#include "platform/property_store.h"

#include <exiv2/exiv2.hpp>

namespace platform::property_store::posix {

/// True for the keys read_photo_property answers (date taken, latitude,
/// longitude and their references).
bool is_photo_read_key(const property_key& key);

/// System.Photo.DateTaken from Exif.Photo.DateTimeOriginal, a local time
/// returned as a UTC file time, as Windows does; System.GPS.Latitude and
/// Longitude as three doubles (degrees, minutes, seconds) with their "N"/"S"
/// or "E"/"W" reference. An absent or unreadable tag leaves the value empty.
void read_photo_property(const Exiv2::ExifData& exif, const property_key& key, property_value& value);

}  // namespace platform::property_store::posix
