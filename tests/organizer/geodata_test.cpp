#include "organizer/geodata.h"

#include "platform/file_system.h"
#include "platform/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

namespace org = sortwell::organizer;

constexpr double degrees_per_km = 1.0 / (6371.0 * 0.017453292519943295);

// Little-endian writers for hand-made geodata files.
struct bytes_out {
    std::string data;
    void u32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) data.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
    void f64(double v) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        for (int i = 0; i < 8; ++i) data.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
    }
    void text(const std::string& s) {
        data.push_back(static_cast<char>(s.size() & 0xFF));
        data.push_back(static_cast<char>(s.size() >> 8));
        data += s;
    }
};

using ring = std::vector<std::pair<double, double>>;

std::string countries_file(const std::vector<std::pair<std::string, std::vector<ring>>>& countries) {
    bytes_out out;
    out.data = "QSXC";
    out.u32(1);
    out.u32(static_cast<std::uint32_t>(countries.size()));
    for (const auto& [name, rings] : countries) {
        double min_lon = 1e9, min_lat = 1e9, max_lon = -1e9, max_lat = -1e9;
        for (const auto& r : rings) {
            for (const auto& [lon, lat] : r) {
                min_lon = std::min(min_lon, lon), max_lon = std::max(max_lon, lon);
                min_lat = std::min(min_lat, lat), max_lat = std::max(max_lat, lat);
            }
        }
        out.text(name);
        out.f64(min_lon), out.f64(min_lat), out.f64(max_lon), out.f64(max_lat);
        out.u32(static_cast<std::uint32_t>(rings.size()));
        for (const auto& r : rings) {
            out.u32(static_cast<std::uint32_t>(r.size()));
            for (const auto& [lon, lat] : r) out.f64(lon), out.f64(lat);
        }
    }
    return out.data;
}

struct city_row {
    double lat, lon;
    std::string name, state;
};

std::string cities_file(const std::vector<city_row>& cities, std::uint32_t version = 2) {
    bytes_out out;
    out.data = "QSXT";
    out.u32(version);
    out.u32(static_cast<std::uint32_t>(cities.size()));
    for (const auto& c : cities) {
        out.f64(c.lat), out.f64(c.lon);
        out.text(c.name);
        if (version > 1) out.text(c.state);
    }
    return out.data;
}

ring square(double lon0, double lat0, double lon1, double lat1) {
    return {{lon0, lat0}, {lon1, lat0}, {lon1, lat1}, {lon0, lat1}};
}

TEST(geodata, countries_by_box_and_even_odd_rings) {
    // Outer 0..10 with a hole 4..6; a second country covers the hole.
    const auto countries = org::read_countries(countries_file({
        {"Ringland", {square(0, 0, 10, 10), square(4, 4, 6, 6)}},
        {"Holeland", {square(4, 4, 6, 6)}},
        {"Edge", {{{20, 0}, {30, 0}, {20, 10}}}},
    }));
    ASSERT_EQ(countries.size(), 3u);
    EXPECT_EQ(countries[0].name, L"Ringland");
    const org::geodata data(countries, {});
    EXPECT_EQ(data.lookup(2, 2).country, L"Ringland");
    EXPECT_EQ(data.lookup(5, 5).country, L"Holeland");  // inside both rings of Ringland: not Ringland
    EXPECT_EQ(data.lookup(50, 50).country, L"");
    EXPECT_EQ(data.lookup(9, 29).country, L"");  // in Edge's box, outside its triangle
    EXPECT_EQ(data.lookup(1, 21).country, L"Edge");
    // Bounds are inclusive, then the ring test decides: the lower-left corner counts inside.
    EXPECT_EQ(data.lookup(0, 0).country, L"Ringland");
    EXPECT_EQ(data.lookup(10.0000001, 5).country, L"");
}

