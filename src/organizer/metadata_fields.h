#pragma once
// The values the photos and music patterns draw on, read from one file, and
// the destination builders that turn them into a new name and folder.

#include <string>

namespace sortwell::organizer {

struct photo_field_values {
    std::wstring date;  // "2024-05-01", local time
    std::wstring location;
    std::wstring city;
    std::wstring state;
    std::wstring country;
    std::wstring people;
    std::wstring original_filename;
};

struct music_field_values {
    std::wstring artist;
    std::wstring album_artist;
    std::wstring album;
    std::wstring title;
    std::wstring track;
    std::wstring disc;
    std::wstring year;
    std::wstring genre;
    std::wstring original_filename;
};

/// Date taken (else the creation time), position turned into place names,
/// people of the file's regions and its base name. Throws std::runtime_error
/// "Failed to get property value" when the store fails to give a value.
photo_field_values photo_fields(const std::wstring& path);

/// The music tags, sanitized for a path component; all empty when the
/// file's store does not open. Throws as photo_fields.
music_field_values music_fields(const std::wstring& path);

/// The value of a token ("Date", "Album Artist", …); empty for any other name.
std::wstring photo_token_value(const photo_field_values& fields, const std::wstring& token);
std::wstring music_token_value(const music_field_values& fields, const std::wstring& token);

/// A new base name (empty: keep the file's own) and destination folder
/// (empty: the organized folder; rooted: absolute; else relative to it).
struct destination {
    std::wstring base_name;
    std::wstring folder;
};

/// The expanded naming pattern and placement (components joined with the
/// native separator).
destination photo_destination(const std::wstring& path, const std::wstring& naming_pattern,
                              const std::wstring& placement_pattern);
destination music_destination(const std::wstring& path, const std::wstring& naming_pattern,
                              const std::wstring& placement_pattern);

/// Builds a destination from an already expanded name and placement.
destination make_destination(std::wstring base_name, const std::wstring& placement);

}  // namespace sortwell::organizer
