// Feeds arbitrary bytes to both geodata readers as they are and behind each
// magic, then looks a few points up in whatever they read.

#include "organizer/geodata.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace org = sortwell::organizer;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    auto countries = org::read_countries(bytes);
    auto cities = org::read_cities(bytes);
    if (countries.empty()) countries = org::read_countries("QSXC" + bytes);
    if (cities.empty()) cities = org::read_cities("QSXT" + bytes);
    const org::geodata tables(std::move(countries), std::move(cities));
    for (const auto& [latitude, longitude] : {std::pair{0.0, 0.0}, {48.85, 2.35}, {-33.9, 151.2}, {90.0, -180.0}}) {
        (void)tables.lookup(latitude, longitude);
    }
    return 0;
}