TEST(geodata, nearest_city_within_fifty_km_ties_to_the_earlier) {
    const double lat = 10, lon = 20;
    const auto cities = org::read_cities(cities_file({
        {lat + 49.9 * degrees_per_km, lon, "Near", "North"},
        {lat - 50.1 * degrees_per_km, lon, "Far", "South"},
        {lat + 5, lon, "Elsewhere", ""},
        {lat + 30 * degrees_per_km, lon, "First", "A"},
        {lat - 30 * degrees_per_km, lon, "Second", "B"},
    }));
    ASSERT_EQ(cities.size(), 5u);
    const std::vector<org::city_record> near_and_far(cities.begin(), cities.begin() + 3);
    EXPECT_EQ(org::geodata({}, near_and_far).lookup(lat, lon), (org::place{L"Near", L"North", L""}));
    const std::vector<org::city_record> only_far{cities[1], cities[2]};
    EXPECT_EQ(org::geodata({}, only_far).lookup(lat, lon), org::place{});
    // First and Second are equally far (mirrored latitudes): the earlier wins, whichever sorts first.
    const double a = org::city_distance_km(lat, lon, cities[3].latitude, cities[3].longitude);
    const double b = org::city_distance_km(lat, lon, cities[4].latitude, cities[4].longitude);
    if (a == b) {
        EXPECT_EQ(org::geodata({}, cities).lookup(lat, lon).city, L"First");
        const std::vector<org::city_record> swapped{cities[4], cities[3]};
        EXPECT_EQ(org::geodata({}, swapped).lookup(lat, lon).city, L"Second");
    }
    // Version 1 files have no states.
    const auto v1 = org::read_cities(cities_file({{1, 2, "Old", ""}}, 1));
    ASSERT_EQ(v1.size(), 1u);
    EXPECT_EQ(v1[0].name, L"Old");
    EXPECT_EQ(v1[0].state, L"");
}

// The latitude window must give the full scan's answer everywhere.
TEST(geodata, indexed_lookup_equals_a_full_scan) {
    std::vector<org::city_record> cities;
    std::uint32_t seed = 12345;
    const auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) / static_cast<double>(1u << 24);
    };
    for (int i = 0; i < 3000; ++i) {
        cities.push_back({next() * 4 + 40, next() * 4 + 2, L"c" + std::to_wstring(i), L""});
    }
    const org::geodata data({}, cities);
    for (int probe = 0; probe < 500; ++probe) {
        const double lat = next() * 5 + 39.5, lon = next() * 5 + 1.5;
        std::wstring expected;
        double best = 50;
        for (const auto& city : cities) {
            const double d = org::city_distance_km(lat, lon, city.latitude, city.longitude);
            if (d < best) best = d, expected = city.name;
        }
        EXPECT_EQ(data.lookup(lat, lon).city, expected) << lat << "," << lon;
    }
}

TEST(geodata, damaged_files_give_empty_tables) {
    const std::string countries = countries_file({{"A", {square(0, 0, 1, 1)}}, {"B", {square(2, 2, 3, 3)}}});
    const std::string cities = cities_file({{1, 2, "X", "Y"}, {3, 4, "Z", "W"}});
    // Every truncation of a file is all or nothing.
    for (std::size_t length = 0; length < countries.size(); ++length) {
        EXPECT_TRUE(org::read_countries(countries.substr(0, length)).empty()) << length;
    }
    for (std::size_t length = 0; length < cities.size(); ++length) {
        EXPECT_TRUE(org::read_cities(cities.substr(0, length)).empty()) << length;
    }
    EXPECT_EQ(org::read_countries(countries).size(), 2u);
    EXPECT_EQ(org::read_cities(cities).size(), 2u);
    // Wrong magic, and counts far beyond the bytes (no huge allocation).
    std::string bad_magic = cities;
    bad_magic[3] = 'C';
    EXPECT_TRUE(org::read_cities(bad_magic).empty());
    EXPECT_TRUE(org::read_cities(countries).empty());
    std::string huge = cities;
    huge[8] = huge[9] = huge[10] = huge[11] = '\xFF';
    EXPECT_TRUE(org::read_cities(huge).empty());
    std::string huge_rings = countries;
    // The first record's ring count sits after magic, version, count, name (2+1) and the box.
    const std::size_t ring_count_at = 12 + 3 + 32;
    for (std::size_t i = 0; i < 4; ++i) huge_rings[ring_count_at + i] = '\xFF';
    EXPECT_TRUE(org::read_countries(huge_rings).empty());
}

TEST(geodata, shipped_data_names_real_places) {
    const std::wstring folder = platform::text::from_utf8(QLM_CONTENT_DIR) + platform::file_system::separator +
                                L"GeoData" + platform::file_system::separator;
    const auto countries = platform::file_system::read_file(folder + L"countries.bin");
    const auto cities = platform::file_system::read_file(folder + L"cities.bin");
    ASSERT_TRUE(countries && cities);
    const org::geodata data(org::read_countries(*countries), org::read_cities(*cities));
    EXPECT_GE(data.country_count(), 200u);
    EXPECT_GE(data.city_count(), 100000u);
    EXPECT_EQ(data.lookup(48.8530, 2.3499), (org::place{L"Paris", L"Île-de-France", L"France"}));
    EXPECT_EQ(data.lookup(30.0, -40.0), org::place{});  // mid-Atlantic
    EXPECT_EQ(data.lookup(-33.8688, 151.2093).country, L"Australia");
}

}  // namespace
