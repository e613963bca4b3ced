#pragma once
// Keys of the photo, position and music properties the organizer reads,
// with the value types the property system gives them:
//   System.Photo.DateTaken          VT_FILETIME (UTC)
//   System.GPS.Latitude/Longitude   VT_VECTOR | VT_R8: degrees, minutes, seconds
//   System.GPS.LatitudeRef/...Ref   VT_LPWSTR: "N"/"S", "E"/"W"
//   System.GPS.*Decimal             VT_R8, signed degrees
//   System.Music.Artist, AlbumArtist, Genre   VT_VECTOR | VT_LPWSTR
//   System.Music.AlbumTitle, PartOfSet        VT_LPWSTR
//   System.Music.TrackNumber, System.Media.Year   VT_UI4

#include "platform/property_store.h"

namespace platform::property_store {

inline constexpr guid photo_date_taken_fmtid{
    0x14B81DA1, 0x0135, 0x4D31, {0x96, 0xD9, 0x6C, 0xBF, 0xC9, 0x67, 0x1A, 0x99}};
inline constexpr guid music_fmtid{0x56A3372E, 0xCE9C, 0x11D2, {0x9F, 0x0E, 0x00, 0x60, 0x97, 0xC6, 0x86, 0xF6}};

inline constexpr property_key key_photo_date_taken{photo_date_taken_fmtid, 36867};
inline constexpr property_key key_gps_latitude{
    {0x8727CFFF, 0x4868, 0x4EC6, {0xAD, 0x5B, 0x81, 0xB9, 0x85, 0x21, 0xD1, 0xAB}}, 100};
inline constexpr property_key key_gps_latitude_ref{
    {0x029C0252, 0x5B86, 0x46C7, {0xAC, 0xA0, 0x27, 0x69, 0xFF, 0xC8, 0xE3, 0xD4}}, 100};
inline constexpr property_key key_gps_longitude{
    {0xC4C4DBB2, 0xB593, 0x466B, {0xBB, 0xDA, 0xD0, 0x3D, 0x27, 0xD5, 0xE4, 0x3A}}, 100};
inline constexpr property_key key_gps_longitude_ref{
    {0x33DCF22B, 0x28D5, 0x464C, {0x80, 0x35, 0x1E, 0xE9, 0xEF, 0xD2, 0x52, 0x78}}, 100};
inline constexpr property_key key_gps_latitude_decimal{
    {0x0F55CDE2, 0x4F49, 0x450D, {0x92, 0xC1, 0xDC, 0xD1, 0x63, 0x01, 0xB1, 0xB7}}, 100};
inline constexpr property_key key_gps_longitude_decimal{
    {0x4679C1B5, 0x844D, 0x4590, {0xBA, 0xF5, 0xF3, 0x22, 0x23, 0x1F, 0x1B, 0x81}}, 100};

inline constexpr property_key key_music_artist{music_fmtid, 2};
inline constexpr property_key key_media_year{music_fmtid, 5};
inline constexpr property_key key_music_album_title{music_fmtid, 4};
inline constexpr property_key key_music_track_number{music_fmtid, 7};
inline constexpr property_key key_music_genre{music_fmtid, 11};
inline constexpr property_key key_music_album_artist{music_fmtid, 13};
inline constexpr property_key key_music_part_of_set{music_fmtid, 37};

}  // namespace platform::property_store
