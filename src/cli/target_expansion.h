#pragma once
// Turns the path strings of a run into absolute, de-duplicated targets.

#include <string>
#include <vector>

namespace qlm {

/// One target. A target with an error code is reported, never touched.
struct target_entry {
    std::wstring path;
    std::wstring error_code;  // empty, "not_found" or "no_match"
    std::wstring error_message;
};

/// Makes every path absolute and normal, expands `*` and `?` in the last
/// component, drops duplicates and turns paths that name nothing into failed
/// targets. Order follows the input; a pattern's matches come in NTFS order
/// (case-insensitive). With `recursive`, each folder named or matched is
/// followed by everything inside it, depth-first in the same order, hidden
/// entries, temporaries and linked folders left out.
std::vector<target_entry> expand_targets(const std::vector<std::wstring>& paths, bool recursive = false);

}  // namespace qlm
