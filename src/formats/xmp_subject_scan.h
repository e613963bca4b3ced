#pragma once
// A lenient reading of the keywords in an XMP packet that the XMP toolkit
// rejects (a duplicated property, a stray element): the items of the first
// dc:subject array, found by text alone.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace formats {

/// The UTF-8 texts of the <rdf:li> items inside the first
/// <dc:subject>…</dc:subject>, entities decoded; nullopt when the packet has
/// no such element or it is not closed.
std::optional<std::vector<std::string>> scan_dc_subject(std::string_view packet);

}  // namespace formats
