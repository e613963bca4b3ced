#pragma once
// The hidden attribute as Linux file managers see it: Dolphin and Nautilus
// leave out the names listed in their folder's ".hidden" file, one a line.

#include <string>

namespace platform::file_system {

/// Lists (`hidden`) or unlists the file at the UTF-8 `path` (which need not
/// exist any more) in its folder's
/// ".hidden", other lines kept as they are, through a crash-safe replace;
/// a list left empty is removed. Names starting with "." (hidden already)
/// or holding a line break are left alone. Best effort: a folder that
/// refuses the write keeps its list as it was.
void update_hidden_list(const std::string& path, bool hidden);

/// After a move or rename from `from` to `to` (UTF-8): when what is now at
/// `to` carries the hidden attribute, its line leaves the old folder's list
/// and joins the new one's, so it stays out of view as it does on Windows.
void move_hidden_listing(const std::string& from, const std::string& to);

}  // namespace platform::file_system
