#include "organizer/metadata_fields.h"

#include "metadata/people_regions.h"
#include "organizer/geodata.h"
#include "organizer/naming_pattern.h"
#include "organizer/organize_selection.h"
#include "platform/file_system.h"
#include "platform/file_system_moves.h"
#include "platform/media_property_keys.h"
#include "platform/property_store.h"
#include "platform/text.h"

#include <fmt/format.h>
#include <fmt/xchar.h>

#include <optional>
#include <stdexcept>

namespace sortwell::organizer {
namespace {

namespace fs = platform::file_system;
namespace ps = platform::property_store;

std::wstring file_name_of(const std::wstring& path) {
    const auto slash = path.find_last_of(fs::separator == L'\\' ? L"\\/" : L"/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

ps::property_value get(ps::store& store, const ps::property_key& key) {
    ps::property_value value;
    if (ps::failed(store.get_value(key, value))) throw std::runtime_error("Failed to get property value");
    return value;
}

std::wstring date_text(std::uint64_t filetime) {
    const auto local = fs::to_local_time(filetime);
    if (!local) return {};
    return fmt::format(L"{:04}-{:02}-{:02}", static_cast<unsigned>(local->year), static_cast<unsigned>(local->month),
                       static_cast<unsigned>(local->day));
}

std::optional<double> coordinate(ps::store& store, const ps::property_key& decimal, const ps::property_key& parts,
                                 const ps::property_key& reference) {
    const auto value = get(store, decimal);
    if (value.type == ps::value_type::r8) return value.r8;
    const auto dms = get(store, parts);
    if (dms.type != ps::value_type::vector_r8 || dms.doubles.size() < 3) return std::nullopt;
    double degrees = dms.doubles[0] + dms.doubles[1] / 60 + dms.doubles[2] / 3600;
    const auto ref = get(store, reference);
    const std::wstring& text = ref.text;
    if ((ref.type == ps::value_type::lpwstr || ref.type == ps::value_type::bstr) &&
        (platform::text::equal_ignore_case(text, L"S") || platform::text::equal_ignore_case(text, L"W"))) {
        degrees = -degrees;
    }
    return degrees;
}

std::vector<std::wstring> strings_of(const ps::property_value& value) {
    if (value.type == ps::value_type::vector_lpwstr) return value.strings;
    if ((value.type == ps::value_type::lpwstr || value.type == ps::value_type::bstr) && !value.null_text) {
        return {value.text};
    }
    return {};
}

std::wstring text_of(const ps::property_value& value) {
    const auto strings = strings_of(value);
    return strings.empty() ? std::wstring() : strings.front();
}

std::uint32_t number_of(const ps::property_value& value) {
    if (value.type == ps::value_type::ui4) return value.ui4;
    if (value.type == ps::value_type::i4 && value.i4 > 0) return static_cast<std::uint32_t>(value.i4);
    return 0;
}

}  // namespace

photo_field_values photo_fields(const std::wstring& path) {
    photo_field_values fields;
    fields.original_filename = base_name(file_name_of(path));
    std::unique_ptr<ps::store> store;
    const bool opened = !ps::failed(ps::open_handler_store(path, ps::gps_default, store)) && store;
    if (opened) {
        if (const auto taken = get(*store, ps::key_photo_date_taken); taken.type == ps::value_type::filetime) {
            fields.date = date_text(taken.filetime);
        }
    }
    if (fields.date.empty()) {
        if (const auto created = fs::creation_time(path)) fields.date = date_text(*created);
    }
    if (opened) {
        const auto latitude =
            coordinate(*store, ps::key_gps_latitude_decimal, ps::key_gps_latitude, ps::key_gps_latitude_ref);
        const auto longitude =
            coordinate(*store, ps::key_gps_longitude_decimal, ps::key_gps_longitude, ps::key_gps_longitude_ref);
        if (latitude && longitude) {
            const place found = geo_lookup(*latitude, *longitude);
            fields.city = found.city;
            fields.state = found.state;
            fields.country = found.country;
            std::vector<std::wstring> parts;
            for (const auto* part : {&fields.city, &fields.state, &fields.country}) {
                if (!part->empty()) parts.push_back(*part);
            }
            fields.location = join_values(parts);
        }
        store.reset();  // the people reader opens the file again
    }
    std::vector<std::wstring> names;
    for (const auto& region : qlm::metadata::read_people_regions(path)) {
        if (!region.name.empty()) names.push_back(region.name);
    }
    fields.people = join_people(names);
    return fields;
}

music_field_values music_fields(const std::wstring& path) {
    music_field_values fields;
    std::unique_ptr<ps::store> store;
    if (ps::failed(ps::open_handler_store(path, ps::gps_default, store)) || !store) return fields;
    fields.artist = sanitize_component(join_values(strings_of(get(*store, ps::key_music_artist))));
    const auto album_artists = strings_of(get(*store, ps::key_music_album_artist));
    fields.album_artist = album_artists.empty() ? fields.artist : sanitize_component(join_values(album_artists));
    fields.album = sanitize_component(text_of(get(*store, ps::key_music_album_title)));
    fields.title = sanitize_component(text_of(get(*store, ps::key_title)));
    fields.genre = sanitize_component(join_values(strings_of(get(*store, ps::key_music_genre))));
    if (const auto track = number_of(get(*store, ps::key_music_track_number)); track != 0) {
        fields.track = fmt::format(L"{:02}", track);
    }
    if (const auto year = number_of(get(*store, ps::key_media_year)); year != 0) fields.year = std::to_wstring(year);
    if (const auto disc = leading_number(text_of(get(*store, ps::key_music_part_of_set))); disc != 0) {
        fields.disc = std::to_wstring(disc);
    }
    fields.original_filename = base_name(file_name_of(path));
    return fields;
}

std::wstring photo_token_value(const photo_field_values& fields, const std::wstring& token) {
    if (token == L"Date") return fields.date;
    if (token == L"Country") return fields.country;
    if (token == L"State") return fields.state;
    if (token == L"City") return fields.city;
    if (token == L"Location") return fields.location;
    if (token == L"People") return fields.people;
    if (token == L"Original Filename") return fields.original_filename;
    return {};
}

std::wstring music_token_value(const music_field_values& fields, const std::wstring& token) {
    if (token == L"Artist") return fields.artist;
    if (token == L"Album Artist") return fields.album_artist;
    if (token == L"Album") return fields.album;
    if (token == L"Title") return fields.title;
    if (token == L"Track") return fields.track;
    if (token == L"Disc") return fields.disc;
    if (token == L"Year") return fields.year;
    if (token == L"Genre") return fields.genre;
    if (token == L"Original Filename") return fields.original_filename;
    return {};
}

destination make_destination(std::wstring base_name, const std::wstring& placement) {
    destination result;
    result.base_name = std::move(base_name);
    std::wstring root;
    const auto parts = split_placement(placement, root);
    result.folder = root;
    for (const auto& part : parts) {
        if (!result.folder.empty() && result.folder.back() != fs::separator) result.folder += fs::separator;
        result.folder += part;
    }
    return result;
}

destination photo_destination(const std::wstring& path, const std::wstring& naming_pattern,
                              const std::wstring& placement_pattern) {
    const photo_field_values fields = photo_fields(path);
    const auto value_of = [&](const std::wstring& token) { return photo_token_value(fields, token); };
    return make_destination(expand_pattern(parse_pattern(naming_pattern), value_of),
                            expand_pattern(parse_pattern(placement_pattern), value_of));
}

destination music_destination(const std::wstring& path, const std::wstring& naming_pattern,
                              const std::wstring& placement_pattern) {
    const music_field_values fields = music_fields(path);
    const auto value_of = [&](const std::wstring& token) { return music_token_value(fields, token); };
    return make_destination(expand_pattern(parse_pattern(naming_pattern), value_of),
                            expand_pattern(parse_pattern(placement_pattern), value_of));
}

}  // namespace sortwell::organizer
