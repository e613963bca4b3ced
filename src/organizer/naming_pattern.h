#pragma once
// The naming and placement patterns of the photos and music schemes: "<Date>
// - <Location>" style texts whose tokens are replaced with a file's values,
// and the small text rules the values follow.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sortwell::organizer {

/// The literal text before a token and the token's name; the last segment
/// holds the text after the last token and an empty name.
struct pattern_segment {
    std::wstring literal;
    std::wstring token;
    bool operator==(const pattern_segment&) const = default;
};

/// Splits a pattern at its "<name>" tokens. A "<" without a closing ">" is
/// literal text.
std::vector<pattern_segment> parse_pattern(std::wstring_view text);

/// The pattern with each token replaced by value_of(name). The literal before
/// a token is kept only when that token has a value and an earlier one
/// produced text, so empty values take their separators with them. A pattern
/// without tokens gives its text once.
std::wstring expand_pattern(const std::vector<pattern_segment>& segments,
                            const std::function<std::wstring(const std::wstring&)>& value_of);

/// A value made fit for one path component: characters below 32 and
/// \ / : * ? " < > | become "_", then leading blanks and trailing blanks and
/// full stops are removed.
std::wstring sanitize_component(std::wstring_view text);

/// "A", "A and B", "A, B and C", "A, B and 3 others".
std::wstring join_people(const std::vector<std::wstring>& names);

/// The values joined by ", ".
std::wstring join_values(const std::vector<std::wstring>& values);

/// The leading decimal number of a text ("2/3" gives 2), 0 when there is none.
unsigned long leading_number(std::wstring_view text);

/// The components of an expanded placement, split at "\" and "/" (Windows
/// takes both, so Linux does too), empty ones dropped. `root` receives the
/// rooted start with native separators (Windows "C:\", "\\server\share\",
/// "\"; Linux "/") or stays empty for a relative placement.
std::vector<std::wstring> split_placement(const std::wstring& placement, std::wstring& root);

}  // namespace sortwell::organizer
