#pragma once
// Place names for a position: the country whose border holds it and the
// nearest city within 50 km, from the two geodata files shipped in
// Content\GeoData ("countries.bin", "cities.bin").

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sortwell::organizer {

struct country_record {
    std::wstring name;
    double min_longitude = 0, min_latitude = 0, max_longitude = 0, max_latitude = 0;
    std::vector<std::vector<std::pair<double, double>>> rings;  // (longitude, latitude) points
};

struct city_record {
    double latitude = 0;
    double longitude = 0;
    std::wstring name;
    std::wstring state;  // empty in version 1 files
};

struct place {
    std::wstring city;
    std::wstring state;
    std::wstring country;
    bool operator==(const place&) const = default;
};

/// The records of a countries file ("QSXC"), or none at all when the magic
/// differs or the data is cut short or counts more than the bytes can hold.
std::vector<country_record> read_countries(std::string_view bytes);

/// The records of a cities file ("QSXT"), all or none as read_countries.
std::vector<city_record> read_cities(std::string_view bytes);

/// Looks positions up in one pair of tables.
class geodata {
public:
    geodata(std::vector<country_record> countries, std::vector<city_record> cities);

    /// The first country (in file order) whose box holds the point, bounds
    /// included, and an odd number of whose rings hold it; the nearest city
    /// closer than 50 km, the earlier one on equal distances. Empty names for
    /// what is not found.
    place lookup(double latitude, double longitude) const;

    std::size_t country_count() const { return countries_.size(); }
    std::size_t city_count() const { return cities_.size(); }

private:
    std::wstring country_of(double latitude, double longitude) const;
    const city_record* nearest_city(double latitude, double longitude) const;

    std::vector<country_record> countries_;
    std::vector<city_record> cities_;
    std::vector<std::size_t> by_latitude_;  // city indexes ordered by latitude, then index
};

/// The distance in km the organizer uses between a point and a city.
double city_distance_km(double latitude, double longitude, double city_latitude, double city_longitude);

/// The process-wide tables, loaded on first use from Content\GeoData beside
/// the program; missing or damaged files give empty tables silently.
const geodata& shipped_geodata();

/// shipped_geodata().lookup(latitude, longitude).
place geo_lookup(double latitude, double longitude);

}  // namespace sortwell::organizer
