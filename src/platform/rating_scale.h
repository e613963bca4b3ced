#pragma once
// The star scale of the rating property (System.Rating) that every store
// shares: a value from 0 to 99 as Windows shows it in stars, and the value
// Windows writes for each number of stars.

#include <array>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

namespace platform::rating_scale {

/// Stars (0 to 5) as Windows shows a rating value; anything above 87 is 5.
constexpr unsigned stars_of(std::uint32_t value) {
    if (value == 0) return 0;
    if (value <= 12) return 1;
    if (value <= 37) return 2;
    if (value <= 62) return 3;
    if (value <= 87) return 4;
    return 5;
}

/// The value Windows writes for a number of stars; below 0 counts as 0,
/// above 5 as 5.
constexpr std::uint32_t value_of_stars(std::int64_t stars) {
    constexpr std::array<std::uint32_t, 6> values = {0, 1, 25, 50, 75, 99};
    if (stars <= 0) return 0;
    return values[static_cast<std::size_t>(stars > 5 ? 5 : stars)];
}

/// A rating as photo software stores it in text ("4", "4.0", "-1"): the
/// number cut to an integer; nothing for text that is no number or beyond
/// a billion either way.
inline std::optional<long> number_of(const std::string& text) {
    char* end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || number != number || number < -1e9 || number > 1e9) return std::nullopt;
    return static_cast<long>(number);
}

}  // namespace platform::rating_scale
