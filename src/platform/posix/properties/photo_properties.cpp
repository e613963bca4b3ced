#include "platform/posix/properties/photo_properties.h"

#include "platform/media_property_keys.h"
#include "platform/posix/files/filetime.h"
#include "platform/text.h"

#include <cstdio>
#include <ctime>

namespace platform::property_store::posix {
namespace {

// "YYYY:MM:DD HH:MM:SS" in the camera's local time, which Windows takes as
// the computer's local time.
bool date_taken(const Exiv2::ExifData& exif, property_value& value) {
    const auto it = exif.findKey(Exiv2::ExifKey("Exif.Photo.DateTimeOriginal"));
    if (it == exif.end()) return false;
    const std::string text = it->toString();
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (std::sscanf(text.c_str(), "%4d:%2d:%2d %2d:%2d:%2d", &year, &month, &day, &hour, &minute, &second) != 6) {
        return false;
    }
    if (year < 1601 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) {
        return false;
    }
    struct tm parts {};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    parts.tm_isdst = -1;
    const std::time_t utc = std::mktime(&parts);
    if (utc == static_cast<std::time_t>(-1)) return false;
    if (static_cast<std::int64_t>(utc) + platform::posix::unix_epoch_in_filetime_seconds < 0) return false;
    value = property_value::make_filetime(platform::posix::filetime_of(utc, 0));
    return true;
}

bool coordinate(const Exiv2::ExifData& exif, const char* key, property_value& value) {
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    if (it == exif.end() || it->count() < 3) return false;
    std::vector<double> parts;
    for (long i = 0; i < 3; ++i) {
        const Exiv2::Rational r = it->toRational(i);
        if (r.second == 0) return false;
        parts.push_back(static_cast<double>(r.first) / r.second);
    }
    value = property_value::make_doubles(std::move(parts));
    return true;
}

bool reference(const Exiv2::ExifData& exif, const char* key, property_value& value) {
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    if (it == exif.end()) return false;
    std::string text = it->toString();
    while (!text.empty() && (text.back() == '\0' || text.back() == ' ')) text.pop_back();
    if (text.empty()) return false;
    value = property_value::make_lpwstr(platform::text::from_utf8(text));
    return true;
}

}  // namespace

bool is_photo_read_key(const property_key& key) {
    return key == key_photo_date_taken || key == key_gps_latitude || key == key_gps_latitude_ref ||
           key == key_gps_longitude || key == key_gps_longitude_ref;
}

void read_photo_property(const Exiv2::ExifData& exif, const property_key& key, property_value& value) {
    value = property_value{};
    if (key == key_photo_date_taken) {
        date_taken(exif, value);
    } else if (key == key_gps_latitude) {
        coordinate(exif, "Exif.GPSInfo.GPSLatitude", value);
    } else if (key == key_gps_longitude) {
        coordinate(exif, "Exif.GPSInfo.GPSLongitude", value);
    } else if (key == key_gps_latitude_ref) {
        reference(exif, "Exif.GPSInfo.GPSLatitudeRef", value);
    } else if (key == key_gps_longitude_ref) {
        reference(exif, "Exif.GPSInfo.GPSLongitudeRef", value);
    }
}

}  // namespace platform::property_store::posix
