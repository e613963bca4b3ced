#include "organizer/geodata.h"

#include "platform/file_system.h"
#include "platform/text.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>

namespace sortwell::organizer {
namespace {

constexpr double radians_per_degree = 0.017453292519943295;
constexpr double earth_radius_km = 6371.0;
constexpr double city_radius_km = 50.0;

// Reads little-endian fields and refuses to step past the end.
class reader {
public:
    explicit reader(std::string_view bytes) : bytes_(bytes) {}

    std::size_t left() const { return bytes_.size() - position_; }

    bool magic(std::string_view expected) {
        if (left() < expected.size() || bytes_.substr(position_, expected.size()) != expected) return false;
        position_ += expected.size();
        return true;
    }
    std::optional<std::uint32_t> u32() {
        if (left() < 4) return std::nullopt;
        std::uint32_t value = 0;
        for (std::size_t i = 4; i-- > 0;) value = (value << 8) | static_cast<unsigned char>(bytes_[position_ + i]);
        position_ += 4;
        return value;
    }
    std::optional<double> f64() {
        if (left() < 8) return std::nullopt;
        std::uint64_t bits = 0;
        for (std::size_t i = 8; i-- > 0;) bits = (bits << 8) | static_cast<unsigned char>(bytes_[position_ + i]);
        position_ += 8;
        double value = 0;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    std::optional<std::wstring> text() {
        if (left() < 2) return std::nullopt;
        const std::size_t length = static_cast<unsigned char>(bytes_[position_]) |
                                   (static_cast<std::size_t>(static_cast<unsigned char>(bytes_[position_ + 1])) << 8);
        position_ += 2;
        if (left() < length) return std::nullopt;
        std::wstring value = platform::text::from_utf8(bytes_.substr(position_, length));
        position_ += length;
        return value;
    }
    // A count of records of at least `minimum` bytes each that the rest of
    // the data could hold; nullopt for a count that cannot be true.
    std::optional<std::uint32_t> count(std::size_t minimum) {
        const auto value = u32();
        if (!value || static_cast<std::uint64_t>(*value) * minimum > left()) return std::nullopt;
        return value;
    }

private:
    std::string_view bytes_;
    std::size_t position_ = 0;
};

std::optional<country_record> read_country(reader& in) {
    country_record record;
    auto name = in.text();
    auto min_longitude = in.f64(), min_latitude = in.f64(), max_longitude = in.f64(), max_latitude = in.f64();
    if (!name || !max_latitude) return std::nullopt;
    record.name = std::move(*name);
    record.min_longitude = *min_longitude;
    record.min_latitude = *min_latitude;
    record.max_longitude = *max_longitude;
    record.max_latitude = *max_latitude;
    const auto rings = in.count(4);
    if (!rings) return std::nullopt;
    record.rings.resize(*rings);
    for (auto& ring : record.rings) {
        const auto points = in.count(16);
        if (!points) return std::nullopt;
        ring.reserve(*points);
        for (std::uint32_t i = 0; i < *points; ++i) {
            const double longitude = *in.f64();
            const double latitude = *in.f64();
            ring.emplace_back(longitude, latitude);
        }
    }
    return record;
}

// Even-odd test of one ring, walking from the last point to the first and
// then along the ring.
bool ring_contains(const std::vector<std::pair<double, double>>& ring, double latitude, double longitude) {
    bool inside = false;
    const std::size_t n = ring.size();
    for (std::size_t i = 0, j = n == 0 ? 0 : n - 1; i < n; j = i++) {
        const auto [longitude_i, latitude_i] = ring[i];
        const auto [longitude_j, latitude_j] = ring[j];
        if ((latitude_i > latitude) != (latitude_j > latitude) &&
            (longitude_j - longitude_i) * (latitude - latitude_i) / (latitude_j - latitude_i) + longitude_i >
                longitude) {
            inside = !inside;
        }
    }
    return inside;
}

std::wstring geodata_file(const wchar_t* name) {
    const std::wstring module = platform::file_system::module_path();
    const auto slash = module.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? std::wstring() : module.substr(0, slash);
    const wchar_t sep = platform::file_system::separator;
    return folder + sep + L"Content" + sep + L"GeoData" + sep + name;
}

}  // namespace

std::vector<country_record> read_countries(std::string_view bytes) {
    reader in(bytes);
    if (!in.magic("QSXC") || !in.u32()) return {};
    const auto count = in.count(2 + 32 + 4);
    if (!count) return {};
    std::vector<country_record> countries;
    countries.reserve(*count);
    for (std::uint32_t i = 0; i < *count; ++i) {
        auto record = read_country(in);
        if (!record) return {};
        countries.push_back(std::move(*record));
    }
    return countries;
}

std::vector<city_record> read_cities(std::string_view bytes) {
    reader in(bytes);
    if (!in.magic("QSXT")) return {};
    const auto version = in.u32();
    if (!version) return {};
    const bool has_state = *version > 1;
    const auto count = in.count(16 + 2 + (has_state ? 2 : 0));
    if (!count) return {};
    std::vector<city_record> cities;
    cities.reserve(*count);
    for (std::uint32_t i = 0; i < *count; ++i) {
        city_record city;
        const auto latitude = in.f64();
        const auto longitude = in.f64();
        auto name = in.text();
        if (!latitude || !longitude || !name) return {};
        city.latitude = *latitude;
        city.longitude = *longitude;
        city.name = std::move(*name);
        if (has_state) {
            auto state = in.text();
            if (!state) return {};
            city.state = std::move(*state);
        }
        cities.push_back(std::move(city));
    }
    return cities;
}

double city_distance_km(double latitude, double longitude, double city_latitude, double city_longitude) {
    const double x = (city_longitude - longitude) * radians_per_degree *
                     std::cos((city_latitude + latitude) / 2 * radians_per_degree);
    const double y = (city_latitude - latitude) * radians_per_degree;
    return earth_radius_km * std::sqrt(x * x + y * y);
}

geodata::geodata(std::vector<country_record> countries, std::vector<city_record> cities)
    : countries_(std::move(countries)), cities_(std::move(cities)) {
    by_latitude_.resize(cities_.size());
    for (std::size_t i = 0; i < by_latitude_.size(); ++i) by_latitude_[i] = i;
    // NaN latitudes sort last and are never searched: no distance to them is below 50 km.
    std::stable_sort(by_latitude_.begin(), by_latitude_.end(), [this](std::size_t a, std::size_t b) {
        const double la = cities_[a].latitude, lb = cities_[b].latitude;
        if (std::isnan(la) || std::isnan(lb)) return !std::isnan(la) && std::isnan(lb);
        return la < lb;
    });
}

std::wstring geodata::country_of(double latitude, double longitude) const {
    for (const auto& country : countries_) {
        if (longitude < country.min_longitude || longitude > country.max_longitude || latitude < country.min_latitude ||
            latitude > country.max_latitude) {
            continue;
        }
        int inside = 0;
        for (const auto& ring : country.rings) inside += ring_contains(ring, latitude, longitude) ? 1 : 0;
        if (inside % 2 == 1) return country.name;
    }
    return {};
}

const city_record* geodata::nearest_city(double latitude, double longitude) const {
    // Every distance is at least 6371 km times the latitude difference, so
    // only cities within 50/6371 rad of latitude (plus a hair for rounding)
    // can be nearer than 50 km: the same answer as a scan of all cities.
    const double window = city_radius_km / earth_radius_km / radians_per_degree * (1 + 1e-9) + 1e-9;
    const auto first = std::lower_bound(by_latitude_.begin(), by_latitude_.end(), latitude - window,
                                        [this](std::size_t index, double value) {
                                            const double l = cities_[index].latitude;
                                            return !std::isnan(l) && l < value;
                                        });
    const city_record* best = nullptr;
    std::size_t best_index = 0;
    double best_distance = city_radius_km;
    for (auto it = first; it != by_latitude_.end(); ++it) {
        const city_record& city = cities_[*it];
        if (std::isnan(city.latitude) || city.latitude > latitude + window) break;
        const double distance = city_distance_km(latitude, longitude, city.latitude, city.longitude);
        if (distance < best_distance || (best != nullptr && distance == best_distance && *it < best_index)) {
            best = &city;
            best_index = *it;
            best_distance = distance;
        }
    }
    return best;
}

place geodata::lookup(double latitude, double longitude) const {
    place result;
    result.country = country_of(latitude, longitude);
    if (const city_record* city = nearest_city(latitude, longitude)) {
        result.city = city->name;
        result.state = city->state;
    }
    return result;
}

const geodata& shipped_geodata() {
    static const geodata tables = [] {
        const auto countries = platform::file_system::read_file(geodata_file(L"countries.bin"));
        const auto cities = platform::file_system::read_file(geodata_file(L"cities.bin"));
        return geodata(countries ? read_countries(*countries) : std::vector<country_record>{},
                       cities ? read_cities(*cities) : std::vector<city_record>{});
    }();
    return tables;
}

place geo_lookup(double latitude, double longitude) { return shipped_geodata().lookup(latitude, longitude); }

}  // namespace sortwell::organizer
