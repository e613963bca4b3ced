#pragma once
// The extension of a UTF-8 path, compared the way file types are told apart
// here: only A to Z fold, so an extension with other letters never matches.

#include <string>
#include <string_view>

namespace formats {

inline std::string ascii_lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

/// What follows the last dot of the last path part, lower-cased; empty when
/// that part has no dot.
inline std::string lower_extension(std::string_view path) {
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
    return ascii_lower(path.substr(dot + 1));
}

}  // namespace formats
