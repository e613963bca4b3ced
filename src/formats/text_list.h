#pragma once
// Lists kept in one text, "a;b;c": tag lists of desktop.ini and XPKeywords,
// the parameters of a batch job.

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace formats {

/// The pieces between the separators, in order; empty pieces (from ";;", a
/// leading or a trailing separator) are dropped and nothing is trimmed.
inline std::vector<std::wstring> split_list(std::wstring_view text, wchar_t separator = L';') {
    std::vector<std::wstring> pieces;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(separator, start), text.size());
        if (end > start) pieces.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

}  // namespace formats
