#pragma once
// The typed questions the program asks of the suite-wide settings: every key
// it reads, with its type and its default. Each accessor takes the settings
// file to ask and defaults to the process-wide instance.

#include "settings/high_level_settings.h"

#include <string>
#include <vector>

namespace high_level_settings {

inline constexpr char sortwell_app_id[] = "sortwell";
inline constexpr char insightor_app_id[] = "insightor";

inline constexpr char show_tags_overlay_key[] = "general.showTagsAsIconOverlay";
inline constexpr char show_rating_overlay_key[] = "general.showRatingAsIconOverlay";
inline constexpr char rounded_thumbnail_corners_key[] = "general.roundedThumbnailCorners";
inline constexpr char rating_overlay_icon_key[] = "general.ratingOverlayIcon";
inline constexpr char people_recognition_enabled_key[] = "people_recognition.enabled";
inline constexpr char people_recognition_consent_key[] = "people_recognition.consent_accepted";
inline constexpr char write_people_tags_key[] = "people_recognition.write_people_tags";
inline constexpr char text_domain_tags_key[] = "general.tags.text_domain";
inline constexpr char text_purpose_tags_key[] = "general.tags.text_purpose";
inline constexpr char text_specific_tags_key[] = "general.tags.text_specific";
inline constexpr char organize_categories_key[] = "organize.categories";
inline constexpr char excluded_names_key[] = "organize.excludedNames";
inline constexpr char photo_placement_pattern_key[] = "organize.photoPlacementPattern";
inline constexpr char photo_naming_pattern_key[] = "organize.photoNamingPattern";
inline constexpr char music_placement_pattern_key[] = "organize.musicPlacementPattern";
inline constexpr char music_naming_pattern_key[] = "organize.musicNamingPattern";

// Defaults of the keys that their users read with the generic getters.
inline constexpr bool rounded_thumbnail_corners_default = true;
inline constexpr wchar_t rating_overlay_icon_default[] = L"\\Content\\Icons\\rating_star.ico";
inline constexpr bool people_recognition_enabled_default = false;
inline constexpr bool people_recognition_consent_default = false;
inline constexpr wchar_t photo_placement_pattern_default[] = L"<Date>\\<Location>";
inline constexpr wchar_t photo_naming_pattern_default[] = L"<Date> - <Location> - <People> - <Original Filename>";
inline constexpr wchar_t music_placement_pattern_default[] = L"<Album Artist>\\<Album>";
inline constexpr wchar_t music_naming_pattern_default[] = L"<Track> - <Title>";

/// One by-type organize category.
struct organize_category {
    std::wstring name;
    std::vector<std::wstring> extensions;  // without the leading full stop
    bool enabled = true;

    bool operator==(const organize_category&) const = default;
};

/// The image extensions of the "Images" category (24), built once.
const std::vector<std::wstring>& image_extensions();

/// The music extensions of the "Music" category (11), built once.
const std::vector<std::wstring>& music_extensions();

/// The six default categories, all enabled: Images, Documents, Videos,
/// Music, Archives, Programs.
const std::vector<organize_category>& default_organize_categories();

/// "general.showTagsAsIconOverlay" of sortwell; true also when the file cannot be loaded.
bool show_tags_overlay(settings_file& settings = instance());

/// "general.showRatingAsIconOverlay" of sortwell; true also when the file cannot be loaded.
bool show_rating_overlay(settings_file& settings = instance());

/// "people_recognition.write_people_tags" of insightor (default true), on
/// whatever was last loaded.
bool write_people_tags(const settings_file& settings = instance());

/// The insightor auto tags: the domain, purpose and specific lists in that
/// order, duplicates kept. Throws std::runtime_error "Unable to get list of
/// auto tags" when the file cannot be loaded, "Insightor settings not found"
/// without an insightor block, and exceptions::formatted_runtime_error naming
/// the key and the file when one of the three keys is missing.
std::vector<std::wstring> get_auto_tags(settings_file& settings = instance());

/// The "organize.categories" of sortwell, read straight from the file; the
/// default categories when the file, the key or every named category is missing.
std::vector<organize_category> get_organize_categories(settings_file& settings = instance());

/// "organize.excludedNames" of sortwell; empty by default.
std::vector<std::wstring> get_excluded_names(settings_file& settings = instance());

}  // namespace high_level_settings
