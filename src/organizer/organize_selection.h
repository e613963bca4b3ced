#pragma once
// Which files of a folder an organize run takes, and the by-type category
// folder of each.

#include "settings/suite_settings_keys.h"

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace sortwell::organizer {

/// Extension (lower case, no full stop) to category folder name.
using category_lookup = std::unordered_map<std::wstring, std::wstring>;

/// A category's folder name: \ / : * ? " < > | removed, blanks, tabs and line
/// breaks trimmed at both ends, "Other" when nothing is left.
std::wstring category_folder_name(std::wstring_view name);

/// The lookup of the enabled categories; a later category wins an extension.
category_lookup build_category_lookup(const std::vector<high_level_settings::organize_category>& categories);

/// The extension of a file name in lower case without its full stop ("" for none).
std::wstring lower_extension(std::wstring_view name);

/// The name without its extension, and the extension with its full stop.
std::wstring base_name(std::wstring_view name);
std::wstring dotted_extension(std::wstring_view name);

/// The built-in rule: desktop.ini, thumbs.db, the journal, sw_folder_*.ico,
/// *.lnk and *.url stay (compared without regard to case).
bool is_builtin_excluded(std::wstring_view name);

/// The user's rule: "*.ext" entries exclude names ending in ".ext", others
/// the name itself; both compared in lower case.
bool is_user_excluded(std::wstring_view name, const std::vector<std::wstring>& excluded);

/// The regular files directly in the folder that pass both rules and are
/// neither hidden nor system, in listing order; only the given extensions
/// when `extensions` is not null. Names, not paths.
std::vector<std::wstring> select_files(const std::wstring& folder, const std::vector<std::wstring>& excluded,
                                       const std::vector<std::wstring>* extensions);

}  // namespace sortwell::organizer
